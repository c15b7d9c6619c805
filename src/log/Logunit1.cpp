#include "log/Logunit1.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstring>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>

#include "log/BlockScanner.h"
#include "platform/Codec.h"
#include "log/KeyMatcher.h"

namespace kest {
namespace {

// The start rule: only the separator is looked at.
int StartLayout(std::string_view l) {
  if (l.size() >= 6 && l[5] == '/') return 5;
  if (l.size() >= 4 && l[3] == '/') return 3;
  return 0;
}

}  // namespace

void TLogCtrl::SetLastEnd(ByteOffset offset) {
  if (items_.empty()) return;
  At(items_.size() - 1).EndPos = offset;
}

std::int64_t TLogCtrl::GetLength(IndexPos i) const {
  const TLogData& r = GetItem(i);
  return r.EndPos - r.StartPos;
}

IndexPos TLogCtrl::FindNumber(RemarkNo number) const {
  for (std::int32_t p = 0; p < Count(); ++p) {
    if (At(static_cast<std::size_t>(p)).Number == number) return IndexPos(p);
  }
  return IndexPos(-1);
}

ChainList TLogCtrl::CommentChain(RemarkNo number) const {
  ChainList chain;
  IndexPos p = FindNumber(number);
  if (p.v < 0) return chain;
  chain.push_back(number);
  if (At(static_cast<std::size_t>(p.v)).Level == -1) return chain;
  RemarkNo q = At(static_cast<std::size_t>(p.v)).CommentTo;
  for (std::int32_t k = p.v; k >= 0; --k) {
    const TLogData& r = At(static_cast<std::size_t>(k));
    if (r.Number == q) {
      chain.push_back(q);
      if (r.Level == -1) return chain;
      q = r.CommentTo;
    }
  }
  return chain;
}

std::string ScanLog(const std::filesystem::path& path, TLogCtrl& index,
                    const ScanProgress& progress) {
  return ScanLog(path, index, progress, kScanBlock, ScanSplit{});
}

std::string ScanLog(const std::filesystem::path& path, TLogCtrl& index, const ScanProgress& progress,
                    std::size_t blockBytes) {
  return ScanLog(path, index, progress, blockBytes, ScanSplit{});
}

namespace {

constexpr std::int64_t kNever = INT64_MAX;

// A file smaller than this is scanned by one thread: a second would cost
// more to start than it saves.
constexpr std::int64_t kSplitSize = 16 << 20;

// Thrown inside the second thread's scan when the first no longer needs it.
struct ScanDropped {};

// What a scan of lines gives besides its records.
struct LinesScanned {
  std::int64_t end = 0;   // where it ended: the end of the file, or the stop
  bool stopped = false;   // it came to the stop looking for a header line 1 there
  // The end it gave, while it had no record yet, to the record before its
  // first: the records of a scan from the start end where a later one begins.
  std::optional<std::int64_t> leadEnd;
};

// Scans the lines from `pos`, where a header line 1 is looked for, to the end
// of the file, or until it looks for a header line 1 at `stop` (once past
// `stop` it goes on to the end). Lines are found in large blocks read straight
// from the file (no line reader, no copy of a line), with the same positions
// as reading each line at pos: a line ends at the first CR or 0x1A, and pos
// moves on by its length and two bytes.
template <class Report>
LinesScanned ScanLines(BlockScanner& blocks, TLogCtrl& index, std::int64_t pos, std::int64_t size,
                       std::int64_t stop, Report&& report) {
  LinesScanned out;
  auto setLastEnd = [&](std::int64_t at) {
    if (index.Count() == 0) out.leadEnd = at;
    else index.SetLastEnd(ByteOffset(at));
  };
  // Looking for a header line 1 at pos: has the stop come?
  auto atStop = [&] {
    if (pos < stop) return false;
    if (pos == stop) return true;
    stop = kNever;  // passed over: the lines after it are this scan's too
    return false;
  };
  auto stopped = [&] {
    out.end = pos;
    out.stopped = true;
    return out;
  };
  std::string_view line1;  // in the scanner's block, or copied aside by it
  while (pos < size) {
    if (atStop()) return stopped();
    // A plain block, a remark at a time.
    pos = blocks.Remarks(pos, stop, [&](std::string_view l1, std::string_view l2, int layout, std::int64_t at1,
                                        std::int64_t at2) {
      setLastEnd(at1);
      index.AddRemark(l1, l2, layout, ByteOffset(at2));
    });
    report(pos);
    if (pos >= size) break;

    int layout = 0;
    std::int64_t len1 = 0;
    do {
      if (atStop()) return stopped();
      pos = blocks.SkipBody(pos);
      if (pos >= size) break;
      if (atStop()) return stopped();
      BlockScanner::Line h = blocks.At(pos);
      len1 = h.end - pos;
      layout = BlockScanner::LoopLayout(h.text);
      if (layout != 0) line1 = h.text;
      if (h.sub) {
        // The line goes on after the 0x1A byte, up to the next CR or 0x1A.
        pos = blocks.At(h.end + 1, layout != 0 ? &line1 : nullptr).end + 2;
      } else {
        pos = h.end + 2;
      }
    } while (layout == 0 && pos < size);

    BlockScanner::Line l2 = blocks.At(pos, layout != 0 ? &line1 : nullptr);
    setLastEnd(pos - len1 - 2);
    if (layout != 0) index.AddRemark(line1, l2.text, layout, ByteOffset(pos));
    pos = l2.end + 2;
    report(pos);
  }
  setLastEnd(pos);
  out.end = pos;
  return out;
}

// A line start from `from` on where the second thread may begin: the line
// after a CR that ends a line whatever came before it (no CR or 0x1A just
// before it, which could have made it the second byte of a line end), a line
// that reads as a header line 1. -1 when the stretch read holds none.
std::int64_t FindSplit(const LineReader& file, std::int64_t from, std::int64_t size) {
  constexpr std::size_t kLook = 64 * 1024;
  if (from < 1 || from >= size) return -1;
  std::string buf(kLook, '\0');
  const ssize_t n = ::pread(file.Fd(), buf.data(), kLook, from - 1);
  if (n <= 0) return -1;
  buf.resize(static_cast<std::size_t>(n));
  for (std::size_t p = 1; p + 2 + 6 <= buf.size(); ++p) {
    if (buf[p] != '\r' || buf[p - 1] == '\r' || buf[p - 1] == 0x1A) continue;
    const std::size_t next = p + 2;
    if (BlockScanner::LoopLayout(std::string_view(buf).substr(next, 6)) != 0) {
      return from - 1 + static_cast<std::int64_t>(next);
    }
  }
  return -1;
}

}  // namespace

std::string ScanLog(const std::filesystem::path& path, TLogCtrl& index, const ScanProgress& progress,
                    std::size_t blockBytes, ScanSplit split) {
  if (split.joined) *split.joined = false;
  LineReader reader(path);
  const std::int64_t size = reader.Size();
  index.ScannedSize = size;
  // Progress every half percent of the file at most.
  int lastPercent = -1;
  std::int64_t nextReport = 0;
  const std::int64_t reportStep = std::max<std::int64_t>(size / 200, 1);
  auto report = [&](std::int64_t pos) {
    if (!progress || size <= 0 || pos < nextReport) return;
    nextReport = pos + reportStep;
    int percent = static_cast<int>(std::lround(static_cast<double>(pos) * 100.0 / static_cast<double>(size)));
    if (percent != lastPercent) {
      lastPercent = percent;
      progress(percent);
    }
  };
  if (progress) progress(0);

  // The start of the file: an optional title line and one empty line.
  std::string title;
  std::string candidate;
  // A title longer than this (a binary file read as a log) is only cut in
  // what is kept; the offsets count the whole line.
  constexpr std::size_t kTitleCap = 4096;
  LineReader::Line l = reader.ReadLine(kTitleCap);
  std::int64_t pos = l.length + 2;
  if (!l.text.empty() && BlockScanner::IsDigit(l.text[0])) {
    title = KEST_SJIS("タイトルなし");
    candidate.assign(l.text.substr(0, kHeaderCap));
  } else {
    title.assign(l.text);
    l = reader.ReadLine(kHeaderCap);
    pos += l.length + 2;
    if (l.length == 0) {
      l = reader.ReadLine(kHeaderCap);
      pos += l.length + 2;
    }
    candidate.assign(l.text);
  }
  {
    int layout = StartLayout(candidate);
    LineReader::Line l2 = reader.ReadLine(kHeaderCap);  // read whatever the result
    if (layout != 0) index.AddRemark(candidate, l2.text, layout, ByteOffset(pos));
    pos += l2.length + 2;
  }

  // The second thread's part, when the file is large enough: its records
  // need the first remark's number (a reference older than it counts as
  // none), known once the first thread has one.
  const std::int64_t from = split.from >= 0 ? split.from : size >= kSplitSize ? size / 2 : -1;
  const std::int64_t stop =
      from >= 0 && index.HasFirst && std::thread::hardware_concurrency() > 1 ? FindSplit(reader, std::max(from, pos), size)
                                                                             : -1;
  auto alone = [&] {
    BlockScanner blocks(path, size, blockBytes);
    ScanLines(blocks, index, pos, size, kNever, report);
    index.ShrinkToFit();
    if (progress) progress(0);
    return title;
  };
  if (stop <= pos) return alone();

  TLogCtrl rest;
  rest.FirstNumber = index.FirstNumber;
  rest.HasFirst = true;
  LinesScanned restScanned;
  std::exception_ptr restError;
  std::atomic<std::int64_t> restAt{stop};
  std::atomic<bool> dropped{false};
  // Each part reads its own blocks (two threads reading ahead for them would
  // only take turns on the same two processors).
  std::thread second;
  try {
    second = std::thread([&] {
      try {
        BlockScanner blocks(path, size, blockBytes, false);
        restScanned = ScanLines(blocks, rest, stop, size, kNever, [&](std::int64_t at) {
          restAt.store(at, std::memory_order_relaxed);
          if (dropped.load(std::memory_order_relaxed)) throw ScanDropped{};
        });
      } catch (...) {
        restError = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    return alone();  // no thread to be had
  }
  struct Join {
    std::thread& t;
    std::atomic<bool>& dropped;
    ~Join() {
      dropped = true;
      if (t.joinable()) t.join();
    }
  } join{second, dropped};

  LinesScanned mine;
  {
    BlockScanner blocks(path, size, blockBytes, false);
    mine = ScanLines(blocks, index, pos, size, stop, [&](std::int64_t at) {
      report(at < stop ? at + (restAt.load(std::memory_order_relaxed) - stop) : at);
    });
  }
  if (mine.stopped) {
    second.join();
    // A failure of the second part is one a scan from the start meets too.
    if (restError) std::rethrow_exception(restError);
    if (restScanned.leadEnd) index.SetLastEnd(ByteOffset(*restScanned.leadEnd));
    index.Append(rest);
    if (split.joined) *split.joined = true;
  }
  index.ShrinkToFit();
  if (progress) progress(0);
  return title;
}

std::vector<std::string> ReadRemarkText(LineReader& reader, const TLogData& rec) {
  std::vector<std::string> lines;
  const std::int64_t span = rec.EndPos - rec.StartPos;
  std::int64_t consumed = 0;
  do {
    LineReader::Line l = reader.ReadLine();
    std::string text(l.text);
    if (l.stop == LineReader::Stop::Sub && consumed < span) {
      reader.Seek(rec.StartPos + (consumed + l.length + 1));
      LineReader::Line rest = reader.ReadLine();
      if (l.length + rest.length + consumed + 2 < span) {
        // The whole line, the 0x1A byte included, lies within the span.
        text.append(rest.text);
        consumed += 1;
      }
    }
    consumed += static_cast<std::int64_t>(text.size()) + 2;
    lines.push_back(std::move(text));
  } while (consumed < span);
  return lines;
}

std::string TruncatedMessage(const std::filesystem::path& path) {
  return "ログファイルが読み込み後に短くなっています。発言の一部を読めません。ファイルを読み直してください: " +
         path.string();
}

RemarkText LoadRemarkText(const std::filesystem::path& path, const TLogCtrl& index, IndexPos i) {
  const TLogData& rec = index.GetItem(i);
  // Read no more than the remark (and the two bytes of a line end): a block
  // of its size, up to 64 KiB at a time.
  const std::int64_t span = std::max<std::int64_t>(rec.EndPos - rec.StartPos, 0);
  LineReader reader(path, static_cast<std::size_t>(std::clamp<std::int64_t>(span + 2, 64, 64 * 1024)));
  reader.Seek(rec.StartPos);
  RemarkText result;
  result.lines = ReadRemarkText(reader, rec);
  // The bytes of this remark that were there at the scan must still be there.
  std::int64_t needed = std::min(rec.EndPos.v, index.ScannedSize);
  result.truncated = reader.Size() < needed;
  return result;
}

bool RemarkMatches(LineReader& reader, const TLogData& rec, std::string_view key, bool ignoreCase) {
  return RemarkHolds(reader, rec.StartPos, rec.EndPos, KeyMatcher(std::string(key), ignoreCase));
}

}  // namespace kest
