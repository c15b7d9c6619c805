// TKestForm: the main window. Title list above the text pane, tool buttons on
// top, four status panels below. It renders the session of the open log and
// turns the user's input into the session's operations; the searches and the
// bookmarks are features of their own that reach it through KestHost.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/HelpViewer.h"
#include "session/LogSession.h"
#include "settings/Settings.h"
#include "ui/KestHost.h"
#include "ui/PaneLayout.h"

class QAction;
class QFrame;
class QKeyEvent;
class QLabel;
class QMenu;
class QPrinter;
class QProgressBar;
class QStatusBar;
class QToolButton;

namespace kest {

class FramePlacer;
class ProfileFile;
class TColorDlg;
class TExMemo;
class TMemberDlg;
class TitleListModel;
class TitleListView;

// The Windows face names of the settings file and the old forms have no
// counterpart here: "ＭＳ ゴシック" and "FixedSys" become a Japanese
// monospace face, "ＭＳ Ｐゴシック" a proportional one (IPAGothic / IPAPGothic
// when installed). The names themselves stay as they are wherever they are
// kept. Safe to call more than once.
void InstallFontSubstitutions();

class TKestForm : public QMainWindow, public KestHost {
  Q_OBJECT

 public:
  // The window with its own controls and commands, its settings read; the
  // features add theirs before Start.
  explicit TKestForm(QWidget* parent = nullptr);
  ~TKestForm() override;

  // Brings the controls in line with the state and opens the log the
  // command line names: `args` are the arguments after the program's name,
  // the first of which is opened.
  void Start(const QStringList& args);

  // Loads a log. A name that cannot be opened is refused with a message and
  // the shown log stays shown and readable. True when the log was opened (a
  // scan that fails half-way throws after emptying the window).
  bool LoadLog(const QString& fileName);

  // KestHost
  LogSession& Session() override { return session_; }
  QWidget* DialogParent() override { return this; }
  ProfileFile& Profile() override { return *IniFile; }
  void AddSettingsWriter(std::function<void(ProfileText&)> write) override {
    settingsWriters_.push_back(std::move(write));
  }
  void ShowSelectedRemark() override;
  bool OpenLog(const QString& fileName) override;
  bool FindInPane(std::string_view key, bool ignoreCase) override;
  QProgressBar& Progress() override { return *PBar1; }
  QMenu& Menu(HostMenu which) override;
  QMenu& AddMenu(const QString& objectName, const QString& title) override;
  void AddCommand(Command command, QAction* entry, std::function<void()> handler) override;
  void RunCommand(const std::function<void()>& handler) override;
  void Refresh() override;

  // The pane's look as the settings file will keep it.
  const PaneLook& Look() const { return look_; }

  // Writes the settings as a close does, as far as this window changed
  // them. A failure is told in the error box, or, `quiet` (the desktop
  // session is ending, and no box may wait for an answer), on standard
  // error. True when written.
  bool SaveSettings(bool quiet);
  // The desktop session ends (a logout, SIGTERM, SIGHUP): the settings are
  // written without a box, and the window closes.
  void EndSession();

 protected:
  void closeEvent(QCloseEvent* event) override;  // FormCloseQuery
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  class Follower;
  friend struct FormProbe;  // the window's tests

  void CreateControls();
  void CreateMenus();
  void CreateCommands();
  void ReadSettings();   // FormCreate step 4 to 6
  void WriteSettings();  // FormCloseQuery step 2
  void ApplyListHeight();
  // Runs a handler with errors shown in a box, then brings the window in
  // line with the session.
  void Run(const std::function<void()>& handler);
  // The pane shows the session's shown remark: hidden and cleared, filled,
  // brought to its beginning and shown again, keeping the keyboard focus.
  void RenderPane();
  void RenderPanels();
  void ApplyCommands();
  void TellNotices();
  // Moves the list's current line to the session's selected line.
  void FollowSelection(ListLine line);
  // A log changed on disk behind its index: offers to read it again, and
  // when the user agrees, loads it anew and selects the remark shown before
  // by its number, where it still exists.
  void OfferReload(const Notice& notice);

