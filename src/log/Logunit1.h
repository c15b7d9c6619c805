// TLogCtrl: the index of one loaded log, with the scan that fills it, the
// byte spans, the reading of one remark's text, the remark test of the text
// search and the comment chain.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "log/LineReader.h"
#include "log/Logunit0.h"

namespace kest {

// A remark number, then the remark it comments on, and so on up to the top
// of its thread.
using ChainList = std::vector<RemarkNo>;

class TLogCtrl : public TLogBase {
 public:
  // Sets EndPos of the record added last; does nothing on an empty index.
  void SetLastEnd(ByteOffset offset);
  // EndPos - StartPos: the bytes the text retrieval reads.
  std::int64_t GetLength(IndexPos i) const;

  // The comment chain of the first remark numbered `number`; empty when the
  // log has no such remark.
  ChainList CommentChain(RemarkNo number) const;

  // First position holding `number`, or -1.
  IndexPos FindNumber(RemarkNo number) const;

  // The file's length when it was scanned.
  std::int64_t ScannedSize = 0;

  // The searches over the index (src/search/LogFind.cpp). Each returns the
  // chain list of the remark found (its number, then its parent's and so on,
  // as far as the walk back reaches) or an empty list when none matches.
  // Text: the first record after `start` (Forward) or the nearest before it
  // (Backward) with `key` within one line of its text, read from `file`;
  // with `ignoreCase` the lines are upper-cased and `key` must be already.
  // Throws LogFileError when the file cannot be read or has become shorter.
  ChainList FindTextForward(IndexPos start, std::string_view key, const std::filesystem::path& file,
                            bool ignoreCase, const std::function<void(int)>& progress = {}) const;
  ChainList FindTextBackward(IndexPos start, std::string_view key, const std::filesystem::path& file,
                             bool ignoreCase, const std::function<void(int)>& progress = {}) const;
  // The list orders without folds: the first position of the walk from,
  // from + step, ... (step +1 or -1) whose record holds `key` as above; -1
  // when none.
  IndexPos FindTextFrom(IndexPos from, int step, std::string_view key, const std::filesystem::path& file,
                        bool ignoreCase, const std::function<void(int)>& progress = {}) const;
  // ID: the same for a record whose 8-byte ID equals `key` exactly.
  ChainList FindIDForward(IndexPos start, std::string_view key) const;
  ChainList FindIDBackward(IndexPos start, std::string_view key) const;
};

// Percentages 0..100 while a scan runs (called when the value changes).
using ScanProgress = std::function<void(int percent)>;

// Scans a log into `index` (which must be fresh) and gives the log's title:
// the first line, or "タイトルなし" when the first line is already a header.
// Throws LogFileError when the file cannot be opened or read.
std::string ScanLog(const std::filesystem::path& path, TLogCtrl& index,
                    const ScanProgress& progress = {});
// The same with another size of read block (tests put lines around block ends).
inline constexpr std::size_t kScanBlock = 256 * 1024;
std::string ScanLog(const std::filesystem::path& path, TLogCtrl& index, const ScanProgress& progress,
                    std::size_t blockBytes);

// A large log is scanned by two threads: the second from a line near the
// middle of the file that looks like a header line 1, the first up to that
// line. When the first arrives there looking for a header line 1, the
// second's records follow its own; otherwise (the line was no line start to
// it, or a header's second line) it reads on alone. Either way the records
// are those of a scan from the start. Tests place the split anywhere.
struct ScanSplit {
  std::int64_t from = -1;  // look for the split from this offset on; -1: the middle of a large file
  bool* joined = nullptr;  // set to whether the second thread's records were taken
};
std::string ScanLog(const std::filesystem::path& path, TLogCtrl& index, const ScanProgress& progress,
                    std::size_t blockBytes, ScanSplit split);

// The lines of one remark's text, with the reader already placed at its
// StartPos: header line 2, the body, nothing of the next remark. The 0x1A
// byte never appears in them.
std::vector<std::string> ReadRemarkText(LineReader& reader, const TLogData& rec);

struct RemarkText {
  std::vector<std::string> lines;
  // The file has become shorter than the remark's span since the scan: the
  // lines are what is left, and the caller reports the damage.
  bool truncated = false;
};
// Opens the log, reads one remark's lines and closes it again, so the text
// always reflects the file on disk. Throws LogFileError when it cannot read.
RemarkText LoadRemarkText(const std::filesystem::path& path, const TLogCtrl& index, IndexPos i);

// The remark test of the text search (RemarkHolds of log/KeyMatcher.h):
// does `key` match whole characters within one line of the remark's text?
// With `ignoreCase` the lines' single-byte letters count as upper-case (the
// key is the caller's to upper-case). Lines are read as the line reader gives
// them, so text after a 0x1A byte is not seen.
bool RemarkMatches(LineReader& reader, const TLogData& rec, std::string_view key, bool ignoreCase);

// The message when a remark's span reaches past the end of a file that has
// been cut short since it was scanned.
std::string TruncatedMessage(const std::filesystem::path& path);

}  // namespace kest
