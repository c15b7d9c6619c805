// TKestForm: the main window. Title list above the text pane, tool buttons on
// top, four status panels below; the settings file is read when the window is
// created and written when it closes.
#pragma once

#include <QElapsedTimer>
#include <QListView>
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "log/Logunit1.h"
#include "log/NativeCopy.h"
#include "log/TitleLines.h"
#include "platform/HelpViewer.h"
#include "platform/Profile.h"
#include "ui/PaneLayout.h"
#include "ui/RecentFiles.h"

class QAction;
class QButtonGroup;
class QFrame;
class QKeyEvent;
class QLabel;
class QMenu;
class QPrinter;
class QProgressBar;
class QStatusBar;
class QToolButton;

namespace kest {

class TBookDlg;
class TColorDlg;
class TExMemo;
class TFindDialog;
class TNameDlg;
class TitleListModel;
class TTBook;

// The Windows face names of the settings file and the old forms have no
// counterpart here: "ＭＳ ゴシック" and "FixedSys" become a Japanese
// monospace face, "ＭＳ Ｐゴシック" a proportional one (IPAGothic / IPAPGothic
// when installed). The names themselves stay as they are wherever they are
// kept. Safe to call more than once.
void InstallFontSubstitutions();

// Runs a command handler; an exception escaping it ends in the error box of
// the interaction seam with its message, never in a crash.
void RunGuarded(QWidget* parent, const std::function<void()>& handler);

// ListBox1: single selection that a Ctrl+click cannot clear, so there is
// always one selected line once the list has lines.
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

class TKestForm : public QMainWindow {
  Q_OBJECT

 public:
  // `args`: the command-line arguments after the program's name. The first,
  // when it names an existing file, is opened.
  explicit TKestForm(const QStringList& args = {}, QWidget* parent = nullptr);
  ~TKestForm() override;

  // --- Window state ---------------------------------------------------------
  std::unique_ptr<ProfileFile> IniFile;  // Kest.INI, from creation to close
  SortOrder SortType = SortOrder::ContentFolded;
  bool ShowNumber = true;
  bool ShowSpeaker = true;
  bool ShowDate = false;
  QString OpenFolder;   // where the open dialog starts (ends with '/')
  QString LogFileName;  // full path of the log shown; empty until one is opened

  ListLine LastShownLine{-1};  // line whose remark the pane shows; -1: none
  bool LogLoaded = false;  // a log has been opened since start-up

  // Search state (the text and speaker searches).
  std::string SearchKey;
  std::uint8_t SearchKind = 0;
  bool IgnoreCase = false;
  bool Searched = false;
  bool SpeakerListStale = false;
  std::uint8_t SpeakerDirection = 0;

  // The text pane's colours as the settings file keeps them (colour codes).
  std::int32_t TextColorCode;
  std::int32_t BackColorCode;
  // The face name as read from the settings file (Shift-JIS), written back
  // unchanged unless the pane's font family has been changed since.
  std::string FontNameSjis;
  // "FontSize" as read from the settings file, written back unchanged until
  // the user picks a font (the pane shows it at the nearest size that reads).
  std::int32_t FontSizeCode;

  // Height of ListPanel, the one number of the pane layout.
  int ListHeight = 152;

  // --- Access for the other parts and for tests -----------------------------
  TLogCtrl* Log() const { return log_.get(); }
  // The file that is read for the shown log: LogFileName itself, or its
  // native copy when the log came in another encoding or with other line
  // ends. Everything the user sees and keeps names LogFileName.
  std::filesystem::path LogReadPath() const;
  const NativeLog& Native() const { return native_; }
  TitleListModel* Model() const { return model_; }
  // The selected line of the title list; -1 when none.
  ListLine SelectedLine() const;
  // Selects a line without showing its remark (as setting the list's
  // selection from code does); -1 clears the selection.
  void SelectLine(ListLine line);
  // The per-line object of the selected line in content order (2); nullptr
  // otherwise. Always the selected line's own object: a pointer kept across
  // a fold would point into lines that have moved.
  const TLogItem* CurrentItem() const;
  // The number of the shown remark as status panel 0 records it; nothing
  // when no remark has been shown.
  std::optional<RemarkNo> PanelNumber() const;
  QString RecentFile(int i) const;
  // Applies colour codes to the text pane and keeps them for the settings.
  void SetPaneColors(std::int32_t textCode, std::int32_t backCode);
  // Gives the pane a font the user picked; its size becomes the stored one.
  void SetPaneFont(const QFont& font);
  // The colour dialog, created on first use and kept.
  TColorDlg& ColorDialog();
  // The printer the print dialog sets up, kept between prints.
  QPrinter& Printer();

