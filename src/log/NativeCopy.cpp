#include "log/NativeCopy.h"

#include <fcntl.h>
#include <iconv.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace kest {
namespace fs = std::filesystem;
namespace {

using u8 = unsigned char;

// "〓" in Shift-JIS: the customary mark for a character that has no form.
constexpr char kGeta[] = "\x81\xAC";

std::string ErrnoText(int err) { return std::strerror(err); }

// ---------------------------------------------------------------------------
// Writing

class Sink {
 public:
  Sink(int fd, const WriteFunction& write) : fd_(fd), write_(write) {}

  void Write(const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = write_ ? write_(fd_, data, size) : ::write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const int err = n < 0 ? errno : ENOSPC;
        throw NativeWriteError("変換したログを書き込めません (" + ErrnoText(err) + ")", err);
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
  }

 private:
  int fd_;
  const WriteFunction& write_;
};

// Turns the line ends of Shift-JIS text into CR LF. Neither 0x0A nor 0x0D
// is ever the second byte of a Shift-JIS character, so bytes are enough.
class LineEnds {
 public:
  explicit LineEnds(LineEnd from) : from_(from) {}

  // Appends `in` with its line ends converted to `out`.
  void Convert(const char* in, std::size_t size, std::string& out) {
    if (from_ == LineEnd::CrLf) {
      out.append(in, size);
      return;
    }
    const char* end = in + size;
    const char wanted = from_ == LineEnd::Lf ? '\n' : '\r';
    while (in < end) {
      if (pendingCr_) {
        // A CR at the end of the last block: CR LF when this block goes on
        // with its LF, a lone CR otherwise.
        pendingCr_ = false;
        if (*in != '\n') out += '\n';
      }
      const char* hit = static_cast<const char*>(std::memchr(in, wanted, static_cast<std::size_t>(end - in)));
      if (!hit) {
        out.append(in, static_cast<std::size_t>(end - in));
        lastCr_ = out.empty() ? lastCr_ : out.back() == '\r';
        return;
      }
      if (from_ == LineEnd::Lf) {
        // LF: CR LF, unless a CR stands before it already.
        const bool crBefore = hit > in ? hit[-1] == '\r' : lastCr_;
        out.append(in, static_cast<std::size_t>(hit - in));
        out += crBefore ? "\n" : "\r\n";
        lastCr_ = false;
      } else {
        // CR: CR LF, unless an LF follows already.
        out.append(in, static_cast<std::size_t>(hit - in) + 1);
        if (hit + 1 == end) {
          pendingCr_ = true;
        } else if (hit[1] != '\n') {
          out += '\n';
        }
      }
      in = hit + 1;
    }
  }

  // The end of the input: a lone CR at the very end gets its LF.
  void Finish(std::string& out) {
    if (pendingCr_) out += '\n';
    pendingCr_ = false;
  }

