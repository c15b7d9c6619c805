// The bytes of remarks as an export reads them: any remark of a log of any
// size, in any order, through a window of the file kept in memory, and a
// remark's text handed on in pieces of bounded size, so that neither a long
// remark nor a long line is ever held whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "log/Logunit0.h"

namespace kest {

// Random access to a log's bytes, through blocks of the file kept in
// memory (the least recently used one goes first). The remarks of a thread
// lie near one another and are visited back and forth; in remark order a
// log whose numbers wrapped around is visited in as many places at once as
// the numbers wrapped: each place keeps its block, and every block is read
// about once.
class LogBytes {
 public:
  // Throws LogFileError when the file cannot be opened.
  explicit LogBytes(const std::filesystem::path& path, std::size_t blockSize = kBlockSize,
                    std::size_t blocks = kBlocks);
  ~LogBytes();
  LogBytes(const LogBytes&) = delete;
  LogBytes& operator=(const LogBytes&) = delete;

  // The file's length when it was opened.
  std::int64_t Size() const { return size_; }

  // The bytes from `at` to the end of its block: at least one, unless the
  // file ends at `at`. Throws LogFileError when reading fails.
  std::string_view From(std::int64_t at);

  static constexpr std::size_t kBlockSize = 32 * 1024;
  static constexpr std::size_t kBlocks = 128;

 private:
  struct Slot {
    std::int64_t block = -1;  // the block held, -1 for none
    std::uint64_t used = 0;   // when it was used last
    std::size_t length = 0;   // its bytes read (fewer at the end of the file)
  };
  std::size_t Load(std::int64_t block);

  int fd_ = -1;
  std::int64_t size_ = 0;
  std::size_t blockSize_;
  std::unique_ptr<char[]> buf_;
  std::vector<Slot> slots_;
  std::unordered_map<std::int64_t, std::size_t> where_;  // block -> slot
  std::size_t last_ = 0;                                 // the slot used last
  std::uint64_t clock_ = 0;
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