  // --- Operations ------------------------------------------------------------
  // Loads a log. A name that is not an existing file is refused with
  // "ファイルが見つかりません" and the shown log stays shown and readable:
  // LogFileName changes only once the file has been found. True when the log
  // was opened (a scan that fails half-way throws after emptying the window).
  bool LoadLog(const QString& fileName);
  // Every road by which the user opens a log (the open dialog, a recent
  // entry, a drop, the command line): the load, and only once the log has
  // opened, its full path at the head of the recent files.
  bool OpenLog(const QString& fileName);
  // Files dropped onto the window: the first one is opened.
  void WMDropFiles(const QStringList& fileNames);
  void ShowLog();
  void BuildList();
  // Fills the status bar and reads the remark's lines into the pane; false
  // when its text could not be read whole (the message has been shown).
  bool ShowRemark(IndexPos i);
  void UpdateCommands();
  void UpdateViewButtons();
  void RebuildTitles();
  void ToggleFold();
  void SelectRemarkByNumber(RemarkNo number);
  void ShowSelectedRemark();
  void PushRecentFile(const QString& name);
  void ShowRecentFiles();
  void LoadBookmarkMenu();
  void MaximizeText();
  void MaximizeList();
  void SplitEven();
  // Where the panes stand now, in client-area pixels below the menu bar.
  PaneGeometry Geometry() const;
  // The key handler of the window, the title list and the text pane; true
  // when the key ran a command (it is not consumed either way).
  bool PaneKeyDown(QKeyEvent* event);
  void FormResize();
  // The help file named at start-up (KEST.HLP beside the program, or in the
  // installed data folder); empty when there is none.
  QString HelpFile;
  HelpViewer* Help() const { return help_; }
  // The searches (src/search/KestSearch.cpp).
  void OpenFindDialog();    // StrFindClick
  void RunSpeakerDialog();  // NameFindClick
  void TextSearchForward();
  void TextSearchBackward();
  void SpeakerSearchForward();
  void SpeakerSearchBackward();

  // --- Command handlers --------------------------------------------------------
 public slots:
  void ListBox1Click();
  void ListBox1DblClick();
  void OpenWithDialog();
  void NSortClick();
  void RSortClick();
  void RSort2Click();
  void PrevClick();
  void NextClick();
  void ComClick();
  void NumbViewClick();
  void NameViewClick();
  void DateViewClick();
  void SearchNext();
  void SearchPrev();
  void PrgEndClick();
  void SpeedButton5Click();
  void Ver_MClick();
  void Help_MClick();
  void KeyHelp_MClick();
  void Copy_MClick();
  void All_MClick();
  void Copy_PClick();
  void All_PClick();
  void EntClick(int entry);
  void K6Click();
  void K7Click();
  void K8Click();
  void Print1Click();
  void StrFindClick();
  void NameFindClick();
  void BM_SetClick();
  void BM_PClick();
  void BMClnClick();
  void BookmarkItemClick(QAction* entry);
  void K1Click();
  void K3Click();
  void Memo1DblClick();
  void FindDialog1Find();