 private:
  LineEnd from_;
  bool lastCr_ = false;     // the last byte given out was CR (LF mode)
  bool pendingCr_ = false;  // the last byte given out was a CR not yet followed (CR mode)
};

// The length of the valid character at the start of `s` in the source
// encoding, or 0 when the bytes form no character at all.
std::size_t CharLength(LogEncoding enc, const u8* s, std::size_t n) {
  if (n == 0) return 0;
  const u8 c = s[0];
  if (enc == LogEncoding::Utf8) {
    const std::size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (len == 0 || len > n) return 0;
    for (std::size_t k = 1; k < len; ++k) {
      if ((s[k] & 0xC0) != 0x80) return 0;
    }
    if ((c == 0xE0 && s[1] < 0xA0) || (c == 0xED && s[1] > 0x9F) || (c == 0xF0 && s[1] < 0x90) ||
        (c == 0xF4 && s[1] > 0x8F)) {
      return 0;
    }
    return len;
  }
  auto euc = [](u8 b) { return b >= 0xA1 && b <= 0xFE; };
  if (c == 0x8E) return n >= 2 && s[1] >= 0xA1 && s[1] <= 0xDF ? 2 : 0;
  if (c == 0x8F) return n >= 3 && euc(s[1]) && euc(s[2]) ? 3 : 0;
  if (euc(c)) return n >= 2 && euc(s[1]) ? 2 : 0;
  return 0;
}

// The bytes that one "〓" stands for where no character starts: a UTF-8
// lead byte with the continuation bytes that still fit it (a character cut
// short is one fault, not one per byte); one byte otherwise.
std::size_t InvalidLength(LogEncoding enc, const u8* s, std::size_t n) {
  if (enc != LogEncoding::Utf8 || n == 0) return 1;
  const u8 c = s[0];
  const std::size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 1;
  std::size_t k = 1;
  while (k < len && k < n && (s[k] & 0xC0) == 0x80) {
    if (k == 1 && ((c == 0xE0 && s[1] < 0xA0) || (c == 0xED && s[1] > 0x9F) || (c == 0xF0 && s[1] < 0x90) ||
                   (c == 0xF4 && s[1] > 0x8F))) {
      break;
    }
    ++k;
  }
  return k;
}

iconv_t OpenConverter(LogEncoding enc) {
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  if (enc == LogEncoding::Utf8) {
    cd = iconv_open("CP932", "UTF-8");
  } else {
    // The Microsoft variant carries the NEC and IBM characters of Shift-JIS
    // logs (①, Ⅱ, ㈱) that the conversion tools write as EUC-JP row 13.
    cd = iconv_open("CP932", "EUC-JP-MS");
    if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("CP932", "EUC-JP");
  }
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw LogFileError("文字コード変換を開けません (" + ErrnoText(errno) + ")");
  }
  return cd;
}

struct Converter {
  explicit Converter(LogEncoding enc) : cd(OpenConverter(enc)) {}
  ~Converter() { iconv_close(cd); }
  iconv_t cd;
};

// Fills `buf` up to `cap` bytes; false when the input ended first.
bool ReadBlock(const ReadFunction& read, char* buf, std::size_t cap, std::size_t& got) {
  got = 0;
  while (got < cap) {
    const std::size_t n = read(buf + got, cap - got);
    if (n == 0) return false;
    got += n;
  }
  return true;
}

}  // namespace

std::size_t ReadFromFd(int fd, char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw LogFileError("ファイルを読めません (" + ErrnoText(errno) + ")");
    return static_cast<std::size_t>(n);
  }
}

ConversionCounts ConvertToNative(int in, int out, const LogForm& form,
                                 const std::function<void(std::int64_t)>& progress,
                                 const WriteFunction& write, std::size_t blockSize) {
  return ConvertToNative([in](char* data, std::size_t size) { return ReadFromFd(in, data, size); }, out, form,
                         progress, write, blockSize);
}

