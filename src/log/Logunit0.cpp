#include "log/Logunit0.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <unordered_map>

#include <sys/mman.h>
#include <unistd.h>

#include "platform/Convert.h"
#include "platform/Memory.h"

namespace kest {
namespace {

// Thread-drawing cells, Shift-JIS.
constexpr std::string_view kCorner = "\x84\xAF";   // ┗
constexpr std::string_view kTee = "\x84\xB5";      // ┠
constexpr std::string_view kBar = "\x84\xAB";      // ┃
constexpr std::string_view kBlank = "  ";
constexpr std::string_view kWideBlank = "\x81\x40";

// The most text one remark can keep: a date of 10 bytes, a title of 80, and
// a poster of its own (two length bytes, an 8-byte ID, a 16-byte speaker).
constexpr std::size_t kMaxTextPerRecord = 10 + 80 + 2 + 8 + 16;

// Memory is backed (and given back) in stretches of this many bytes.
constexpr std::size_t kStep = kLargePage;

// Header columns are nearly always plain digits: those are read directly, and
// only the rest goes through the general conversion (blanks, sign, '$').
// Five digits at most, so no overflow; the usual five are read without a
// branch per byte.
[[gnu::always_inline]] inline bool PlainDigits(std::string_view s, std::int32_t& value) {
  auto digit = [&](std::size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(s[k])) - '0'; };
  if (s.size() == 5) {
    const unsigned d0 = digit(0), d1 = digit(1), d2 = digit(2), d3 = digit(3), d4 = digit(4);
    value = static_cast<std::int32_t>((((d0 * 10 + d1) * 10 + d2) * 10 + d3) * 10 + d4);
    return (d0 < 10) & (d1 < 10) & (d2 < 10) & (d3 < 10) & (d4 < 10);
  }
  if (s.empty() || s.size() > 5) return false;
  std::int32_t v = 0;
  for (std::size_t k = 0; k < s.size(); ++k) {
    if (digit(k) > 9) return false;
    v = v * 10 + static_cast<std::int32_t>(digit(k));
  }
  value = v;
  return true;
}

}  // namespace

std::string_view TLogData::ID() const {
  if (textWord_ == 0) return {};  // a record made outside an index holds no text
  const char* p = Poster();
  return {p + 2, static_cast<std::uint8_t>(p[0])};
}

std::string_view TLogData::Speaker() const {
  if (textWord_ == 0) return {};
  const char* p = Poster();
  return {p + 2 + static_cast<std::uint8_t>(p[0]), static_cast<std::uint8_t>(p[1])};
}

const char* TLogData::Poster() const {
  return Texts() - ((static_cast<std::size_t>(flags_ >> 4) << 16) | posterLow_);
}

TLogBase::TLogBase() = default;

TLogBase::~TLogBase() {
  for (const Region& r : regions_) ::munmap(r.base, r.size);
}

TLogData& TLogBase::GetItem(IndexPos i) {
  if (i.v < 0 || i.v >= Count()) {
    throw std::out_of_range("リストのインデックスが範囲を超えています (" + std::to_string(i.v) + ")");
  }
  return At(static_cast<std::size_t>(i.v));
}

const TLogData& TLogBase::GetItem(IndexPos i) const {
  return const_cast<TLogBase*>(this)->GetItem(i);
}

void TLogBase::TrimRegion() {
  // The last region keeps its pages up to its last chunk; the rest goes.
  if (regions_.empty()) return;
  Region& r = regions_.back();
  const std::size_t keep = (static_cast<std::size_t>(next_ - r.base) + kStep - 1) & ~(kStep - 1);
  if (keep < r.size) {
    ::munmap(r.base + keep, r.size - keep);
    r.size = keep;
    populated_ = std::min(populated_, r.base + keep);
  }
}

void TLogBase::NewRegion(std::size_t atLeast) {
  TrimRegion();
  // Regions grow as the log turns out large, so a small log takes little
  // and a large one few regions; they are backed with memory a stretch at a
  // time (Populate), as a scan fills hundreds of megabytes and taking each
  // page by a fault costs more than the scan's own work. A region starts on
  // a large page, so that its stretches can be large pages.
  const std::size_t size = (std::max(atLeast, nextRegion_) + kStep - 1) & ~(kStep - 1);
  nextRegion_ = std::min<std::size_t>(2 * nextRegion_, 256u << 20);
  char* base = MapAligned(size, false);
  if (!base) throw std::bad_alloc();
  regions_.push_back(Region{base, size, false});
  next_ = populated_ = base;
}

void TLogBase::Populate(const char* upTo) {
  if (upTo <= populated_) return;
  Region& r = regions_.back();
  // Stretches as large as what the region holds already, from 64 KiB up to
  // kStep: a small log takes little.
  const std::size_t step = std::bit_ceil(std::clamp<std::size_t>(static_cast<std::size_t>(populated_ - r.base),
                                                                 std::size_t{64} << 10, kStep));
  if (step == kStep && !r.large) {
    // Past its first large page the index is a large one: the rest of the
    // region in large pages.
    PreferLargePages(populated_, static_cast<std::size_t>(r.base + r.size - populated_));
    r.large = true;
  }
  char* end = std::min(r.base + r.size,
                       populated_ + ((static_cast<std::size_t>(upTo - populated_) + step - 1) & ~(step - 1)));
  BackAtOnce(populated_, static_cast<std::size_t>(end - populated_));
  populated_ = end;
}

