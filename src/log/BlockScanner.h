// The scan's reading of a log file: blocks read with pread (and read ahead by
// a second thread on a large file), their bitmaps of line ends and header
// starts, and the lines and remarks found in them. Used by ScanLog only.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "log/LineMasks.h"
#include "log/LineReader.h"

namespace kest {

// The widest header line the scan needs: layout 5 reads up to byte 119.
inline constexpr std::size_t kHeaderCap = 128;

// The lines of a log for the scan, found in blocks read with pread. Each
// block gets bitmaps of its CR bytes, header starts and 0x1A bytes in one
// vectorised pass; a line's end is then the next set bit, and the body lines
// between two remarks are stepped over a word of the bitmaps at a time. A
// block that is plain (no 0x1A, no CR after a CR) is taken a remark at a
// time: every CR there ends a line, so the header lines are the header
// starts of the bitmaps whose bytes read as one.
class BlockScanner {
 public:
  struct Line {
    std::int64_t end;       // offset of the CR or 0x1A that ends the line, or the end of the file
    bool sub;               // ended at 0x1A
    std::string_view text;  // the line's first bytes, at most kHeaderCap
  };

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  // The loop rule of header line 1: exactly three or five digits and '/'.
  static int LoopLayout(std::string_view l) {
    std::size_t digits = 0;
    while (digits < l.size() && digits < 6 && IsDigit(l[digits])) ++digits;
    if (digits == 3 && l.size() > 3 && l[3] == '/') return 3;
    if (digits == 5 && l.size() > 5 && l[5] == '/') return 5;
    return 0;
  }

  BlockScanner(const std::filesystem::path& path, std::int64_t size, std::size_t blockBytes, bool readAhead = true)
      : reader_(path, 16),
        size_(size),
        block_(std::max<std::size_t>((blockBytes + 63) / 64 * 64, 2 * kHeaderCap)),  // a header fits in one
        // Blocks start at a multiple of this, a quarter block at most: a
        // copy from the file's pages into a buffer placed the same way
        // within a page runs at full speed (just behind it, it can run
        // several times slower).
        align_(std::min<std::size_t>(4096, std::bit_floor(block_ / 4))),
        cur_(block_) {
    // A file of several blocks is read ahead by a second thread: while this
    // one takes the remarks out of a block, the next few are read and their
    // bitmaps made. (Not for tiny blocks, where handing blocks over would
    // cost more than reading them.)
    if (readAhead && block_ >= 4096 && size_ > static_cast<std::int64_t>(4 * block_) &&
        std::thread::hardware_concurrency() > 1) {
      for (std::size_t k = 0; k < kAhead; ++k) ring_.emplace_back(block_);
      reader_thread_ = std::thread([this] { ReadAhead(); });
    }
  }