ConversionCounts ConvertToNative(const ReadFunction& in, int out, const LogForm& form,
                                 const std::function<void(std::int64_t)>& progress,
                                 const WriteFunction& write, std::size_t blockSize) {
  ConversionCounts counts;
  Sink sink(out, write);
  LineEnds ends(form.lineEnd);
  blockSize = std::max<std::size_t>(blockSize, 16);
  std::vector<char> inBuf(blockSize + 8);
  // One block in Shift-JIS, line ends as they came; kept across blocks and
  // never cleared, so no block pays for zeroing it.
  std::unique_ptr<char[]> convBuf;
  std::size_t convCap = 0;
  std::string native;     // the block with CR LF line ends
  native.reserve(blockSize * 2 + 16);
  std::int64_t total = 0;
  std::size_t carry = 0;  // bytes of a character cut off by the last block
  bool first = true;
  const bool recode = form.encoding != LogEncoding::ShiftJis;
  std::optional<Converter> conv;
  if (recode) conv.emplace(form.encoding);

  for (;;) {
    std::size_t got = 0;
    const bool more = ReadBlock(in, inBuf.data() + carry, blockSize, got);
    total += static_cast<std::int64_t>(got);
    std::size_t avail = carry + got;
    char* src = inBuf.data();
    if (first) {
      first = false;
      if (form.bom && avail >= 3 && std::memcmp(src, "\xEF\xBB\xBF", 3) == 0) {
        src += 3;
        avail -= 3;
      }
    }
    const char* block = src;  // the block in Shift-JIS
    std::size_t blockLen = avail;
    if (!recode) {
      avail = 0;
    } else {
      // Shift-JIS never takes more bytes than UTF-8 or EUC-JP for the same
      // character; a "〓" for a single invalid byte takes two.
      if (convCap < avail * 2 + 16) {
        convCap = avail * 2 + 16;
        convBuf.reset(new char[convCap]);
      }
      char* dst = convBuf.get();
      std::size_t dstLeft = convCap;
      while (avail > 0) {
        const std::size_t r = iconv(conv->cd, &src, &avail, &dst, &dstLeft);
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno == EINVAL && more) break;  // the rest of the character is in the next block
        if (errno == E2BIG) {
          // Cannot happen by the bound above; kept safe all the same.
          const std::size_t used = static_cast<std::size_t>(dst - convBuf.get());
          std::unique_ptr<char[]> bigger(new char[convCap * 2]);
          std::memcpy(bigger.get(), convBuf.get(), used);
          convBuf = std::move(bigger);
          convCap *= 2;
          dst = convBuf.get() + used;
          dstLeft = convCap - used;
          continue;
        }
        // A character without a Shift-JIS form, or bytes that form none.
        const std::size_t len = CharLength(form.encoding, reinterpret_cast<const u8*>(src), avail);
        if (len > 0) {
          ++counts.unmapped;
        } else {
          ++counts.invalid;
        }
        const std::size_t skip =
            len > 0 ? len : InvalidLength(form.encoding, reinterpret_cast<const u8*>(src), avail);
        src += skip;
        avail -= skip;
        if (dstLeft < 2) {
          const std::size_t used = static_cast<std::size_t>(dst - convBuf.get());
          std::unique_ptr<char[]> bigger(new char[convCap + 64]);
          std::memcpy(bigger.get(), convBuf.get(), used);
          convBuf = std::move(bigger);
          convCap += 64;
          dst = convBuf.get() + used;
          dstLeft = convCap - used;
        }
        std::memcpy(dst, kGeta, 2);
        dst += 2;
        dstLeft -= 2;
      }
      block = convBuf.get();
      blockLen = static_cast<std::size_t>(dst - convBuf.get());
    }
    if (form.lineEnd == LineEnd::CrLf) {
      sink.Write(block, blockLen);
    } else {
      native.clear();
      ends.Convert(block, blockLen, native);
      if (!more) ends.Finish(native);
      sink.Write(native.data(), native.size());
    }
    if (progress) progress(total);
    if (!more) break;
    // Keep the cut-off character for the next block.
    std::memmove(inBuf.data(), src, avail);
    carry = avail;
  }
  return counts;
}

// ---------------------------------------------------------------------------
// The cache folder

namespace {

constexpr const char* kKeyHeader = "kest32 native copy 1";

std::string EncodingKey(const std::optional<LogEncoding>& e) {
  if (!e) return "auto";
  return *e == LogEncoding::ShiftJis ? "shift_jis" : *e == LogEncoding::EucJp ? "euc-jp" : "utf-8";
}

std::string FormKey(const LogForm& f) {
  return std::to_string(static_cast<int>(f.encoding)) + "," + std::to_string(static_cast<int>(f.lineEnd)) + "," +
         (f.bom ? "1" : "0");
}

std::optional<LogForm> FormFromKey(const std::string& s) {
  int e = -1, l = -1, b = -1;
  if (std::sscanf(s.c_str(), "%d,%d,%d", &e, &l, &b) != 3 || e < 0 || e > 2 || l < 0 || l > 2 || b < 0 || b > 1) {
    return std::nullopt;
  }
  LogForm f;
  f.encoding = static_cast<LogEncoding>(e);
  f.lineEnd = static_cast<LineEnd>(l);
  f.bom = b == 1;
  return f;
}

std::string ReadSmallFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return {};
  std::string s;
  s.resize(4096);
  in.read(s.data(), static_cast<std::streamsize>(s.size()));
  s.resize(static_cast<std::size_t>(in.gcount()));
  return s;
}

