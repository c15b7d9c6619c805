#include "archive/Archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <set>

#include "archive/ArchiveRead.h"
#include "log/LineReader.h"
#include "log/LogFile.h"
#include "log/LogForm.h"
#include "platform/Codec.h"

namespace kest {
namespace fs = std::filesystem;

namespace archive_read {

// libarchive converts names from the archive's character set into the
// locale's, and fails an LHA archive whole on a name it cannot convert: in
// the "C" locale that is every Japanese name. Each call into it runs in the
// UTF-8 locale, on this thread only, so names come out as UTF-8 whatever
// the program's locale.
class Utf8Locale {
 public:
  Utf8Locale() {
    static const locale_t utf8 = [] {
      for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
        if (locale_t l = ::newlocale(LC_ALL_MASK, name, nullptr)) return l;
      }
      return locale_t(nullptr);
    }();
    if (utf8) previous_ = ::uselocale(utf8);
  }
  ~Utf8Locale() {
    if (previous_) ::uselocale(previous_);
  }
  Utf8Locale(const Utf8Locale&) = delete;
  Utf8Locale& operator=(const Utf8Locale&) = delete;

 private:
  locale_t previous_ = nullptr;
};

namespace {

// libarchive's account of the last failure, without its trailing line end.
std::string ErrorText(archive* a, const char* otherwise) {
  const char* e = archive_error_string(a);
  std::string s = e ? e : otherwise;
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

struct ArchiveFree {
  void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveFree>;

// A libarchive reader on `fd` from its first byte; Shift-JIS names unless
// `rawNames`, where names are taken as the locale's (UTF-8) bytes.
ArchivePtr OpenReader(int fd, bool rawNames, std::string& error) {
  ArchivePtr a(archive_read_new());
  archive_read_support_format_lha(a.get());
  archive_read_support_format_zip(a.get());
  if (!rawNames) archive_read_set_options(a.get(), "hdrcharset=CP932");
  if (::lseek(fd, 0, SEEK_SET) != 0 || archive_read_open_fd(a.get(), fd, 64 * 1024) != ARCHIVE_OK) {
    error = ErrorText(a.get(), std::strerror(errno));
    return nullptr;
  }
  return a;
}

// The methods libarchive unpacks in an LHA archive.
bool LibarchiveUnpacks(std::string_view method) {
  return method == "-lh0-" || method == "-lz4-" || method == "-lh5-" || method == "-lh6-" ||
         method == "-lh7-";
}

// "lha -lh5-" gives "-lh5-"; "ZIP 2.0 (deflation)" gives "deflate".
std::string MethodOf(const char* formatName) {
  const std::string f = formatName ? formatName : "";
  if (f.rfind("lha ", 0) == 0) return f.substr(4);
  const std::size_t open = f.find('('), close = f.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return f;
  const std::string m = f.substr(open + 1, close - open - 1);
  static const std::map<std::string, std::string> kNames = {
      {"uncompressed", "stored"}, {"deflation", "deflate"}, {"deflation-64-bit", "deflate64"},
      {"bzip", "bzip2"},          {"shrinking", "shrink"},  {"imploded", "implode"},
  };
  const auto it = kNames.find(m);
  return it != kNames.end() ? it->second : m;
}

// Reads the start of the current entry into `sample`; the error text of a
// failed read, or empty.
std::string ReadSample(archive* a, std::string& sample) {
  sample.resize(kSampleSize);
  std::size_t got = 0;
  while (got < sample.size()) {
    const la_ssize_t n = archive_read_data(a, sample.data() + got, sample.size() - got);
    if (n < 0) {
      sample.resize(got);
      return ErrorText(a, "read error");
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  sample.resize(got);
  return {};
}

struct LibarchivePass {
  std::vector<ArchiveMember> members;
  std::vector<std::int64_t> unnamed;  // entries whose name did not convert
  std::int64_t entries = 0;           // entries read, folders included
  bool opened = false;
  std::string error;  // why it stopped before the end
};

LibarchivePass ListWithLibarchive(int fd, ArchiveKind kind, bool rawNames, bool detectLogs) {
  LibarchivePass pass;
  ArchivePtr a = OpenReader(fd, rawNames, pass.error);
  if (!a) return pass;
  pass.opened = true;
  archive_entry* e = nullptr;
  std::string sample;
  for (;;) {
    const int r = archive_read_next_header(a.get(), &e);
    if (r == ARCHIVE_EOF) break;
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
      pass.error = ErrorText(a.get(), "damaged header");
      break;
    }
    const std::int64_t index = pass.entries++;
    const auto type = archive_entry_filetype(e);
    if (type == AE_IFDIR || (type != 0 && type != AE_IFREG)) continue;
    ArchiveMember m;
    m.entry = index;
    m.headerAt = archive_read_header_position(a.get());
    const char* name = archive_entry_pathname_utf8(e);
    if (name && *name) {
      m.name = name;
    } else {
      pass.unnamed.push_back(index);
    }
    m.method = MethodOf(archive_format_name(a.get()));
    m.size = archive_entry_size_is_set(e)
                 ? static_cast<std::uint64_t>(std::max<la_int64_t>(archive_entry_size(e), 0))
                 : 0;
    m.mtime = archive_entry_mtime_is_set(e) ? archive_entry_mtime(e) : 0;
    if (archive_entry_is_encrypted(e)) {
      m.encrypted = true;
    } else if (kind == ArchiveKind::Lzh && !LibarchiveUnpacks(m.method)) {
      m.viaLhasa = lhasa::Knows(m.method);
      m.unsupported = !m.viaLhasa;
    } else if (detectLogs) {
      const std::string error = ReadSample(a.get(), sample);
      m.unsupported = error.find("Unsupported") != std::string::npos;
      m.looksLikeLog = error.empty() && SampleLooksLikeLog(sample);
    }
    pass.members.push_back(std::move(m));
  }
  return pass;
}

ArchiveKind KindOfHead(const unsigned char* h, std::size_t n) {
  if (n >= 4 && h[0] == 'P' && h[1] == 'K' &&
      ((h[2] == 3 && h[3] == 4) || (h[2] == 5 && h[3] == 6) || (h[2] == 7 && h[3] == 8))) {
    return ArchiveKind::Zip;
  }
  // An LHA header: "-l??-" at offset 2 and a header level of 0 to 3.
  if (n >= 22 && h[2] == '-' && h[3] == 'l' && h[6] == '-' && h[20] <= 3) return ArchiveKind::Lzh;
  return ArchiveKind::None;
}

// A name that would lead out of the folder it is extracted into, were it
// ever used as a path: absolute, with a drive, or with a ".." folder. A '\'
// counts as a separator too (no byte of a UTF-8 character is 0x5C).
bool UnsafeName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.front() == '\\') return true;
  if (name.size() >= 2 && name[1] == ':' &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
    return true;
  }
  for (std::size_t start = 0; start <= name.size();) {
    const std::size_t slash = std::min(name.find_first_of("/\\", start), name.size());
    if (name.substr(start, slash - start) == "..") return true;
    start = slash + 1;
  }
  return false;
}

}  // namespace

std::string NameToUtf8(std::string_view raw) {
  std::string utf8 = SjisToUtf8(raw);
  bool ok = false;
  if (Utf8ToSjis(utf8, &ok) == raw && ok) return utf8;
  // Valid UTF-8 (the names of a ZIP written on a UTF-8 desktop, unflagged).
  std::size_t i = 0;
  while (i < raw.size()) {
    const auto c = static_cast<unsigned char>(raw[i]);
    const std::size_t n = c < 0x80                 ? 1
                          : c >= 0xC2 && c <= 0xDF ? 2
                          : c >= 0xE0 && c <= 0xEF ? 3
                          : c >= 0xF0 && c <= 0xF4 ? 4
                                                   : 0;
    if (n == 0 || i + n > raw.size()) break;
    bool cont = true;
    for (std::size_t k = 1; k < n; ++k)
      cont = cont && (static_cast<unsigned char>(raw[i + k]) & 0xC0) == 0x80;
    if (!cont) break;
    i += n;
  }
  return i == raw.size() ? std::string(raw) : utf8;
}

bool SampleLooksLikeLog(std::string_view sample) { return LooksLikeLog(sample, sample.size() < kSampleSize); }

void FinishMember(ArchiveMember& m) {
  m.sjisName = Utf8ToSjis(m.name);
  if (m.encrypted) {
    m.problem = "書庫のメンバー " + m.name + " は暗号化されているため開けません";
  } else if (m.unsupported) {
    m.problem = MethodMessage(m.name, m.method);
  } else if (UnsafeName(m.name)) {
    m.problem = "書庫のメンバー " + m.name + " は書庫の外を指す名前のため開けません";
  }
  if (!m.problem.empty()) m.looksLikeLog = false;
}

std::string DamagedMessage(const ArchiveMember& member, std::string_view detail) {
  return "書庫のメンバー " + member.name + " が壊れているため展開できません (" + std::string(detail) + ")";
}

std::string MethodMessage(std::string_view name, std::string_view method) {
  return "書庫のメンバー " + std::string(name) + " は圧縮方式 " + std::string(method) +
         " で圧縮されています。この方式には対応していません";
}

ArchiveListing List(int fd, const fs::path& path, const ListOptions& options) {
  Utf8Locale utf8;
  ArchiveListing listing;
  unsigned char head[32] = {};
  const ssize_t n = ::pread(fd, head, sizeof head, 0);
  struct stat st = {};
  if (n < 0 || ::fstat(fd, &st) != 0) throw LogFileError("書庫を読めません: " + path.string());
  listing.kind = KindOfHead(head, static_cast<std::size_t>(n));
  if (listing.kind == ArchiveKind::None) {
    // An empty archive: no bytes, or LHA's end mark alone.
    if (n <= 1 && (n == 0 || head[0] == 0) && HasArchiveExtension(path.filename().string())) {
      const std::string ext = path.extension().string();
      listing.kind = ext.size() == 4 && (ext[1] | 0x20) == 'z' ? ArchiveKind::Zip : ArchiveKind::Lzh;
      return listing;
    }
    throw LogFileError("書庫ではありません: " + path.string());
  }

  LibarchivePass pass = ListWithLibarchive(fd, listing.kind, false, options.detectLogs);
  bool rawNames = false;
  if (pass.opened && !pass.error.empty() && pass.error.find("cannot be converted") != std::string::npos) {
    // A name that is no Shift-JIS (an LHA archive made where names are
    // UTF-8): the whole archive with the names as their bytes stand.
    LibarchivePass raw = ListWithLibarchive(fd, listing.kind, true, options.detectLogs);
    if (raw.opened && raw.entries > pass.entries) {
      pass = std::move(raw);
      rawNames = true;
    }
  }
  if (!pass.unnamed.empty()) {
    // ZIP names that are not CP932 and not flagged as UTF-8: their bytes.
    std::string error;
    if (ArchivePtr a = OpenReader(fd, true, error)) {
      archive_entry* e = nullptr;
      std::map<std::int64_t, std::string> names;
      for (std::int64_t index = 0; index <= pass.unnamed.back(); ++index) {
        const int r = archive_read_next_header(a.get(), &e);
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) break;
        if (const char* name = archive_entry_pathname(e)) names[index] = NameToUtf8(name);
      }
      for (ArchiveMember& m : pass.members) {
        if (m.name.empty() && names.count(m.entry)) m.name = names[m.entry];
      }
    }
  }
  listing.withoutCharset = rawNames;

