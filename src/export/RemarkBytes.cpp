#include "export/RemarkBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "log/LineReader.h"

namespace kest {

LogBytes::LogBytes(const std::filesystem::path& path, std::size_t blockSize, std::size_t blocks)
    : blockSize_(std::max<std::size_t>(blockSize, 1)),
      buf_(new char[blockSize_ * std::max<std::size_t>(blocks, 1)]),
      slots_(std::max<std::size_t>(blocks, 1)) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int error = fd_ < 0 ? errno : EISDIR;
    if (fd_ >= 0) ::close(fd_);
    throw LogFileError("ファイルを読み込めません (" + std::string(std::strerror(error)) +
                       "): " + path.string());
  }
  size_ = static_cast<std::int64_t>(st.st_size);
  where_.reserve(slots_.size() * 2);
}

LogBytes::~LogBytes() { ::close(fd_); }

std::size_t LogBytes::Load(std::int64_t block) {
  std::size_t s = 0;
  for (std::size_t i = 1; i < slots_.size(); ++i) {
    if (slots_[i].used < slots_[s].used) s = i;
  }
  Slot& slot = slots_[s];
  if (slot.block >= 0) where_.erase(slot.block);
  slot.block = -1;
  slot.length = 0;
  char* data = buf_.get() + s * blockSize_;
  const std::int64_t start = block * static_cast<std::int64_t>(blockSize_);
  while (slot.length < blockSize_) {
    const ssize_t n = ::pread(fd_, data + slot.length, blockSize_ - slot.length,
                              start + static_cast<std::int64_t>(slot.length));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      throw LogFileError("ファイルの読み込み中にエラーが起きました (" + std::string(std::strerror(errno)) +
                         ")");
    }
    if (n == 0) break;
    slot.length += static_cast<std::size_t>(n);
  }
  slot.block = block;
  where_[block] = s;
  return s;
}

std::string_view LogBytes::From(std::int64_t at) {
  const std::int64_t block = at / static_cast<std::int64_t>(blockSize_);
  if (slots_[last_].block != block) {
    const auto found = where_.find(block);
    last_ = found != where_.end() ? found->second : Load(block);
  }
  Slot& slot = slots_[last_];
  slot.used = ++clock_;
  const auto offset = static_cast<std::size_t>(at - block * static_cast<std::int64_t>(blockSize_));
  if (offset >= slot.length) return {};  // the end of the file
  return {buf_.get() + last_ * blockSize_ + offset, slot.length - offset};
}

namespace {

enum class Stop { CR, Sub, Eof };

struct Line {
  std::int64_t length = 0;
  Stop stop = Stop::Eof;
  std::int64_t next = 0;  // where the line reader stands after the line
};

// Reads one line at `pos` as the line reader does (up to the first CR or
// 0x1A byte; a CR and a directly following LF consumed; the reader stays on
// a 0x1A byte), handing its bytes to `sink` when given.
Line ReadLine(LogBytes& bytes, std::int64_t pos, RemarkTextSink* sink) {
  Line line;
  for (;;) {
    const std::string_view block = bytes.From(pos);
    if (block.empty()) {
      line.next = pos;
      return line;  // the end of the file
    }
    const std::size_t look = std::min(block.size(), kMaxPiece);
    const char* cr = static_cast<const char*>(std::memchr(block.data(), '\r', look));
    std::size_t upto = cr ? static_cast<std::size_t>(cr - block.data()) : look;
    const char* sub = static_cast<const char*>(std::memchr(block.data(), 0x1A, upto));
    if (sub) upto = static_cast<std::size_t>(sub - block.data());
    if (sink && upto > 0) sink->Piece(block.substr(0, upto));
    line.length += static_cast<std::int64_t>(upto);
    pos += static_cast<std::int64_t>(upto);
    if (sub) {
      line.stop = Stop::Sub;
      line.next = pos;
      return line;
    }
    if (cr) {
      line.stop = Stop::CR;
      ++pos;
      const std::string_view after = bytes.From(pos);
      if (!after.empty() && after[0] == '\n') ++pos;
      line.next = pos;
      return line;
    }
  }
}

}  // namespace

void WalkShownLines(LogBytes& bytes, const TLogData& rec, RemarkTextSink& sink) {
  // ReadRemarkText, line by line, with the same counting: `consumed` counts
  // every line and two bytes for its end, whatever ended it, and the rest
  // of a line interrupted by a 0x1A byte is looked for by that count.
  const std::int64_t span = rec.EndPos - rec.StartPos;
  std::int64_t consumed = 0;
  std::int64_t pos = rec.StartPos.v;
  do {
    const Line l = ReadLine(bytes, pos, &sink);
    std::int64_t length = l.length;
    pos = l.next;
    if (l.stop == Stop::Sub && consumed < span) {
      const std::int64_t restAt = rec.StartPos.v + consumed + l.length + 1;
      const Line rest = ReadLine(bytes, restAt, nullptr);
      pos = rest.next;
      if (l.length + rest.length + consumed + 2 < span) {
        // The whole line, the 0x1A byte included, lies within the span.
        ReadLine(bytes, restAt, &sink);
        length += rest.length;
        consumed += 1;
      }
    }
    consumed += length + 2;
    sink.LineEnd();
  } while (consumed < span);
}

void WalkSpanBytes(LogBytes& bytes, const TLogData& rec, RemarkTextSink& sink) {
  std::int64_t pos = rec.StartPos.v;
  while (pos < rec.EndPos.v) {
    const std::string_view block = bytes.From(pos);
    if (block.empty()) return;  // the end of the file
    const std::size_t look = static_cast<std::size_t>(std::min<std::int64_t>(
        static_cast<std::int64_t>(std::min(block.size(), kMaxPiece)), rec.EndPos.v - pos));
    const char* sub = static_cast<const char*>(std::memchr(block.data(), 0x1A, look));
    const std::size_t upto = sub ? static_cast<std::size_t>(sub - block.data()) : look;
    if (upto > 0) sink.Piece(block.substr(0, upto));
    pos += static_cast<std::int64_t>(upto) + (sub ? 1 : 0);
  }
}

}  // namespace kest
