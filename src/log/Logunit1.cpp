#include "log/Logunit1.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <unistd.h>
#include <cerrno>

#include "log/LineMasks.h"
#include "platform/Codec.h"

namespace kest {
namespace {

// The widest header line the scan needs: layout 5 reads up to byte 119.
constexpr std::size_t kHeaderCap = 128;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The start rule: only the separator is looked at.
int StartLayout(std::string_view l) {
  if (l.size() >= 6 && l[5] == '/') return 5;
  if (l.size() >= 4 && l[3] == '/') return 3;
  return 0;
}

// The loop rule: exactly three or five digits and '/'.
int LoopLayout(std::string_view l) {
  std::size_t digits = 0;
  while (digits < l.size() && digits < 6 && IsDigit(l[digits])) ++digits;
  if (digits == 3 && l.size() > 3 && l[3] == '/') return 3;
  if (digits == 5 && l.size() > 5 && l[5] == '/') return 5;
  return 0;
}

// The lines of a log for the scan, found in blocks read with pread. Each
// block gets bitmaps of its CR, 0x1A and digit bytes in one vectorised pass;
// a line's end is then the next set bit, and the body lines between two
// remarks are stepped over a word of the bitmaps at a time.
class BlockScanner {
 public:
  struct Line {
    std::int64_t end;       // offset of the CR or 0x1A that ends the line, or the end of the file
    bool sub;               // ended at 0x1A
    std::string_view text;  // the line's first bytes, at most kHeaderCap
  };

  BlockScanner(const std::filesystem::path& path, std::int64_t size, std::size_t blockBytes)
      : reader_(path, 16),
        size_(size),
        block_(std::max<std::size_t>((blockBytes + 63) / 64 * 64, 2 * kHeaderCap)),  // a header fits in one
        buf_(new char[block_]),
        cr_(new std::uint64_t[block_ / 64]),
        sub_(new std::uint64_t[block_ / 64]),
        digit_(new std::uint64_t[block_ / 64]) {}

  // The line that starts at `pos`. The text stays valid until the next call.
  // A text from an earlier call that is still needed can be passed as `keep`:
  // it is copied aside (and `*keep` pointed at the copy) only when the block
  // it lies in is about to be replaced, which is once per block at most.
  Line At(std::int64_t pos, std::string_view* keep = nullptr) {
    if (pos >= size_) return {pos, false, {}};
    auto protect = [&] {
      if (keep) {
        kept_.assign(*keep);
        *keep = kept_;
        keep = nullptr;
      }
    };
    if (pos < start_ || pos >= start_ + static_cast<std::int64_t>(len_)) {
      protect();
      Load(pos);
    }
    bool reloaded = false;
    for (;;) {
      const std::size_t r = static_cast<std::size_t>(pos - start_);
      const std::size_t stop = NextStop(r);
      if (stop < len_ || start_ + static_cast<std::int64_t>(len_) >= size_) {
        return {start_ + static_cast<std::int64_t>(stop), stop < len_ && Bit(sub_.get(), stop),
                std::string_view(buf_.get() + r, std::min(stop - r, kHeaderCap))};
      }
      protect();
      if (!reloaded && r != 0) {
        Load(pos);  // the line crosses the block: read again from its start
        reloaded = true;
        continue;
      }
      return Long(pos);
    }
  }

  // From the line start `pos`, steps over the lines that cannot be header
  // lines (their first byte is no digit) and end at a CR, as reading them one
  // by one would: the next line starts two bytes after the CR. Returns the
  // first line start that needs a closer look: a line that begins with a
  // digit, holds a 0x1A byte, follows a CR CR pair, or reaches past the block.
  std::int64_t SkipBody(std::int64_t pos) const {
    if (pos < start_ || pos >= start_ + static_cast<std::int64_t>(len_)) return pos;
    std::size_t s = static_cast<std::size_t>(pos - start_);
    if (Bit(digit_.get(), s)) return pos;
    const std::size_t words = (len_ + 63) / 64;
    std::size_t w = s / 64;
    std::uint64_t from = ~std::uint64_t{0} << (s % 64);
    for (;;) {
      const std::uint64_t m = cr_[w] & from;
      if ((sub_[w] & from) != 0 || (m & (m >> 1)) != 0) break;
      if (m != 0) {
        // Every CR here ends a line; the lines after them start two bytes on.
        const std::uint64_t digitFirst = (m << 2) & digit_[w];
        if (digitFirst != 0) return start_ + static_cast<std::int64_t>(64 * w + Lowest(digitFirst));
        s = 64 * w + Highest(m) + 2;
        if (s >= len_) break;
        if (s / 64 != w) {  // the last CR was one of the word's last two bytes
          w = s / 64;
          if (Bit(digit_.get(), s)) break;
          from = ~std::uint64_t{0} << (s % 64);
          continue;
        }
      }
      // The line from s goes on into the next word.
      if (++w >= words) break;
      from = ~std::uint64_t{0};
    }
    return start_ + static_cast<std::int64_t>(s);
  }

 private:
  static bool Bit(const std::uint64_t* words, std::size_t k) { return (words[k / 64] >> (k % 64)) & 1; }
  static std::size_t Lowest(std::uint64_t m) { return static_cast<std::size_t>(__builtin_ctzll(m)); }
  static std::size_t Highest(std::uint64_t m) { return 63 - static_cast<std::size_t>(__builtin_clzll(m)); }