void TLogBase::NewChunk() {
  TrimChunk();
  // Room for the records and the most text they can have, in the region.
  constexpr std::size_t kMostBytes = kRecordsPerChunk * (sizeof(TLogData) + kMaxTextPerRecord);
  if (regions_.empty() || next_ + kMostBytes > regions_.back().base + regions_.back().size) NewRegion(kMostBytes);
  chunks_.push_back(reinterpret_cast<TLogData*>(next_));
  chunkOpen_ = true;
  recordsInLastChunk_ = 0;
  textEnd_ = kRecordsPerChunk * sizeof(TLogData);
  Populate(next_ + textEnd_);
  posterSlots_.assign(kPosterSlots, PosterSlot{});
}

void TLogBase::TrimChunk() {
  // The last chunk takes no more records; the next begins after its texts.
  if (!chunkOpen_) return;
  chunkOpen_ = false;
  const std::size_t used = (textEnd_ + 63) & ~std::size_t{63};
  next_ = reinterpret_cast<char*>(chunks_.back()) + used;
  closedBytes_ += used;
}

void TLogBase::ShrinkToFit() {
  TrimChunk();
  TrimRegion();
  if (items_.capacity() > items_.size()) {
    // The order's exact room, in memory backed at once.
    std::vector<std::uint32_t> exact;
    exact.reserve(items_.size());
    BackAtOnce(exact.data(), items_.size() * sizeof(std::uint32_t));
    exact.assign(items_.begin(), items_.end());
    items_.swap(exact);
  }
  std::vector<PosterSlot>().swap(posterSlots_);
}

void TLogBase::GrowItems(std::size_t atLeast) {
  // Twice the room (the order of a large log holds millions of ids), in
  // memory backed at once.
  if (atLeast <= items_.capacity()) return;
  std::vector<std::uint32_t> grown;
  grown.reserve(std::max<std::size_t>(atLeast, 2 * items_.capacity()));
  BackAtOnce(grown.data(), grown.capacity() * sizeof(std::uint32_t));
  grown.assign(items_.begin(), items_.end());
  items_.swap(grown);
}

void TLogBase::Append(TLogBase& rest) {
  if (rest.chunks_.empty()) return;
  // This index's last chunk takes no more records: the ids of `rest` go on
  // from the chunk after it, and its chunks and regions, which never move,
  // become this index's as they are.
  TrimChunk();
  // The pages made ready after the last chunk will never be written now.
  char* const used = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(next_) + 4095) & ~std::uintptr_t{4095});
  if (populated_ > used) ::madvise(used, static_cast<std::size_t>(populated_ - used), MADV_DONTNEED);
  populated_ = std::min(populated_, used);
  TrimRegion();
  const auto shift = static_cast<std::uint32_t>(chunks_.size() << kChunkShift);
  GrowItems(items_.size() + rest.items_.size());
  for (const std::uint32_t id : rest.items_) items_.push_back(id + shift);
  chunks_.insert(chunks_.end(), rest.chunks_.begin(), rest.chunks_.end());
  regions_.insert(regions_.end(), rest.regions_.begin(), rest.regions_.end());
  closedBytes_ += rest.closedBytes_;
  nextRegion_ = rest.nextRegion_;
  next_ = rest.next_;
  populated_ = rest.populated_;
  chunkOpen_ = rest.chunkOpen_;
  recordsInLastChunk_ = rest.recordsInLastChunk_;
  textEnd_ = rest.textEnd_;
  posterSlots_ = std::move(rest.posterSlots_);

  rest.items_.clear();
  rest.chunks_.clear();
  rest.regions_.clear();
  rest.posterSlots_.clear();
  rest.next_ = rest.populated_ = nullptr;
  rest.chunkOpen_ = false;
  rest.recordsInLastChunk_ = rest.textEnd_ = rest.closedBytes_ = 0;
}