// A copy and its key are named by 16 hexadecimal digits; nothing else in the
// folder is ever touched.
bool IsCacheName(const std::string& stem) {
  return stem.size() == 16 && std::all_of(stem.begin(), stem.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// Removes the copies used least lately until the folder is within the bound;
// `keep` stays whatever its size.
void TrimCache(const fs::path& dir, const fs::path& keep, std::uint64_t maxBytes, std::size_t maxCopies) {
  struct Entry {
    fs::path path;
    std::uint64_t size;
    fs::file_time_type used;
  };
  std::vector<Entry> entries;
  std::uint64_t total = 0;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    const std::string name = p.filename().string();
    // A temporary file left by a conversion that never finished (the program
    // was killed): "<key>.tmp-XXXXXX", gone after a day.
    const auto dot = name.find('.');
    if (dot == std::string::npos || !IsCacheName(name.substr(0, dot))) continue;
    std::error_code e2;
    const auto time = fs::last_write_time(p, e2);
    if (e2) continue;
    if (name.compare(dot, 5, ".tmp-") == 0) {
      if (fs::file_time_type::clock::now() - time > std::chrono::hours(24)) fs::remove(p, e2);
      continue;
    }
    if (p.extension() != ".log" || !it->is_regular_file(e2)) continue;
    const std::uint64_t size = it->file_size(e2);
    if (e2) continue;
    entries.push_back({p, size, time});
    total += size;
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.used < b.used; });
  std::size_t count = entries.size();
  for (const Entry& e : entries) {
    if (total <= maxBytes && count <= maxCopies) break;
    if (e.path == keep) continue;
    std::error_code e2;
    fs::path key = e.path;
    key.replace_extension(".key");
    fs::remove(key, e2);  // the key first: a copy without a key is never reused
    if (fs::remove(e.path, e2)) {
      total -= e.size;
      --count;
    }
  }
}

struct OpenFile {
  int fd = -1;
  struct stat st {};
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
};

void OpenOriginal(const fs::path& p, OpenFile& o) {
  o.fd = OpenLogFile(p);
  if (::fstat(o.fd, &o.st) != 0) throw LogFileError(LogFileError::Reason::Unreadable, "ファイルを読めません", p);
}

// Removes a partial copy when the conversion does not reach its end.
struct PartialFile {
  fs::path path;
  int fd = -1;
  ~PartialFile() {
    if (fd >= 0) ::close(fd);
    if (!path.empty()) ::unlink(path.c_str());
  }
  void Release() {
    fd = -1;
    path.clear();
  }
};

// Creates a file from a mkstemp template; the empty path when the folder
// cannot take it.
bool CreateTemp(const fs::path& dir, const std::string& prefix, const std::string& suffix, PartialFile& f) {
  std::string tmpl = (dir / (prefix + "XXXXXX" + suffix)).string();
  const int fd = ::mkstemps(tmpl.data(), static_cast<int>(suffix.size()));
  if (fd < 0) return false;
  ::fchmod(fd, 0600);
  f.fd = fd;
  f.path = tmpl;
  return true;
}

// A plain file as a source: opened anew for each reading, steady when it
// kept its identity and length from the first byte to the last.
class FileSource : public CopySource {
 public:
  explicit FileSource(fs::path original) : original_(std::move(original)) {}