  // Command handlers
  void ListBox1Click(ListLine line);
  void ListBox1DblClick();
  void OpenWithDialog();
  void SortCommand(SortOrder order);
  void PrevClick();
  void NextClick();
  void ComClick();
  void ToggleColumn(Command which);
  void ToggleFold();
  void EntClick(int entry);
  void Print1Click();
  void K1Click();  // 表示色の変更
  void K3Click();  // フォントの変更
  void Ver_MClick();
  void Copy_MClick();
  void All_MClick();
  void WMDropFiles(const QStringList& fileNames);
  // The key handler of the window, the title list and the text pane; true
  // when the key ran a command (it is not consumed either way).
  bool PaneKeyDown(QKeyEvent* event);

  void PushRecentFile(const std::string& name);
  void ShowRecentFiles();
  void MaximizeText();
  void MaximizeList();
  void SplitEven();
  // Where the panes stand now, in client-area pixels below the menu bar.
  PaneGeometry Geometry() const;
  void FormResize();
  void ShowPopup(const QPoint& globalPos);
  void SetListHeight(int height);
  void ShowHelp(HelpPage page);
  void BorderPanelMouseDown(int y);
  void BorderPanelMouseMove(int y);
  void BorderPanelMouseUp();
  void ListBox1MouseDown();
  void ListBox1MouseUp();
  // Applies colour codes to the text pane and keeps them for the settings.
  void SetPaneColors(std::int32_t textCode, std::int32_t backCode);
  // Gives the pane a font the user picked; its size becomes the stored one.
  void SetPaneFont(const QFont& font);
  TColorDlg& ColorDialog();
  QPrinter& Printer();

  LogSession session_;
  std::unique_ptr<Follower> follower_;
  std::unique_ptr<ProfileFile> IniFile;  // Kest.INI, from creation to close
  WindowSettings saved_;                 // the settings as read at start-up or written last
  std::vector<std::function<void(ProfileText&)>> settingsWriters_;  // the features' parts of them
  bool offeringReload_ = false;          // the question whether to read a changed log again is open
  int settingsFailures_ = 0;             // writes of the settings that failed (the rest were bookmarks')
  PaneLook look_;
  QRect wantedBounds_;                // Left, Top, Width, Height of the settings (frame included)
  // Puts the frame at the bounds, moved and shrunk onto the nearest screen
  // when they lie off every screen.
  FramePlacer* placer_ = nullptr;
  int ListHeight = 152;               // height of ListPanel, the one number of the pane layout
  QString HelpFile;                   // KEST.HLP beside the program or in the data folder
  std::uint64_t paneGeneration_ = 0;  // the shown remark's generation the pane holds
  int following_ = 0;                 // > 0 while the list follows the session
  SplitterDrag drag_;
  LongPress longPress_;
  QElapsedTimer clock_;
  HelpViewer* help_ = nullptr;
  TColorDlg* colorDlg_ = nullptr;
  TMemberDlg* memberDlg_ = nullptr;  // the member of an archive to open
  std::unique_ptr<QPrinter> printer_;
  TitleListModel* model_ = nullptr;
  std::vector<std::pair<Command, QAction*>> commands_;

  // Controls, named as the forms name them.
  QWidget* IconPanel = nullptr;
  QFrame* Bevel1 = nullptr;
  QWidget* ListPanel = nullptr;
  TitleListView* ListBox1 = nullptr;
  QFrame* BorderPanel = nullptr;
  QWidget* MemoPanel = nullptr;
  TExMemo* Memo1 = nullptr;
  QFrame* BorderLine = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  std::array<QLabel*, 4> Panels{};
  QProgressBar* PBar1 = nullptr;
  QLabel* ConvertedPanel = nullptr;  // tool bar, where PBar1 shows: "UTF-8・LF から変換"

  QMenu *F1 = nullptr, *Edit_M = nullptr, *Find_M = nullptr, *BookM_M = nullptr, *View_M = nullptr,
        *K2 = nullptr, *KA2 = nullptr, *PopupMenu1 = nullptr;
  QAction* FileBar = nullptr;
  std::array<QAction*, 5> Ent{};
};

}  // namespace kest