void TLogBase::StoreText(TLogData& rec, std::string_view id, std::string_view speaker,
                         std::string_view date, std::string_view title) {
  // Date and title go after each other; the poster (ID and speaker) is kept
  // once per chunk and found again through a small table, as a log's
  // posters write many remarks each.
  char* const chunk = reinterpret_cast<char*>(chunks_.back());
  const std::size_t need = 2 + id.size() + speaker.size() + date.size() + title.size();
  Populate(chunk + textEnd_ + need);

  std::size_t poster = 0;
  // The usual poster is an 8-byte ID and a 16-byte speaker: three words,
  // hashed with independent multiplications and compared word by word.
  const bool usual = id.size() == 8 && speaker.size() == 16;
  std::uint64_t w0 = 0, w1 = 0, w2 = 0;
  std::uint64_t h;
  if (usual) {
    std::memcpy(&w0, id.data(), 8);
    std::memcpy(&w1, speaker.data(), 8);
    std::memcpy(&w2, speaker.data() + 8, 8);
    h = w0 * 0x9E3779B97F4A7C15ull + w1 * 0xC2B2AE3D27D4EB4Full + w2 * 0x165667B19E3779F9ull;
    h ^= h >> 32;
  } else {
    h = 1469598103934665603ull ^ (id.size() * 131 + speaker.size());
    for (std::string_view part : {id, speaker}) {
      for (char c : part) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
  }
  auto same = [&](const char* known) {
    if (usual) {
      std::uint64_t k0, k1, k2;
      std::memcpy(&k0, known, 8);
      std::memcpy(&k1, known + 8, 8);
      std::memcpy(&k2, known + 16, 8);
      return ((k0 ^ w0) | (k1 ^ w1) | (k2 ^ w2)) == 0;
    }
    // A short header line leaves a field empty, and its view may hold no pointer.
    return std::string_view(known, id.size()) == id &&
           std::string_view(known + id.size(), speaker.size()) == speaker;
  };
  std::size_t slot = static_cast<std::size_t>(h ^ (h >> 29)) & (kPosterSlots - 1);
  for (;;) {
    PosterSlot& ps = posterSlots_[slot];
    if (ps.length == 0) {
      // A poster new to this chunk: its lengths, then its bytes. A chunk
      // has at most as many posters as records, so the table never fills.
      poster = textEnd_;
      char* dst = chunk + textEnd_;
      dst[0] = static_cast<char>(id.size());
      dst[1] = static_cast<char>(speaker.size());
      if (!id.empty()) std::memcpy(dst + 2, id.data(), id.size());
      if (!speaker.empty()) std::memcpy(dst + 2 + id.size(), speaker.data(), speaker.size());
      textEnd_ += 2 + id.size() + speaker.size();
      ps = PosterSlot{static_cast<std::uint32_t>(poster), static_cast<std::uint8_t>(id.size()),
                      static_cast<std::uint8_t>(id.size() + speaker.size() + 1)};
      break;
    }
    if (ps.idLength == id.size() && ps.length == id.size() + speaker.size() + 1 &&
        same(chunk + ps.offset + 2)) {
      poster = ps.offset;
      break;
    }
    slot = (slot + 1) & (kPosterSlots - 1);
  }

  const std::size_t text = textEnd_;
  char* dst = chunk + text;
  if (!date.empty()) std::memcpy(dst, date.data(), date.size());
  if (!title.empty()) std::memcpy(dst + date.size(), title.data(), title.size());
  textEnd_ += date.size() + title.size();

  const std::size_t fromRecord = text - static_cast<std::size_t>(reinterpret_cast<char*>(&rec) - chunk);
  const std::size_t back = text - poster;
  rec.textWord_ = static_cast<std::uint32_t>(fromRecord | date.size() << 20 | title.size() << 24);
  rec.posterLow_ = static_cast<std::uint16_t>(back & 0xFFFF);
  rec.flags_ = static_cast<std::uint8_t>((back >> 16) << 4);
}

bool TLogBase::AddRemark(std::string_view line1, std::string_view line2, int layout,
                         ByteOffset start) {
  // Layout 3 is layout 5 moved two bytes to the left.
  const std::size_t shift = layout == 3 ? 2 : 0;
  std::string_view numberField = Columns(line1, 1, 5 - shift);
  std::string_view id = Columns(line1, 13 - shift, 20 - shift);
  std::string_view speaker = Columns(line1, 23 - shift, 38 - shift);
  std::string_view title = TrimBlanks(Columns(line1, 40 - shift, 119 - shift));
  std::string_view date = TrimBlanks(Columns(line2, 6, 15));

  std::int32_t plain = 0;
  std::optional<std::int32_t> number = PlainDigits(numberField, plain) ? plain : StrToInt(numberField);
  if (!number) return false;
  // The poster ID must hold a number in its bytes 4-8.
  const std::string_view idNumber = Columns(id, 4, 8);
  if (!PlainDigits(idNumber, plain) && !StrToInt(idNumber)) return false;

  if (!HasFirst) FirstNumber = RemarkNo(*number);
  HasFirst = true;

  std::int32_t commentTo = 0;
  if (line2.size() > 30) {
    std::int32_t value = 0;
    for (char c : Columns(line2, 24, 28)) {
      const std::int32_t d = static_cast<unsigned char>(c) - '0';
      value = d >= 0 && d <= 9 ? value * 10 + d : value;  // other bytes are passed over
    }
    // A reference older than the first remark of this log counts as none.
    commentTo = value < FirstNumber.v ? 0 : value;
  }

  if (!chunkOpen_ || recordsInLastChunk_ == kRecordsPerChunk) NewChunk();
  const std::uint32_t id32 =
      static_cast<std::uint32_t>(((chunks_.size() - 1) << kChunkShift) | recordsInLastChunk_);
  TLogData& rec = *new (chunks_.back() + recordsInLastChunk_++) TLogData;
  StoreText(rec, id, speaker, date, title);
  rec.Number = RemarkNo(*number);
  rec.CommentTo = RemarkNo(commentTo);
  rec.StartPos = start;
  rec.EndPos = start;
  if (items_.size() == items_.capacity()) GrowItems(items_.size() + 1);
  items_.push_back(id32);
  return true;
}

void TLogBase::SortByNumber() {
  // A selection sort over positions 1..Count-1 (position 0 stays): step i
  // takes the first record of the smallest Number at or after i and
  // exchanges it with the record at i. The same exchanges, found without
  // looking at every record for every step: the steps take the numbers in
  // increasing order, and the records of one number in the order of their
  // positions at that moment. Each number keeps the positions of its records
  // in a min-heap; an exchange moves the record at i (whose number is larger
  // and whose heap therefore has i on top) to the taken record's place.
  const std::size_t n = items_.size();
  if (n <= 2) return;
  bool sorted = true;
  for (std::size_t i = 2; i < n && sorted; ++i) sorted = !(At(i).Number < At(i - 1).Number);
  if (sorted) return;  // every step would exchange a record with itself

  // Each number as its rank among the numbers present, counted positions.
  std::int32_t lo = INT32_MAX, hi = INT32_MIN;
  for (std::size_t i = 1; i < n; ++i) {
    lo = std::min(lo, At(i).Number.v);
    hi = std::max(hi, At(i).Number.v);
  }
  std::vector<std::uint32_t> rank(n);
  std::vector<std::uint32_t> heapStart;  // by rank; heapStart[r + 1] - heapStart[r] records
  const std::int64_t span = static_cast<std::int64_t>(hi) - lo + 1;
  if (span <= 4 * static_cast<std::int64_t>(n) + (1 << 20)) {
    // Five-digit numbers: a table over the range, empty numbers skipped.
    std::vector<std::uint32_t> count(static_cast<std::size_t>(span) + 1, 0);
    for (std::size_t i = 1; i < n; ++i) ++count[static_cast<std::size_t>(At(i).Number.v - lo)];
    std::uint32_t ranks = 0;
    heapStart.push_back(0);
    for (std::uint32_t& c : count) {
      if (c == 0) continue;
      heapStart.push_back(heapStart.back() + c);
      c = ranks++;  // now the rank of that number
    }
    for (std::size_t i = 1; i < n; ++i) rank[i] = count[static_cast<std::size_t>(At(i).Number.v - lo)];
  } else {
    std::vector<std::int32_t> values;
    values.reserve(n - 1);
    for (std::size_t i = 1; i < n; ++i) values.push_back(At(i).Number.v);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    std::vector<std::uint32_t> count(values.size(), 0);
    for (std::size_t i = 1; i < n; ++i) {
      rank[i] = static_cast<std::uint32_t>(std::lower_bound(values.begin(), values.end(), At(i).Number.v) -
                                           values.begin());
      ++count[rank[i]];
    }
    heapStart.push_back(0);
    for (std::uint32_t c : count) heapStart.push_back(heapStart.back() + c);
  }
  const std::size_t ranks = heapStart.size() - 1;

  // The heaps, side by side; positions filled in increasing order make each
  // one a valid heap from the start.
  std::vector<std::uint32_t> heap(n - 1);
  std::vector<std::uint32_t> heapSize(ranks, 0);
  for (std::size_t i = 1; i < n; ++i) {
    const std::uint32_t r = rank[i];
    heap[heapStart[r] + heapSize[r]++] = static_cast<std::uint32_t>(i);
  }
  auto siftDown = [&](std::uint32_t* h, std::uint32_t size, std::uint32_t k) {
    const std::uint32_t v = h[k];
    for (;;) {
      std::uint32_t c = 2 * k + 1;
      if (c >= size) break;
      if (c + 1 < size && h[c + 1] < h[c]) ++c;
      if (h[c] >= v) break;
      h[k] = h[c];
      k = c;
    }
    h[k] = v;
  };

  std::size_t i = 1;
  for (std::size_t r = 0; r < ranks; ++r) {
    std::uint32_t* h = heap.data() + heapStart[r];
    std::uint32_t& size = heapSize[r];
    while (size > 0) {
      const std::uint32_t p = h[0];
      h[0] = h[--size];
      if (size > 1) siftDown(h, size, 0);
      if (p != i) {
        // The record at i goes to p; its heap has i on top (every smaller
        // position is settled already).
        const std::uint32_t w = rank[i];
        std::uint32_t* hw = heap.data() + heapStart[w];
        hw[0] = p;
        siftDown(hw, heapSize[w], 0);
        rank[p] = w;
        std::swap(items_[i], items_[p]);
      }
      ++i;
    }
  }
}

// ---- Thread prefixes ----

void TLogBase::DropPrefixText(TLogData& r) {
  if (r.State() == TLogData::kText) {
    prefixTexts_.erase(&r);
    r.SetState(TLogData::kNoPrefix);
  }
}

void TLogBase::SetPrefixText(TLogData& r, std::string text) {
  prefixTexts_[&r] = std::move(text);
  r.SetState(TLogData::kText);
}

std::string TLogBase::GetPrefix(IndexPos i) const {
  std::string s;
  AppendPrefix(GetItem(i), s);
  return s;
}

void TLogBase::AppendPrefix(const TLogData& rec, std::string& out) const {
  AppendCells(rec, rec.Level, out, [this](std::uint32_t id) { return Record(id).Level; });
}

template <class LevelOf>
void TLogBase::AppendCells(const TLogData& rec, std::int32_t level, std::string& out, LevelOf levelOf) const {
  if (rec.State() == TLogData::kText) {
    out.append(prefixTexts_.at(&rec));
    return;
  }
  if (rec.State() != TLogData::kCells || level < 0) return;
  // Level cells above the own one, filled from the deepest upwards: a bar
  // where the record of that level up the chain has a bar below, else a
  // blank (also where the chain has no record at that level).
  const std::size_t start = out.size();
  out.resize(start + 2 * (static_cast<std::size_t>(level) + 1));
  char* p = out.data() + start;
  const std::string_view blank = rec.Tee() ? kWideBlank : kBlank;
  std::uint32_t up = rec.up_;
  for (std::int32_t c = level - 1; c >= 0; --c) {
    const bool here = up != 0 && levelOf(up - 1) == c;
    const std::string_view cell = here && Record(up - 1).BarBelow() ? kBar : blank;
    p[2 * c] = cell[0];
    p[2 * c + 1] = cell[1];
    if (here) up = Record(up - 1).up_;
  }
  const std::string_view own = rec.Tee() ? kTee : kCorner;
  p[2 * level] = own[0];
  p[2 * level + 1] = own[1];
}

void PrefixDrawer::Append(const TLogData& rec, std::string& out) {
  if (rec.State() == TLogData::kText) {
    out.append(index_.prefixTexts_.at(&rec));
    return;
  }
  if (rec.State() != TLogData::kCells || rec.Level < 0) return;
  // The same walk as AppendPrefix, stopped at the first cell whose record is
  // the one kept there: the cells above it follow from that record alone.
  const std::size_t level = static_cast<std::size_t>(rec.Level);
  const std::size_t kept = std::min(above_.size(), level);
  if (above_.size() < level) above_.resize(level);
  if (ascii_.size() < 2 * level) {
    ascii_.resize(2 * level);
    wide_.resize(2 * level);
  }
  const TLogData* a = index_.Up(rec);
  for (std::size_t c = level; c-- > 0;) {
    const TLogData* here = a && a->Level == static_cast<std::int32_t>(c) ? a : nullptr;
    if (here && c < kept && above_[c] == here) break;
    above_[c] = here;
    const bool bar = here && here->BarBelow();
    ascii_[2 * c] = bar ? kBar[0] : kBlank[0];
    ascii_[2 * c + 1] = bar ? kBar[1] : kBlank[1];
    wide_[2 * c] = bar ? kBar[0] : kWideBlank[0];
    wide_[2 * c + 1] = bar ? kBar[1] : kWideBlank[1];
    if (here) a = index_.Up(*here);
  }
  // Cells below this record's own belong to other threads from here on.
  above_.resize(level);
  out.append(rec.Tee() ? wide_ : ascii_, 0, 2 * level);
  out.append(rec.Tee() ? kTee : kCorner);
}

namespace {

// The records that the placing pass has dealt with, in their current order:
// blocks of a few dozen record ids in a linked list, each block with the
// smallest CommentTo it holds (to skip over runs of replies) and an order
// label (to tell which of two records comes first).
class Sequence {
 public:
  Sequence(std::size_t n, const FreshArray<std::int32_t>& commentTo)
      : ct_(commentTo), block_(n, -1), slot_(n), blocks_(n / (kBlockMax / 2) + 2, false) {
    // Every block but the last holds half a block at least, so that many
    // are room enough. Most of the room stays unused (blocks are mostly
    // full): it is taken as it is used.
  }

  void Append(std::int32_t id) {
    // Records come at the end far more often than anywhere else: a full last
    // block is followed by a new one rather than split, and stays full.
    if (tail_ < 0 || B(tail_).size == kBlockMax - 1) NewBlockAfter(tail_);
    InsertAt(tail_, B(tail_).size, id);
  }
  void InsertAfter(std::int32_t x, std::int32_t id) {
    InsertAt(block_[static_cast<std::size_t>(x)], slot_[static_cast<std::size_t>(x)] + 1u, id);
  }
  bool Before(std::int32_t x, std::int32_t y) const {
    const std::int32_t bx = block_[static_cast<std::size_t>(x)], by = block_[static_cast<std::size_t>(y)];
    if (bx != by) return B(bx).label < B(by).label;
    return slot_[static_cast<std::size_t>(x)] < slot_[static_cast<std::size_t>(y)];
  }
  // The last record of the run that starts at b: the records from b on, one
  // after another, whose CommentTo is at least p.
  std::int32_t RunEnd(std::int32_t b, std::int32_t p) const {
    std::int32_t blk = block_[static_cast<std::size_t>(b)];
    std::size_t s = slot_[static_cast<std::size_t>(b)] + 1u;
    std::int32_t last = b;
    for (;;) {
      const Block& block = B(blk);
      for (; s < block.size; ++s) {
        if (ct_[static_cast<std::size_t>(block.ids[s])] < p) return last;
        last = block.ids[s];
      }
      blk = block.next;
      while (blk >= 0 && B(blk).minCommentTo >= p) {
        last = B(blk).ids[B(blk).size - 1];
        blk = B(blk).next;
      }
      if (blk < 0) return last;
      s = 0;
    }
  }
  template <class F>
  void ForEach(F f) const {
    for (std::int32_t blk = head_; blk >= 0; blk = B(blk).next) {
      for (std::size_t s = 0; s < B(blk).size; ++s) f(B(blk).ids[s]);
    }
  }

 private:
  static constexpr std::size_t kBlockMax = 32;
  struct Block {
    std::int32_t ids[kBlockMax];
    std::uint32_t size = 0;
    std::int32_t minCommentTo = INT32_MAX;
    std::int32_t next = -1;
    std::uint64_t label = 0;
  };
  const Block& B(std::int32_t blk) const { return blocks_[static_cast<std::size_t>(blk)]; }
  Block& B(std::int32_t blk) { return blocks_[static_cast<std::size_t>(blk)]; }

  void InsertAt(std::int32_t blk, std::size_t s, std::int32_t id) {
    Block& b = B(blk);
    for (std::size_t t = b.size; t > s; --t) {
      b.ids[t] = b.ids[t - 1];
      slot_[static_cast<std::size_t>(b.ids[t])] = static_cast<std::uint8_t>(t);
    }
    b.ids[s] = id;
    ++b.size;
    slot_[static_cast<std::size_t>(id)] = static_cast<std::uint8_t>(s);
    block_[static_cast<std::size_t>(id)] = blk;
    b.minCommentTo = std::min(b.minCommentTo, ct_[static_cast<std::size_t>(id)]);
    if (b.size == kBlockMax) Split(blk);
  }
  void Split(std::int32_t blk) {
    const std::int32_t c = NewBlockAfter(blk);
    Block& b = B(blk);
    Block& nb = B(c);
    const std::size_t half = b.size / 2;
    nb.size = b.size - static_cast<std::uint32_t>(half);
    b.size = static_cast<std::uint32_t>(half);
    b.minCommentTo = nb.minCommentTo = INT32_MAX;
    for (std::size_t t = 0; t < half; ++t) b.minCommentTo = std::min(b.minCommentTo, ct_[static_cast<std::size_t>(b.ids[t])]);
    for (std::size_t t = 0; t < nb.size; ++t) {
      const std::int32_t id = b.ids[half + t];
      nb.ids[t] = id;
      nb.minCommentTo = std::min(nb.minCommentTo, ct_[static_cast<std::size_t>(id)]);
      block_[static_cast<std::size_t>(id)] = c;
      slot_[static_cast<std::size_t>(id)] = static_cast<std::uint8_t>(t);
    }
  }
  std::int32_t NewBlockAfter(std::int32_t blk) {
    const std::int32_t c = static_cast<std::int32_t>(blockCount_++);
    new (&blocks_[static_cast<std::size_t>(c)]) Block;
    if (blk < 0) {
      head_ = tail_ = c;
      B(c).label = std::uint64_t{1} << 40;
      return c;
    }
    const std::int32_t next = B(blk).next;
    B(c).next = next;
    B(blk).next = c;
    if (tail_ == blk) tail_ = c;
    const std::uint64_t lo = B(blk).label;
    const std::uint64_t hi = next >= 0 ? B(next).label : lo + (std::uint64_t{1} << 33);
    if (hi - lo >= 2) {
      B(c).label = lo + (hi - lo) / 2;
    } else {
      std::uint64_t label = std::uint64_t{1} << 40;
      for (std::int32_t k = head_; k >= 0; k = B(k).next, label += std::uint64_t{1} << 32) B(k).label = label;
    }
    return c;
  }

  const FreshArray<std::int32_t>& ct_;
  FreshArray<std::int32_t> block_;  // by record id
  FreshArray<std::uint8_t> slot_;   // by record id: place within its block
  FreshArray<Block> blocks_;
  std::size_t blockCount_ = 0;
  std::int32_t head_ = -1, tail_ = -1;
};

// For every number, the record latest in the current order whose Number or
// CommentTo is that number (-1 when none has been placed yet).
class LatestByNumber {
 public:
  // For n records whose numbers and references lie in [lo, hi].
  LatestByNumber(std::size_t n, std::int64_t lo, std::int64_t hi) {
    // The number fields hold five digits, so a table is the rule; a map
    // serves numbers set from elsewhere.
    if (hi - lo <= 4 * static_cast<std::int64_t>(n) + (1 << 20)) {
      base_ = lo;
      table_.assign(static_cast<std::size_t>(hi - lo + 1), -1);
    }
  }
  std::int32_t Get(std::int32_t number) const {
    if (!table_.empty()) return table_[static_cast<std::size_t>(number - base_)];
    auto it = map_.find(number);
    return it == map_.end() ? -1 : it->second;
  }
  void Set(std::int32_t number, std::int32_t id) {
    if (!table_.empty()) table_[static_cast<std::size_t>(number - base_)] = id;
    else map_[number] = id;
  }

 private:
  std::int64_t base_ = 0;
  std::vector<std::int32_t> table_;
  std::unordered_map<std::int32_t, std::int32_t> map_;
};

}  // namespace

void TLogBase::PlaceThreads(FreshArray<std::uint8_t>& marks, FreshArray<std::int32_t>& work) {
  // Pass 1. Every record j in turn is placed under the latest earlier record
  // numbered its CommentTo P, or after the latest earlier reply to P and the
  // run of records with CommentTo >= P that follows it, whichever of the two
  // comes later; with neither it becomes a top remark for good. (Walking
  // back from j to that record is the same, at O(n^2) in the worst case.)
  const std::size_t n = items_.size();
  FreshArray<std::int32_t>& ct = work;  // the CommentTo of each record, at its position
  std::int64_t lo = 0, hi = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const TLogData& r = At(i);
    ct[i] = r.CommentTo.v;
    lo = std::min<std::int64_t>({lo, r.CommentTo.v, r.Number.v});
    hi = std::max<std::int64_t>({hi, r.CommentTo.v, r.Number.v});
  }
  LatestByNumber latest(n, lo, hi);
  Sequence seq(n, ct);
  for (std::int32_t j = 0; j < static_cast<std::int32_t>(n); ++j) {
    const std::size_t uj = static_cast<std::size_t>(j);
    TLogData& rj = At(uj);
    const std::int32_t number = rj.Number.v;
    const std::int32_t P = ct[uj];
    const std::int32_t b = P != 0 ? latest.Get(P) : -1;
    if (b < 0) {
      if (P != 0) {
        ct[uj] = 0;
        rj.CommentTo = RemarkNo(0);
      }
      seq.Append(j);
      latest.Set(number, j);
      continue;
    }
    const TLogData& rb = At(static_cast<std::size_t>(b));
    if (rb.Number.v == P) {  // under its parent
      seq.InsertAfter(b, j);
      rj.Level = rb.Level + 1;
    } else {  // after its sibling's run, which gets the tee
      marks[static_cast<std::size_t>(b)] |= kTeeMark;
      seq.InsertAfter(seq.RunEnd(b, P), j);
      rj.Level = rb.Level;
    }
    marks[uj] = kPlacedMark;  // no later sibling yet
    latest.Set(P, j);
    const std::int32_t current = latest.Get(number);
    if (current < 0 || seq.Before(current, j)) latest.Set(number, j);
  }

  // The new order, from the old one kept where the references were.
  for (std::size_t i = 0; i < n; ++i) ct[i] = static_cast<std::int32_t>(items_[i]);
  const FreshArray<std::int32_t>& old = ct;
  FreshArray<std::uint8_t> moved(n);
  std::size_t pos = 0;
  seq.ForEach([&](std::int32_t id) {
    const std::size_t u = static_cast<std::size_t>(id);
    items_[pos] = static_cast<std::uint32_t>(old[u]);
    moved[pos] = marks[u];
    ++pos;
  });
  marks.swap(moved);
}

