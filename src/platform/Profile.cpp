#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>

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
void ForEachLine(const std::vector<std::string>& lines, const std::string& upperSection, Visit visit) {
  bool inside = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto heading = HeadingName(lines[i]);
    if (heading) inside = AnsiUpper(*heading) == upperSection;
    if (!visit(i, inside, heading.has_value())) return;
  }
}

std::optional<std::string> Find(const std::vector<std::string>& lines, std::string_view section,
                                std::string_view key) {
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

ProfileReadFunction readOverride = nullptr;
ProfileWriteFunction writeOverride = nullptr;

// A write that makes no progress (0 bytes) is a full disk, not a reason to
// try again for ever.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const long n =
        writeOverride ? writeOverride(fd, data.data(), data.size()) : ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}
int lockWaitMs = kProfileLockWaitMs;

// The lock file beside the settings file, held with flock(2) while the file
// is read and written. It is removed again when the lock is let go; a
// waiter that got the lock of a file removed meanwhile tries again on the
// new one, so no two holders ever hold "the" lock at once. Where no lock can
// be had (a folder that cannot be written, a file system without locks, a
// holder that hangs past the wait) the write goes ahead without it: it
// fails on its own where the folder cannot be written.
class LockBeside {
 public:
  explicit LockBeside(const std::filesystem::path& file) : path_(file.string() + ".lock") {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lockWaitMs);
    for (;;) {
      fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd_ < 0) return;
      bool locked = false;
      while (!(locked = ::flock(fd_, LOCK_EX | LOCK_NB) == 0) && errno == EWOULDBLOCK &&
             std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      struct stat held {
      }, named{};
      if (locked && ::fstat(fd_, &held) == 0 && ::stat(path_.c_str(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        return;  // ours
      }
      ::close(fd_);
      fd_ = -1;
      if (!locked) return;  // waited long enough, or no locks here
    }
  }
  ~LockBeside() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::close(fd_);
  }
  LockBeside(const LockBeside&) = delete;
  LockBeside& operator=(const LockBeside&) = delete;

 private:
  std::string path_;
  int fd_ = -1;
};

long ReadSome(int fd, void* buf, std::size_t count) {
  return readOverride ? readOverride(fd, buf, count) : ::read(fd, buf, count);
}

// Only a line feed ends a line when the file is read (and one CR before it
// goes with it), so a key or value read from the file, stray CRs and all,
// is written back whole.
std::string OneLine(std::string_view s) { return std::string(s.substr(0, s.find('\n'))); }

}  // namespace

void SetProfileReadForTesting(ProfileReadFunction read) { readOverride = read; }
void SetProfileWriteForTesting(ProfileWriteFunction write) { writeOverride = write; }
void SetProfileLockWaitForTesting(int milliseconds) { lockWaitMs = milliseconds; }

ProfileWriteError::ProfileWriteError(const std::filesystem::path& path, Problem problem, int error)
    : std::runtime_error(path.string() + " に書き込めません"),
      path_(path),
      problem_(problem),
      error_(error) {}

std::string ProfileWriteError::Reason() const {
  switch (problem_) {
    case Problem::ReadOnly:
      return "ファイルが読み取り専用です（書き込みの許可がありません）。書き込めるようにすると保存できます。";
    case Problem::FolderInPlace:
      return "ファイルの場所に同じ名前のフォルダがあります。そのフォルダを移すと保存できます。";
    case Problem::DiskFull: return "ディスクの空きが足りません。空きを作ると保存できます。";
    case Problem::NoFolder: return "ファイルを置くフォルダがありません。";
    case Problem::FolderLocked:
      return "ファイルを置くフォルダに書き込めません（読み取り専用か、書き込みの許可がありません）。";
    case Problem::Unreadable:
      return "ファイルを読み込めないため、中身を失わないよう書き込みをやめました" +
             (error_ != 0 ? " (" + std::string(std::strerror(error_)) + ")" : std::string()) + "。";
    case Problem::Other: break;
  }
  return error_ != 0 ? "書き込み中にエラーが起きました (" + std::string(std::strerror(error_)) + ")。"
                     : "書き込み中にエラーが起きました。";
}

namespace {

ProfileWriteError::Problem ProblemOf(int error) {
  using P = ProfileWriteError::Problem;
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return P::DiskFull;
    case ENOENT:
    case ENOTDIR: return P::NoFolder;
    case EACCES:
    case EPERM:
    case EROFS: return P::FolderLocked;
    case EISDIR: return P::FolderInPlace;
    default: return P::Other;
  }
}

}  // namespace

