// What a feature of the window (the searches, the bookmarks, ...) sees of it:
// the session of the open log, a parent for its dialogs, the settings file,
// the few window operations a feature needs, progress, and places for its
// menu entries. The main window implements it; a feature never reaches the
// window's controls, so the window can change without the features knowing.
#pragma once

#include <QString>
#include <functional>
#include <string_view>

#include "session/CommandStates.h"

class QAction;
class QKeySequence;
class QMenu;
class QObject;
class QProgressBar;
class QWidget;

namespace kest {

class LogSession;
class ProfileFile;
class ProfileText;

// The menus a feature puts its entries into.
enum class HostMenu {
  File,       // ﾌｧｲﾙ(&F)
  Find,       // 検索(&F)
  Bookmarks,  // しおり(&B)
  Popup,      // the pop-up menu of the list and the pane
};

class KestHost {
 public:
  virtual ~KestHost() = default;

  virtual LogSession& Session() = 0;
  virtual QWidget* DialogParent() = 0;
  // Kest.INI, from the window's creation to its close.
  virtual ProfileFile& Profile() = 0;
  // A feature's own part of the settings: whenever the window writes its
  // settings (its close, the end of the desktop session), `write` puts that
  // part into the file as it stands then, in the same one write, whose
  // failure the window tells.
  virtual void AddSettingsWriter(std::function<void(ProfileText&)> write) = 0;

  // Shows the selected line's remark in the status bar and the pane, read
  // anew from the file, with the hourglass.
  virtual void ShowSelectedRemark() = 0;
  // Opens a log as the user does (the open dialog, a recent entry, a drop):
  // the load, and once it has opened, its path at the head of the recent
  // files. False when it did not open (the window has said why; the shown
  // log stays).
  virtual bool OpenLog(const QString& fileName) = 0;
  // The text pane's find: selects the next occurrence of `key` (Shift-JIS)
  // in the shown remark after the selection; false when there is none.
  virtual bool FindInPane(std::string_view key, bool ignoreCase) = 0;
  // The bar that shows the progress of a long operation.
  virtual QProgressBar& Progress() = 0;

  virtual QMenu& Menu(HostMenu which) = 0;
  // A menu of the feature's own in the menu bar, before ｵﾌﾟｼｮﾝ(&O).
  virtual QMenu& AddMenu(const QString& objectName, const QString& title) = 0;
  // An entry of `command`: enabled and checked with the command's state from
  // now on, and run through `handler` with errors shown in a box and the
  // window brought in line with the session afterwards.
  virtual void AddCommand(Command command, QAction* entry, std::function<void()> handler) = 0;
  // Runs a handler as a command does: an exception ends in the error box,
  // and the window is brought in line with the session afterwards.
  virtual void RunCommand(const std::function<void()>& handler) = 0;
  // Brings every control in line with the session: the caption, the status
  // panels, the pane, the command states, and the notices the session holds.
  virtual void Refresh() = 0;
};

// A menu entry owned by `owner`, with its object name, caption and shortcut.
QAction* AddEntry(QMenu& menu, QObject* owner, const char* name, const QString& text,
                  const QKeySequence& key);
QAction* AddEntry(QMenu& menu, QObject* owner, const char* name, const QString& text);
QAction* AddSeparator(QMenu& menu, const char* name);

}  // namespace kest
