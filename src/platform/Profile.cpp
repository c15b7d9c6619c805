#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "platform/Codec.h"
#include "platform/Convert.h"

namespace kest {
namespace {

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// The name of a "[Section]" heading, or nothing for any other line. The
// closing bracket is searched character by character: 0x5D is also a valid
// trail byte ("‐" is 81 5D), and must not end the name.
std::optional<std::string_view> HeadingName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  std::size_t i = 1;
  while (i < line.size() && line[i] != ']') {
    i += IsSjisLead(static_cast<unsigned char>(line[i])) ? 2 : 1;
  }
  return Trim(line.substr(1, std::min(i, line.size()) - 1));
}

// A "key=value" line inside a section. Comments (';'), blank lines and lines
// without '=' or without a key name are not keys; they are kept as they are.
struct KeyLine {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyLine> ParseKey(std::string_view line) {
  // Neither '=' nor ';' can be a trail byte, so a plain search is safe.
  std::string_view t = Trim(line);
  std::size_t eq = t.find('=');
  if (t.empty() || t.front() == ';' || eq == std::string_view::npos) return std::nullopt;
  KeyLine k{Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
  if (k.key.empty()) return std::nullopt;
  return k;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// Walks the lines, telling `visit` for each one whether it lies under a
// heading named `upperSection` (the heading lines themselves included).
template <class Visit>
void ForEachLine(const std::vector<std::string>& lines, const std::string& upperSection,
                 Visit visit) {
  bool inside = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto heading = HeadingName(lines[i]);
    if (heading) inside = AnsiUpper(*heading) == upperSection;
    if (!visit(i, inside, heading.has_value())) return;
  }
}

std::optional<std::string> Find(const std::vector<std::string>& lines,
                                std::string_view section, std::string_view key) {
  const std::string upperKey = AnsiUpper(key);
  std::optional<std::string> found;
  ForEachLine(lines, AnsiUpper(section), [&](std::size_t i, bool inside, bool heading) {
    if (!inside || heading) return true;
    const auto k = ParseKey(lines[i]);
    if (k && AnsiUpper(k->key) == upperKey) found = std::string(Unquote(k->value));
    return !found;
  });
  return found;
}

// The permission bits a newly created file would get: 0666 less the umask.
// The umask is read from /proc so it need not be changed to be learned.
mode_t NewFileMode() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) == 0) return 0666 & ~std::strtoul(line.c_str() + 6, nullptr, 8);
  }
  return 0644;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

ProfileReadFunction readOverride = nullptr;

long ReadSome(int fd, void* buf, std::size_t count) {
  return readOverride ? readOverride(fd, buf, count) : ::read(fd, buf, count);
}

// Only a line feed ends a line when the file is read (and one CR before it
// goes with it), so a key or value read from the file, stray CRs and all,
// is written back whole.
std::string OneLine(std::string_view s) { return std::string(s.substr(0, s.find('\n'))); }

}  // namespace

void SetProfileReadForTesting(ProfileReadFunction read) { readOverride = read; }

ProfileWriteError::ProfileWriteError(const std::filesystem::path& path)
    : std::runtime_error(path.string() + " に書き込めません") {}

ProfileFile::ProfileFile(std::filesystem::path path) : path_(std::move(path)) {}

std::vector<std::string> ProfileFile::Load(bool forWrite) const {
  std::vector<std::string> lines;
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || !forWrite) return lines;
    throw ProfileWriteError(path_);
  }
  std::string data;
  char buf[65536];
  ssize_t n;
  while ((n = ReadSome(fd, buf, sizeof buf)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      if (forWrite) throw ProfileWriteError(path_);  // would lose what it holds
      return lines;
    }
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);

  // Lines end in LF or CR LF; a last line without a line end counts too.
  for (std::size_t pos = 0; pos < data.size();) {
    std::size_t end = data.find('\n', pos);
    const std::size_t next = end == std::string::npos ? data.size() : end + 1;
    if (end == std::string::npos) end = data.size();
    if (end > pos && data[end - 1] == '\r') --end;
    lines.emplace_back(data, pos, end - pos);
    pos = next;
  }
  return lines;
}

// The new content goes to a temporary file next to the old one, reaches the
// disk, and only then takes the old one's place by rename(), so the file is
// either wholly old or wholly new, never cut short.
void ProfileFile::Save(const std::vector<std::string>& lines) const {
  std::string data;
  for (const auto& line : lines) (data += line) += "\r\n";

  struct stat old {};
  const bool exists = ::stat(path_.c_str(), &old) == 0;
  // The rename needs only the folder's permission: a file the user may not
  // write (or one marked read-only, with no write bit at all, which even the
  // superuser leaves alone) must not be replaced behind its back.
  if (exists && ((old.st_mode & 0222) == 0 || ::access(path_.c_str(), W_OK) != 0)) {
    throw ProfileWriteError(path_);
  }
  const mode_t mode = exists ? (old.st_mode & 0777) : NewFileMode();
  std::string temp = path_.string() + ".tmp-XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) throw ProfileWriteError(path_);
  bool ok = WriteAll(fd, data) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temp.c_str(), path_.c_str()) != 0) {
    ::unlink(temp.c_str());
    throw ProfileWriteError(path_);
  }
  // Make the rename itself durable. The new file is in place already, so a
  // failure here is not reported.
  const std::filesystem::path dir = path_.has_parent_path() ? path_.parent_path() : ".";
  if (const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
  return Find(Load(false), section, key).value_or(std::string(def));
}