  const fs::path& Original() const override { return original_; }
  std::string CacheName() const override { return original_.string(); }
  std::string Identity() override {
    struct stat st {};
    if (o_.fd >= 0) {
      st = o_.st;
    } else if (::stat(original_.c_str(), &st) != 0) {
      throw LogFileError(LogFileError::Reason::Missing, "ファイルが見つかりません", original_);
    }
    std::ostringstream s;
    s << kKeyHeader << "\npath=" << original_.string() << "\nsize=" << st.st_size
      << "\nmtime=" << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << "\ninode=" << st.st_dev << ':'
      << st.st_ino << '\n';
    return s.str();
  }
  void Start() override {
    if (o_.fd >= 0) ::close(o_.fd);
    o_.fd = -1;
    OpenOriginal(original_, o_);
    read_ = 0;
  }
  std::size_t Read(char* data, std::size_t size) override {
    const std::size_t n = ReadFromFd(o_.fd, data, size);
    read_ += static_cast<std::int64_t>(n);
    return n;
  }
  std::int64_t Length() const override { return o_.st.st_size; }
  bool Steady() override {
    struct stat after = {};
    struct stat now = {};
    return ::fstat(o_.fd, &after) == 0 && Unchanged(o_.st, after) && read_ == o_.st.st_size &&
           ::stat(original_.c_str(), &now) == 0 && Unchanged(o_.st, now);
  }
  std::string ChangingMessage() const override {
    return "ファイルが変換中に書き換えられました。書き込みが終わってから開き直してください: " +
           original_.string();
  }

 private:
  fs::path original_;
  OpenFile o_;
  std::int64_t read_ = 0;
};

// Copies the source into `f`, which is closed at the end. A source that
// changes while it is read is read again, up to three times. The identity
// it had when the copy began is given back for the key.
ConversionCounts ConvertInto(CopySource& source, const LogForm& form, PartialFile& f,
                             const NativeCopyOptions& options, std::string& identity) {
  constexpr int kTries = 3;
  for (int attempt = 1;; ++attempt) {
    source.Start();
    if (::ftruncate(f.fd, 0) != 0 || ::lseek(f.fd, 0, SEEK_SET) != 0) {
      throw NativeWriteError("変換したログを書き込めません (" + ErrnoText(errno) + ")", errno);
    }
    const std::int64_t size = source.Length();
    int lastPercent = -1;
    auto progress = [&](std::int64_t done) {
      if (options.cancel && options.cancel->load()) throw CopyCancelled();
      if (!options.progress || size <= 0) return;
      const int percent = static_cast<int>(std::min<std::int64_t>(100, done * 100 / size));
      if (percent != lastPercent) options.progress(lastPercent = percent);
    };
    if (options.progress) options.progress(lastPercent = 0);
    const ConversionCounts counts =
        ConvertToNative([&](char* data, std::size_t n) { return source.Read(data, n); }, f.fd, form, progress,
                        options.write, options.blockSize);
    if (source.Steady()) {
      if (::close(f.fd) != 0) {
        const int err = errno;
        f.fd = -1;
        throw NativeWriteError("変換したログを書き込めません (" + ErrnoText(err) + ")", err);
      }
      f.fd = -1;
      identity = source.Identity();
      return counts;
    }
    if (attempt == kTries) throw LogFileError(source.ChangingMessage());
  }
}

std::string WriteErrorMessage(const NativeWriteError& e, const fs::path& dir, bool member) {
  const std::string done = member ? "ログを展開できませんでした。書庫はそのままです。"
                                  : "ログを変換できませんでした。元のファイルはそのままです。";
  if (e.error == ENOSPC || e.error == EDQUOT) {
    return "ディスクの空きが足りないため、" + done + "\n" + (member ? "展開先: " : "変換先: ") + dir.string();
  }
  return (member ? "展開したログを書き込めませんでした。書庫はそのままです。\n展開先: "
                 : "変換したログを書き込めませんでした。元のファイルはそのままです。\n変換先: ") +
         dir.string() + " (" + ErrnoText(e.error) + ")";
}

// The form of the source's first bytes, as DetectLogFormOf gives it for a file.
LogForm DetectSourceForm(CopySource& source, const std::optional<LogEncoding>& encoding) {
  source.Start();
  std::string head(kFormSampleSize + 1, '\0');
  std::size_t got = 0;
  while (got < head.size()) {
    const std::size_t n = source.Read(head.data() + got, head.size() - got);
    if (n == 0) break;
    got += n;
  }
  const bool whole = got <= kFormSampleSize;
  head.resize(std::min(got, kFormSampleSize));
  return DetectLogForm(head, whole, encoding);
}

}  // namespace