  if (!pass.opened && listing.kind == ArchiveKind::Lzh) {
    // An archive whose first header libarchive refuses: liblhasa alone.
    lhasa::List(fd, options, listing);
    if (listing.members.empty())
      throw LogFileError("書庫を開けません: " + path.string() + " (" + pass.error + ")");
  } else if (!pass.opened) {
    throw LogFileError("書庫を開けません: " + path.string() + " (" + pass.error + ")");
  } else {
    if (!pass.error.empty()) {
      listing.damage = "書庫が途中で壊れています。読めたところまでのメンバーを示します: " + path.string() +
                       " (" + pass.error + ")";
    }
    listing.members = std::move(pass.members);
    if (options.detectLogs) {
      for (ArchiveMember& m : listing.members) {
        if (m.viaLhasa) lhasa::Sample(fd, m);
      }
    }
  }
  for (ArchiveMember& m : listing.members) FinishMember(m);

  // The bytes a member takes: from its header to the next one (or the end).
  std::vector<std::int64_t> starts;
  for (const ArchiveMember& m : listing.members) {
    if (m.headerAt >= 0) starts.push_back(m.headerAt);
  }
  std::sort(starts.begin(), starts.end());
  for (ArchiveMember& m : listing.members) {
    if (m.headerAt < 0 || m.packed > 0) continue;
    const auto next = std::upper_bound(starts.begin(), starts.end(), m.headerAt);
    const std::int64_t end = next == starts.end() ? st.st_size : *next;
    m.packed = static_cast<std::uint64_t>(std::max<std::int64_t>(end - m.headerAt, 0));
  }

