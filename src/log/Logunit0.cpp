#include "log/Logunit0.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/Convert.h"

namespace kest {
namespace {

constexpr std::size_t kRecordsPerChunk = 4096;
constexpr std::size_t kTextChunk = 64 * 1024;

// Thread-drawing cells, Shift-JIS.
constexpr std::string_view kCorner = "\x84\xAF";   // ┗
constexpr std::string_view kTee = "\x84\xB5";      // ┠
constexpr std::string_view kBar = "\x84\xAB";      // ┃
constexpr std::string_view kBlank = "  ";
constexpr std::string_view kWideBlank = "\x81\x40";

std::string Repeat(std::string_view cell, std::int32_t times) {
  std::string s;
  if (times <= 0) return s;
  s.reserve(cell.size() * static_cast<std::size_t>(times) + 2);
  for (std::int32_t t = 0; t < times; ++t) s.append(cell);
  return s;
}

// Minimum (Number, position) over a range of positions, for the selection
// sort below.
class MinTree {
 public:
  explicit MinTree(const std::vector<TLogData*>& items) : n_(items.size()), tree_(2 * n_) {
    for (std::size_t i = 0; i < n_; ++i) tree_[n_ + i] = Key{items[i]->Number.v, i};
    for (std::size_t i = n_ - 1; i > 0; --i) tree_[i] = std::min(tree_[2 * i], tree_[2 * i + 1]);
  }
  void Set(std::size_t pos, std::int32_t number) {
    std::size_t i = pos + n_;
    tree_[i] = Key{number, pos};
    for (i /= 2; i > 0; i /= 2) tree_[i] = std::min(tree_[2 * i], tree_[2 * i + 1]);
  }
  // The position of the smallest Number in [from, n); among equal numbers the
  // first position.
  std::size_t MinFrom(std::size_t from) const {
    Key best{INT32_MAX, SIZE_MAX};
    for (std::size_t l = from + n_, r = 2 * n_; l < r; l /= 2, r /= 2) {
      if (l & 1) best = std::min(best, tree_[l++]);
      if (r & 1) best = std::min(best, tree_[--r]);
    }
    return best.pos;
  }

 private:
  struct Key {
    std::int32_t number;
    std::size_t pos;
    auto operator<=>(const Key&) const = default;
  };
  std::size_t n_;
  std::vector<Key> tree_;
};

}  // namespace

std::string_view TrimBlanks(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return s.substr(b, e - b);
}

std::string_view Columns(std::string_view line, std::size_t from, std::size_t to) {
  if (from > line.size()) return {};
  return line.substr(from - 1, to - from + 1);
}

TLogBase::TLogBase() = default;
TLogBase::~TLogBase() = default;

TLogData& TLogBase::GetItem(IndexPos i) {
  if (i.v < 0 || i.v >= Count()) {
    throw std::out_of_range("リストのインデックスが範囲を超えています (" + std::to_string(i.v) + ")");
  }
  return *items_[static_cast<std::size_t>(i.v)];
}

const TLogData& TLogBase::GetItem(IndexPos i) const {
  return const_cast<TLogBase*>(this)->GetItem(i);
}

const char* TLogBase::StoreText(std::string_view a, std::string_view b, std::string_view c,
                                std::string_view d) {
  std::size_t need = a.size() + b.size() + c.size() + d.size();
  if (textChunks_.empty() || textUsedInLastChunk_ + need > kTextChunk) {
    textChunks_.push_back(std::make_unique<char[]>(kTextChunk));
    textUsedInLastChunk_ = 0;
  }
  char* dst = textChunks_.back().get() + textUsedInLastChunk_;
  char* p = dst;
  for (std::string_view s : {a, b, c, d}) {
    if (!s.empty()) std::memcpy(p, s.data(), s.size());
    p += s.size();
  }
  textUsedInLastChunk_ += need;
  return dst;
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

  std::optional<std::int32_t> number = StrToInt(numberField);
  if (!number) return false;
  // The poster ID must hold a number in its bytes 4-8.
  if (!StrToInt(Columns(id, 4, 8))) return false;

  if (!HasFirst) FirstNumber = RemarkNo(*number);
  HasFirst = true;

  std::int32_t commentTo = 0;
  if (line2.size() > 30) {
    std::int32_t value = 0;
    for (char c : Columns(line2, 24, 28)) {
      if (c >= '0' && c <= '9') value = value * 10 + (c - '0');
    }
    // A reference older than the first remark of this log counts as none.
    commentTo = value < FirstNumber.v ? 0 : value;
  }

  if (recordChunks_.empty() || recordsInLastChunk_ == kRecordsPerChunk) {
    recordChunks_.push_back(std::make_unique<TLogData[]>(kRecordsPerChunk));
    recordsInLastChunk_ = 0;
  }
  TLogData& rec = recordChunks_.back()[recordsInLastChunk_++];
  rec.text_ = StoreText(id, speaker, date, title);
  rec.idLen_ = static_cast<std::uint8_t>(id.size());
  rec.speakerLen_ = static_cast<std::uint8_t>(speaker.size());
  rec.dateLen_ = static_cast<std::uint8_t>(date.size());
  rec.titleLen_ = static_cast<std::uint8_t>(title.size());
  rec.Number = RemarkNo(*number);
  rec.CommentTo = RemarkNo(commentTo);
  rec.StartPos = start;
  rec.EndPos = start;
  items_.push_back(&rec);
  return true;
}

void TLogBase::SortByNumber() {
  // A selection sort over positions 1..Count-1 (position 0 stays), taking the
  // first of equal numbers in the unsorted part. A tree of minima gives the
  // very same exchanges in O(n log n) instead of O(n^2).
  const std::size_t n = items_.size();
  if (n <= 2) return;
  if (std::is_sorted(items_.begin() + 1, items_.end(),
                     [](const TLogData* a, const TLogData* b) { return a->Number < b->Number; })) {
    return;  // every step would exchange a record with itself
  }
  MinTree tree(items_);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    std::size_t m = tree.MinFrom(i);
    if (m != i) {
      std::swap(items_[i], items_[m]);
      tree.Set(i, items_[i]->Number.v);
      tree.Set(m, items_[m]->Number.v);
    }
  }
}