void TLogBase::DrawBars(const FreshArray<std::uint8_t>& marks, FreshArray<std::int32_t>& work) {
  // Pass 2. The record i after a deeper line, with a parent (CommentTo not
  // 0), walks back over the records up to the last one at its own level L
  // and draws a bar in column L of each: the first cell of the prefix goes
  // and a bar is put in after the first L cells. A walk over deeper records
  // only (the usual case) sets cell L of each to a bar. So the cells come
  // from each record's chain, the records one level up each, found with a
  // stack in one pass: the record at level L that a walk stops at gets "bar
  // below". Placed records start as Level blanks and the corner, or the tee
  // after full-width blanks when a later sibling followed; pass 3, the fold
  // marks, goes along.
  //
  // A walk that passes a shallower record (the layout has a jump, as
  // numbers that wrap around can give) changes prefixes in ways cells cannot
  // hold: the records it reaches get their prefix as text, step by step
  // (DrawBarsExactly). Such a walk may reach records not placed now, which
  // keep an earlier prefix; a walk over deeper records only never does: the
  // records between a placed record and the one it was placed after (its
  // parent, or the end of its sibling's run of replies) are all placed.
  const std::size_t n = items_.size();
  std::vector<std::uint32_t> open;  // positions, levels rising
  std::vector<IrregularWalk> irregular;
  std::vector<std::int64_t> lastAt;  // by level: the last position at that level
  // By record id: the position of the record whose walk drew the bar below
  // it (read only for records with a bar below).
  std::int32_t* const drawnBy = work.data();
  std::int32_t tops = 0;
  for (std::size_t i = 0; i < n; ++i) {
    TLogData& r = At(i);
    if (marks[i] & kPlacedMark) {
      DropPrefixText(r);
      r.SetState(TLogData::kCells);
      r.SetFlag(4, (marks[i] & kTeeMark) != 0);
    }
    const std::int32_t level = r.Level;
    tops += level == -1;
    if (i > 0 && At(i - 1).Level < level) At(i - 1).Mark = '+';
    const bool walks = i > 0 && At(i - 1).Level > level && r.CommentTo.v != 0;
    bool stopped = false;
    while (!open.empty() && At(open.back()).Level >= level) {
      const std::uint32_t o = open.back();
      const bool bar = walks && At(o).Level == level;
      At(o).SetFlag(8, bar);
      if (bar) {
        stopped = true;
        drawnBy[items_[o]] = static_cast<std::int32_t>(i);
      }
      open.pop_back();
    }
    if (walks && !stopped) {
      const std::int64_t last =
          static_cast<std::size_t>(level) < lastAt.size() ? lastAt[static_cast<std::size_t>(level)] : -1;
      irregular.push_back(IrregularWalk{static_cast<std::size_t>(last + 1), i - 1, level});
    }
    r.up_ = open.empty() ? 0 : items_[open.back()] + 1;
    open.push_back(static_cast<std::uint32_t>(i));
    if (level >= 0) {
      if (lastAt.size() <= static_cast<std::size_t>(level)) lastAt.resize(static_cast<std::size_t>(level) + 1, -1);
      lastAt[static_cast<std::size_t>(level)] = static_cast<std::int64_t>(i);
    }
  }
  for (const std::uint32_t o : open) At(o).SetFlag(8, false);
  topCount_ = tops;
  if (!irregular.empty()) DrawBarsExactly(marks, irregular, drawnBy);
}