 protected:
  void closeEvent(QCloseEvent* event) override;  // FormCloseQuery
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateControls();
  void CreateMenus();
  void ConnectHandlers();
  void ReadSettings();   // FormCreate step 4 to 6
  void WriteSettings();  // FormCloseQuery step 2
  void ApplyListHeight();
  // Hides and clears the pane, shows the remark of `line`, sets LastShownLine,
  // brings the pane to its beginning and shows it again; the pane is shown
  // again whatever happens.
  void DisplayLine(ListLine line);
  // ShowRemark's reading of the file: true when the remark was read whole.
  bool ReadIntoPane(IndexPos i);
  void SortCommand(SortOrder target);
  // A view toggle: inverts its column switch and rewrites every line.
  void ToggleColumn(bool& flag, QToolButton* button);
  void MarkOrder();
  void ResetStatusPanels();
  void ReleaseLog();
  void ShowPopup(const QPoint& globalPos);
  // The stored bounds (frame included), moved and shrunk onto the nearest
  // screen when they lie off every screen.
  void PlaceOnScreen();
  void SetListHeight(int height);
  void ShowHelp(HelpPage page);
  void BorderPanelMouseDown(int y);
  void BorderPanelMouseMove(int y);
  void BorderPanelMouseUp();
  void ListBox1MouseDown();
  void ListBox1MouseUp();
  // Connects a control's signal to a handler run through RunGuarded.
  template <class Sender, class Signal>
  void Wire(Sender* sender, Signal signal, void (TKestForm::*handler)());

  std::unique_ptr<TLogCtrl> log_;
  NativeLog native_;  // how the shown log is read
  TitleListModel* model_ = nullptr;
  int suppressClick_ = 0;  // > 0 while code moves the selection
  bool boundsFixed_ = false;
  RecentFiles recent_;
  SplitterDrag drag_;
  LongPress longPress_;
  QElapsedTimer clock_;
  HelpViewer* help_ = nullptr;
  QRect wantedBounds_;      // Left, Top, Width, Height of the settings (frame included)
  TColorDlg* colorDlg_ = nullptr;
  std::unique_ptr<QPrinter> printer_;

 public:
  // --- Controls, named as the forms name them --------------------------------
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

  QToolButton *OPFile_B = nullptr, *Prev_B = nullptr, *Next_B = nullptr, *Com_B = nullptr,
              *NSort_B = nullptr, *RSort_B2 = nullptr, *RSort_B = nullptr, *Numb_VB = nullptr,
              *Name_VB = nullptr, *Date_VB = nullptr, *SpeedButton5 = nullptr;
  QButtonGroup* SortGroup = nullptr;

  QMenu *F1 = nullptr, *Edit_M = nullptr, *Find_M = nullptr, *BookM_M = nullptr,
        *View_M = nullptr, *K2 = nullptr, *KA2 = nullptr, *PopupMenu1 = nullptr;
  QAction *OPFile_M = nullptr, *Print1 = nullptr, *PrgEnd = nullptr, *FileBar = nullptr;
  std::array<QAction*, 5> Ent{};
  QAction *Copy_M = nullptr, *All_M = nullptr;
  QAction *StrFind = nullptr, *NameFind = nullptr, *PrevS_M = nullptr, *NextS_M = nullptr;
  QAction *BM_Set = nullptr, *BMCln = nullptr, *BkBar = nullptr;
  QAction *NSort_M = nullptr, *RSort_M2 = nullptr, *RSort_M = nullptr, *Numb_VM = nullptr,
          *Name_VM = nullptr, *Date_VM = nullptr, *Prev_M = nullptr, *Next_M = nullptr,
          *Com_M = nullptr;
  QAction *K3 = nullptr, *K1 = nullptr, *Help_M = nullptr, *KeyHelp_M = nullptr, *Ver_M = nullptr;
  QAction *Prev_P = nullptr, *Next_P = nullptr, *Com_P = nullptr, *K7 = nullptr, *K6 = nullptr,
          *K8 = nullptr, *Copy_P = nullptr, *All_P = nullptr, *BM_P = nullptr;

  // The dialogs of the searches, created on first use.
  TFindDialog* FindDialog1 = nullptr;
  TNameDlg* NameDlg = nullptr;
  // The bookmark dialogs, made on first use (the organizer owns its move dialog).
  TBookDlg* BookDlg = nullptr;
  TTBook* TBook = nullptr;
};

}  // namespace kest
