#include "bookmarks/BookCommands.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <algorithm>
#include <filesystem>
#include <system_error>

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
#include "settings/RecentFiles.h"
#include "ui/FileMessages.h"
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
  auto tree = std::make_shared<BookMenuTree>(BuildBookMenuTree(ReadBookSections(host_.Profile())));
  tree_ = tree;
  BkBar->setVisible(tree->anyKey);
  host_.Session().SetHasBookmarks(tree->anyKey);
  AddLevel(menu_, tree->top);
}

QMenu* TBookCommands::AddLazyMenu(QMenu& menu, const QString& title, std::function<void(QMenu&)> fill) {
  QMenu* sub = menu.addMenu(title);
  sub->setToolTipsVisible(true);
  // The submenu keeps the tree it was made from until it goes itself.
  connect(sub, &QMenu::aboutToShow, sub, [sub, fill = std::move(fill), tree = tree_]() mutable {
    if (!fill) return;
    fill(*sub);
    fill = nullptr;
  });
  return sub;
}

void TBookCommands::AddLevel(QMenu& menu, const std::vector<BookMenuItem>& items) {
  if (items.size() <= kLevelEntries) {
    AddItems(menu, items, 0, items.size());
    return;
  }
  for (std::size_t from = 0; from < items.size(); from += kChunkEntries) {
    const std::size_t to = std::min(items.size(), from + kChunkEntries);
    const QString title = QStringLiteral("%1 ～ %2")
                              .arg(QString::fromStdString(ElideMiddle(SjisToUtf8(items[from].caption), 24)),
                                   QString::fromStdString(ElideMiddle(SjisToUtf8(items[to - 1].caption), 24)))
                              .replace(QLatin1Char('&'), QStringLiteral("&&"));
    AddLazyMenu(menu, title, [this, &items, from, to](QMenu& sub) { AddItems(sub, items, from, to); });
  }
}

void TBookCommands::AddItems(QMenu& menu, const std::vector<BookMenuItem>& items, std::size_t from,
                             std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    const BookMenuItem& item = items[i];
    if (item.isGroup) {
      QMenu* sub = AddLazyMenu(menu, MenuCaption(item.caption),
                               [this, &item](QMenu& m) { AddLevel(m, item.children); });
      sub->menuAction()->setProperty("GroupId", QString::fromStdString(item.groupId));
    } else {
      QAction* entry = menu.addAction(MenuCaption(item.caption));
      entry->setData(BookPathToDisplay(item.storedPath));
      const QString shown = BookPathToShow(item.storedPath);
      entry->setToolTip(shown);
      entry->setStatusTip(shown);
      entry->setProperty("Tag", item.number);
      entry->setProperty("Name", QByteArray::fromStdString(item.caption));
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
  // Names are keys: unique over every group and every bookmark, in any group,
  // as the file holds them at the write (another window may have added one).
  bool taken = false;
  try {
    host_.Profile().Update([&](ProfileText& t) {
      taken = NameTaken(*name, UsedNames(ReadBookSections(t)));
      if (!taken) {
        t.WriteString(kBookMarkSection, *name,
                      AddedBookMarkValue(shown->Number.v, PathToProfile(session.LogFileName())));
      }
    });
  } catch (const ProfileWriteError& e) {
    ShowNotSaved(parent, e, QStringLiteral("しおり「%1」").arg(BookNameToDisplay(*name)));
    return;
  }
  if (taken) {
    Ui().Info(parent, QStringLiteral("名前が重複しています"));
    return;
  }
  LoadBookmarkMenu();
}

void TBookCommands::BookmarkItemClick(const QAction& entry) {
  const QString path = entry.data().toString();
  const int number = entry.property("Tag").toInt();
  LogSession& session = host_.Session();
  if (path.toStdString() != session.LogFileName()) {
    // The log of a bookmark that has gone (for a member, its archive): the
    // bookmark is what is wrong.
    std::error_code ec;
    const std::filesystem::path file = LogLocation::Parse(path.toStdString()).file;
    const bool gone = !std::filesystem::exists(file, ec) &&
                      (!ec || ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory);
    if (gone) {
      BookmarkOfMissingLog(entry.property("Name").toByteArray().toStdString(), path);
      return;
    }
    // Another log is opened first; one that cannot be opened has said why
    // and the shown log stays.
    if (!host_.OpenLog(path)) return;
  }
  if (!session.LogLoaded()) return;
  WaitCursor wait;
  session.SelectRemarkByNumber(RemarkNo(number));
}

void TBookCommands::BookmarkOfMissingLog(const std::string& name, const QString& path) {
  QWidget* parent = host_.DialogParent();
  // A member is named with its archive, as the user reads it.
  const QString whole = QString::fromStdString(LogLocation::Parse(path.toStdString()).Display());
  const QString text = QStringLiteral(
                           "しおり「%1」のログファイルが見つかりません\n%2\n\n"
                           "ファイルが移動されたか、削除されたようです。"
                           "このしおりを削除するか、しおりの整理で確かめてください。")
                           .arg(BookNameToDisplay(name), ShownPath(whole));
  const int answer = Ui().Ask(parent, text, whole,
                              {QStringLiteral("しおりを削除"), QStringLiteral("しおりの整理"), QStringLiteral("ｷｬﾝｾﾙ")});
  if (answer == 0) {
    try {
      host_.Profile().Update([&](ProfileText& t) { t.DeleteKey(kBookMarkSection, name); });
    } catch (const ProfileWriteError& e) {
      ShowNotSaved(parent, e, QStringLiteral("しおり「%1」の削除").arg(BookNameToDisplay(name)));
    }
    LoadBookmarkMenu();
  } else if (answer == 1) {
    Organize(name);
  }
}

void TBookCommands::BMClnClick() { Organize(); }

void TBookCommands::Organize(const std::string& focus) {
  if (!TBook) TBook = new TTBook(host_.DialogParent());
  TBook->Open(host_.Profile(), focus);
  LoadBookmarkMenu();  // after OK or Cancel alike
}

}  // namespace kest
