// The title list's lines as a list model over the remark index. A line's text
// is built when the view asks for it (FormatTitle and the line form of the
// order), so a log of any size costs the list nothing per line in remark order
// and content order (1), and one TLogItem per shown line in content order (2).
// Folding and unfolding insert and remove rows as the folded list changes, so
// selections and persistent indexes follow the lines they stand on.
#pragma once

#include <QAbstractListModel>
#include <optional>
#include <string>

#include "log/Logunit1.h"
#include "log/TitleLines.h"

namespace kest {

class TitleListModel : public QAbstractListModel, public FoldObserver {
  Q_OBJECT

 public:
  explicit TitleListModel(QObject* parent = nullptr);

  // The index whose remarks the lines show; the model does not own it. Setting
  // it (or nullptr) empties the list.
  void SetIndex(TLogCtrl* index);
  TLogCtrl* Index() const { return index_; }

  // BuildList: rearranges the index for the order (ListByNumber, ListFolded or
  // ListThreads) and lays out its lines. Any other value leaves the list empty.
  // Content order (2) starts with every thread folded.
  void Build(SortOrder order);
  // No lines, no per-line objects (the index is kept).
  void Clear();

  std::optional<SortOrder> Order() const { return sortType_; }
  const ColumnSwitches& Columns() const { return cols_; }
  // RebuildTitles: every line is rewritten with the new columns; the lines,
  // their order and the fold state stay.
  void SetColumns(const ColumnSwitches& cols);

  std::int32_t LineCount() const;
  bool ValidLine(ListLine line) const { return line.v >= 0 && line.v < LineCount(); }
  // The index position that a line stands for.
  IndexPos PositionOf(ListLine line) const;
  // The line's TLogItem in content order (2); nullptr in the other orders and
  // for a line that does not exist.
  const TLogItem* ItemOf(ListLine line) const;
  // The first line from `from` on whose remark has this number; -1 if none.
  ListLine FindLine(RemarkNo number, ListLine from = ListLine(0)) const;
  // The double-click of content order (2): unfolds or folds the line's
  // replies. False when nothing happens (another order, or the line shows the
  // last remark in content order).
  bool ToggleFold(ListLine line);

  // The line's text as Shift-JIS bytes.
  std::string LineText(ListLine line) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // FoldObserver: ToggleFold's changes, as row insertions and removals.
  void BeginInsert(ListLine first, ListLine last) override;
  void EndInsert() override;
  void BeginRemove(ListLine first, ListLine last) override;
  void EndRemove() override;
  void LineChanged(ListLine line) override;

  TLogCtrl* index_ = nullptr;
  std::optional<SortOrder> sortType_;  // the order the lines were built for
  ColumnSwitches cols_;
  FoldedList folded_;  // the TLogItems of content order (2)
};

}  // namespace kest
