#include "export/ExportFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>

namespace kest {
namespace {

namespace fs = std::filesystem;

std::string ErrnoText(int error) { return std::strerror(error); }

// The mode a new file gets: 0666 less the process's umask.
mode_t NewFileMode() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) == 0)
      return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 0644;
}

}  // namespace

ExportFile::ExportFile(const fs::path& target, WriteFunction write)
    : target_(target), write_(std::move(write)) {
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(target_, ec))) {
    // The shell writes through a link: so does the export, to its end.
    const fs::path resolved = fs::weakly_canonical(target_, ec);
    if (!ec) target_ = resolved;
  }
  struct stat st {};
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) throw ExportError("フォルダには書き出せません: " + target_.string());
  if (exists && !S_ISREG(st.st_mode)) {
    // A device or a pipe: nothing to replace, and renaming onto it would
    // replace the device itself.
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) Fail("書き出せません", errno);
    return;
  }
  // A file the user may not write (or one with no write bit at all, which
  // even the superuser leaves alone) is not replaced behind their back.
  if (exists && ((st.st_mode & 0222) == 0 || ::access(target_.c_str(), W_OK) != 0)) {
    Fail("書き出せません", EACCES);
  }
  const fs::path dir = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
  std::string tmpl = (dir / ("." + target_.filename().string() + ".XXXXXX")).string();
  fd_ = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd_ < 0) Fail("書き出せません", errno);
  if (::fchmod(fd_, exists ? (st.st_mode & 07777) : NewFileMode()) != 0) {
    const int error = errno;
    ::close(fd_);
    ::unlink(tmpl.c_str());
    Fail("書き出せません", error);
  }
  temp_ = tmpl;
}

ExportFile::~ExportFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void ExportFile::Fail(const std::string& what, int error) {
  throw ExportError(what + " (" + ErrnoText(error) + "): " + target_.string());
}

void ExportFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n =
        write_ ? write_(fd_, bytes.data(), bytes.size()) : ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("書き込めません", n == 0 ? ENOSPC : errno);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void ExportFile::Commit() {
  const int fd = fd_;
  fd_ = -1;
  if (temp_.empty()) {
    if (::close(fd) != 0) Fail("書き込めません", errno);
    committed_ = true;
    return;
  }
  // The data reaches the disk before the file takes the old one's place, so
  // the target is either the old file or the whole new one.
  if (::fsync(fd) != 0) {
    const int error = errno;
    ::close(fd);
    Fail("書き込めません", error);
  }
  if (::close(fd) != 0) Fail("書き込めません", errno);
  if (::rename(temp_.c_str(), target_.c_str()) != 0) Fail("書き出せません", errno);
  committed_ = true;
}

void StreamSink::Write(std::string_view bytes) {
  out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out_) throw ExportError("出力に書き込めません");
}

}  // namespace kest
