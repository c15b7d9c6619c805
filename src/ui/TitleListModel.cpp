#include "ui/TitleListModel.h"

#include "platform/Codec.h"

namespace kest {

TitleListModel::TitleListModel(LogSession& session, QObject* parent)
    : QAbstractListModel(parent), session_(session) {
  session_.AddObserver(this);
}

TitleListModel::~TitleListModel() { session_.RemoveObserver(this); }

int TitleListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : session_.LineCount();
}

QVariant TitleListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.parent().isValid() || !session_.ValidLine(ListLine(index.row()))) return {};
  if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
    return QString::fromUtf8(SjisToUtf8(session_.LineText(ListLine(index.row()))));
  }
  return {};
}

Qt::ItemFlags TitleListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TitleListModel::ColumnsChanged() {
  const int n = rowCount();
  if (n > 0) emit dataChanged(index(0), index(n - 1), {Qt::DisplayRole, Qt::AccessibleTextRole});
}

void TitleListModel::BeginInsert(ListLine first, ListLine last) {
  beginInsertRows(QModelIndex(), first.v, last.v);
}

void TitleListModel::BeginRemove(ListLine first, ListLine last) {
  beginRemoveRows(QModelIndex(), first.v, last.v);
}

void TitleListModel::LineChanged(ListLine line) {
  const QModelIndex i = index(line.v);
  emit dataChanged(i, i, {Qt::DisplayRole, Qt::AccessibleTextRole});
}

}  // namespace kest
