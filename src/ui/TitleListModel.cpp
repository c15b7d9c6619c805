#include "ui/TitleListModel.h"

#include "platform/Codec.h"

namespace kest {

TitleListModel::TitleListModel(QObject* parent) : QAbstractListModel(parent) {}

void TitleListModel::SetIndex(TLogCtrl* index) {
  beginResetModel();
  index_ = index;
  sortType_.reset();
  folded_.Clear();
  endResetModel();
}

void TitleListModel::Build(SortOrder sortType) {
  beginResetModel();
  sortType_.reset();
  folded_.Clear();
  if (index_ && IsKnownOrder(sortType)) {
    ArrangeIndex(*index_, sortType);
    if (sortType == SortOrder::ContentFolded) folded_.Build(*index_);
    sortType_ = sortType;
  }
  endResetModel();
}

void TitleListModel::Clear() {
  beginResetModel();
  sortType_.reset();
  folded_.Clear();
  endResetModel();
}

void TitleListModel::SetColumns(const ColumnSwitches& cols) {
  cols_ = cols;
  const int n = rowCount();
  if (n > 0) emit dataChanged(index(0), index(n - 1), {Qt::DisplayRole, Qt::AccessibleTextRole});
}

std::int32_t TitleListModel::LineCount() const {
  if (!index_) return 0;
  if (!sortType_) return 0;
  return *sortType_ == SortOrder::ContentFolded ? folded_.Count() : index_->Count();
}

IndexPos TitleListModel::PositionOf(ListLine line) const {
  if (sortType_ == SortOrder::ContentFolded) return folded_.Item(line).Index;
  return IndexPos(line.v);
}

const TLogItem* TitleListModel::ItemOf(ListLine line) const {
  if (sortType_ != SortOrder::ContentFolded || !ValidLine(line)) return nullptr;
  return &folded_.Item(line);
}

ListLine TitleListModel::FindLine(RemarkNo number, ListLine from) const {
  if (sortType_ == SortOrder::ContentFolded) return folded_.FindLine(number, from);
  const std::int32_t n = LineCount();
  for (std::int32_t l = std::max(from.v, 0); l < n; ++l) {
    if (index_->GetNumber(IndexPos(l)) == number) return ListLine(l);
  }
  return ListLine(-1);
}

bool TitleListModel::ToggleFold(ListLine line) {
  if (sortType_ != SortOrder::ContentFolded || !ValidLine(line)) return false;
  return folded_.ToggleFold(*index_, line, this);
}

std::string TitleListModel::LineText(ListLine line) const {
  if (sortType_ == SortOrder::ContentFolded) return folded_.LineText(*index_, line, cols_);
  return ListLineText(*index_, IndexPos(line.v), *sortType_, cols_);
}

int TitleListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : LineCount();
}

QVariant TitleListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.parent().isValid() || !ValidLine(ListLine(index.row()))) {
    return {};
  }
  if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
    return QString::fromUtf8(SjisToUtf8(LineText(ListLine(index.row()))));
  }
  return {};
}

Qt::ItemFlags TitleListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TitleListModel::BeginInsert(ListLine first, ListLine last) {
  beginInsertRows(QModelIndex(), first.v, last.v);
}

void TitleListModel::EndInsert() { endInsertRows(); }

void TitleListModel::BeginRemove(ListLine first, ListLine last) {
  beginRemoveRows(QModelIndex(), first.v, last.v);
}

void TitleListModel::EndRemove() { endRemoveRows(); }

void TitleListModel::LineChanged(ListLine line) {
  const QModelIndex i = index(line.v);
  emit dataChanged(i, i, {Qt::DisplayRole, Qt::AccessibleTextRole});
}

}  // namespace kest
