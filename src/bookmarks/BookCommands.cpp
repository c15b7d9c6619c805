#include "bookmarks/BookCommands.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

#include "archive/LogLocation.h"
#include "bookmarks/BookNames.h"
#include "bookmarks/BookStore.h"
#include "bookmarks/BookUnit.h"
#include "bookmarks/MenuTree.h"
#include "bookmarks/TreeBook.h"
#include "platform/Codec.h"
#include "platform/Interaction.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "session/LogSession.h"
#include "ui/KestHost.h"

namespace kest {

QString BookNameToDisplay(std::string_view sjis) { return QString::fromUtf8(SjisToUtf8(sjis)); }

std::optional<std::string> BookNameFromDisplay(QWidget* parent, const QString& name) {
  bool ok = true;
  std::string sjis = Utf8ToSjis(name.toStdString(), &ok);
  if (!ok || BookNameToDisplay(sjis) != name) {
    Ui().Info(parent, QStringLiteral("名前に使えない文字が含まれています"));
    return std::nullopt;
  }
  return TrimName(sjis);
}

QString NotAKeyMessage() {
  return QStringLiteral(
      "この名前は使えません\n"
      "（「=」と改行は使えず、「[」や「;」で始めることもできません）");
}

QString BookPathToDisplay(std::string_view stored) { return QString::fromUtf8(PathFromProfile(stored)); }

QString BookPathToShow(std::string_view stored) {
  return QString::fromStdString(LogLocation::Parse(PathFromProfile(stored)).Display());
}

namespace {

QString MenuCaption(const std::string& sjis) {
  return BookNameToDisplay(sjis).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

TBookCommands::TBookCommands(KestHost& host, QObject* parent)
    : QObject(parent), host_(host), menu_(host.Menu(HostMenu::Bookmarks)) {
  setObjectName(QStringLiteral("BookCommands"));
  host_.AddCommand(Command::AddBookmark, AddEntry(menu_, this, "BM_Set", QStringLiteral("追加(&A)")),
                   [this] { BM_SetClick(); });
  host_.AddCommand(Command::OrganizeBookmarks, AddEntry(menu_, this, "BMCln", QStringLiteral("整理(&O)")),
                   [this] { BMClnClick(); });
  BkBar = AddSeparator(menu_, "BkBar");
  BkBar->setVisible(false);
  host_.AddCommand(Command::AddBookmark,
                   AddEntry(host_.Menu(HostMenu::Popup), this, "BM_P", QStringLiteral("しおりに追加")),
                   [this] { BM_SetClick(); });
  menu_.setToolTipsVisible(true);
  LoadBookmarkMenu();
}

void TBookCommands::LoadBookmarkMenu() {
  const QList<QAction*> entries = menu_.actions();
  for (qsizetype i = 3; i < entries.size(); ++i) {
    menu_.removeAction(entries[i]);
    if (QMenu* sub = entries[i]->menu()) {
      sub->deleteLater();
    } else {
      entries[i]->deleteLater();
    }
  }
  const BookMenuTree tree = BuildBookMenuTree(ReadBookSections(host_.Profile()));
  BkBar->setVisible(tree.anyKey);
  host_.Session().SetHasBookmarks(tree.anyKey);
  AddItems(menu_, tree.top);
}

void TBookCommands::AddItems(QMenu& menu, const std::vector<BookMenuItem>& items) {
  for (const BookMenuItem& item : items) {
    if (item.isGroup) {
      QMenu* sub = menu.addMenu(MenuCaption(item.caption));
      sub->setToolTipsVisible(true);
      sub->menuAction()->setProperty("GroupId", QString::fromStdString(item.groupId));
      AddItems(*sub, item.children);
    } else {
      QAction* entry = menu.addAction(MenuCaption(item.caption));
      entry->setData(BookPathToDisplay(item.storedPath));
      const QString shown = BookPathToShow(item.storedPath);
      entry->setToolTip(shown);
      entry->setStatusTip(shown);
      entry->setProperty("Tag", item.number);
      connect(entry, &QAction::triggered, this,
              [this, entry] { host_.RunCommand([&] { BookmarkItemClick(*entry); }); });
    }
  }
}

void TBookCommands::BM_SetClick() {
  LogSession& session = host_.Session();
  const std::optional<RemarkHeader>& shown = session.Shown().header;
  if (!shown) return;  // no remark shown
  QWidget* parent = host_.DialogParent();
  if (!BookDlg) BookDlg = new TBookDlg(parent);
  std::optional<std::string> name;
  // A name the file cannot hold is asked for again, with what was typed, so
  // that it can be mended (a speaker such as "[Admin]" starts the proposal).
  for (QString proposal = BookNameToDisplay(ProposedBookmarkName(*shown));;) {
    const std::optional<QString> answer = BookDlg->ShowForRemark(proposal);
    if (!answer) return;
    name = BookNameFromDisplay(parent, *answer);
    const auto problem = name ? KeyProblem(*name) : std::nullopt;
    if (name && !problem) break;
    if (problem == NameProblem::kEmpty) {
      Ui().Info(parent, QStringLiteral("名前を指定して下さい"));
      return;
    }
    if (problem) Ui().Info(parent, NotAKeyMessage());
    proposal = *answer;
  }
  // Names are keys: unique over every group and every bookmark, in any group.
  ProfileFile& ini = host_.Profile();
  if (NameTaken(*name, UsedNames(ReadBookSections(ini)))) {
    Ui().Info(parent, QStringLiteral("名前が重複しています"));
    return;
  }
  ini.WriteString(kBookMarkSection, *name,
                  AddedBookMarkValue(shown->Number.v, PathToProfile(session.LogFileName())));
  LoadBookmarkMenu();
}

void TBookCommands::BookmarkItemClick(const QAction& entry) {
  const QString path = entry.data().toString();
  const int number = entry.property("Tag").toInt();
  LogSession& session = host_.Session();
  // Another log is opened first; one that cannot be opened has said why and
  // the shown log stays.
  if (path.toStdString() != session.LogFileName() && !host_.OpenLog(path)) return;
  if (!session.LogLoaded()) return;
  WaitCursor wait;
  session.SelectRemarkByNumber(RemarkNo(number));
}

void TBookCommands::BMClnClick() {
  if (!TBook) TBook = new TTBook(host_.DialogParent());
  TBook->Open(host_.Profile());
  LoadBookmarkMenu();  // after OK or Cancel alike
}

}  // namespace kest
