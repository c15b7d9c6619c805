// The window's bookmarks: the menu "しおり(&B)" built from the settings file
// (a submenu per group, an entry per bookmark), adding a bookmark for the
// shown remark (also from the pop-up menu), jumping to one, and opening the
// organizer.
#pragma once

#include <QObject>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;

namespace kest {

class KestHost;
class TBookDlg;
class TTBook;
struct BookMenuItem;
struct BookMenuTree;

class TBookCommands : public QObject {
  Q_OBJECT

 public:
  TBookCommands(KestHost& host, QObject* parent);

  // Rebuilds every entry after the separator from both sections. Only the
  // top level is made at once; a group's entries are made when its submenu
  // first opens, so a file of any number of bookmarks is quick to show.
  void LoadBookmarkMenu();

  // A level holding more entries than this is shown in submenus of
  // kChunkEntries entries each, captioned with their first and last names.
  static constexpr std::size_t kLevelEntries = 500;
  static constexpr std::size_t kChunkEntries = 250;

 private:
  // Asks for a name (TBookDlg), checks it and writes the bookmark at once.
  void BM_SetClick();
  // Shows the organizer, then rebuilds the menu from the file.
  void BMClnClick();
  // Opens the entry's log unless it is the one shown, then selects the
  // remark. A log that cannot be opened leaves the window as it was; one
  // that is gone offers to remove the bookmark or to open the organizer.
  void BookmarkItemClick(const QAction& entry);
  // A bookmark whose log is not there: asks what to do about it.
  void BookmarkOfMissingLog(const std::string& name, const QString& path);
  // The entries of one level, in submenus of kChunkEntries when there are
  // more than kLevelEntries.
  void AddLevel(QMenu& menu, const std::vector<BookMenuItem>& items);
  void AddItems(QMenu& menu, const std::vector<BookMenuItem>& items, std::size_t from, std::size_t to);
  // A submenu whose entries `fill` makes when it first opens.
  QMenu* AddLazyMenu(QMenu& menu, const QString& title, std::function<void(QMenu&)> fill);
  // Opens the organizer; with `focus`, on that bookmark.
  void Organize(const std::string& focus = {});

  KestHost& host_;
  QMenu& menu_;
  QAction* BkBar = nullptr;
  // The dialogs, made on first use (the organizer owns its move dialog).
  TBookDlg* BookDlg = nullptr;
  TTBook* TBook = nullptr;
  // The tree the menu shows; the submenus not yet opened make their entries
  // from it.
  std::shared_ptr<const BookMenuTree> tree_;
};

}  // namespace kest
