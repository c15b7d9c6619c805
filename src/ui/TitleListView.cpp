#include "ui/TitleListView.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace kest {

QItemSelectionModel::SelectionFlags TitleListView::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
  if (!index.isValid()) return QItemSelectionModel::NoUpdate;
  return QItemSelectionModel::ClearAndSelect;
}

void TitleListView::keyboardSearch(const QString& search) {
  if (skipSearch_) {
    skipSearch_ = false;
    return;
  }
  QListView::keyboardSearch(search);
}

void TitleListView::keyPressEvent(QKeyEvent* event) {
  QListView::keyPressEvent(event);
  skipSearch_ = false;
}

void TitleListView::mousePressEvent(QMouseEvent* event) {
  const QModelIndex at = indexAt(event->position().toPoint());
  pressedOnSelected_ = at.isValid() && at == currentIndex();
  QListView::mousePressEvent(event);
}

}  // namespace kest
