#include "log/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kest {
namespace {

std::string WhatItIs(mode_t mode) {
  if (S_ISFIFO(mode)) return "名前付きパイプです";
  if (S_ISSOCK(mode)) return "ソケットです";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "デバイスです";
  return "特殊なファイルです";
}

[[noreturn]] void ThrowNotRegular(const std::filesystem::path& path, mode_t mode) {
  if (S_ISDIR(mode)) {
    throw LogFileError(LogFileError::Reason::Folder, "フォルダはログファイルとして開けません", path,
                       "フォルダの中のログファイルを選んでください。");
  }
  throw LogFileError(LogFileError::Reason::NotRegular,
                     "通常のファイルではありません（" + WhatItIs(mode) + "）", path,
                     "ログファイルを選んでください。");
}

[[noreturn]] void ThrowOpenError(const std::filesystem::path& path, int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      throw LogFileError(LogFileError::Reason::Missing, "ファイルが見つかりません", path,
                         "ファイルの名前と場所を確かめてください。");
    case ELOOP:
      throw LogFileError(LogFileError::Reason::LinkLoop, "リンクが循環しています", path,
                         "シンボリックリンクの指す先を確かめてください。");
    case EACCES:
    case EPERM:
      throw LogFileError(LogFileError::Reason::Unreadable, "ファイルを読み込めません（読む許可がありません）",
                         path, "ファイルの読み取りの許可を確かめてください。");
    default:
      throw LogFileError(LogFileError::Reason::Unreadable,
                         "ファイルを読み込めません (" + std::string(std::strerror(err)) + ")", path);
  }
}

// Reads up to `size` bytes at `offset`; what a failing disk gives is simply
// left out of the digest (the comparison then differs, which is the safe
// answer).
std::string ReadAt(int fd, std::int64_t offset, std::size_t size) {
  std::string out(size, '\0');
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, out.data() + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return out;
}

FileIdentity IdentityOf(int fd, const struct stat& st) {
  FileIdentity id;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = static_cast<std::int64_t>(st.st_size);
  id.mtimeSeconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  id.mtimeNanoseconds = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
  const std::size_t head =
      static_cast<std::size_t>(std::min<std::int64_t>(id.size, FileIdentity::kDigestBytes));
  std::uint64_t h = Fnv1a(ReadAt(fd, 0, head));
  // The end, where a log grows; it overlaps the start in a small file.
  const std::int64_t tailFrom = std::max<std::int64_t>(id.size - FileIdentity::kDigestBytes, 0);
  h = Fnv1a(ReadAt(fd, tailFrom, static_cast<std::size_t>(id.size - tailFrom)), h);
  id.digest = h;
  return id;
}

}  // namespace

LogFileError::LogFileError(const std::string& message) : std::runtime_error(message), text_(message) {}

LogFileError::LogFileError(Reason reason, std::string text, std::filesystem::path path, std::string advice)
    : std::runtime_error(path.empty() ? text : text + ": " + path.string()),
      reason_(reason),
      text_(std::move(text)),
      path_(std::move(path)),
      advice_(std::move(advice)) {}

int OpenLogFile(const std::filesystem::path& path) {
  struct stat st {};
  if (path.empty()) ThrowOpenError(path, ENOENT);
  // The kind first, from the name alone: a pipe is never opened (an open
  // would wait for its writer), a device never read.
  if (::stat(path.c_str(), &st) != 0) ThrowOpenError(path, errno);
  if (!S_ISREG(st.st_mode)) ThrowNotRegular(path, st.st_mode);
  // The name may have been given to a pipe since: opened without waiting,
  // and the kind checked again on what was opened.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) ThrowOpenError(path, errno);
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    ThrowOpenError(path, err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    ThrowNotRegular(path, st.st_mode);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash) {
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

FileIdentity IdentifyFile(const std::filesystem::path& path) {
  const int fd = OpenLogFile(path);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    ThrowOpenError(path, err);
  }
  const FileIdentity id = IdentityOf(fd, st);
  ::close(fd);
  return id;
}

FileChange CompareFile(const FileIdentity& then, const std::filesystem::path& path) {
  FileIdentity now;
  try {
    now = IdentifyFile(path);
  } catch (const LogFileError&) {
    return FileChange::Gone;
  }
  if (now == then) return FileChange::None;
  return now.size < then.size ? FileChange::Shorter : FileChange::Changed;
}

LogFileError ChangedFileError(FileChange change, const std::filesystem::path& path, bool during) {
  if (change == FileChange::Gone) {
    return LogFileError(LogFileError::Reason::Missing,
                        "ログファイルが見つかりません（読み込んだ後に移動または削除されました）", path,
                        "ファイルを元の場所に戻すか、別のログファイルを開いてください。");
  }
  std::string text = during ? "ログファイルが読み込み中に変更されました" : "ログファイルが変更されました";
  if (change == FileChange::Shorter) text += "（読み込んだ後に短くなっています）";
  return LogFileError(LogFileError::Reason::Changed, std::move(text), path,
                      during ? "書き込みが終わってから、もう一度読み込んでください。"
                             : "読み直すと、発言の一覧を作り直します。");
}

}  // namespace kest