  // A name that comes again (or none at all) cannot be told apart.
  std::set<std::string> seen;
  std::erase_if(listing.members,
                [&](const ArchiveMember& m) { return m.name.empty() || !seen.insert(m.name).second; });
  return listing;
}

class LibarchiveMember : public MemberReader {
 public:
  LibarchiveMember(ArchivePtr a, const ArchiveMember& m) : a_(std::move(a)), member_(m) {}
  std::size_t Read(char* data, std::size_t size) override {
    Utf8Locale utf8;
    const la_ssize_t n = archive_read_data(a_.get(), data, size);
    if (n < 0) {
      const std::string detail = ErrorText(a_.get(), "read error");
      if (detail.find("Unsupported") != std::string::npos)
        throw LogFileError(MethodMessage(member_.name, member_.method));
      throw LogFileError(DamagedMessage(member_, detail));
    }
    return static_cast<std::size_t>(n);
  }

 private:
  ArchivePtr a_;
  const ArchiveMember& member_;
};

std::unique_ptr<MemberReader> OpenMember(int fd, const ArchiveListing& listing, const ArchiveMember& m) {
  if (m.viaLhasa) return lhasa::Open(fd, m);
  Utf8Locale utf8;
  std::string error;
  ArchivePtr a = OpenReader(fd, listing.withoutCharset, error);
  if (!a) throw LogFileError(DamagedMessage(m, error));
  archive_entry* e = nullptr;
  for (std::int64_t index = 0;; ++index) {
    const int r = archive_read_next_header(a.get(), &e);
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
      throw LogFileError(DamagedMessage(m, ErrorText(a.get(), "no such entry")));
    }
    if (index == m.entry) break;
  }
  return std::make_unique<LibarchiveMember>(std::move(a), m);
}

}  // namespace archive_read

