#include "search/SearchEngine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <optional>

#include "log/ByteSearch.h"

namespace kest {
namespace {

// A remark longer than this (a file without headers) is read line by line.
constexpr std::int64_t kLongSpan = 16 << 20;
constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
// Reads begin at a multiple of this: a copy from the file's pages into a
// buffer placed the same way within a page runs at full speed.
constexpr std::int64_t kAlign = 4096;
// Records tested together, in file order.
constexpr std::size_t kBatch = 1 << 16;

}  // namespace

struct SearchEngine::Span {
  std::int64_t start;
  std::int64_t end;
  std::int32_t slot;  // where hit[] takes the answer
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
  ~Blocks() {
    ::close(fd_);
    std::free(buf_);
  }

  std::int64_t Size() const { return size_; }
  std::int64_t SizeNow() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
  }
  bool Holds(std::int64_t from, std::int64_t to) const { return from >= start_ && to <= start_ + len_; }
  std::int64_t Start() const { return start_; }
  std::int64_t End() const { return start_ + len_; }
  const char* At(std::int64_t offset) const { return buf_ + (offset - start_); }

  // Reads [from, to), which lies within the size the file had when opened,
  // from the multiple of kAlign at or below `from` on.
  void Load(std::int64_t from, std::int64_t to) {
    start_ = from - from % kAlign;
    len_ = 0;
    const std::size_t want = static_cast<std::size_t>(to - start_);
    if (cap_ < want) {
      std::free(buf_);
      buf_ = nullptr;
      cap_ = (want + kAlign - 1) / kAlign * kAlign;
      buf_ = static_cast<char*>(std::aligned_alloc(kAlign, cap_));
      if (!buf_) {
        cap_ = 0;
        throw std::bad_alloc();
      }
    }
    len_ = Read(buf_, start_, to);
  }

