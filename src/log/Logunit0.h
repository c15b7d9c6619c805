// The remark index: one record per remark of a log, holding the header fields
// cut out of the file and the byte span of the remark's text (never the text),
// plus the thread information the content orders compute.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "log/Types.h"
#include "platform/Memory.h"

namespace kest {

class TLogBase;

// One remark, 40 bytes. The four header texts never change after the scan
// and lie in the same block of memory as the record: date and title after
// each other, the poster (ID and speaker, shared by the poster's remarks)
// before them, both found by offsets from the record. The thread prefix is
// kept as a reference to the remark one level up in its thread plus the
// remark's own cell, so a chain n deep holds O(n) bytes, not O(n^2); its
// text is built through the index when a line is drawn (TLogBase::GetPrefix,
// AppendPrefix, PrefixDrawer).
struct TLogData {
  TLogData() = default;
  TLogData(const TLogData&) = delete;
  TLogData& operator=(const TLogData&) = delete;

  ByteOffset StartPos;         // offset of header line 2, where the shown text begins
  ByteOffset EndPos;           // where the text ends (exclusive)
  RemarkNo Number;
  RemarkNo CommentTo;          // the remark this one comments on; 0 = none
  std::int32_t Level = -1;     // -1 top of a thread, 0 reply to a top remark, ...
  char Mark = ' ';             // ' ' or '+' (followed by a deeper remark in content order)

  std::string_view Title() const { return {Texts() + DateLength(), (textWord_ >> 24) & 0x7F}; }
  std::string_view Date() const { return {Texts(), DateLength()}; }
  std::string_view ID() const;
  std::string_view Speaker() const;

 private:
  friend class TLogBase;
  friend class PrefixDrawer;
  // How the prefix is held: none yet (empty), as cells (Level blanks or bars
  // and the own cell), or as text (after drawing that the cells cannot hold).
  enum PrefixState : std::uint8_t { kNoPrefix = 0, kCells = 1, kText = 2 };
  static constexpr std::uint32_t kOffsetMask = 0xFFFFF;  // texts lie within 1 MiB of their record

  const char* Texts() const { return reinterpret_cast<const char*>(this) + (textWord_ & kOffsetMask); }
  std::size_t DateLength() const { return (textWord_ >> 20) & 0xF; }
  const char* Poster() const;  // [ID length][speaker length][ID][speaker]
  PrefixState State() const { return static_cast<PrefixState>(flags_ & 3); }
  void SetState(PrefixState s) { flags_ = static_cast<std::uint8_t>((flags_ & ~3u) | s); }
  bool Tee() const { return flags_ & 4; }          // kCells: own cell ┠ after full-width blanks, else ┗
  bool BarBelow() const { return flags_ & 8; }     // remarks under this one draw a bar in its column
  void SetFlag(std::uint8_t bit, bool on) { flags_ = static_cast<std::uint8_t>(on ? flags_ | bit : flags_ & ~bit); }

  std::uint8_t flags_ = 0;      // prefix state (2 bits), tee, bar below; the poster offset's top 4 bits
  std::uint16_t posterLow_ = 0; // with those: how far before the date the poster lies
  std::uint32_t textWord_ = 0;  // offset of the date from the record (20 bits), date (4) and title (7) lengths
  // 1 + the id of the record one level up in the thread drawing (the
  // nearest record before this one, in the order of the last content
  // order, at a lower level), whose chain gives this prefix's cells; 0 for
  // none.
  std::uint32_t up_ = 0;
};

// Draws the prefixes of many lines one after another, as a title list is
// written out. AppendPrefix walks each record's thread up to its top; lines
// next to each other share most of their thread, so the drawer keeps the
// cells of the line before and looks up only the records not shared. Gives
// the same text as AppendPrefix, in any order of lines, as long as the index
// is not rearranged while drawing (take a new drawer after that).
class PrefixDrawer {
 public:
  explicit PrefixDrawer(const TLogBase& index) : index_(index) {}
  void Append(const TLogData& rec, std::string& out);

