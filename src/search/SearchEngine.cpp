#include "search/SearchEngine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/Codec.h"

namespace kest {
namespace {

// A remark longer than this (a file without headers) is read line by line.
constexpr std::int64_t kLongSpan = 16 << 20;
constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();

constexpr unsigned char Fold(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// Whether the n bytes at `p`, with a-z taken as A-Z when `fold`, equal the
// (folded) key bytes at `k`.
bool SameBytes(const char* p, const char* k, std::size_t n, bool fold) {
  if (!fold) return std::memcmp(p, k, n) == 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (Fold(static_cast<unsigned char>(p[i])) != static_cast<unsigned char>(k[i])) return false;
  }
  return true;
}

// The first place in hay[0, n) where the key occurs; with `fold`, where the
// bytes with a-z taken as A-Z hold the key (which has no a-z then). Sixteen
// places are tried at once on the key's first and last byte (both cases of a
// letter), and only where both agree are the bytes between compared.
const char* FindKey(const char* hay, std::size_t n, const std::string& key, bool fold) {
  const std::size_t m = key.size();
  if (m == 0) return hay;
  if (n < m) return nullptr;
  const unsigned char k0 = static_cast<unsigned char>(key[0]);
  const unsigned char k1 = static_cast<unsigned char>(key[m - 1]);
  const bool l0 = fold && k0 >= 'A' && k0 <= 'Z';
  const bool l1 = fold && k1 >= 'A' && k1 <= 'Z';
  const std::size_t last = n - m;  // the last place the key can start
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i a0 = _mm_set1_epi8(static_cast<char>(k0));
  const __m128i b0 = _mm_set1_epi8(static_cast<char>(l0 ? k0 | 0x20 : k0));
  const __m128i a1 = _mm_set1_epi8(static_cast<char>(k1));
  const __m128i b1 = _mm_set1_epi8(static_cast<char>(l1 ? k1 | 0x20 : k1));
  for (; i + 16 <= last + 1; i += 16) {
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
    const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + m - 1));
    const __m128i mf = _mm_or_si128(_mm_cmpeq_epi8(f, a0), _mm_cmpeq_epi8(f, b0));
    const __m128i me = _mm_or_si128(_mm_cmpeq_epi8(e, a1), _mm_cmpeq_epi8(e, b1));
    unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(mf, me)));
    while (bits != 0) {
      const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(bits));
      if (SameBytes(hay + at, key.data(), m, fold)) return hay + at;
      bits &= bits - 1;
    }
  }
#endif
  for (; i <= last; ++i) {
    if (SameBytes(hay + i, key.data(), m, fold)) return hay + i;
  }
  return nullptr;
}

}  // namespace

struct SearchEngine::Span {
  std::int64_t start;
  std::int64_t end;
  std::int32_t pos;
};

// The file, read by pread into one block at a time.
class SearchEngine::Blocks {
 public:
  explicit Blocks(const std::filesystem::path& path) : path_(path) {
    fd_ = OpenLogFile(path);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      ::close(fd_);
      throw LogFileError(LogFileError::Reason::Unreadable, "ファイルを読み込めません", path);
    }
    size_ = static_cast<std::int64_t>(st.st_size);
  }
  ~Blocks() { ::close(fd_); }

  std::int64_t Size() const { return size_; }
  std::int64_t SizeNow() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
  }
  bool Holds(std::int64_t from, std::int64_t to) const { return from >= start_ && to <= start_ + len_; }
  std::int64_t Start() const { return start_; }
  std::int64_t End() const { return start_ + len_; }
  const char* At(std::int64_t offset) const { return buf_.data() + (offset - start_); }

  // Reads [from, to), which lies within the size the file had when opened.
  void Load(std::int64_t from, std::int64_t to) {
    start_ = from;
    len_ = 0;
    len_ = Read(buf_, from, to);
  }

  // Reads [from, to) into `buf` (grown when needed) without touching the
  // block held.
  std::int64_t Read(std::vector<char>& buf, std::int64_t from, std::int64_t to) const {
    const std::size_t want = static_cast<std::size_t>(to - from);
    if (buf.size() < want) buf.resize(want);
    std::size_t got = 0;
    while (got < want) {
      ssize_t n = ::pread(fd_, buf.data() + got, want - got, from + static_cast<std::int64_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        throw LogFileError("ファイルの読み込み中にエラーが起きました (" +
                           std::string(std::strerror(errno)) + ")");
      }
      if (n == 0) throw LogFileError(TruncatedText(path_));
      got += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(got);
  }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  std::int64_t size_ = 0;
  std::vector<char> buf_;
  std::int64_t start_ = 0, len_ = 0;
};