std::int32_t ProfileFile::ReadInteger(std::string_view section, std::string_view key,
                                      std::int32_t def) const {
  std::optional<std::string> value = Find(Load(false), section, key);
  if (!value) return def;
  if (value->size() > 2 && (*value)[0] == '0' && ((*value)[1] == 'x' || (*value)[1] == 'X')) {
    value->replace(0, 2, "$");
  }
  return StrToInt(*value).value_or(def);
}

bool ProfileFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

// A key that occurs more than once (under two headings of the same name, say)
// is listed once, where it first occurs: that is the occurrence a read finds.
std::vector<std::string> ProfileFile::ReadSectionKeys(std::string_view section) const {
  const std::vector<std::string> lines = Load(false);
  std::vector<std::string> keys, upperKeys;
  ForEachLine(lines, AnsiUpper(section), [&](std::size_t i, bool inside, bool heading) {
    const auto k = inside && !heading ? ParseKey(lines[i]) : std::nullopt;
    if (!k) return true;
    std::string upper = AnsiUpper(k->key);
    if (std::find(upperKeys.begin(), upperKeys.end(), upper) == upperKeys.end()) {
      upperKeys.push_back(std::move(upper));
      keys.emplace_back(k->key);
    }
    return true;
  });
  return keys;
}

bool ProfileFile::SectionExists(std::string_view section) const {
  bool exists = false;
  ForEachLine(Load(false), AnsiUpper(section), [&](std::size_t, bool inside, bool heading) {
    exists = inside && heading;
    return !exists;
  });
  return exists;
}

ProfileFile::Entries ProfileFile::ReadSection(std::string_view section) const {
  const std::vector<std::string> lines = Load(false);
  Entries entries;
  std::vector<std::string> upperKeys;
  ForEachLine(lines, AnsiUpper(section), [&](std::size_t i, bool inside, bool heading) {
    const auto k = inside && !heading ? ParseKey(lines[i]) : std::nullopt;
    if (!k) return true;
    std::string upper = AnsiUpper(k->key);
    if (std::find(upperKeys.begin(), upperKeys.end(), upper) == upperKeys.end()) {
      upperKeys.push_back(std::move(upper));
      entries.emplace_back(std::string(k->key), std::string(Unquote(k->value)));
    }
    return true;
  });
  return entries;
}

void ProfileFile::ReplaceSections(const std::vector<Section>& sections) {
  std::vector<std::string> lines = Load(true);
  for (const Section& section : sections) {
    std::vector<std::string> kept;
    ForEachLine(lines, AnsiUpper(section.name), [&](std::size_t i, bool inside, bool) {
      if (!inside) kept.push_back(std::move(lines[i]));
      return true;
    });
    lines = std::move(kept);
  }
  for (const Section& section : sections) {
    if (section.entries.empty()) continue;
    lines.push_back("[" + section.name + "]");
    for (const auto& [key, value] : section.entries) lines.push_back(OneLine(key) + "=" + OneLine(value));
  }
  Save(lines);
}

// The key's line is replaced where a read would find it. A new key goes after
// the last key of the first heading of that name (comments and blank lines
// that follow stay below it); a new section goes at the end of the file.
void ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
  // A line break inside the value would turn its tail into lines of its own.
  value = value.substr(0, value.find_first_of("\r\n"));
  std::string line = std::string(key) + "=" + std::string(value);

  std::vector<std::string> lines = Load(true);
  const std::string upperKey = AnsiUpper(key);
  std::optional<std::size_t> existing, insertAt;
  bool firstHeadingDone = false;
  ForEachLine(lines, AnsiUpper(section), [&](std::size_t i, bool inside, bool heading) {
    if (heading && insertAt) firstHeadingDone = true;  // later headings only get searched
    if (!inside) return true;
    if (heading) {
      if (!insertAt) insertAt = i + 1;
      return true;
    }
    const auto k = ParseKey(lines[i]);
    if (k && AnsiUpper(k->key) == upperKey) existing = i;
    if (k && !firstHeadingDone) insertAt = i + 1;
    return !existing;
  });

  if (existing) {
    lines[*existing] = std::move(line);
  } else if (insertAt) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), std::move(line));
  } else {
    lines.push_back("[" + std::string(section) + "]");
    lines.push_back(std::move(line));
  }
  Save(lines);
}

void ProfileFile::WriteInteger(std::string_view section, std::string_view key,
                               std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void ProfileFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void ProfileFile::EraseSection(std::string_view section) {
  std::vector<std::string> lines = Load(false);
  std::vector<std::string> kept;
  ForEachLine(lines, AnsiUpper(section), [&](std::size_t i, bool inside, bool) {
    if (!inside) kept.push_back(std::move(lines[i]));
    return true;
  });
  if (kept.size() != lines.size()) Save(kept);
}

}  // namespace kest