ProfileFile::ProfileFile(std::filesystem::path path) : path_(std::move(path)) {}

std::vector<std::string> ProfileFile::Load(bool forWrite) const {
  std::vector<std::string> lines;
  // Never opened when it is no regular file: a pipe would make the open
  // wait, a device would be read for ever.
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR || !forWrite) return lines;
    throw ProfileWriteError(path_, ProfileWriteError::Problem::Unreadable, errno);
  }
  if (!S_ISREG(st.st_mode)) {
    if (!forWrite) return lines;
    throw ProfileWriteError(path_, S_ISDIR(st.st_mode) ? ProfileWriteError::Problem::FolderInPlace
                                                       : ProfileWriteError::Problem::Unreadable);
  }
  const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || !forWrite) return lines;
    throw ProfileWriteError(path_, ProfileWriteError::Problem::Unreadable, errno);
  }
  std::string data;
  data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  ssize_t n;
  while ((n = ReadSome(fd, buf, sizeof buf)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      // would lose what it holds
      if (forWrite) throw ProfileWriteError(path_, ProfileWriteError::Problem::Unreadable, err);
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
  if (exists && (old.st_mode & 0222) == 0)
    throw ProfileWriteError(path_, ProfileWriteError::Problem::ReadOnly);
  if (exists && ::access(path_.c_str(), W_OK) != 0) {
    throw ProfileWriteError(path_, errno == EROFS ? ProfileWriteError::Problem::FolderLocked
                                                  : ProfileWriteError::Problem::ReadOnly);
  }
  const mode_t mode = exists ? (old.st_mode & 0777) : NewFileMode();
  std::string temp = path_.string() + ".tmp-XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    throw ProfileWriteError(path_, ProblemOf(err), err);
  }
  bool ok = WriteAll(fd, data) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  int err = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), path_.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    throw ProfileWriteError(path_, ProblemOf(err), err);
  }
  // Make the rename itself durable. The new file is in place already, so a
  // failure here is not reported.
  const std::filesystem::path dir = path_.has_parent_path() ? path_.parent_path() : ".";
  if (const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

ProfileText ProfileFile::Read() const { return ProfileText(Load(false)); }

void ProfileFile::Change(const std::function<void(ProfileText&)>& edit, bool mustRead) {
  try {
    const LockBeside lock(path_);
    ProfileText text(Load(mustRead));
    edit(text);
    if (text.Changed()) Save(text.Lines());
  } catch (const ProfileWriteError&) {
    ++failedWrites_;
    throw;
  }
}

void ProfileFile::Update(const std::function<void(ProfileText&)>& edit) { Change(edit, true); }

void ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Update([&](ProfileText& t) { t.WriteString(section, key, value); });
}

void ProfileFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  Update([&](ProfileText& t) { t.WriteInteger(section, key, value); });
}

void ProfileFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  Update([&](ProfileText& t) { t.WriteBool(section, key, value); });
}

void ProfileFile::EraseSection(std::string_view section) {
  Change([&](ProfileText& t) { t.EraseSection(section); }, false);
}

void ProfileFile::ReplaceSections(const std::vector<Section>& sections) {
  Update([&](ProfileText& t) { t.ReplaceSections(sections); });
}

// ---------------------------------------------------------------------------
// ProfileText

std::string ProfileText::ReadString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
  return Find(lines_, section, key).value_or(std::string(def));
}

std::int32_t ProfileText::ReadInteger(std::string_view section, std::string_view key,
                                      std::int32_t def) const {
  std::optional<std::string> value = Find(lines_, section, key);
  if (!value) return def;
  if (value->size() > 2 && (*value)[0] == '0' && ((*value)[1] == 'x' || (*value)[1] == 'X')) {
    value->replace(0, 2, "$");
  }
  return StrToInt(*value).value_or(def);
}

bool ProfileText::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool ProfileText::HasKey(std::string_view section, std::string_view key) const {
  return Find(lines_, section, key).has_value();
}