  ~BlockScanner() {
    if (!reader_thread_.joinable()) return;
    Signal(kStop);
    reader_thread_.join();
  }

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
    if (pos < cur_.start || pos >= cur_.start + static_cast<std::int64_t>(cur_.len)) {
      protect();
      Load(pos);
    }
    bool reloaded = false;
    for (;;) {
      const std::size_t r = static_cast<std::size_t>(pos - cur_.start);
      const std::size_t stop = NextStop(r);
      if (stop < cur_.len || cur_.start + static_cast<std::int64_t>(cur_.len) >= size_) {
        return {cur_.start + static_cast<std::int64_t>(stop), stop < cur_.len && cur_.buf[stop] == 0x1A,
                std::string_view(cur_.buf.get() + r, std::min(stop - r, kHeaderCap))};
      }
      protect();
      if (!reloaded && r >= align_) {
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
    if (pos < cur_.start || pos >= cur_.start + static_cast<std::int64_t>(cur_.len)) return pos;
    std::size_t s = static_cast<std::size_t>(pos - cur_.start);
    if (IsDigit(cur_.buf[s])) return pos;
    const std::size_t words = (cur_.len + 63) / 64;
    std::size_t w = s / 64;
    std::uint64_t from = ~std::uint64_t{0} << (s % 64);
    for (;;) {
      const std::uint64_t m = cur_.cr[w] & from;
      if ((Sub(w) & from) != 0 || (m & (m >> 1)) != 0) break;
      if (m != 0) {
        // Every CR here ends a line; the lines after them start two bytes on.
        const std::uint64_t digitFirst = (m << 2) & cur_.head[w];
        if (digitFirst != 0) return cur_.start + static_cast<std::int64_t>(64 * w + Lowest(digitFirst));
        s = 64 * w + Highest(m) + 2;
        if (s >= cur_.len) break;
        if (s / 64 != w) {  // the last CR was one of the word's last two bytes
          w = s / 64;
          if (IsDigit(cur_.buf[s])) break;
          from = ~std::uint64_t{0} << (s % 64);
          continue;
        }
      }
      // The line from s goes on into the next word.
      if (++w >= words) break;
      from = ~std::uint64_t{0};
    }
    return cur_.start + static_cast<std::int64_t>(s);
  }

  // From the line start `pos`, where a header line 1 is looked for, takes the
  // remarks of a plain block whose two header lines lie wholly in it and
  // before `stop`, as reading line by line would: emit(line 1, line 2,
  // layout, offset of line 1, offset of line 2) for each. Returns the line
  // start it stops at, which is `pos` when the block is not plain or `pos`
  // not in it.
  template <class Emit>
  std::int64_t Remarks(std::int64_t pos, std::int64_t stop, Emit&& emit) const {
    if (!cur_.plain || pos < cur_.start || pos >= cur_.start + static_cast<std::int64_t>(cur_.len)) return pos;
    std::size_t r = static_cast<std::size_t>(pos - cur_.start);
    // A CR just before the line start was the second byte of the last line's
    // end, not the end of a line: its header start bit would mislead.
    if (r > 0 && cur_.buf[r - 1] == '\r') return pos;
    // Near the block's end a line may go on past it: that is left to the
    // line by line reading, which reads on.
    std::size_t limit = cur_.len > kTail ? cur_.len - kTail : 0;
    if (stop - cur_.start < static_cast<std::int64_t>(limit)) limit = static_cast<std::size_t>(std::max<std::int64_t>(stop - cur_.start, 0));
    const std::size_t words = (cur_.len + 63) / 64;
    const char* b = cur_.buf.get();
    // The first line is looked at itself (the CR before it may lie before
    // the block); after that, each line start r follows a CR, and the
    // header starts from r on tell the candidates.
    int first = r < limit && IsDigit(b[r]) ? Layout(b + r) : 0;
    std::size_t from = r + 1;
    while (r < limit) {
      // Header line 1: the next header start that reads as one.
      std::size_t c = r;
      int layout = first;
      first = 0;
      if (layout == 0) {
        std::size_t w = from / 64;
        std::uint64_t m = cur_.head[w] & (~std::uint64_t{0} << (from % 64));
        for (;;) {
          while (m == 0) {
            if (++w >= words) return cur_.start + static_cast<std::int64_t>(r);
            m = cur_.head[w];
          }
          c = 64 * w + Lowest(m);
          if (c >= limit) return cur_.start + static_cast<std::int64_t>(r);
          layout = Layout(b + c);
          if (layout != 0) break;
          m &= m - 1;
        }
      }
      const std::size_t end1 = NextCr(c, words);
      if (end1 >= limit) return cur_.start + static_cast<std::int64_t>(r);
      const std::size_t end2 = NextCr(end1 + 2, words);
      if (end2 >= limit) return cur_.start + static_cast<std::int64_t>(r);
      emit(std::string_view(b + c, std::min(end1 - c, kHeaderCap)),
           std::string_view(b + end1 + 2, std::min(end2 - end1 - 2, kHeaderCap)), layout,
           cur_.start + static_cast<std::int64_t>(c), cur_.start + static_cast<std::int64_t>(end1 + 2));
      r = from = end2 + 2;
    }
    return cur_.start + static_cast<std::int64_t>(r);
  }

 private:
  // Bytes left at a block's end, enough for a header's six bytes to be read.
  static constexpr std::size_t kTail = 64;

  struct Free {
    void operator()(void* p) const { std::free(p); }
  };
  template <class T>
  static std::unique_ptr<T[], Free> Allocate(std::size_t bytes) {
    void* p = std::aligned_alloc(4096, (bytes + 4095) / 4096 * 4096);
    if (!p) throw std::bad_alloc();
    return std::unique_ptr<T[], Free>(static_cast<T*>(p));
  }
  static std::unique_ptr<char[], Free> Allocate(std::size_t bytes) { return Allocate<char>(bytes); }

  static std::size_t Lowest(std::uint64_t m) { return static_cast<std::size_t>(__builtin_ctzll(m)); }
  static std::size_t Highest(std::uint64_t m) { return 63 - static_cast<std::size_t>(__builtin_clzll(m)); }

  // The loop rule on a line's first six bytes (all in the block; a line end
  // among them is neither digit nor '/', so it reads as the line itself).
  static int Layout(const char* l) { return LoopLayout(std::string_view(l, 6)); }

  std::uint64_t Sub(std::size_t w) const { return cur_.hasSub ? cur_.sub[w] : 0; }

  // The first CR or 0x1A at or after r in the block, or cur_.len when none.
  std::size_t NextStop(std::size_t r) const {
    const std::size_t words = (cur_.len + 63) / 64;
    std::size_t w = r / 64;
    std::uint64_t m = (cur_.cr[w] | Sub(w)) & (~std::uint64_t{0} << (r % 64));
    while (m == 0) {
      if (++w >= words) return cur_.len;
      m = cur_.cr[w] | Sub(w);
    }
    return 64 * w + Lowest(m);
  }

  // The first CR at or after r, or cur_.len when none.
  std::size_t NextCr(std::size_t r, std::size_t words) const {
    std::size_t w = r / 64;
    if (w >= words) return cur_.len;
    std::uint64_t m = cur_.cr[w] & (~std::uint64_t{0} << (r % 64));
    while (m == 0) {
      if (++w >= words) return cur_.len;
      m = cur_.cr[w];
    }
    return 64 * w + Lowest(m);
  }

  // A block of the file with its bitmaps.
  struct Block {
    explicit Block(std::size_t bytes)
        : buf(Allocate(bytes)), cr(Allocate<std::uint64_t>(bytes / 8)), head(Allocate<std::uint64_t>(bytes / 8)),
          sub(Allocate<std::uint64_t>(bytes / 8)) {}
    std::unique_ptr<char[], Free> buf;
    std::unique_ptr<std::uint64_t[], Free> cr, head, sub;
    std::int64_t start = 0;
    std::size_t len = 0;
    bool plain = false;
    bool hasSub = false;  // sub holds the block's 0x1A bytes (else it has none)
    bool shortRead = false;  // the file ended before the block was full
    std::exception_ptr error;
  };

  // Reads `block` at `start` (a multiple of align_), up to `size` at most,
  // and makes its bitmaps.
  void Fill(Block& block, std::int64_t start, std::int64_t size) const {
    block.start = start;
    block.len = 0;
    block.shortRead = false;
    block.error = nullptr;
    try {
      while (block.len < block_ && start + static_cast<std::int64_t>(block.len) < size) {
        ssize_t n = ::pread(reader_.Fd(), block.buf.get() + block.len, block_ - block.len,
                            start + static_cast<std::int64_t>(block.len));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          throw LogFileError("ファイルの読み込み中にエラーが起きました (" + std::string(std::strerror(errno)) + ")");
        }
        if (n == 0) {
          block.shortRead = true;
          break;
        }
        block.len += static_cast<std::size_t>(n);
      }
      const LineMaskInfo info =
          BuildLineMasks(block.buf.get(), block.len, LineMaskWords{block.cr.get(), block.head.get(), block.sub.get()});
      block.plain = info.plain;
      block.hasSub = info.sub;
    } catch (...) {
      block.error = std::current_exception();
    }
  }

