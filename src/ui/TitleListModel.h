// The title list's lines as a list model over the session: a line's text is
// made when the view asks for it, so a log of any size costs the list nothing
// per line. The session's lines change (a new order, a fold) and the model
// passes each change on as a reset, an insertion or a removal of rows, so
// selections and persistent indexes follow the lines they stand on.
#pragma once

#include <QAbstractListModel>

#include "session/LogSession.h"

namespace kest {

class TitleListModel : public QAbstractListModel, public SessionObserver {
  Q_OBJECT

 public:
  explicit TitleListModel(LogSession& session, QObject* parent = nullptr);
  ~TitleListModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  void BeginReset() override { beginResetModel(); }
  void EndReset() override { endResetModel(); }
  void ColumnsChanged() override;
  void BeginInsert(ListLine first, ListLine last) override;
  void EndInsert() override { endInsertRows(); }
  void BeginRemove(ListLine first, ListLine last) override;
  void EndRemove() override { endRemoveRows(); }
  void LineChanged(ListLine line) override;

  LogSession& session_;
};

}  // namespace kest
