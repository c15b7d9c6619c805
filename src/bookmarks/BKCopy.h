// TBMCOPYFORM: picks the group that the organizer's selected bookmarks move to.
#pragma once

#include <QDialog>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kest {

class TBMCOPYFORM : public QDialog {
  Q_OBJECT
 public:
  explicit TBMCOPYFORM(QWidget* parent = nullptr);

  // Copies the organizer's group tree (names, nodes, pictures); nothing is
  // selected, so OK without a choice moves nothing.
  void FormShow(const QTreeWidget& source);
  // The organizer's node of the chosen group; -1 when none is chosen.
  int SelectedNode() const;

  QTreeWidget* TreeView1 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn2 = nullptr;
};

}  // namespace kest