 private:
  const TLogBase& index_;
  // above_[c]: the record whose bar decides cell c of the last record drawn
  // with cells (nullptr: a blank), for c below its Level; the cells with
  // ASCII and with full-width blanks, two bytes each.
  std::vector<const TLogData*> above_;
  std::string ascii_, wide_;
};

// The object of one line of the title list in content order (2).
struct TLogItem {
  RemarkNo Number;
  IndexPos Index;
  std::int32_t Level = -1;  // -1 for a thread's top remark, else the remark's Level
  bool Expanded = false;    // the direct replies are shown below the line
};

class TLogBase {
 public:
  TLogBase();
  virtual ~TLogBase();
  TLogBase(const TLogBase&) = delete;
  TLogBase& operator=(const TLogBase&) = delete;

  RemarkNo FirstNumber{0};  // Number of the first remark accepted from the file
  bool HasFirst = false;

  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  // A position outside 0..Count-1 is a caller error and throws std::out_of_range.
  TLogData& GetItem(IndexPos i);
  const TLogData& GetItem(IndexPos i) const;
  RemarkNo GetNumber(IndexPos i) const { return GetItem(i).Number; }
  RemarkNo GetCommentTo(IndexPos i) const { return GetItem(i).CommentTo; }
  std::int32_t GetLevel(IndexPos i) const { return GetItem(i).Level; }
  std::string_view GetID(IndexPos i) const { return GetItem(i).ID(); }
  std::string_view GetSpeaker(IndexPos i) const { return GetItem(i).Speaker(); }
  std::string_view GetDate(IndexPos i) const { return GetItem(i).Date(); }
  std::string GetPrefix(IndexPos i) const;
  void SetCommentTo(IndexPos i, RemarkNo value) { GetItem(i).CommentTo = value; }

  // Every record keeps the id the scan gave it, whatever the order in force:
  // ids rise in the order of the file and lie below IdLimit() (not every id
  // below it need be in use). A record reached by its id may be read on
  // another thread while this one rearranges the order, as long as only its
  // StartPos and EndPos are read: the orders change neither.
  std::uint32_t IdAt(IndexPos i) const {
    GetItem(i);  // the range check
    return items_[static_cast<std::size_t>(i.v)];
  }
  const TLogData& ById(std::uint32_t id) const { return Record(id); }
  std::uint32_t IdLimit() const { return static_cast<std::uint32_t>(chunks_.size() << kChunkShift); }

  // The thread drawing of the content orders in front of a record's title,
  // two bytes per cell.
  void AppendPrefix(const TLogData& rec, std::string& out) const;

  // Parses header lines 1 and 2 of the given layout (3 or 5) and appends one
  // record starting at `start`. A number field or poster ID that does not
  // convert drops the remark: returns false and adds nothing.
  bool AddRemark(std::string_view line1, std::string_view line2, int layout, ByteOffset start);

  // Remark order: positions 1..Count-1 by Number (position 0 stays).
  void SortByNumber();
  // Content order: replies under their parents, prefixes, levels and marks.
  void BuildThreads();
  // The records at Level -1 after the last BuildThreads: the lines of the
  // folded content order.
  std::int32_t TopCount() const { return topCount_; }

  // Gives back what the scan reserved for growing, once it is done.
  void ShrinkToFit();

  // Takes the records of `rest` (a scan of the file after this index's
  // records, in the order of the file) after its own, with their memory;
  // `rest` is left empty. Between scans only: no order has been arranged.
  void Append(TLogBase& rest);

  // Bytes of memory the index holds (records, texts, list), for measuring.
  std::size_t MemoryUsed() const;

 protected:
  // The record at a position of the order in force, without the range check.
  TLogData& At(std::size_t pos) { return Record(items_[pos]); }
  const TLogData& At(std::size_t pos) const { return Record(items_[pos]); }