// The copy of `source` in `form`: reused from the cache folder when its key
// names the source as it is now, else made afresh there. When the folder
// cannot be written, a temporary file ($TMPDIR) if `temporaryAllowed`.
NativeLog NativeLog::CopyOf(CopySource& source, const LogForm& detected, const NativeCopyOptions& options,
                            bool temporaryAllowed) {
  NativeLog log;
  log.original_ = source.Original();
  log.member_ = source.Member();
  log.form_ = detected;
  const bool member = !log.member_.empty();

  const fs::path dir = options.cacheDir.empty() ? DefaultCacheDir() : options.cacheDir;
  char name[17];
  std::snprintf(
      name, sizeof name, "%016llx",
      static_cast<unsigned long long>(Fnv1a(source.CacheName() + '\n' + EncodingKey(options.encoding))));
  const fs::path copy = dir / (std::string(name) + ".log");
  const fs::path key = dir / (std::string(name) + ".key");
  const std::string encodingLine = "encoding=" + EncodingKey(options.encoding) + '\n';

  // Reuse: the key names this source as it is now, and the copy is whole.
  {
    const std::string identity = source.Identity() + encodingLine;
    const std::string stored = ReadSmallFile(key);
    if (stored.compare(0, identity.size(), identity) == 0) {
      std::istringstream rest(stored.substr(identity.size()));
      std::string line;
      std::optional<LogForm> form;
      ConversionCounts counts;
      long long copySize = -1;
      while (std::getline(rest, line)) {
        if (line.rfind("form=", 0) == 0) form = FormFromKey(line.substr(5));
        else if (line.rfind("unmapped=", 0) == 0) counts.unmapped = std::strtoull(line.c_str() + 9, nullptr, 10);
        else if (line.rfind("invalid=", 0) == 0) counts.invalid = std::strtoull(line.c_str() + 8, nullptr, 10);
        else if (line.rfind("copysize=", 0) == 0) copySize = std::strtoll(line.c_str() + 9, nullptr, 10);
      }
      struct stat cst {};
      if (form && ::stat(copy.c_str(), &cst) == 0 && S_ISREG(cst.st_mode) && cst.st_size == copySize) {
        ::utimensat(AT_FDCWD, copy.c_str(), nullptr, 0);  // used now: the last to be removed
        log.read_ = copy;
        log.form_ = *form;
        log.counts_ = counts;
        return log;
      }
    }
  }

  // A fresh copy, written under a temporary name and renamed when whole.
  PartialFile part;
  bool inCache = false;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!ec || fs::is_directory(dir)) {
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    inCache = CreateTemp(dir, std::string(name) + ".tmp-", "", part);
  }
  if (!inCache && !temporaryAllowed) {
    throw LogFileError("ログを展開する場所がありません。キャッシュフォルダに書き込めません: " + dir.string());
  }
  // When the cache folder cannot be written, a temporary file ($TMPDIR);
  // never a relative name in whatever folder the program runs in.
  const fs::path target = inCache ? dir : fs::temp_directory_path(ec);
  if (!inCache && (target.empty() || !target.is_absolute() || !CreateTemp(target, "kest32-", ".log", part))) {
    throw LogFileError("ログを変換する場所がありません。キャッシュフォルダにも一時フォルダにも書き込めません: " +
                       dir.string());
  }
  std::string identity;
  try {
    log.counts_ = ConvertInto(source, log.form_, part, options, identity);
  } catch (const NativeWriteError& e) {
    throw LogFileError(WriteErrorMessage(e, target, member));
  }
  log.fresh_ = true;
  if (!inCache) {
    log.read_ = part.path;
    log.temporary_ = true;
    part.Release();
    return log;
  }
  struct stat cst {};
  ::stat(part.path.c_str(), &cst);
  std::string keyText = identity + encodingLine + "form=" + FormKey(log.form_) +
                        "\nunmapped=" + std::to_string(log.counts_.unmapped) +
                        "\ninvalid=" + std::to_string(log.counts_.invalid) +
                        "\ncopysize=" + std::to_string(cst.st_size) + "\n";
  // The copy first, then its key: a key never vouches for a copy it did not
  // describe. A key that cannot be written only costs a conversion next time.
  if (::rename(part.path.c_str(), copy.c_str()) != 0) {
    throw LogFileError(WriteErrorMessage(NativeWriteError("", errno), dir, member));
  }
  part.Release();
  log.read_ = copy;
  {
    PartialFile keyPart;
    if (CreateTemp(dir, std::string(name) + ".tmp-", "", keyPart)) {
      try {
        Sink(keyPart.fd, {}).Write(keyText.data(), keyText.size());
        if (::close(keyPart.fd) == 0 && ::rename(keyPart.path.c_str(), key.c_str()) == 0) keyPart.path.clear();
        keyPart.fd = -1;
      } catch (const NativeWriteError&) {
        fs::remove(key, ec);
      }
    }
  }
  TrimCache(dir, copy, options.maxBytes, options.maxCopies);
  return log;
}