void TLogBase::PlaceUnder(TLogData& p, const TLogData& q, bool asChild) {
  p.Level = asChild ? q.Level + 1 : q.Level;
  p.Prefix = Repeat(kBlank, p.Level);
  p.Prefix.append(kCorner);
}

void TLogBase::MarkSibling(TLogData& b) {
  b.Prefix = Repeat(kWideBlank, b.Level);
  b.Prefix.append(kTee);
}

void TLogBase::DrawBar(TLogData& k, std::int32_t level) {
  // Drop the first cell and put a bar in after the first `level` cells; the
  // cells in front are still blanks, so cell `level` becomes the bar.
  k.Prefix.erase(0, std::min<std::size_t>(2, k.Prefix.size()));
  std::size_t at = std::min<std::size_t>(2 * static_cast<std::size_t>(std::max(level, 0)),
                                         k.Prefix.size());
  k.Prefix.insert(at, kBar);
}

void TLogBase::MarkParents() {
  for (std::size_t i = 0; i + 1 < items_.size(); ++i) {
    if (items_[i]->Level < items_[i + 1]->Level) items_[i]->Mark = '+';
  }
}

void TLogBase::BuildThreads() {
  const std::int32_t n = Count();

  // Pass 1: place every reply under its parent or after its last sibling.
  for (std::int32_t j = 0; j < n; ++j) {
    const std::int32_t P = items_[j]->CommentTo.v;
    if (P == 0) continue;
    std::int32_t a = j;
    bool inRun = false;
    bool placed = false;
    for (std::int32_t b = j - 1; b >= 0; --b) {
      const TLogData& rb = *items_[b];
      if (rb.CommentTo.v >= P && !inRun) {
        a = b + 1;
        inRun = true;
      }
      if (rb.CommentTo.v < P) {
        a = b;
        inRun = false;
      }
      if (rb.Number.v == P) {  // b is the parent
        std::rotate(items_.begin() + b + 1, items_.begin() + j, items_.begin() + j + 1);
        PlaceUnder(*items_[b + 1], *items_[b], true);
        placed = true;
        break;
      }
      if (rb.CommentTo.v == P) {  // b is the nearest earlier sibling
        MarkSibling(*items_[b]);
        std::rotate(items_.begin() + a, items_.begin() + j, items_.begin() + j + 1);
        PlaceUnder(*items_[a], *items_[b], false);
        placed = true;
        break;
      }
    }
    // The parent is not in the log, or comes later: a top remark for good.
    if (!placed) items_[j]->CommentTo = RemarkNo(0);
  }

  // Pass 2: bars down the subtree of every earlier sibling.
  for (std::int32_t i = 1; i < n; ++i) {
    const TLogData& ri = *items_[i];
    if (items_[i - 1]->Level > ri.Level && ri.CommentTo.v != 0) {
      for (std::int32_t k = i - 1; k >= 0 && items_[k]->Level != ri.Level; --k) {
        DrawBar(*items_[k], ri.Level);
      }
    }
  }

  // Pass 3: fold marks.
  MarkParents();
}

std::size_t TLogBase::MemoryUsed() const {
  std::size_t bytes = items_.capacity() * sizeof(TLogData*) +
                      recordChunks_.size() * kRecordsPerChunk * sizeof(TLogData) +
                      textChunks_.size() * kTextChunk;
  for (const TLogData* r : items_) {
    if (r->Prefix.capacity() > 15) bytes += r->Prefix.capacity() + 1;
  }
  return bytes;
}

}  // namespace kest