  // Reads [from, to) into `buf` without touching the block held.
  std::int64_t Read(char* buf, std::int64_t from, std::int64_t to) const {
    const std::size_t want = static_cast<std::size_t>(to - from);
    std::size_t got = 0;
    while (got < want) {
      ssize_t n = ::pread(fd_, buf + got, want - got, from + static_cast<std::int64_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        throw LogFileError("ファイルの読み込み中にエラーが起きました (" + std::string(std::strerror(errno)) +
                           ")");
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
  char* buf_ = nullptr;  // aligned to kAlign
  std::size_t cap_ = 0;
  std::int64_t start_ = 0, len_ = 0;
};

std::string SearchEngine::TruncatedText(const std::filesystem::path& path) {
  return "ログファイルが読み込み後に短くなっています。検索を中止しました。ファイルを読み直してください: " +
         path.string();
}

SearchEngine::SearchEngine(const std::filesystem::path& path, const TLogCtrl& index, std::string key,
                           bool ignoreCase)
    : path_(path), index_(index), key_(std::move(key), ignoreCase) {
  blocks_ = std::make_unique<Blocks>(path);
  if (blocks_->Size() < index_.ScannedSize) throw LogFileError(TruncatedText(path));
}

SearchEngine::~SearchEngine() = default;

void SearchEngine::CheckSize() const {
  if (blocks_->SizeNow() < index_.ScannedSize) throw LogFileError(TruncatedText(path_));
}

void SearchEngine::Load(std::int64_t from, std::int64_t to) {
  blocks_->Load(from, to);
  occFrom_ = -1;
}

// Whether the block holds a candidate starting in [from, to - key size].
// The next candidate from `from` on is looked for up to the end of the block
// once; the remarks after this one in the block reuse the answer until they
// pass it. Leaves the candidate in occAt_.
bool SearchEngine::FindCandidate(std::int64_t from, std::int64_t to) {
  const std::int64_t m = static_cast<std::int64_t>(key_.Size());
  if (to - from < m) return false;
  if (occFrom_ < 0 || occFrom_ > from || occAt_ < from) {
    const char* hay = blocks_->At(from);
    const char* hit = key_.Candidate(hay, static_cast<std::size_t>(blocks_->End() - from));
    occFrom_ = from;
    occAt_ = hit ? from + (hit - hay) : kNone;
  }
  return occAt_ != kNone && occAt_ <= to - m;
}

bool SearchEngine::Prefilter() {
  if (prefilter_ != 0) return prefilter_ > 0;
  prefilter_ = -1;
  const std::int64_t m = static_cast<std::int64_t>(key_.Size());
  const std::int64_t size = blocks_->Size();
  const std::int64_t block = std::max<std::int64_t>(block_, 2 * m);
  std::vector<char> buf(static_cast<std::size_t>(std::min(block, std::max<std::int64_t>(size, 1))));
  std::int64_t lastCr = -1;  // the last CR before the block read
  occ_.clear();
  occCr_.clear();
  for (std::int64_t pos = 0; pos < size;) {
    const std::int64_t end = std::min(size, pos + block);
    blocks_->Read(buf.data(), pos, end);
    const std::size_t n = static_cast<std::size_t>(end - pos);
    for (std::size_t from = 0;;) {
      const char* hit = key_.Candidate(buf.data() + from, n - from);
      if (!hit) break;
      const std::size_t at = static_cast<std::size_t>(hit - buf.data());
      if (occ_.size() >= occLimit_) return false;
      const void* cr = memrchr(buf.data(), '\r', at);
      occ_.push_back(pos + static_cast<std::int64_t>(at));
      occCr_.push_back(cr ? pos + (static_cast<const char*>(cr) - buf.data()) : lastCr);
      from = at + 1;
    }
    if (const void* cr = memrchr(buf.data(), '\r', n))
      lastCr = pos + (static_cast<const char*>(cr) - buf.data());
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

// The remark test for a remark in the block whose span ends with CR LF, so
// that every line the test reads lies before that CR. While the bytes from
// its start to the end of a candidate hold no 0x1A and no CR without an LF
// after it, those lines are the remark's plain CR LF lines, and the candidate
// is judged where it stands: its line begins after the last CR LF before it,
// and whether it starts a character is told walking back from it to the
// first byte that cannot be a lead byte. Otherwise the lines are walked.
bool SearchEngine::FromTheCandidates(const Span& s) {
  const std::int64_t m = static_cast<std::int64_t>(key_.Size());
  const char* begin = blocks_->At(s.start);
  const char* end = blocks_->At(s.end);
  const char* plainTo = begin;    // the lines before this are plain
  const char* crSeen = begin;     // the CRs before this are taken into lineStart
  const char* lineStart = begin;  // of the line that holds the candidate
  const char* floor = begin;      // a character boundary of that line, at or before the candidate
  for (std::int64_t from = s.start; FindCandidate(from, s.end - 2); from = occAt_ + 1) {
    const char* at = blocks_->At(occAt_);
    if (at + m > plainTo) {
      const std::size_t n = static_cast<std::size_t>(at + m - plainTo);
      if (FirstIrregular(plainTo, n) != n) {
        const std::int64_t span = s.end - s.start;
        return RemarkHolds(std::string_view(begin, static_cast<std::size_t>(span)), span, key_);
      }
      plainTo = at + m;
    }
    if (const void* cr = memrchr(crSeen, '\r', static_cast<std::size_t>(at - crSeen))) {
      lineStart = static_cast<const char*>(cr) + 2;
      floor = lineStart;
    }
    crSeen = at;
    // A candidate on the LF of a line end is in no line.
    if (at >= lineStart && key_.MatchesAt(floor, at, end)) return true;
  }
  return false;
}

bool SearchEngine::TestSpan(const Span& s) {
  const std::int64_t span = s.end - s.start;
  if (span >= 2 && span <= kLongSpan && s.start >= 0 && s.end <= blocks_->Size() &&
      blocks_->Holds(s.start, s.end)) {
    const char* d = blocks_->At(s.start);
    if (d[span - 2] == '\r' && d[span - 1] == '\n') {
      return FromTheCandidates(s);
    }
  }
  // Spans that reach past the end of the file (the last remark), end without
  // CR LF or are very long: the test itself, through a line reader.
  if (!oddReader_) oddReader_ = std::make_unique<LineReader>(path_, 64 << 10);
  return RemarkHolds(*oddReader_, ByteOffset(s.start), ByteOffset(s.end), key_);
}

void SearchEngine::Report() {
  if (!progress_ || total_ <= 0) return;
  const int percent = static_cast<int>(done_ * 100 / total_);
  if (percent > lastPercent_) {
    lastPercent_ = percent;
    progress_(percent);
  }
}

void SearchEngine::TestSpans(const std::vector<Span>& spans, std::vector<bool>& hit) {
  if (key_.Size() == 0 || key_.Impossible()) {
    // An empty key is in every first line; a key with CR or 0x1A in no line.
    for (const Span& s : spans) hit[static_cast<std::size_t>(s.slot)] = key_.Size() == 0;
    done_ += static_cast<std::int64_t>(spans.size());
    Report();
    return;
  }
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
      Load(s.start, to);
    }
    hit[static_cast<std::size_t>(s.slot)] = TestSpan(s);
    ++done_;
    if ((done_ & 1023) == 0) Report();
  }
  Report();
}

void SearchEngine::TestPositions(std::vector<std::int32_t>& todo, std::vector<bool>& hit) {
  std::vector<Span> spans;
  spans.reserve(todo.size());
  for (std::int32_t p : todo) {
    const TLogData& r = index_.GetItem(IndexPos(p));
    spans.push_back({r.StartPos.v, r.EndPos.v, p});
  }
  auto byStart = [](const Span& a, const Span& b) {
    return a.start != b.start ? a.start < b.start : a.slot < b.slot;
  };
  if (!std::is_sorted(spans.begin(), spans.end(), byStart)) std::sort(spans.begin(), spans.end(), byStart);
  TestSpans(spans, hit);
}

void SearchEngine::TestIds(std::span<const std::uint32_t> ids, const std::vector<std::int32_t>* posOfId,
                           std::vector<bool>& hit) {
  const bool filter = posOfId && key_.Size() != 0 && !key_.Impossible() && Prefilter();
  std::vector<Span> batch;
  batch.reserve(std::min(ids.size(), kBatch));
  for (std::size_t k = 0; k < ids.size(); ++k) {
    const TLogData& r = index_.ById(ids[k]);
    if (filter && !MayMatch(r)) {
      ++done_;
      continue;
    }
    const std::int32_t slot = posOfId ? (*posOfId)[ids[k]] : static_cast<std::int32_t>(k);
    batch.push_back({r.StartPos.v, r.EndPos.v, slot});
    if (batch.size() == kBatch) {
      TestSpans(batch, hit);
      batch.clear();
    }
  }
  if (!batch.empty()) TestSpans(batch, hit);
  Report();
  CheckSize();
}

std::vector<bool> SearchEngine::MatchAll() {
  const std::int32_t n = index_.Count();
  total_ = n;
  done_ = 0;
  lastPercent_ = -1;
  // The records in file order, by their ids.
  std::vector<std::int32_t> posOfId(index_.IdLimit(), -1);
  for (std::int32_t i = 0; i < n; ++i) posOfId[index_.IdAt(IndexPos(i))] = i;
  std::vector<std::uint32_t> ids;
  ids.reserve(static_cast<std::size_t>(n));
  for (std::uint32_t id = 0; id < posOfId.size(); ++id) {
    if (posOfId[id] >= 0) ids.push_back(id);
  }
  std::vector<bool> hit(static_cast<std::size_t>(n), false);
  TestIds(ids, &posOfId, hit);
  return hit;
}

std::vector<bool> SearchEngine::MatchIds(std::span<const std::uint32_t> ids) {
  total_ = static_cast<std::int64_t>(ids.size());
  done_ = 0;
  lastPercent_ = -1;
  std::vector<bool> hit(ids.size(), false);
  TestIds(ids, nullptr, hit);
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
    const bool filter = chunk > 2048 && key_.Size() != 0 && !key_.Impossible() && Prefilter();
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
      if (hit[static_cast<std::size_t>(q)]) {
        CheckSize();
        return IndexPos(q);
      }
    }
    // Remarks of one chunk may lie anywhere in the file; after two small
    // ones, all the rest are read in file order at once.
    chunk = chunk >= 2048 ? std::numeric_limits<std::size_t>::max() : chunk * 8;
  }
  CheckSize();
  return IndexPos(-1);
}

SharedSearch::SharedSearch(const std::filesystem::path& path, const TLogCtrl& index, std::string key,
                           bool ignoreCase, std::vector<std::uint32_t> ids)
    : path_(path),
      index_(index),
      key_(std::move(key)),
      ignoreCase_(ignoreCase),
      ids_(std::move(ids)),
      hit_(ids_.size(), 0),
      parts_((ids_.size() + kPart - 1) / kPart) {}

void SharedSearch::Work() {
  try {
    std::optional<SearchEngine> engine;
    for (std::size_t part = next_++; part < parts_; part = next_++) {
      if (!engine) engine.emplace(path_, index_, key_, ignoreCase_);
      const std::size_t from = part * kPart;
      const std::size_t n = std::min(kPart, ids_.size() - from);
      const std::vector<bool> hit = engine->MatchIds(std::span(ids_).subspan(from, n));
      for (std::size_t k = 0; k < n; ++k) hit_[from + k] = hit[k];
    }
  } catch (...) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    next_ = parts_;  // the other threads stop after their part
  }
}

std::vector<bool> SharedSearch::Result() const {
  if (failure_) std::rethrow_exception(failure_);
  std::vector<bool> byId(index_.IdLimit(), false);
  for (std::size_t k = 0; k < ids_.size(); ++k) byId[ids_[k]] = hit_[k] != 0;
  return byId;
}

bool KeyOccursInFile(const std::filesystem::path& path, const std::string& key, bool ignoreCase) {
  if (key.empty()) return true;
  const KeyMatcher matcher(key, ignoreCase);
  int fd = -1;
  try {
    fd = OpenLogFile(path);
  } catch (const LogFileError&) {
    return true;  // the full search reports it
  }
  const std::size_t m = key.size();
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
    if (matcher.Candidate(buf.data(), n)) {
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
