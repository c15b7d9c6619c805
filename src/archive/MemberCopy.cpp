#include "archive/MemberCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

#include "archive/Archive.h"
#include "archive/ArchiveRead.h"
#include "log/LogFile.h"

namespace kest {
namespace fs = std::filesystem;
namespace {

// A member's name in a key line: bytes below 0x20 and '%' as %XX, so that
// no name can end its line or pass for another.
std::string KeyText(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x20 || c == '%' || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Bytes(std::uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// One member read from the archive, opened anew (and found again by a
// fresh listing) for every reading.
class MemberSource : public CopySource {
 public:
  MemberSource(fs::path archive, std::string member, std::uint64_t maxBytes)
      : archive_(std::move(archive)), member_(std::move(member)), maxBytes_(maxBytes) {}
  ~MemberSource() override { Close(); }

  const fs::path& Original() const override { return archive_; }
  std::string Member() const override { return member_; }
  std::string CacheName() const override { return archive_.string() + '\0' + member_; }

  std::string Identity() override {
    struct stat st = {};
    if (fd_ >= 0) {
      st = st_;
    } else if (::stat(archive_.c_str(), &st) != 0) {
      throw LogFileError(LogFileError::Reason::Missing, "ファイルが見つかりません", archive_);
    }
    std::ostringstream s;
    s << "kest32 archive member 1\narchive=" << archive_.string() << "\nsize=" << st.st_size
      << "\nmtime=" << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << "\ninode=" << st.st_dev << ':'
      << st.st_ino << "\nmember=" << KeyText(member_) << '\n';
    return s.str();
  }

  void Start() override {
    Close();
    fd_ = OpenLogFile(archive_);  // a regular file, or LogFileError that says what it is
    if (::fstat(fd_, &st_) != 0) {
      throw LogFileError(LogFileError::Reason::Unreadable, "書庫を読めません", archive_);
    }
    listing_ = archive_read::List(fd_, archive_, ListOptions{.detectLogs = false});
    found_ = listing_.Find(member_);
    if (!found_) throw LogFileError("書庫にメンバー " + member_ + " がありません: " + archive_.string());
    const ArchiveMember& m = *found_;
    if (!m.problem.empty()) throw LogFileError(m.problem);
    if (m.size > maxBytes_) throw LogFileError(TooLarge(m.size));
    if (m.size > kPackRatioFloor && (m.packed == 0 || m.size / m.packed > kMaxPackRatio)) {
      throw LogFileError(TooDense());
    }
    reader_ = archive_read::OpenMember(fd_, listing_, m);
    produced_ = 0;
  }

  std::size_t Read(char* data, std::size_t size) override {
    const std::size_t n = reader_->Read(data, size);
    produced_ += n;
    const ArchiveMember& m = *found_;
    if (produced_ > maxBytes_) throw LogFileError(TooLarge(produced_));
    if (produced_ > kPackRatioFloor && produced_ / std::max<std::uint64_t>(m.packed, 1) > kMaxPackRatio) {
      throw LogFileError(TooDense());
    }
    if (produced_ > m.size) {
      throw LogFileError(
          archive_read::DamagedMessage(m, "見出しの大きさ " + Bytes(m.size) + " バイトを超えます"));
    }
    return n;
  }

  std::int64_t Length() const override { return found_ ? static_cast<std::int64_t>(found_->size) : -1; }

  bool Steady() override {
    struct stat after = {};
    struct stat now = {};
    return ::fstat(fd_, &after) == 0 && Unchanged(st_, after) && ::stat(archive_.c_str(), &now) == 0 &&
           Unchanged(st_, now) && produced_ == found_->size;
  }

  std::string ChangingMessage() const override {
    return "書庫が展開中に書き換えられました。書き込みが終わってから開き直してください: " + archive_.string();
  }

 private:
  void Close() {
    reader_.reset();
    found_ = nullptr;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  std::string TooLarge(std::uint64_t size) const {
    return "書庫のメンバー " + member_ + " は展開すると " + Bytes(size) + " バイトを超え、キャッシュの上限 " +
           Bytes(maxBytes_) + " バイトより大きいため展開しません";
  }
  std::string TooDense() const {
    return "書庫のメンバー " + member_ + " は圧縮率が " + std::to_string(kMaxPackRatio) +
           " 倍を超えるため展開しません (異常に圧縮されたデータです)";
  }

  fs::path archive_;
  std::string member_;
  std::uint64_t maxBytes_;
  int fd_ = -1;
  struct stat st_ = {};
  ArchiveListing listing_;
  const ArchiveMember* found_ = nullptr;
  std::unique_ptr<archive_read::MemberReader> reader_;
  std::uint64_t produced_ = 0;
};

}  // namespace

NativeLog ExtractMember(const fs::path& archive, std::string_view member, const NativeCopyOptions& options) {
  std::error_code ec;
  fs::path absolute = fs::absolute(archive, ec);
  if (ec) absolute = archive;
  MemberSource source(absolute, std::string(member), options.maxBytes);
  return OpenNativeCopy(source, options);
}

NativeLog OpenLocation(const LogLocation& where, const NativeCopyOptions& options) {
  if (where.InArchive()) return ExtractMember(where.file, where.member, options);
  return OpenNativeLog(where.file, options);
}

}  // namespace kest
