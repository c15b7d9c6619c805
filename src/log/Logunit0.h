// The remark index: one record per remark of a log, holding the header fields
// cut out of the file and the byte span of the remark's text (never the text),
// plus the thread information the content orders compute.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "log/Types.h"

namespace kest {

class PrefixDrawer;

// One remark. The four header texts live back to back in the index's string
// arena (they never change after the scan). The thread prefix is kept as a
// reference to the remark above it in the thread plus the remark's own cell,
// so a chain n deep holds O(n) bytes, not O(n^2); its text is built when a
// line is drawn (Prefix, AppendPrefix).
struct TLogData {
  TLogData() = default;
  ~TLogData();
  TLogData(const TLogData&) = delete;
  TLogData& operator=(const TLogData&) = delete;

  ByteOffset StartPos;         // offset of header line 2, where the shown text begins
  ByteOffset EndPos;           // where the text ends (exclusive)
  RemarkNo Number;
  RemarkNo CommentTo;          // the remark this one comments on; 0 = none
  std::int32_t Level = -1;     // -1 top of a thread, 0 reply to a top remark, ...
  char Mark = ' ';             // ' ' or '+' (followed by a deeper remark in content order)

  std::string_view Title() const { return {text_ + dateLen_, titleLen_}; }
  std::string_view Date() const { return {text_, dateLen_}; }
  std::string_view ID() const { return {text_ + posterDelta_, idLen_}; }
  std::string_view Speaker() const { return {text_ + posterDelta_ + idLen_, speakerLen_}; }

  // The thread drawing of the content orders, two bytes per cell.
  std::string Prefix() const;
  void AppendPrefix(std::string& out) const;

 private:
  friend class TLogBase;
  friend class PrefixDrawer;
  // How the prefix is held: none yet (empty), as cells (Level blanks or bars
  // and the own cell), or as text (after drawing that the cells cannot hold).
  enum PrefixState : std::uint8_t { kNoPrefix, kCells, kText };
  void SetPrefixText(std::string text);
  void DropPrefixText();

  PrefixState prefixState_ = kNoPrefix;
  bool tee_ = false;      // kCells: own cell ┠ after full-width blanks, else ┗ after ASCII blanks
  bool barBelow_ = false; // remarks under this one draw a bar in its column
  std::uint8_t idLen_ = 0, speakerLen_ = 0, dateLen_ = 0, titleLen_ = 0;
  std::int32_t posterDelta_ = 0;  // ID and speaker, shared by the poster's remarks, from text_
  const char* text_ = "";         // date and title
  union {
    // kCells: the remark one level up whose cells this prefix continues;
    // nullptr when every cell above the own one is blank.
    const TLogData* up_ = nullptr;
    std::string* prefixText_;  // kText, owned
  };
};

// Draws the prefixes of many lines one after another, as a title list is
// written out. AppendPrefix walks each record's thread up to its top; lines
// next to each other share most of their thread, so the drawer keeps the
// cells of the line before and looks up only the records not shared. Gives
// the same text as AppendPrefix, in any order of lines, as long as the index
// is not rearranged while drawing (take a new drawer after that).
class PrefixDrawer {
 public:
  void Append(const TLogData& rec, std::string& out);

 private:
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
  std::string GetPrefix(IndexPos i) const { return GetItem(i).Prefix(); }
  void SetCommentTo(IndexPos i, RemarkNo value) { GetItem(i).CommentTo = value; }

  // Parses header lines 1 and 2 of the given layout (3 or 5) and appends one
  // record starting at `start`. A number field or poster ID that does not
  // convert drops the remark: returns false and adds nothing.
  bool AddRemark(std::string_view line1, std::string_view line2, int layout, ByteOffset start);

  // Remark order: positions 1..Count-1 by Number (position 0 stays).
  void SortByNumber();
  // Content order: replies under their parents, prefixes, levels and marks.
  void BuildThreads();

  // Gives back what the list reserved for growing, once the scan is done.
  void ShrinkToFit() { items_.shrink_to_fit(); }

  // Bytes of memory the index holds (records, texts, list), for measuring.
  std::size_t MemoryUsed() const;

 protected:
  std::vector<TLogData*> items_;

 private:
  void PlaceThreads(std::vector<std::uint8_t>& placed, std::vector<std::uint8_t>& tee);
  void DrawBarsByCells();
  void DrawBarsByText();
  void MarkParents();
  void StoreText(TLogData& rec, std::string_view id, std::string_view speaker, std::string_view date,
                 std::string_view title);

  // Records and their texts, in chunks that never move once allocated.
  struct RecordChunkDeleter {
    void operator()(TLogData* chunk) const;
  };
  std::vector<std::unique_ptr<TLogData[], RecordChunkDeleter>> recordChunks_;
  std::size_t recordsInLastChunk_ = 0;
  std::vector<std::unique_ptr<char[]>> textChunks_;
  std::size_t textUsedInLastChunk_ = 0;
  // The posters already kept in the last text chunk.
  struct PosterSlot {
    std::uint32_t offset = 0;
    std::uint8_t idLength = 0;
    std::uint8_t length = 0;  // ID and speaker bytes + 1; 0 for a free slot
  };
  static constexpr std::size_t kPosterSlots = 8192;
  std::vector<PosterSlot> posterSlots_;
  std::size_t postersInChunk_ = 0;
};

// Remark-header helpers, shared with the tests and the batch side.
// Bytes <= 0x20 removed from both ends.
std::string_view TrimBlanks(std::string_view s);
// The 1-based byte columns [from, to] of a line, as far as the line reaches.
std::string_view Columns(std::string_view line, std::size_t from, std::size_t to);

}  // namespace kest
