#include "bookmarks/TreeBook.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "bookmarks/BKCopy.h"
#include "bookmarks/BookNames.h"
#include "bookmarks/BookStore.h"
#include "platform/Codec.h"
#include "platform/Profile.h"
#include "platform/Interaction.h"
#include "ui/FileMessages.h"

namespace kest {
namespace {

constexpr int kNodeRole = Qt::UserRole;      // the organizer's node
constexpr int kGroupIdRole = Qt::UserRole + 1;
constexpr int kMarkRole = Qt::UserRole;      // the bookmark in the model

// Picture 0, a closed folder; picture 1, an open one while selected.
QIcon FolderIcon() {
  QIcon icon;
  QStyle* style = QApplication::style();
  icon.addPixmap(style->standardIcon(QStyle::SP_DirClosedIcon).pixmap(16), QIcon::Normal);
  icon.addPixmap(style->standardIcon(QStyle::SP_DirOpenIcon).pixmap(16), QIcon::Selected);
  return icon;
}

}  // namespace

TTBook::TTBook(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TBook"));
  setWindowTitle(QStringLiteral("しおりの整理"));
  setAccessibleName(QStringLiteral("しおりの整理"));

  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  TreeView1 = new QTreeWidget(panel);
  TreeView1->setObjectName(QStringLiteral("TreeView1"));
  TreeView1->setAccessibleName(QStringLiteral("グループ"));
  TreeView1->setHeaderHidden(true);
  TreeView1->setFixedSize(369, 121);  // a few lines more than the old 81 pixels: groups nest
  TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
  BookList = new QListWidget(panel);
  BookList->setObjectName(QStringLiteral("BookList"));
  BookList->setAccessibleName(QStringLiteral("しおり"));
  BookList->setFixedSize(369, 153);
  BookList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  BMMove = new QPushButton(QStringLiteral("移動"), panel);
  BMMove->setObjectName(QStringLiteral("BMMove"));
  BMReName = new QPushButton(QStringLiteral("名前の変更"), panel);
  BMReName->setObjectName(QStringLiteral("BMReName"));
  BMDel = new QPushButton(QStringLiteral("削除"), panel);
  BMDel->setObjectName(QStringLiteral("BMDel"));
  for (QPushButton* b : {BMMove, BMReName, BMDel}) b->setAutoDefault(false);

  auto* row = new QHBoxLayout;
  row->addWidget(BMMove);
  row->addWidget(BMReName);
  row->addWidget(BMDel);
  row->addStretch();
  auto* inner = new QVBoxLayout(panel);
  inner->addWidget(TreeView1);
  inner->addWidget(BookList);
  inner->addLayout(row);

  BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
  for (QPushButton* b : {BitBtn1, BitBtn2}) b->setAutoDefault(false);
  auto* right = new QVBoxLayout;
  right->addWidget(BitBtn1);
  right->addWidget(BitBtn2);
  right->addStretch();
  auto* outer = new QHBoxLayout(this);
  outer->addWidget(panel);
  outer->addLayout(right);
  outer->setSizeConstraint(QLayout::SetFixedSize);

  BookMenu = new QMenu(TreeView1);
  BookMenu->setObjectName(QStringLiteral("BookMenu"));
  AddDir = BookMenu->addAction(QStringLiteral("グループの追加"));
  AddDir->setObjectName(QStringLiteral("AddDir"));
  Delete1 = BookMenu->addAction(QStringLiteral("グループの削除"));
  Delete1->setObjectName(QStringLiteral("Delete1"));
  ReNameDir = BookMenu->addAction(QStringLiteral("グループ名の変更"));
  ReNameDir->setObjectName(QStringLiteral("ReNameDir"));
  // The same commands from the keyboard, while the tree has the focus.
  AddDir->setShortcut(QKeySequence(Qt::Key_Insert));
  Delete1->setShortcut(QKeySequence(Qt::Key_Delete));
  ReNameDir->setShortcut(QKeySequence(Qt::Key_F2));
  for (QAction* a : {AddDir, Delete1, ReNameDir}) {
    a->setShortcutContext(Qt::WidgetShortcut);
    TreeView1->addAction(a);
  }

  BMCOPYFORM = new TBMCOPYFORM(this);

  connect(TreeView1, &QTreeWidget::currentItemChanged, this, [this] { TreeView1Change(); });
  connect(BookList, &QListWidget::itemSelectionChanged, this, [this] { BookListClick(); });
  connect(BMMove, &QPushButton::clicked, this, [this] { BMMoveClick(); });
  connect(BMReName, &QPushButton::clicked, this, [this] { BMReNameClick(); });
  connect(BMDel, &QPushButton::clicked, this, [this] { BMDelClick(); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
  connect(TreeView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    BookMenuPopup();
    BookMenu->popup(TreeView1->viewport()->mapToGlobal(pos));
  });
  connect(AddDir, &QAction::triggered, this, [this] { AddDirClick(); });
  connect(Delete1, &QAction::triggered, this, [this] {
    BookMenuPopup();
    if (Delete1->isEnabled()) Delete1Click();
  });
  connect(ReNameDir, &QAction::triggered, this, [this] {
    BookMenuPopup();
    if (ReNameDir->isEnabled()) ReNameDirClick();
  });
}

bool TTBook::Open(ProfileFile& ini, const std::string& focus) {
  FormShow(ini);
  if (!focus.empty()) SelectMark(focus);
  const bool ok = Ui().RunModal(*this);
  // A copy of every bookmark need not stay once the dialog has closed.
  {
    const QSignalBlocker block(TreeView1);
    TreeView1->clear();
    BookList->clear();
  }
  model_ = BookOrganizer();
  return ok;
}

void TTBook::SelectMark(const std::string& name) {
  const std::vector<BookMark>& marks = model_.Marks();
  for (std::size_t i = 0; i < marks.size(); ++i) {
    if (!marks[i].readable || marks[i].name != name) continue;
    int node = 0;
    for (int n : model_.TreeOrder()) {
      if (model_.NodeAt(n).id == marks[i].groupId) {
        node = n;
        break;
      }
    }
    TreeView1->setCurrentItem(ItemOfNode(node));
    for (int row = 0; row < BookList->count(); ++row) {
      QListWidgetItem* item = BookList->item(row);
      if (item->data(kMarkRole).toULongLong() == i) {
        BookList->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
        BookList->scrollToItem(item);
      }
    }
    return;
  }
}

QTreeWidgetItem* TTBook::MakeItem(int node) const {
  const BookOrganizer::Node& n = model_.NodeAt(node);
  auto* item = new QTreeWidgetItem(QStringList{BookNameToDisplay(n.name)});
  item->setData(0, kNodeRole, node);
  item->setData(0, kGroupIdRole, QString::fromStdString(n.id));
  item->setIcon(0, FolderIcon());
  return item;
}

QTreeWidgetItem* TTBook::ItemOfNode(int node) const {
  for (QTreeWidgetItemIterator it(TreeView1); *it; ++it) {
    if ((*it)->data(0, kNodeRole).toInt() == node) return *it;
  }
  return nullptr;
}

void TTBook::FormShow(ProfileFile& ini) {
  ini_ = &ini;
  DeletingGroup = false;
  {
    const QSignalBlocker block(TreeView1);
    TreeView1->clear();
    BookList->clear();
    model_.Load(ReadBookSections(ini));
    QTreeWidgetItem* root = MakeItem(0);
    TreeView1->addTopLevelItem(root);
    std::vector<QTreeWidgetItem*> items(static_cast<std::size_t>(model_.NodeCount()), nullptr);
    items[0] = root;
    for (int node : model_.TreeOrder()) {
      QTreeWidgetItem* item = MakeItem(node);
      items[static_cast<std::size_t>(model_.NodeAt(node).parent)]->addChild(item);
      items[static_cast<std::size_t>(node)] = item;
    }
    TreeView1->expandAll();
    TreeView1->setCurrentItem(root);
  }
  TreeView1Change();
}

int TTBook::SelectedNode() const {
  const QTreeWidgetItem* item = TreeView1->currentItem();
  return item ? item->data(0, kNodeRole).toInt() : 0;
}

std::vector<std::size_t> TTBook::SelectedMarks() const {
  std::vector<std::size_t> marks;
  for (int row = 0; row < BookList->count(); ++row) {
    const QListWidgetItem* item = BookList->item(row);
    if (item->isSelected()) marks.push_back(item->data(kMarkRole).toULongLong());
  }
  return marks;
}

void TTBook::TreeView1Change() {
  {
    const QSignalBlocker block(BookList);
    BookList->clear();
    for (std::size_t i : model_.MarksOf(SelectedNode())) {
      auto* item = new QListWidgetItem(BookNameToDisplay(model_.Marks()[i].name), BookList);
      item->setData(kMarkRole, QVariant::fromValue<qulonglong>(i));
      item->setToolTip(BookPathToShow(model_.Marks()[i].storedPath));
    }
  }
  BookMenuPopup();  // the keyboard commands of the tree follow the selection
  const bool any = BookList->count() > 0;
  for (QPushButton* b : {BMMove, BMReName, BMDel}) b->setEnabled(any);
  if (any) BookList->setCurrentRow(0);
  BookList->setFocus();
}

void TTBook::BookListClick() { BMReName->setEnabled(BookList->selectedItems().size() == 1); }

void TTBook::BookMenuPopup() {
  const bool group = SelectedNode() != 0;
  Delete1->setEnabled(group);
  ReNameDir->setEnabled(group);
  AddDir->setEnabled(true);
}

bool TTBook::Accepted(BookOrganizer::Edit e) {
  switch (e) {
    case BookOrganizer::Edit::kDone:
      return true;
    case BookOrganizer::Edit::kDuplicate:
      Ui().Info(this, QStringLiteral("名前が重複しています"));
      return false;
    case BookOrganizer::Edit::kNotAKey:
      Ui().Info(this, NotAKeyMessage());
      return false;
    default:
      return false;
  }
}

void TTBook::AddDirClick() {
  const QString answer = Ui().Input(this, QStringLiteral("グループの新規作成"),
                                    QStringLiteral("名前を指定して下さい"), QString())
                             .value_or(QString());
  const std::optional<std::string> name = BookNameFromDisplay(this, answer);
  if (!name) return;
  QTreeWidgetItem* parent = TreeView1->currentItem();
  if (!parent) parent = ItemOfNode(0);
  int added = -1;
  if (!Accepted(model_.AddGroup(parent->data(0, kNodeRole).toInt(), *name, &added))) return;
  parent->addChild(MakeItem(added));
  parent->setExpanded(true);
}

void TTBook::Delete1Click() {
  const int node = SelectedNode();
  if (node == 0) return;
  DeletingGroup = true;
  if (Ui().Confirm(this, QStringLiteral("このグループを削除します"))) {
    model_.DeleteGroup(node);
    delete ItemOfNode(node);  // its sub-items go with it; another group becomes current
    TreeView1Change();
  }
  DeletingGroup = false;
}

void TTBook::ReNameDirClick() {
  const int node = SelectedNode();
  if (node == 0) return;
  QTreeWidgetItem* item = TreeView1->currentItem();
  const std::optional<QString> answer =
      Ui().Input(this, QStringLiteral("名前の変更"), QStringLiteral("新しい名前を入力して下さい"),
                 item->text(0));
  if (!answer) return;
  const std::optional<std::string> name = BookNameFromDisplay(this, *answer);
  if (!name || !Accepted(model_.RenameGroup(node, *name))) return;
  item->setText(0, BookNameToDisplay(model_.NodeAt(node).name));
}

void TTBook::BMReNameClick() {
  // The one selected line; with several or none, the line of the focus rectangle.
  std::vector<std::size_t> marks = SelectedMarks();
  if (marks.size() != 1) {
    const QListWidgetItem* current = BookList->currentItem();
    if (!current) return;
    marks = {static_cast<std::size_t>(current->data(kMarkRole).toULongLong())};
  }
  const std::size_t mark = marks.front();
  const std::optional<QString> answer = Ui().Input(
      this, QStringLiteral("名前の変更"), QStringLiteral("新しい名前を入力して下さい"),
      BookNameToDisplay(model_.Marks()[mark].name));
  if (!answer) return;
  const std::optional<std::string> name = BookNameFromDisplay(this, *answer);
  if (!name || !Accepted(model_.RenameMark(mark, *name))) return;
  TreeView1Change();
}

void TTBook::BMDelClick() {
  const std::vector<std::size_t> marks = SelectedMarks();
  std::vector<std::size_t> gone;
  for (std::size_t mark : marks) {
    const QString name = BookNameToDisplay(model_.Marks()[mark].name);
    if (Ui().Confirm(this, QStringLiteral("<") + name + QStringLiteral(">を削除します"))) {
      gone.push_back(mark);
    }
  }
  // From the end, so the indices still to go stay valid.
  for (auto it = gone.rbegin(); it != gone.rend(); ++it) model_.DeleteMark(*it);
  TreeView1Change();
}

void TTBook::BMMoveClick() {
  const std::vector<std::size_t> marks = SelectedMarks();
  BMCOPYFORM->FormShow(*TreeView1);
  if (Ui().RunModal(*BMCOPYFORM)) {
    const int destination = BMCOPYFORM->SelectedNode();
    if (destination >= 0) model_.MoveMarks(marks, destination);
  }
  TreeView1Change();
}

void TTBook::BitBtn1Click() {
  if (!ini_) return;
  try {
    ini_->Update([this](ProfileText& t) { WriteBookSections(t, model_.MergeInto(ReadBookSections(t))); });
  } catch (const ProfileWriteError& e) {
    ShowNotSaved(this, e, QStringLiteral("しおりの整理（変更はこの画面に残っています）"));
    return;
  } catch (const std::exception& e) {
    Ui().Error(this, QString::fromUtf8(e.what()));
    return;
  }
  accept();
}

}  // namespace kest
