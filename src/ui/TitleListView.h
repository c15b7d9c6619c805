// ListBox1: the title list's view. Single selection that a Ctrl+click cannot
// clear, so there is always one selected line once the list has lines.
#pragma once

#include <QListView>

namespace kest {

class TitleListView : public QListView {
  Q_OBJECT
 public:
  using QListView::QListView;

  // The last mouse press landed on the line that was selected already (a
  // click that moves the selection is answered by the selection change).
  bool PressedOnSelected() const { return pressedOnSelected_; }
  // The key being delivered has run a window command: the list still gets it
  // (its arrows and page keys), but does not also jump to a line beginning
  // with the key's character.
  void SkipSearchOnce() { skipSearch_ = true; }
  void keyboardSearch(const QString& search) override;

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool pressedOnSelected_ = false;
  bool skipSearch_ = false;
};

}  // namespace kest
