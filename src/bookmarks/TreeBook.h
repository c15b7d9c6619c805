// TTBook: the bookmark organizer. The groups as a tree, the bookmarks of the
// selected group as a list; every edit goes to a copy (BookOrganizer) that
// only OK writes back, both sections whole and in one write.
#pragma once

#include <QDialog>
#include <cstddef>
#include <string>
#include <vector>

#include "bookmarks/Organizer.h"

class QAction;
class QListWidget;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kest {

class ProfileFile;
class TBMCOPYFORM;

class TTBook : public QDialog {
  Q_OBJECT
 public:
  explicit TTBook(QWidget* parent = nullptr);

  // Reads both sections from `ini` and shows the dialog modally, on the
  // bookmark named `focus` when one is given; true when it closed with OK
  // (and the edits were written). Afterwards it lets go of the bookmarks.
  bool Open(ProfileFile& ini, const std::string& focus = {});

  // FormShow: the tree and the list anew from the file.
  void FormShow(ProfileFile& ini);
  void TreeView1Change();
  void BookListClick();
  void BMMoveClick();
  void BMReNameClick();
  void BMDelClick();
  void BookMenuPopup();
  void AddDirClick();
  void Delete1Click();
  void ReNameDirClick();
  // OK: applies the edits to both sections as the file holds them now (see
  // BookOrganizer::MergeInto), so what another window wrote meanwhile
  // stays; on a failed write the dialog stays open with every edit, and the
  // file is as it was.
  void BitBtn1Click();
  // Selects the bookmark of that name, with its group.
  void SelectMark(const std::string& name);

  const BookOrganizer& Model() const { return model_; }
  // The node of the selected group (0, the root, when none is).
  int SelectedNode() const;
  // The bookmarks (indices into the model) of the selected lines, top to bottom.
  std::vector<std::size_t> SelectedMarks() const;
  QTreeWidgetItem* ItemOfNode(int node) const;

  bool DeletingGroup = false;
  QTreeWidget* TreeView1 = nullptr;
  QListWidget* BookList = nullptr;
  QPushButton *BMMove = nullptr, *BMReName = nullptr, *BMDel = nullptr;
  QPushButton *BitBtn1 = nullptr, *BitBtn2 = nullptr;
  QMenu* BookMenu = nullptr;
  QAction *AddDir = nullptr, *Delete1 = nullptr, *ReNameDir = nullptr;
  TBMCOPYFORM* BMCOPYFORM = nullptr;

 private:
  QTreeWidgetItem* MakeItem(int node) const;
  // Shows the message for a refused name; false when the name was refused.
  bool Accepted(BookOrganizer::Edit e);

  BookOrganizer model_;
  ProfileFile* ini_ = nullptr;
};

}  // namespace kest