std::string SearchEngine::TruncatedText(const std::filesystem::path& path) {
  return "ログファイルが読み込み後に短くなっています。検索を中止しました。ファイルを読み直してください: " +
         path.string();
}

SearchEngine::SearchEngine(const std::filesystem::path& path, const TLogCtrl& index, std::string key,
                           bool ignoreCase)
    : path_(path), index_(index), key_(std::move(key)), ignoreCase_(ignoreCase) {
  blocks_ = std::make_unique<Blocks>(path);
  if (blocks_->Size() < index_.ScannedSize) throw LogFileError(TruncatedText(path));
  impossible_ = key_.find('\r') != std::string::npos || key_.find('\x1A') != std::string::npos;
  bool letters = false;
  for (unsigned char c : key_) letters = letters || (Fold(c) >= 'A' && Fold(c) <= 'Z');
  if (ignoreCase_ && letters) {
    folded_ = key_;
    for (char& c : folded_) c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
  }
}

SearchEngine::~SearchEngine() = default;

bool SearchEngine::FindCandidate(std::int64_t from, std::int64_t to) {
  const std::int64_t m = static_cast<std::int64_t>(key_.size());
  if (to - from < m) return false;
  if (occFrom_ < 0 || occFrom_ > from || occAt_ < from) {
    // Look from `from` to the end of the block once; the remarks after this
    // one in the block reuse the answer until they pass it.
    const char* hay = blocks_->At(from);
    const std::size_t n = static_cast<std::size_t>(blocks_->End() - from);
    const bool fold = !folded_.empty();
    const char* hit = FindKey(hay, n, fold ? folded_ : key_, fold);
    occFrom_ = from;
    occAt_ = hit ? from + (hit - hay) : kNone;
  }
  return occAt_ != kNone && occAt_ <= to - m;
}

bool SearchEngine::Prefilter() {
  if (prefilter_ != 0) return prefilter_ > 0;
  prefilter_ = -1;
  const bool fold = !folded_.empty();
  const std::string& key = fold ? folded_ : key_;
  const std::int64_t m = static_cast<std::int64_t>(key.size());
  const std::int64_t size = blocks_->Size();
  const std::int64_t block = std::max<std::int64_t>(block_, 2 * m);
  std::vector<char> buf;
  std::int64_t lastCr = -1;  // the last CR before the block read
  occ_.clear();
  occCr_.clear();
  for (std::int64_t pos = 0; pos < size;) {
    const std::int64_t end = std::min(size, pos + block);
    blocks_->Read(buf, pos, end);
    const std::size_t n = static_cast<std::size_t>(end - pos);
    for (std::size_t from = 0;;) {
      const char* hit = FindKey(buf.data() + from, n - from, key, fold);
      if (!hit) break;
      const std::size_t at = static_cast<std::size_t>(hit - buf.data());
      if (occ_.size() >= occLimit_) return false;
      const void* cr = memrchr(buf.data(), '\r', at);
      occ_.push_back(pos + static_cast<std::int64_t>(at));
      occCr_.push_back(cr ? pos + (static_cast<const char*>(cr) - buf.data()) : lastCr);
      from = at + 1;
    }
    if (const void* cr = memrchr(buf.data(), '\r', n)) lastCr = pos + (static_cast<const char*>(cr) - buf.data());
    // The pass is most of a search that finds little: its share of the file
    // read is shown (below 100, which only the end of the search shows).
    const int percent = static_cast<int>(end * 99 / size);
    if (progress_ && percent > lastPercent_) {
      lastPercent_ = percent;
      progress_(percent);
    }
    if (end == size) break;
    pos = end - (m - 1);  // a key across the block's end is found in the next one
  }
  prefilter_ = 1;
  return true;
}