  // The second thread: fills the ring's blocks one after another, each
  // beginning align_ bytes before the end of the one before, while the scan
  // has not yet taken kAhead of them; pauses when the scan asks it to.
  void ReadAhead() {
    for (;;) {
      const std::uint32_t seen = wake_.load(std::memory_order_acquire);
      const int control = control_.load(std::memory_order_acquire);
      if (control == kStop) return;
      if (control == kPause) {
        control_.store(kPaused, std::memory_order_release);
        control_.notify_all();
        continue;
      }
      const std::uint64_t made = made_.load(std::memory_order_relaxed);
      if (control == kPaused || nextStart_ >= readSize_ ||
          made - taken_.load(std::memory_order_acquire) >= kAhead) {
        wake_.wait(seen, std::memory_order_acquire);
        continue;
      }
      Block& b = ring_[made % kAhead];
      Fill(b, nextStart_, readSize_);
      const std::int64_t end = b.start + static_cast<std::int64_t>(b.len);
      nextStart_ = b.error || b.shortRead || end >= readSize_ ? readSize_ : end - static_cast<std::int64_t>(align_);
      made_.store(made + 1, std::memory_order_release);
      if (nextStart_ >= readSize_) done_.store(true, std::memory_order_release);
      made_.notify_all();
    }
  }

  void Signal(int control) {
    control_.store(control, std::memory_order_release);
    wake_.fetch_add(1, std::memory_order_release);
    wake_.notify_all();
  }