  // The order in force: the ids of the records, position by position.
  std::vector<std::uint32_t> items_;

 private:
  friend class PrefixDrawer;
  static constexpr unsigned kChunkShift = 12;
  static constexpr std::size_t kRecordsPerChunk = std::size_t{1} << kChunkShift;

  TLogData& Record(std::uint32_t id) const {
    return chunks_[id >> kChunkShift][id & (kRecordsPerChunk - 1)];
  }
  const TLogData* Up(const TLogData& r) const { return r.up_ != 0 ? &Record(r.up_ - 1) : nullptr; }
  void SetPrefixText(TLogData& r, std::string text);
  void DropPrefixText(TLogData& r);

  // Marks of BuildThreads' records: placed by this build, followed by a later sibling.
  static constexpr std::uint8_t kPlacedMark = 1, kTeeMark = 2;
  void PlaceThreads(FreshArray<std::uint8_t>& marks, FreshArray<std::int32_t>& work);
  struct IrregularWalk {
    std::size_t from, to;  // the positions a walk of pass 2 reaches; record to + 1 made it
    std::int32_t level;
  };
  void DrawBars(const FreshArray<std::uint8_t>& marks, FreshArray<std::int32_t>& work);
  void DrawBarsExactly(const FreshArray<std::uint8_t>& marks, std::vector<IrregularWalk>& irregular,
                       const std::int32_t* drawnBy);
  template <class LevelOf>
  void AppendCells(const TLogData& rec, std::int32_t level, std::string& out, LevelOf levelOf) const;
  void NewRegion(std::size_t atLeast);
  void GrowItems(std::size_t atLeast);
  void TrimRegion();
  void Populate(const char* upTo);
  void NewChunk();
  void TrimChunk();
  void StoreText(TLogData& rec, std::string_view id, std::string_view speaker, std::string_view date,
                 std::string_view title);

  // Records and their texts in chunks that never move: each holds
  // kRecordsPerChunk records, then the texts of those records. The chunks lie
  // one after another in large regions of memory.
  struct Region {
    char* base;  // on a large page
    std::size_t size;
    bool large;  // large pages asked for
  };
  std::vector<Region> regions_;
  std::size_t nextRegion_ = 8u << 20;  // the size of the next region
  char* next_ = nullptr;               // where the next chunk may begin
  char* populated_ = nullptr;          // the last region is backed with memory up to here
  std::vector<TLogData*> chunks_;      // the records of each chunk
  bool chunkOpen_ = false;             // the last chunk takes more records
  std::size_t recordsInLastChunk_ = 0;
  std::size_t textEnd_ = 0;      // bytes of the last chunk in use (records area included)
  std::size_t closedBytes_ = 0;  // bytes of the chunks before it
  // The posters already kept in the last chunk.
  struct PosterSlot {
    std::uint32_t offset = 0;  // in the chunk
    std::uint8_t idLength = 0;
    std::uint8_t length = 0;  // ID and speaker bytes + 1; 0 for a free slot
  };
  static constexpr std::size_t kPosterSlots = 2 * kRecordsPerChunk;  // never more than half full
  std::vector<PosterSlot> posterSlots_;
  bool cellsHeld_ = false;  // a content order has given prefixes as cells
  std::int32_t topCount_ = 0;
  // The prefixes held as text (rare: only irregular layouts).
  std::unordered_map<const TLogData*, std::string> prefixTexts_;
};

// Remark-header helpers, shared with the tests and the batch side.
// Bytes <= 0x20 removed from both ends.
inline std::string_view TrimBlanks(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return s.substr(b, e - b);
}
// The 1-based byte columns [from, to] of a line, as far as the line reaches.
inline std::string_view Columns(std::string_view line, std::size_t from, std::size_t to) {
  if (from > line.size()) return {};
  return line.substr(from - 1, to - from + 1);
}

}  // namespace kest