// Every line the remark test reads starts before max(EndPos, StartPos + 1)
// (it reads while the lengths + 2 counted stay below the span, and reads one
// at least), at or after StartPos. A line holding the key at X holds no CR
// between its start and X, so the remark can match only if some occurrence
// X >= StartPos has its last CR before it below that bound; the first such
// occurrence has the lowest CR of them all.
bool SearchEngine::MayMatch(const TLogData& r) const {
  const auto it = std::lower_bound(occ_.begin(), occ_.end(), r.StartPos.v);
  if (it == occ_.end()) return false;
  const std::int64_t bound = std::max(r.EndPos.v, r.StartPos.v + 1);
  return occCr_[static_cast<std::size_t>(it - occ_.begin())] < bound;
}

// The remark test over bytes in memory: `data` holds the remark's whole span,
// which ends with CR LF. Every line the test reads then lies before that CR,
// so the walk never needs a byte beyond the span.
bool SearchEngine::WalkLines(const char* data, std::int64_t span) {
  std::int64_t o = 0;
  std::int64_t count = 0;
  do {
    const char* p = data + o;
    const std::size_t avail = static_cast<std::size_t>(span - o);
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', avail));
    std::size_t len = cr ? static_cast<std::size_t>(cr - p) : avail;
    const char* sub = static_cast<const char*>(std::memchr(p, 0x1A, len));
    if (sub) len = static_cast<std::size_t>(sub - p);
    if (len >= key_.size()) {
      std::string_view line(p, len);
      if (ignoreCase_) {
        upper_.assign(line);
        AnsiUpperInPlace(upper_.data(), upper_.size());
        line = upper_;
      }
      if (memmem(line.data(), line.size(), key_.data(), key_.size())) return true;
    }
    if (sub || !cr) return false;  // only empty lines follow
    count += static_cast<std::int64_t>(len) + 2;
    o += static_cast<std::int64_t>(len) + 1;
    if (o < span && data[o] == '\n') ++o;
  } while (count < span);
  return false;
}

bool SearchEngine::TestSpan(const Span& s) {
  const std::int64_t span = s.end - s.start;
  if (span >= 2 && span <= kLongSpan && s.end <= blocks_->Size() && s.start >= 0) {
    const char* d = blocks_->At(s.start);
    if (d[span - 2] == '\r' && d[span - 1] == '\n') {
      return FindCandidate(s.start, s.end - 2) && WalkLines(d, span);
    }
  }
  // Spans that reach past the end of the file (the last remark), end without
  // CR LF or are very long: the test itself, through a line reader.
  if (!oddReader_) oddReader_ = std::make_unique<LineReader>(path_, 64 << 10);
  return RemarkMatches(*oddReader_, index_.GetItem(IndexPos(s.pos)), key_, ignoreCase_);
}

void SearchEngine::Report() {
  if (!progress_ || total_ <= 0) return;
  const int percent = static_cast<int>(done_ * 100 / total_);
  if (percent > lastPercent_) {
    lastPercent_ = percent;
    progress_(percent);
  }
}

void SearchEngine::TestPositions(std::vector<std::int32_t>& todo, std::vector<bool>& hit) {
  if (key_.empty() || impossible_) {
    // An empty key is in every first line; a key with CR or 0x1A in no line.
    for (std::int32_t p : todo) hit[p] = key_.empty();
    done_ += static_cast<std::int64_t>(todo.size());
    Report();
    return;
  }
  std::vector<Span> spans;
  spans.reserve(todo.size());
  for (std::int32_t p : todo) {
    const TLogData& r = index_.GetItem(IndexPos(p));
    spans.push_back({r.StartPos.v, r.EndPos.v, p});
  }
  auto byStart = [](const Span& a, const Span& b) {
    return a.start != b.start ? a.start < b.start : a.pos < b.pos;
  };
  if (!std::is_sorted(spans.begin(), spans.end(), byStart)) std::sort(spans.begin(), spans.end(), byStart);

  const std::int64_t size = blocks_->Size();
  for (std::size_t k = 0; k < spans.size(); ++k) {
    const Span& s = spans[k];
    const std::int64_t span = s.end - s.start;
    if (span >= 2 && span <= kLongSpan && s.start >= 0 && s.end <= size && !blocks_->Holds(s.start, s.end)) {
      // Read this remark and the ones after it in the file, as far as one
      // block reaches and as long as the gaps between them are small.
      std::int64_t to = s.end;
      for (std::size_t j = k + 1; j < spans.size(); ++j) {
        const Span& t = spans[j];
        if (t.start > to + gap_ || t.end - s.start > block_ || t.end > size) break;
        to = std::max(to, t.end);
      }
      blocks_->Load(s.start, to);
      occFrom_ = -1;
    }
    hit[s.pos] = TestSpan(s);
    ++done_;
    if ((done_ & 1023) == 0) Report();
  }
  Report();
}