bool Unchanged(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

NativeLog::NativeLog(NativeLog&& other) noexcept { *this = std::move(other); }

NativeLog& NativeLog::operator=(NativeLog&& other) noexcept {
  if (this != &other) {
    if (temporary_ && !read_.empty()) ::unlink(read_.c_str());
    original_ = std::move(other.original_);
    member_ = std::move(other.member_);
    read_ = std::move(other.read_);
    form_ = other.form_;
    counts_ = other.counts_;
    fresh_ = other.fresh_;
    temporary_ = other.temporary_;
    other.read_.clear();
    other.original_.clear();
    other.member_.clear();
    other.temporary_ = false;
  }
  return *this;
}

NativeLog::~NativeLog() {
  if (temporary_ && !read_.empty()) ::unlink(read_.c_str());
}

fs::path DefaultCacheDir() {
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/') return fs::path(xdg) / "kest32";
  const char* home = std::getenv("HOME");
  std::string h = home && *home ? home : "";
  if (h.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) h = pw->pw_dir;
  }
  if (h.empty()) h = fs::temp_directory_path().string();
  return fs::path(h) / ".cache" / "kest32";
}

NativeLog OpenNativeLog(const fs::path& originalIn, const NativeCopyOptions& options) {
  std::error_code ec;
  fs::path original = fs::absolute(originalIn, ec);
  if (ec) original = originalIn;
  const LogForm form = DetectLogFormOf(original, options.encoding);
  if (form.Native()) {
    NativeLog log;
    log.original_ = original;
    log.read_ = original;
    log.form_ = form;
    return log;
  }
  FileSource source(original);
  return NativeLog::CopyOf(source, form, options, true);
}

NativeLog OpenNativeCopy(CopySource& source, const NativeCopyOptions& options) {
  const LogForm form = DetectSourceForm(source, options.encoding);
  return NativeLog::CopyOf(source, form, options, false);
}

std::string ReplacedMessage(const ConversionCounts& counts) {
  if (counts.unmapped == 0 && counts.invalid == 0) return {};
  std::string s;
  if (counts.unmapped > 0) {
    s += "Shift-JIS にない文字が " + std::to_string(counts.unmapped) + " 個ありました。";
  }
  if (counts.invalid > 0) {
    s += "文字になっていないバイト列が " + std::to_string(counts.invalid) + " か所ありました。";
  }
  s += "どれも「〓」で表示します。";
  return s;
}

std::string ConversionNotice(const NativeLog& log) {
  if (!log.Member().empty()) return "ｱｰｶｲﾌﾞ " + log.Original().filename().string() + " から展開";
  if (!log.Converted()) return {};
  return DescribeLogForm(log.Form()) + " から変換";
}

}  // namespace kest