  // The next block the second thread has read, or nullptr when it will read
  // no more before it is set going again. The two threads hand over a block
  // every few hundred kilobytes: a short spin first, as putting a thread to
  // sleep and waking it costs more than that on a virtual machine.
  Block* NextReadAhead() {
    const std::uint64_t taken = taken_.load(std::memory_order_relaxed);
    for (int spin = 0;; ++spin) {
      const std::uint64_t made = made_.load(std::memory_order_acquire);
      if (made > taken) return &ring_[taken % kAhead];
      if (done_.load(std::memory_order_acquire)) {
        // Set after its last block was made: that one is seen now.
        return made_.load(std::memory_order_acquire) > taken ? &ring_[taken % kAhead] : nullptr;
      }
      if (spin < 20000) {
#if defined(__x86_64__)
        __builtin_ia32_pause();
#endif
      } else {
        made_.wait(made, std::memory_order_acquire);
      }
    }
  }

  // Makes the block that holds `pos` the current one: the next block read
  // ahead when it holds it, else one read now from the multiple of align_
  // below it, from which the second thread then reads on.
  void Load(std::int64_t pos) {
    if (reader_thread_.joinable() && control_.load(std::memory_order_relaxed) == kRun) {
      Block* next = NextReadAhead();
      if (next && next->start <= pos && pos < next->start + static_cast<std::int64_t>(next->len)) {
        std::swap(cur_, *next);
        taken_.fetch_add(1, std::memory_order_release);
        wake_.fetch_add(1, std::memory_order_release);
        wake_.notify_all();
        TakeCurrent();
        return;
      }
    }
    if (reader_thread_.joinable()) Pause();
    Fill(cur_, pos - pos % static_cast<std::int64_t>(align_), size_);
    TakeCurrent();
    if (reader_thread_.joinable()) {
      // Read on from here: the blocks read so far are dropped.
      const std::int64_t end = cur_.start + static_cast<std::int64_t>(cur_.len);
      nextStart_ = cur_.len < block_ || end >= size_ ? size_ : end - static_cast<std::int64_t>(align_);
      readSize_ = size_;
      made_.store(taken_.load(std::memory_order_relaxed), std::memory_order_relaxed);
      done_.store(nextStart_ >= readSize_, std::memory_order_relaxed);
      Signal(kRun);
    }
  }

  // Stops the second thread between two blocks.
  void Pause() {
    if (control_.load(std::memory_order_relaxed) == kPaused) return;
    Signal(kPause);
    for (int c = control_.load(std::memory_order_acquire); c != kPaused; c = control_.load(std::memory_order_acquire)) {
      control_.wait(c, std::memory_order_acquire);
    }
  }

  void TakeCurrent() {
    if (cur_.error) std::rethrow_exception(cur_.error);
    if (cur_.shortRead) size_ = cur_.start + static_cast<std::int64_t>(cur_.len);  // cut short while scanning: it ends here
  }

  // A line longer than a block: keep its first bytes, find its end block by block.
  Line Long(std::int64_t pos) {
    const std::size_t r = static_cast<std::size_t>(pos - cur_.start);
    long_.assign(cur_.buf.get() + r, std::min<std::size_t>(cur_.len - r, kHeaderCap));
    for (;;) {
      const std::int64_t next = cur_.start + static_cast<std::int64_t>(cur_.len);
      if (next >= size_) return {size_, false, long_};
      Load(next);
      const std::size_t from = static_cast<std::size_t>(next - cur_.start);
      if (cur_.len <= from) return {size_, false, long_};
      const std::size_t stop = NextStop(from);
      if (stop < cur_.len) return {cur_.start + static_cast<std::int64_t>(stop), cur_.buf[stop] == 0x1A, long_};
    }
  }

  LineReader reader_;  // opens the file and reports a missing or unreadable one
  std::int64_t size_;
  const std::size_t block_;
  const std::size_t align_;
  Block cur_;
  std::string long_;
  std::string kept_;
  // Reading ahead. The second thread reads blocks into ring_ (block k into
  // ring_[k % kAhead]) from nextStart_ on, up to readSize_; made_ blocks so
  // far, of which the scan has taken_. done_: it will make no more until set
  // going again. nextStart_, readSize_ and done_ change only while it is
  // paused (or by it). wake_ changes whenever there is news for it.
  static constexpr std::size_t kAhead = 3;
  enum : int { kRun, kPause, kPaused, kStop };
  std::vector<Block> ring_;
  std::thread reader_thread_;
  std::atomic<int> control_{kPaused};
  std::atomic<std::uint32_t> wake_{0};
  std::atomic<std::uint64_t> made_{0}, taken_{0};
  std::atomic<bool> done_{true};
  std::int64_t nextStart_ = 0, readSize_ = 0;
};

}  // namespace kest
