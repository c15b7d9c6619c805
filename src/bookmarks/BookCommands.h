// The window's bookmarks: the menu "しおり(&B)" built from the settings file
// (a submenu per group, an entry per bookmark), adding a bookmark for the
// shown remark (also from the pop-up menu), jumping to one, and opening the
// organizer.
#pragma once

#include <QObject>
#include <vector>

class QAction;
class QMenu;

namespace kest {

class KestHost;
class TBookDlg;
class TTBook;
struct BookMenuItem;

class TBookCommands : public QObject {
  Q_OBJECT

 public:
  TBookCommands(KestHost& host, QObject* parent);

  // Rebuilds every entry after the separator from both sections.
  void LoadBookmarkMenu();

 private:
  // Asks for a name (TBookDlg), checks it and writes the bookmark at once.
  void BM_SetClick();
  // Shows the organizer, then rebuilds the menu from the file.
  void BMClnClick();
  // Opens the entry's log unless it is the one shown, then selects the
  // remark. A log that cannot be opened leaves the window as it was.
  void BookmarkItemClick(const QAction& entry);
  void AddItems(QMenu& menu, const std::vector<BookMenuItem>& items);

  KestHost& host_;
  QMenu& menu_;
  QAction* BkBar = nullptr;
  // The dialogs, made on first use (the organizer owns its move dialog).
  TBookDlg* BookDlg = nullptr;
  TTBook* TBook = nullptr;
};

}  // namespace kest
