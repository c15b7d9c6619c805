// The main window's reading side: opening a log by every road and dropping
// files, the keys of the window, the title list and the text pane, the pane
// layouts with the splitter drag and the long press, and the help. The rules themselves live in toolkit-free units (the
// key table, the pane arithmetic, the recent-file list); this applies them.
#include <QApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLayout>
#include <QMimeData>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include "platform/Interaction.h"
#include "session/KeyTable.h"
#include "ui/ExMemo.h"
#include "ui/Kest2.h"
#include "ui/TitleListView.h"

namespace kest {

static_assert(kKeyPlus == Qt::Key_Plus && kKeyMinus == Qt::Key_Minus && kKeyF4 == Qt::Key_F4 &&
              kKeyF5 == Qt::Key_F5 && 'C' == Qt::Key_C && '5' == Qt::Key_5);

// ---------------------------------------------------------------------------
// Opening a log

bool TKestForm::OpenLog(const QString& fileName) {
  if (!LoadLog(fileName)) return false;
  PushRecentFile(session_.LogFileName());
  return true;
}

void TKestForm::WMDropFiles(const QStringList& fileNames) {
  if (fileNames.isEmpty()) return;
  if (isMinimized()) showNormal();
  OpenLog(fileNames.first());
}

void TKestForm::dragEnterEvent(QDragEnterEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      event->acceptProposedAction();
      return;
    }
  }
}

void TKestForm::dropEvent(QDropEvent* event) {
  QStringList names;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) names << url.toLocalFile();
  }
  if (names.isEmpty()) return;
  event->acceptProposedAction();
  // The drag's source waits for the drop to end: open the log after it.
  QTimer::singleShot(0, this, [this, names] { Run([&] { WMDropFiles(names); }); });
}

// ---------------------------------------------------------------------------
// Pane layout and keys

PaneGeometry TKestForm::Geometry() const {
  PaneGeometry g;
  g.listTop = ListPanel->y();
  g.listHeight = ListPanel->height();
  g.borderTop = BorderPanel->y();
  g.memoTop = MemoPanel->y();
  g.memoHeight = MemoPanel->height();
  g.statusTop = StatusBar1->y() - centralWidget()->y();
  return g;
}

void TKestForm::SetListHeight(int height) {
  ListHeight = height;
  ApplyListHeight();
}

void TKestForm::MaximizeText() { SetListHeight(MaximizeTextHeight()); }
void TKestForm::MaximizeList() { SetListHeight(MaximizeListHeight(Geometry())); }
void TKestForm::SplitEven() { SetListHeight(SplitEvenHeight(Geometry())); }

void TKestForm::FormResize() {
  const int client = centralWidget()->height() + StatusBar1->height();
  const int h = ResizedListHeight(ListHeight, IconPanel->height(), StatusBar1->height(), client);
  if (h != ListHeight) SetListHeight(h);
}

void TKestForm::BorderPanelMouseDown(int y) {
  const PaneGeometry g = Geometry();
  drag_.Press(y, g);
  BorderLine->setGeometry(0, drag_.LineTop(), Memo1->width(), 5);
  BorderLine->raise();
  BorderLine->show();
}

void TKestForm::BorderPanelMouseMove(int y) {
  if (drag_.Move(y, Geometry())) BorderLine->move(0, drag_.LineTop());
}

void TKestForm::BorderPanelMouseUp() {
  BorderLine->hide();
  const int h = drag_.Release(Geometry());
  if (h >= 0) SetListHeight(h);
}

void TKestForm::ListBox1MouseDown() { longPress_.Press(clock_.elapsed()); }

void TKestForm::ListBox1MouseUp() {
  if (longPress_.Release(clock_.elapsed())) MaximizeText();
}

bool TKestForm::PaneKeyDown(QKeyEvent* event) {
  const Qt::KeyboardModifiers m = event->modifiers();
  const KeyPress press{event->key(), m.testFlag(Qt::KeypadModifier), m.testFlag(Qt::ControlModifier),
                       m.testFlag(Qt::ShiftModifier), m.testFlag(Qt::AltModifier)};
  const VirtualKey key = VirtualKeyOf(press);
  if (key == kVkNone) return false;
  switch (CommandForKey(key, session_.KeyState())) {
    case PaneCommand::None: return false;
    case PaneCommand::ToggleFold:
    case PaneCommand::Unfold:
    case PaneCommand::Fold: ToggleFold(); break;
    case PaneCommand::Comment: ComClick(); break;
    case PaneCommand::MaximizeText: MaximizeText(); break;
    case PaneCommand::SplitEven: SplitEven(); break;
    case PaneCommand::MaximizeList: MaximizeList(); break;
    case PaneCommand::Next: NextClick(); break;
    case PaneCommand::Prev: PrevClick(); break;
    case PaneCommand::First: session_.First(); break;
    case PaneCommand::Last: session_.Last(); break;
  }
  return true;
}

bool TKestForm::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      // A key the list or the pane does not take goes on to the window: it
      // is the window's own only when neither of them has the focus.
      const QWidget* focus = QApplication::focusWidget();
      const bool paneFocused = focus && (focus == ListBox1 || focus == Memo1 ||
                                         ListBox1->isAncestorOf(focus) || Memo1->isAncestorOf(focus));
      if (watched == this && paneFocused) break;
      if (watched != this && watched != ListBox1 && watched != Memo1) break;
      bool ran = false;
      RunGuarded(this, [&] { ran = PaneKeyDown(static_cast<QKeyEvent*>(event)); });
      if (ran) Refresh();
      if (ran && watched == ListBox1) ListBox1->SkipSearchOnce();
      break;  // the key is not consumed
    }
    case QEvent::MouseButtonPress:
      if (watched == BorderPanel) {
        BorderPanelMouseDown(static_cast<QMouseEvent*>(event)->position().toPoint().y());
        return true;  // the bar keeps the pointer until the release
      } else if (watched == ListBox1->viewport()) {
        ListBox1MouseDown();
      }
      break;
    case QEvent::MouseMove:
      if (watched == BorderPanel) {
        BorderPanelMouseMove(static_cast<QMouseEvent*>(event)->position().toPoint().y());
        return true;
      }
      break;
    case QEvent::MouseButtonRelease:
      if (watched == BorderPanel) {
        BorderPanelMouseUp();
        return true;
      } else if (watched == ListBox1->viewport()) {
        Run([this] { ListBox1MouseUp(); });
      }
      break;
    case QEvent::Resize:
      if (watched == centralWidget()) FormResize();
      break;
    default: break;
  }
  return QMainWindow::eventFilter(watched, event);
}

// A hint is a tooltip only: the status panels always show the remark.
bool TKestForm::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) return true;
  return QMainWindow::event(event);
}

// The window's accessible name follows its caption ("Kest32-" and the title).
void TKestForm::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowTitleChange) setAccessibleName(windowTitle());
  QMainWindow::changeEvent(event);
}

// ---------------------------------------------------------------------------
// Help

void TKestForm::ShowHelp(HelpPage page) {
  if (HelpFile.isEmpty() || !QFileInfo(HelpFile).isFile()) {
    Ui().Info(this, QStringLiteral("ヘルプファイル KEST.HLP が見つかりません。\n"
                                   "プログラムと同じフォルダか share/kest32 に置いてください。"));
    return;
  }
  if (!help_) help_ = new HelpViewer(this);
  if (!help_->Open(HelpFile)) {
    Ui().Info(this, QStringLiteral("ヘルプファイルを読み込めません: ") + HelpFile);
    return;
  }
  help_->ShowPage(page);
}

}  // namespace kest
