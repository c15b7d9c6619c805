// The text of every title-list line in each order, and the folded list of
// content order (2) with its unfolding and folding. Shared by the window's
// list model and the batch side.
#pragma once

#include <string>
#include <vector>

#include "log/Logunit0.h"

namespace kest {

// The order of the title list, kept in Kest.INI as "SortType" with these
// numbers. A settings file may hold any other number: such an order builds
// no list and presses no order button, so the type holds any int.
enum class SortOrder : int {
  Remark = 0,         // by number
  ContentFolded = 1,  // content order (2): threads folded
  ContentFull = 2,    // content order (1): every remark with its thread drawing
};

// One of the three orders above.
constexpr bool IsKnownOrder(SortOrder order) {
  return order == SortOrder::Remark || order == SortOrder::ContentFolded || order == SortOrder::ContentFull;
}

struct ColumnSwitches {
  bool ShowNumber = true;
  bool ShowSpeaker = true;
  bool ShowDate = false;
};

// The common part of a line: number, date, ID and speaker, title.
std::string FormatTitle(const TLogData& rec, const ColumnSwitches& cols);
void AppendTitle(const TLogData& rec, const ColumnSwitches& cols, std::string& out);

// Rearranges the index for the order (remark order or a content order);
// any other value leaves it as it is.
void ArrangeIndex(TLogBase& index, SortOrder order);

// Line i of remark order / content order (1): the record at position i.
std::string ListLineText(const TLogBase& index, IndexPos i, SortOrder order, const ColumnSwitches& cols);
// The same text appended to `out`, for writing the lines from top to bottom
// with one drawer.
void AppendListLine(const TLogData& rec, SortOrder order, const ColumnSwitches& cols, PrefixDrawer& drawer,
                    std::string& out);

// Told about the lines that ToggleFold inserts, removes and rewrites, so a
// list view can follow.
class FoldObserver {
 public:
  virtual ~FoldObserver() = default;
  virtual void BeginInsert(ListLine first, ListLine last) = 0;
  virtual void EndInsert() = 0;
  virtual void BeginRemove(ListLine first, ListLine last) = 0;
  virtual void EndRemove() = 0;
  virtual void LineChanged(ListLine line) = 0;
};

// The lines of content order (2), one TLogItem per line.
class FoldedList {
 public:
  // ListFolded: one folded line for every top remark (Level -1); the index
  // must be in content order already.
  void Build(const TLogBase& index);
  void Clear() { items_.clear(); }

  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  const TLogItem& Item(ListLine line) const { return items_.at(static_cast<std::size_t>(line.v)); }
  TLogItem& Item(ListLine line) { return items_.at(static_cast<std::size_t>(line.v)); }

  std::string LineText(const TLogBase& index, ListLine line, const ColumnSwitches& cols) const;
  // The same text appended to `out`, for writing the lines from top to
  // bottom with one drawer.
  void AppendLineText(const TLogBase& index, ListLine line, const ColumnSwitches& cols, PrefixDrawer& drawer,
                      std::string& out) const;

  // The double-click on a line: unfolds one level of replies, or folds the
  // line with everything below it. Returns false when nothing happens (the
  // line shows the last remark in content order).
  bool ToggleFold(const TLogBase& index, ListLine line, FoldObserver* observer = nullptr);

  // Unfolds every line with replies from top to bottom, the inserted lines
  // too, so every remark has a line.
  void ExpandAll(const TLogBase& index);

  // The first line from `from` on whose remark has `number`; -1 when none.
  ListLine FindLine(RemarkNo number, ListLine from = ListLine(0)) const;

 private:
  void AppendLine(const TLogBase& index, ListLine line, const ColumnSwitches& cols, PrefixDrawer* drawer,
                  std::string& out) const;

  std::vector<TLogItem> items_;
};

}  // namespace kest