std::vector<bool> SearchEngine::MatchAll() {
  const std::int32_t n = index_.Count();
  std::vector<bool> hit(static_cast<std::size_t>(n), false);
  total_ = n;
  done_ = 0;
  lastPercent_ = -1;
  std::vector<std::int32_t> todo;
  if (!key_.empty() && !impossible_ && Prefilter()) {
    // Only the remarks whose lines may hold an occurrence are tested.
    for (std::int32_t i = 0; i < n && !occ_.empty(); ++i) {
      if (MayMatch(index_.GetItem(IndexPos(i)))) todo.push_back(i);
    }
    done_ = n - static_cast<std::int64_t>(todo.size());
  } else {
    todo.resize(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) todo[i] = i;
  }
  TestPositions(todo, hit);
  if (blocks_->SizeNow() < index_.ScannedSize) throw LogFileError(TruncatedText(path_));
  return hit;
}

IndexPos SearchEngine::FindFirst(IndexPos from, int step) {
  const std::int32_t n = index_.Count();
  step = step < 0 ? -1 : 1;
  std::int32_t p = std::clamp(from.v, -1, n);
  total_ = step > 0 ? n - p : p + 1;
  done_ = 0;
  lastPercent_ = -1;
  std::vector<bool> hit(static_cast<std::size_t>(std::max(n, 0)), false);
  std::vector<std::int32_t> todo;
  // Growing chunks in the order of the walk: a near match is found after
  // reading little, a far one (or none) after a pass in file order.
  std::size_t chunk = 256;
  while (p >= 0 && p < n) {
    todo.clear();
    const std::int32_t first = p;
    // After the two small chunks, the whole file is looked through once
    // and only remarks that may hold the key are tested.
    const bool filter = chunk > 2048 && !key_.empty() && !impossible_ && Prefilter();
    std::size_t taken = 0;
    while (p >= 0 && p < n && taken < chunk) {
      if (!filter || (!occ_.empty() && MayMatch(index_.GetItem(IndexPos(p))))) todo.push_back(p);
      else ++done_;
      ++taken;
      p += step;
    }
    TestPositions(todo, hit);
    for (std::size_t k = 0; k < taken; ++k) {
      const std::int32_t q = first + static_cast<std::int32_t>(k) * step;
      if (hit[q]) {
        if (blocks_->SizeNow() < index_.ScannedSize) throw LogFileError(TruncatedText(path_));
        return IndexPos(q);
      }
    }
    // Remarks of one chunk may lie anywhere in the file; after two small
    // ones, all the rest are read in file order at once.
    chunk = chunk >= 2048 ? std::numeric_limits<std::size_t>::max() : chunk * 8;
  }
  if (blocks_->SizeNow() < index_.ScannedSize) throw LogFileError(TruncatedText(path_));
  return IndexPos(-1);
}

bool KeyOccursInFile(const std::filesystem::path& path, const std::string& key, bool ignoreCase) {
  if (key.empty()) return true;
  std::string folded = key;
  if (ignoreCase) {
    for (char& c : folded) c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
  }
  int fd = -1;
  try {
    fd = OpenLogFile(path);
  } catch (const LogFileError&) {
    return true;  // the full search reports it
  }
  const std::size_t m = folded.size();
  std::vector<char> buf(std::max<std::size_t>(std::size_t{1} << 20, 2 * m));
  std::size_t kept = 0;  // the last m - 1 bytes of the block before
  bool found = false;
  for (;;) {
    const ssize_t got = ::read(fd, buf.data() + kept, buf.size() - kept);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      found = true;  // unreadable: let the full search report it
      break;
    }
    if (got == 0) break;
    const std::size_t n = kept + static_cast<std::size_t>(got);
    if (FindKey(buf.data(), n, folded, ignoreCase)) {
      found = true;
      break;
    }
    // A key across the end of this block is found with the next one.
    kept = std::min(n, m - 1);
    std::memmove(buf.data(), buf.data() + n - kept, kept);
  }
  ::close(fd);
  return found;
}

}  // namespace kest
