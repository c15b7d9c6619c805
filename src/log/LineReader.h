// The line reader of the log format, over a file read in large blocks.
//
// A line is the bytes from the reader's position up to the first CR (0x0D) or
// 0x1A byte, exclusive; a lone LF is an ordinary byte. When the line stopped
// at CR, the CR and a directly following LF are consumed. When it stopped at
// 0x1A, the reader stays on that byte, so further reads give empty lines until
// the reader is placed elsewhere. At the end of the file a read gives an empty
// line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <memory>

#include "log/LogFile.h"
#include "log/Types.h"

namespace kest {

class LineReader {
 public:
  enum class Stop { CR, Sub, Eof };

  struct Line {
    std::string_view text;  // at most the `cap` bytes asked for
    std::int64_t length;    // the whole line's length in bytes
    Stop stop;
  };

  // Opens the file; throws LogFileError ("ファイルが見つかりません" and the
  // like) when it is missing, no regular file or unreadable (see OpenLogFile).
  explicit LineReader(const std::filesystem::path& path, std::size_t blockSize = 1 << 20);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The open file, for readers of blocks of their own.
  int Fd() const { return fd_; }

  // The file's length when it was opened.
  std::int64_t Size() const { return size_; }
  std::int64_t Tell() const { return bufStart_ + static_cast<std::int64_t>(cur_); }

  // Places the reader at `offset`; the next read starts exactly there.
  void Seek(ByteOffset offset);

  // Reads one line. Only the first `cap` bytes of the line are kept in
  // `text` (the scanner needs no more than a header's width); `length` always
  // counts the whole line. The view stays valid until the next call.
  Line ReadLine(std::size_t cap = SIZE_MAX);

 private:
  bool Fill();  // reads the block at the reader's position; false at the end

  int fd_ = -1;
  std::int64_t size_ = 0;
  std::unique_ptr<char[]> buf_;  // not zeroed: only bytes read from the file are used
  std::size_t bufCap_;
  std::int64_t bufStart_ = 0;  // file offset of buf_[0]
  std::size_t bufLen_ = 0;     // valid bytes in buf_
  std::size_t cur_ = 0;        // reader position within buf_
  std::string scratch_;        // a line that crosses a block boundary
};

}  // namespace kest
