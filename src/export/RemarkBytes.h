// The bytes of remarks as an export reads them: any remark of a log of any
// size, in any order, through a window of the file kept in memory, and a
// remark's text handed on in pieces of bounded size, so that neither a long
// remark nor a long line is ever held whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

#include "log/Logunit0.h"

namespace kest {

// Random access to a log's bytes. A window of the file stays in memory; a
// read outside it moves the window, a little before the byte asked for, so
// that the remarks of a thread, which lie near one another and are visited
// back and forth, are mostly found in it.
class LogBytes {
 public:
  // Throws LogFileError when the file cannot be opened.
  explicit LogBytes(const std::filesystem::path& path, std::size_t window = kWindow);
  ~LogBytes();
  LogBytes(const LogBytes&) = delete;
  LogBytes& operator=(const LogBytes&) = delete;

  // The file's length when it was opened.
  std::int64_t Size() const { return size_; }

  // The bytes from `at` on that the window holds: at least one, unless the
  // file ends at `at`. Throws LogFileError when reading fails.
  std::string_view From(std::int64_t at);

  static constexpr std::size_t kWindow = 4 << 20;

 private:
  int fd_ = -1;
  std::int64_t size_ = 0;
  std::size_t capacity_;
  std::unique_ptr<char[]> buf_;
  std::int64_t start_ = 0;  // file offset of buf_[0]
  std::size_t length_ = 0;  // bytes of the window read
};

// Takes the text of a remark as it is walked.
class RemarkTextSink {
 public:
  virtual ~RemarkTextSink() = default;
  // The next bytes of the current line (never CR, never the 0x1A byte).
  virtual void Piece(std::string_view bytes) = 0;
  // The current line ends.
  virtual void LineEnd() = 0;
};

// The longest piece handed on at once.
inline constexpr std::size_t kMaxPiece = 64 * 1024;

// The lines of a remark's text exactly as the text pane shows them (the
// lines ReadRemarkText gives: header line 2, the body, the 0x1A byte left
// out and a line it interrupts joined as the pane joins it; the last remark
// of a file ends with an empty line), each line in one or more pieces.
void WalkShownLines(LogBytes& bytes, const TLogData& rec, RemarkTextSink& sink);

// The bytes of a remark's span as the file holds them (up to the file's
// end), without the 0x1A bytes, all as pieces of one line that does not end.
void WalkSpanBytes(LogBytes& bytes, const TLogData& rec, RemarkTextSink& sink);

}  // namespace kest