namespace {

// The keys of a section with the line each is read from: a key that occurs
// more than once (under two headings of the same name, say) is listed once,
// where it first occurs, which is the occurrence a read finds.
template <class Visit>
void ForEachKey(const std::vector<std::string>& lines, std::string_view section, Visit visit) {
  std::unordered_set<std::string_view, AnsiKeyHash, AnsiKeyEqual> seen;
  ForEachLine(lines, AnsiUpper(section), [&](std::size_t i, bool inside, bool heading) {
    const auto k = inside && !heading ? ParseKey(lines[i]) : std::nullopt;
    if (k && seen.insert(k->key).second) visit(*k);
    return true;
  });
}

}  // namespace

std::vector<std::string> ProfileText::ReadSectionKeys(std::string_view section) const {
  std::vector<std::string> keys;
  ForEachKey(lines_, section, [&](const KeyLine& k) { keys.emplace_back(k.key); });
  return keys;
}

bool ProfileText::SectionExists(std::string_view section) const {
  bool exists = false;
  ForEachLine(lines_, AnsiUpper(section), [&](std::size_t, bool inside, bool heading) {
    exists = inside && heading;
    return !exists;
  });
  return exists;
}

ProfileText::Entries ProfileText::ReadSection(std::string_view section) const {
  Entries entries;
  ForEachKey(lines_, section, [&](const KeyLine& k) {
    entries.emplace_back(std::string(k.key), std::string(Unquote(k.value)));
  });
  return entries;
}

void ProfileText::ForEachEntry(std::string_view section,
                               const std::function<void(std::string_view, std::string_view)>& visit) const {
  ForEachKey(lines_, section, [&](const KeyLine& k) { visit(k.key, Unquote(k.value)); });
}

void ProfileText::ReplaceSections(const std::vector<Section>& sections) {
  for (const Section& section : sections) {
    std::vector<std::string> kept;
    ForEachLine(lines_, AnsiUpper(section.name), [&](std::size_t i, bool inside, bool) {
      if (!inside) kept.push_back(std::move(lines_[i]));
      return true;
    });
    lines_ = std::move(kept);
  }
  for (const Section& section : sections) {
    if (section.entries.empty()) continue;
    lines_.push_back("[" + section.name + "]");
    for (const auto& [key, value] : section.entries) lines_.push_back(OneLine(key) + "=" + OneLine(value));
  }
  changed_ = true;
}

// The key's line is replaced where a read would find it. A new key goes after
// the last key of the first heading of that name (comments and blank lines
// that follow stay below it); a new section goes at the end of the file.
void ProfileText::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  // A line break inside the value would turn its tail into lines of its own.
  value = value.substr(0, value.find_first_of("\r\n"));
  std::string line = std::string(key) + "=" + std::string(value);

  const std::string upperKey = AnsiUpper(key);
  std::optional<std::size_t> existing, insertAt;
  bool firstHeadingDone = false;
  ForEachLine(lines_, AnsiUpper(section), [&](std::size_t i, bool inside, bool heading) {
    if (heading && insertAt) firstHeadingDone = true;  // later headings only get searched
    if (!inside) return true;
    if (heading) {
      if (!insertAt) insertAt = i + 1;
      return true;
    }
    const auto k = ParseKey(lines_[i]);
    if (k && AnsiUpper(k->key) == upperKey) existing = i;
    if (k && !firstHeadingDone) insertAt = i + 1;
    return !existing;
  });

  if (existing) {
    if (lines_[*existing] == line) return;  // as it stands already
    lines_[*existing] = std::move(line);
  } else if (insertAt) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*insertAt), std::move(line));
  } else {
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(std::move(line));
  }
  changed_ = true;
}

void ProfileText::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void ProfileText::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void ProfileText::DeleteKey(std::string_view section, std::string_view key) {
  std::vector<std::string> kept;
  ForEachLine(lines_, AnsiUpper(section), [&](std::size_t i, bool inside, bool heading) {
    const auto k = inside && !heading ? ParseKey(lines_[i]) : std::nullopt;
    if (!k || !AnsiKeyEqual()(k->key, key)) kept.push_back(std::move(lines_[i]));
    return true;
  });
  if (kept.size() != lines_.size()) changed_ = true;
  lines_ = std::move(kept);
}

void ProfileText::EraseSection(std::string_view section) {
  std::vector<std::string> kept;
  ForEachLine(lines_, AnsiUpper(section), [&](std::size_t i, bool inside, bool) {
    if (!inside) kept.push_back(std::move(lines_[i]));
    return true;
  });
  if (kept.size() != lines_.size()) changed_ = true;
  lines_ = std::move(kept);
}

}  // namespace kest
