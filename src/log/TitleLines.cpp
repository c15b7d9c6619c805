#include "log/TitleLines.h"

#include <charconv>

namespace kest {

void AppendTitle(const TLogData& rec, const ColumnSwitches& cols, std::string& out) {
  if (cols.ShowNumber) {
    char digits[16];
    const auto r = std::to_chars(digits, digits + sizeof digits, rec.Number.v);
    out.append(digits, r.ptr);
    out.push_back(' ');
  }
  if (cols.ShowDate) {
    out.append(rec.Date());
    out.push_back(' ');
  }
  if (cols.ShowSpeaker) {
    out.append(rec.ID());
    out.push_back(' ');
    out.append(rec.Speaker());
    out.push_back(' ');
  }
  out.push_back(' ');
  out.append(rec.Title());
}

std::string FormatTitle(const TLogData& rec, const ColumnSwitches& cols) {
  std::string s;
  s.reserve(rec.Title().size() + 48);
  AppendTitle(rec, cols, s);
  return s;
}

void ArrangeIndex(TLogBase& index, SortOrder order) {
  if (order == SortOrder::Remark) index.SortByNumber();
  else if (order == SortOrder::ContentFolded || order == SortOrder::ContentFull) index.BuildThreads();
}

namespace {

void DrawPrefix(const TLogBase& index, const TLogData& rec, PrefixDrawer* drawer, std::string& out) {
  if (drawer) drawer->Append(rec, out);
  else index.AppendPrefix(rec, out);
}

}  // namespace

std::string ListLineText(const TLogBase& index, IndexPos i, SortOrder order, const ColumnSwitches& cols) {
  const TLogData& rec = index.GetItem(i);
  std::string s;
  if (order == SortOrder::ContentFull) index.AppendPrefix(rec, s);
  AppendTitle(rec, cols, s);
  return s;
}

void AppendListLine(const TLogData& rec, SortOrder order, const ColumnSwitches& cols, PrefixDrawer& drawer,
                    std::string& out) {
  if (order == SortOrder::ContentFull) drawer.Append(rec, out);
  AppendTitle(rec, cols, out);
}

void FoldedList::Build(const TLogBase& index) {
  // A log's top remarks run to hundreds of thousands: the list is made once
  // at its size rather than grown and copied.
  items_.clear();
  items_.shrink_to_fit();
  items_.reserve(static_cast<std::size_t>(index.TopCount()));
  for (std::int32_t i = 0; i < index.Count(); ++i) {
    const TLogData& r = index.GetItem(IndexPos(i));
    if (r.Level == -1) items_.push_back(TLogItem{r.Number, IndexPos(i), -1, false});
  }
}

void FoldedList::AppendLine(const TLogBase& index, ListLine line, const ColumnSwitches& cols,
                            PrefixDrawer* drawer, std::string& out) const {
  const TLogItem& item = Item(line);
  const TLogData& r = index.GetItem(item.Index);
  if (item.Level != -1) out.push_back(' ');
  DrawPrefix(index, r, drawer, out);
  out.push_back(' ');
  out.push_back(item.Expanded ? '-' : r.Mark);
  AppendTitle(r, cols, out);
}

std::string FoldedList::LineText(const TLogBase& index, ListLine line, const ColumnSwitches& cols) const {
  std::string s;
  AppendLine(index, line, cols, nullptr, s);
  return s;
}

void FoldedList::AppendLineText(const TLogBase& index, ListLine line, const ColumnSwitches& cols,
                                PrefixDrawer& drawer, std::string& out) const {
  AppendLine(index, line, cols, &drawer, out);
}

bool FoldedList::ToggleFold(const TLogBase& index, ListLine line, FoldObserver* observer) {
  TLogItem& t = Item(line);
  const IndexPos p = t.Index;
  const std::int32_t n = index.Count();
  if (p.v >= n - 1) return false;  // the last remark in content order has no replies
  const std::int32_t level = index.GetLevel(p);

  if (!t.Expanded) {
    if (level < index.GetLevel(p + 1)) {
      t.Expanded = true;
      if (observer) observer->LineChanged(line);
    }
    std::vector<TLogItem> replies;
    for (IndexPos q = p + 1; q.v < n && index.GetLevel(q) > level; ++q) {
      const TLogData& r = index.GetItem(q);
      if (r.Level == level + 1) replies.push_back(TLogItem{r.Number, q, r.Level, false});
    }
    if (!replies.empty()) {
      ListLine first = line + 1;
      ListLine last = line + static_cast<std::int32_t>(replies.size());
      if (observer) observer->BeginInsert(first, last);
      items_.insert(items_.begin() + first.v, replies.begin(), replies.end());
      if (observer) observer->EndInsert();
    }
  } else {
    // Everything below the line that is deeper goes, unfolded or not.
    const std::int32_t itemLevel = t.Level;
    std::int32_t end = line.v + 1;
    while (end < Count() && items_[static_cast<std::size_t>(end)].Level > itemLevel) ++end;
    if (end > line.v + 1) {
      if (observer) observer->BeginRemove(line + 1, ListLine(end - 1));
      items_.erase(items_.begin() + line.v + 1, items_.begin() + end);
      if (observer) observer->EndRemove();
    }
    t.Expanded = false;  // erasing after the line leaves `t` in place
    if (observer) observer->LineChanged(line);
  }
  return true;
}

void FoldedList::ExpandAll(const TLogBase& index) {
  // Double-clicking every line from top to bottom unfolds a line, then its
  // first reply, that reply's first reply, and so on: a depth-first walk. Done
  // as one pass into a new list instead of inserting into the middle of the
  // list again and again.
  const std::int32_t n = index.Count();
  std::vector<TLogItem> out;
  out.reserve(static_cast<std::size_t>(n));
  std::vector<TLogItem> pending(items_.rbegin(), items_.rend());
  std::vector<TLogItem> replies;
  while (!pending.empty()) {
    TLogItem item = pending.back();
    pending.pop_back();
    const IndexPos p = item.Index;
    if (!item.Expanded && p.v < n - 1 && index.GetLevel(p) < index.GetLevel(p + 1)) {
      item.Expanded = true;
      const std::int32_t level = index.GetLevel(p);
      replies.clear();
      for (IndexPos q = p + 1; q.v < n && index.GetLevel(q) > level; ++q) {
        const TLogData& r = index.GetItem(q);
        if (r.Level == level + 1) replies.push_back(TLogItem{r.Number, q, r.Level, false});
      }
      pending.insert(pending.end(), replies.rbegin(), replies.rend());
    }
    out.push_back(item);
  }
  items_ = std::move(out);
}

ListLine FoldedList::FindLine(RemarkNo number, ListLine from) const {
  for (std::int32_t l = std::max(from.v, 0); l < Count(); ++l) {
    if (items_[static_cast<std::size_t>(l)].Number == number) return ListLine(l);
  }
  return ListLine(-1);
}

}  // namespace kest