void TLogBase::DrawBarsExactly(const FreshArray<std::uint8_t>& marks, std::vector<IrregularWalk>& irregular,
                               const std::int32_t* drawnBy) {
  // The records an irregular walk reaches get their prefix as text: their
  // first prefix, then the walks over them in the order they were made (the
  // irregular ones, and the bars of their chains).
  std::vector<std::size_t> special;
  std::sort(irregular.begin(), irregular.end(),
            [](const IrregularWalk& a, const IrregularWalk& b) { return a.from < b.from; });
  std::size_t covered = 0;  // positions below this are taken already
  for (const IrregularWalk& w : irregular) {
    for (std::size_t k = std::max(w.from, covered); k <= w.to; ++k) special.push_back(k);
    covered = std::max(covered, w.to + 1);
  }

  std::vector<std::pair<std::uint32_t, std::int32_t>> steps;  // (walk's record, level)
  std::size_t nextWalk = 0;
  std::vector<IrregularWalk> active;
  std::vector<std::pair<TLogData*, std::string>> texts;
  for (const std::size_t k : special) {
    while (nextWalk < irregular.size() && irregular[nextWalk].from <= k) active.push_back(irregular[nextWalk++]);
    active.erase(std::remove_if(active.begin(), active.end(), [&](const IrregularWalk& w) { return w.to < k; }),
                 active.end());
    steps.clear();
    for (const IrregularWalk& w : active) steps.emplace_back(static_cast<std::uint32_t>(w.to + 1), w.level);
    for (std::uint32_t up = At(k).up_; up != 0; up = Record(up - 1).up_) {
      const TLogData& e = Record(up - 1);
      if (e.BarBelow()) steps.emplace_back(static_cast<std::uint32_t>(drawnBy[up - 1]), e.Level);
    }
    std::sort(steps.begin(), steps.end());
    TLogData& r = At(k);
    std::string s;
    if (marks[k] & kPlacedMark) {
      for (std::int32_t c = 0; c < r.Level; ++c) s += r.Tee() ? kWideBlank : kBlank;
      s += r.Tee() ? kTee : kCorner;
    } else {
      AppendPrefix(r, s);
    }
    for (const auto& [by, level] : steps) {
      // Drop the first cell and put a bar in after the first `level` cells.
      s.erase(0, std::min<std::size_t>(2, s.size()));
      s.insert(std::min<std::size_t>(2 * static_cast<std::size_t>(std::max(level, 0)), s.size()), kBar);
    }
    texts.emplace_back(&r, std::move(s));
  }
  for (auto& [r, text] : texts) SetPrefixText(*r, std::move(text));
}