ArchiveKind ArchiveKindOf(const fs::path& path) {
  // A pipe or a device is never opened here (an open would wait for a
  // writer): no archive, and the opening of the log says what it is.
  int fd = -1;
  try {
    fd = OpenLogFile(path);
  } catch (const LogFileError&) {
    return ArchiveKind::None;
  }
  unsigned char head[32] = {};
  const ssize_t n = ::pread(fd, head, sizeof head, 0);
  struct stat st = {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (n < 0 || !regular) return ArchiveKind::None;
  const ArchiveKind kind = archive_read::KindOfHead(head, static_cast<std::size_t>(n));
  if (kind != ArchiveKind::None || n > 1 || (n == 1 && head[0] != 0)) return kind;
  if (!HasArchiveExtension(path.filename().string())) return ArchiveKind::None;
  const std::string ext = path.extension().string();
  return (ext[1] | 0x20) == 'z' ? ArchiveKind::Zip : ArchiveKind::Lzh;
}

bool HasArchiveExtension(std::string_view fileName) {
  if (fileName.size() < 5) return false;
  std::string ext(fileName.substr(fileName.size() - 4));
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == ".lzh" || ext == ".lha" || ext == ".zip";
}

std::vector<std::size_t> ArchiveListing::LogsFirst() const {
  std::vector<std::size_t> order;
  order.reserve(members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (members[i].looksLikeLog) order.push_back(i);
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (!members[i].looksLikeLog) order.push_back(i);
  }
  return order;
}

std::size_t ArchiveListing::LogCount() const {
  return static_cast<std::size_t>(
      std::count_if(members.begin(), members.end(), [](const ArchiveMember& m) { return m.looksLikeLog; }));
}

const ArchiveMember* ArchiveListing::Find(std::string_view name) const {
  for (const ArchiveMember& m : members) {
    if (m.name == name) return &m;
  }
  return nullptr;
}

ArchiveListing ListArchive(const fs::path& archive, const ListOptions& options) {
  const int fd = OpenLogFile(archive);  // a regular file, or LogFileError that says what it is
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  return archive_read::List(fd, archive, options);
}

MemberChoice ChooseMember(const ArchiveListing& listing, std::string_view pattern) {
  MemberChoice choice;
  const auto chosen = [&](const ArchiveMember& m) {
    choice.result = MemberChoice::kChosen;
    choice.member = &m;
    return choice;
  };
  if (listing.members.empty()) return choice;
  if (pattern.empty()) {
    if (listing.members.size() == 1) return chosen(listing.members.front());
    for (const ArchiveMember& m : listing.members) {
      if (m.looksLikeLog) choice.candidates.push_back(&m);
    }
    if (choice.candidates.size() == 1) return chosen(*choice.candidates.front());
    choice.result = choice.candidates.empty() ? MemberChoice::kNoLog : MemberChoice::kSeveralLogs;
    return choice;
  }
  for (const ArchiveMember& m : listing.members) {
    if (m.name == pattern || m.sjisName == pattern) return chosen(m);
  }
  {
    // fnmatch reads the pattern and the names as characters of the locale.
    archive_read::Utf8Locale utf8;
    const std::string p(pattern);
    for (const ArchiveMember& m : listing.members) {
      if (::fnmatch(p.c_str(), m.name.c_str(), 0) == 0) choice.candidates.push_back(&m);
    }
  }
  if (choice.candidates.size() == 1) return chosen(*choice.candidates.front());
  choice.result = choice.candidates.empty() ? MemberChoice::kNoMatch : MemberChoice::kSeveralMatch;
  return choice;
}

std::string FormatMemberDate(std::int64_t mtime) {
  if (mtime == 0) return {};
  const std::time_t t = static_cast<std::time_t>(mtime);
  std::tm tm = {};
  if (!::localtime_r(&t, &tm)) return {};
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
  return buf;
}

}  // namespace kest