  // The first CR or 0x1A at or after r in the block, or len_ when none.
  std::size_t NextStop(std::size_t r) const {
    const std::size_t words = (len_ + 63) / 64;
    std::size_t w = r / 64;
    std::uint64_t m = (cr_[w] | sub_[w]) & (~std::uint64_t{0} << (r % 64));
    while (m == 0) {
      if (++w >= words) return len_;
      m = cr_[w] | sub_[w];
    }
    return 64 * w + Lowest(m);
  }

  void Load(std::int64_t pos) {
    start_ = pos;
    len_ = 0;
    while (len_ < block_ && start_ + static_cast<std::int64_t>(len_) < size_) {
      ssize_t n = ::pread(reader_.Fd(), buf_.get() + len_, block_ - len_, start_ + static_cast<std::int64_t>(len_));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        throw LogFileError("ファイルの読み込み中にエラーが起きました (" + std::string(std::strerror(errno)) + ")");
      }
      if (n == 0) {
        size_ = start_ + static_cast<std::int64_t>(len_);  // cut short while scanning: it ends here
        break;
      }
      len_ += static_cast<std::size_t>(n);
    }
    BuildLineMasks(buf_.get(), len_, LineMaskWords{cr_.get(), sub_.get(), digit_.get()});
  }

  // A line longer than a block: keep its first bytes, find its end block by block.
  Line Long(std::int64_t pos) {
    const std::size_t keep = std::min<std::size_t>(len_, kHeaderCap);
    long_.assign(buf_.get(), keep);
    for (;;) {
      const std::int64_t next = start_ + static_cast<std::int64_t>(len_);
      if (next >= size_) return {size_, false, long_};
      Load(next);
      if (len_ == 0) return {size_, false, long_};
      const std::size_t stop = NextStop(0);
      if (stop < len_) return {start_ + static_cast<std::int64_t>(stop), buf_[stop] == 0x1A, long_};
    }
  }

  LineReader reader_;  // opens the file and reports a missing or unreadable one
  std::int64_t size_;
  const std::size_t block_;
  std::unique_ptr<char[]> buf_;
  std::unique_ptr<std::uint64_t[]> cr_, sub_, digit_;
  std::int64_t start_ = 0;
  std::size_t len_ = 0;
  std::string long_;
  std::string kept_;
};

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
  return ScanLog(path, index, progress, kScanBlock);
}

std::string ScanLog(const std::filesystem::path& path, TLogCtrl& index, const ScanProgress& progress,
                    std::size_t blockBytes) {
  LineReader reader(path);
  const std::int64_t size = reader.Size();
  index.ScannedSize = size;
  int lastPercent = -1;
  auto report = [&](std::int64_t pos) {
    if (!progress || size <= 0) return;
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
  if (!l.text.empty() && IsDigit(l.text[0])) {
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

  // The main loop: search for the next header line, then take its second line.
  // Lines are found in large blocks read straight from the file (no line
  // reader, no copy of a line), with the same positions as reading each line
  // at pos: a line ends at the first CR or 0x1A, and pos moves on by its
  // length and two bytes.
  BlockScanner blocks(path, size, blockBytes);
  std::string_view line1;  // in the scanner's block, or copied aside by it
  std::int64_t nextReport = 0;
  const std::int64_t reportStep = std::max<std::int64_t>(size / 200, 1);
  while (pos < size) {
    int layout = 0;
    std::int64_t len1 = 0;
    do {
      pos = blocks.SkipBody(pos);
      if (pos >= size) break;
      BlockScanner::Line h = blocks.At(pos);
      len1 = h.end - pos;
      layout = LoopLayout(h.text);
      if (layout != 0) line1 = h.text;
      if (h.sub) {
        // The line goes on after the 0x1A byte, up to the next CR or 0x1A.
        pos = blocks.At(h.end + 1, layout != 0 ? &line1 : nullptr).end + 2;
      } else {
        pos = h.end + 2;
      }
    } while (layout == 0 && pos < size);

    BlockScanner::Line l2 = blocks.At(pos, layout != 0 ? &line1 : nullptr);
    index.SetLastEnd(ByteOffset(pos - len1 - 2));
    if (layout != 0) index.AddRemark(line1, l2.text, layout, ByteOffset(pos));
    pos = l2.end + 2;
    if (pos >= nextReport) {
      report(pos);
      nextReport = pos + reportStep;
    }
  }
  index.SetLastEnd(ByteOffset(pos));
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
  return "ログファイルが読み込み後に短くなっています。発言の一部を読めません: " + path.string();
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

bool RemarkMatches(LineReader& reader, const TLogData& rec, std::string_view key,
                   bool ignoreCase) {
  reader.Seek(rec.StartPos);
  const std::int64_t span = rec.EndPos - rec.StartPos;
  std::int64_t count = 0;
  std::string upper;
  do {
    LineReader::Line l = reader.ReadLine();
    std::string_view text = l.text;
    if (ignoreCase) {
      upper.assign(text);
      AnsiUpperInPlace(upper.data(), upper.size());
      text = upper;
    }
    count += l.length + 2;
    if (key.empty() || (text.size() >= key.size() &&
                        memmem(text.data(), text.size(), key.data(), key.size()) != nullptr)) {
      return true;
    }
  } while (count < span);
  return false;
}

}  // namespace kest