void TLogBase::BuildThreads() {
  const std::size_t n = items_.size();
  // Whether each record is placed by this build, and whether a later sibling
  // followed it; and one array of working room, used by each pass in turn
  // (a fresh one for each would cost as much as the passes' own work).
  FreshArray<std::uint8_t> marks(n);
  FreshArray<std::int32_t> work(std::max<std::size_t>(n, IdLimit()));
  // Remarks this build does not place keep the prefix an earlier build gave
  // them. Held as cells, it depends on the levels and bars of other records,
  // which this build changes: keep their levels as they are now...
  std::vector<std::int32_t> oldLevel;
  if (cellsHeld_) {
    oldLevel.resize(chunks_.size() << kChunkShift);
    for (const std::uint32_t id : items_) oldLevel[id] = Record(id).Level;
  }
  PlaceThreads(marks, work);

  // ... and fix it as text before the cells it refers to change.
  if (cellsHeld_) {
    std::vector<std::pair<TLogData*, std::string>> kept;
    for (std::size_t i = 0; i < n; ++i) {
      if (!(marks[i] & kPlacedMark) && At(i).State() == TLogData::kCells) {
        std::string text;
        AppendCells(At(i), oldLevel[items_[i]], text, [&](std::uint32_t id) { return oldLevel[id]; });
        kept.emplace_back(&At(i), std::move(text));
      }
    }
    for (auto& [r, text] : kept) SetPrefixText(*r, std::move(text));
  }

  // Pass 2, bars, and pass 3, fold marks.
  DrawBars(marks, work);
  cellsHeld_ = true;
}

std::size_t TLogBase::MemoryUsed() const {
  // The records and texts in use (a chunk's pages beyond them are never
  // written), the order, the poster table while scanning, prefix texts.
  std::size_t bytes = items_.capacity() * sizeof(std::uint32_t) + posterSlots_.capacity() * sizeof(PosterSlot) +
                      prefixTexts_.size() * (sizeof(std::string) + 4 * sizeof(void*));
  bytes += closedBytes_ + (chunkOpen_ ? textEnd_ : 0);
  for (const auto& [r, t] : prefixTexts_) bytes += t.capacity() + 1;
  return bytes;
}

}  // namespace kest
