#include "log/LineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kest {

LineReader::LineReader(const std::filesystem::path& path, std::size_t blockSize)
    : buf_(new char[std::max<std::size_t>(blockSize, 16)]), bufCap_(std::max<std::size_t>(blockSize, 16)) {
  fd_ = OpenLogFile(path);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    ::close(fd_);
    throw LogFileError(LogFileError::Reason::Unreadable, "ファイルを読み込めません", path);
  }
  size_ = static_cast<std::int64_t>(st.st_size);
}

LineReader::~LineReader() {
  if (fd_ >= 0) ::close(fd_);
}

void LineReader::Seek(ByteOffset offset) {
  std::int64_t off = std::max<std::int64_t>(offset.v, 0);
  if (off >= bufStart_ && off <= bufStart_ + static_cast<std::int64_t>(bufLen_)) {
    cur_ = static_cast<std::size_t>(off - bufStart_);  // still in the block
    return;
  }
  bufStart_ = off;
  bufLen_ = 0;
  cur_ = 0;
}

bool LineReader::Fill() {
  bufStart_ += static_cast<std::int64_t>(cur_);
  cur_ = 0;
  bufLen_ = 0;
  for (;;) {
    ssize_t n = ::pread(fd_, buf_.get(), bufCap_, bufStart_);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      throw LogFileError("ファイルの読み込み中にエラーが起きました (" +
                         std::string(std::strerror(errno)) + ")");
    }
    bufLen_ = static_cast<std::size_t>(n);
    return n > 0;
  }
}

LineReader::Line LineReader::ReadLine(std::size_t cap) {
  std::int64_t length = 0;
  bool spanning = false;  // the line continues over a block boundary
  scratch_.clear();
  for (;;) {
    if (cur_ >= bufLen_ && !Fill()) {
      // End of the file: whatever was collected is the line.
      std::string_view text = spanning ? std::string_view(scratch_) : std::string_view();
      return {text, length, Stop::Eof};
    }
    const char* start = buf_.get() + cur_;
    std::size_t avail = bufLen_ - cur_;
    const char* cr = static_cast<const char*>(std::memchr(start, '\r', avail));
    std::size_t upto = cr ? static_cast<std::size_t>(cr - start) : avail;
    const char* sub = static_cast<const char*>(std::memchr(start, 0x1A, upto));
    if (sub) upto = static_cast<std::size_t>(sub - start);
    bool ended = cr || sub;

    if (!spanning && ended) {
      // The common case: the whole line lies in the block.
      cur_ += upto;
      std::string_view text(start, std::min(upto, cap));
      Stop stop = Stop::Sub;
      if (!sub) {
        stop = Stop::CR;
        ++cur_;  // the CR
        if (cur_ >= bufLen_) {
          // The LF may be in the next block, which replaces this one.
          scratch_.assign(text);
          text = scratch_;
          Fill();
        }
        if (cur_ < bufLen_ && buf_[cur_] == '\n') ++cur_;
      }
      return {text, static_cast<std::int64_t>(upto), stop};
    }

    // Collect (up to cap bytes) and go on in the next block.
    spanning = true;
    if (scratch_.size() < cap) {
      scratch_.append(start, std::min(upto, cap - scratch_.size()));
    }
    length += static_cast<std::int64_t>(upto);
    cur_ += upto;
    if (ended) {
      Stop stop = Stop::Sub;
      if (!sub) {
        stop = Stop::CR;
        ++cur_;
        if (cur_ >= bufLen_) Fill();
        if (cur_ < bufLen_ && buf_[cur_] == '\n') ++cur_;
      }
      return {std::string_view(scratch_), length, stop};
    }
  }
}

}  // namespace kest
