// Reading the log: the sort commands, previous/next/comment, the keys of the
// window, the title list and the text pane, the pane layouts and the splitter
// drag, opening files by every road (dialog, recent entries, drops, command
// line), paths that must survive Kest.INI, the help viewer and the version
// box, and what a new user would trip over (read-only settings, a window off
// every screen, hints over the status panels, the window's spoken name).
#include <sys/stat.h>
#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <fstream>
#include <sstream>

#include "core/LogFixture.h"
#include "platform/Codec.h"
#include "platform/HelpViewer.h"
#include "platform/Interaction.h"
#include "platform/Profile.h"
#include "ui/ExMemo.h"
#include "ui/FormFixture.h"
#include "ui/Kest2.h"
#include "ui/RecordingUi.h"
#include "ui/TAboutBox.h"
#include "ui/TitleListModel.h"

using namespace kest;
using namespace kest::test;

namespace {

using FakeUi = test::RecordingUi;

}  // namespace

class NavTest : public FormTest<FakeUi> {
  Q_OBJECT

 private:
  // The client area (below the menu bar) made `h` pixels high.
  void ClientHeight(TKestForm& f, int h) {
    f.resize(625, h + f.menuBar()->height());
    QApplication::processEvents();
    QTRY_COMPARE(f.centralWidget()->height() + Control<QStatusBar>(f, "StatusBar1")->height(), h);
  }
  void Drop(TKestForm& f, const QStringList& names) {
    QList<QUrl> urls;
    for (const QString& n : names) urls << QUrl::fromLocalFile(n);
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    const QPoint at = Memo(f)->mapTo(&f, QPoint(10, 10));
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &drop);
    QApplication::processEvents();
    delete mime;
  }

 private slots:
  void init() { InitForm(); }
  void cleanup() { QVERIFY2(CleanupForm(), "every hourglass came back"); }

  // The order already active does nothing (no rebuild, no beep); the menu
  // entries and tool buttons whose names end in 2 select content order (1).
  void sortCommandsAndTheirCrossing() {
    const auto a = dir_->Write("a.log", ThreadLog());
    WriteIni("[Option]\r\nSortType=0\r\n");
    int resets = 0;  // outlives the form, whose end resets the model once more
    auto f = MakeForm({Path(a)});
    connect(Model(*f), &QAbstractItemModel::modelReset, this, [&] { ++resets; });
    const int beeps = ui_->beeps;
    Action(*f, "NSort_M")->trigger();
    QTest::mouseClick(Button(*f, "NSort_B"), Qt::LeftButton);
    QCOMPARE(resets, 0);
    QCOMPARE(ui_->beeps, beeps);
    QVERIFY(Button(*f, "NSort_B")->isChecked() && Action(*f, "NSort_M")->isChecked());

    QTest::mouseClick(Button(*f, "RSort_B2"), Qt::LeftButton);
    QCOMPARE(static_cast<int>(f->Session().Sort()), 2);
    QVERIFY(Action(*f, "RSort_M2")->isChecked() && !Action(*f, "RSort_M")->isChecked());
    Action(*f, "RSort_M")->trigger();
    QCOMPARE(static_cast<int>(f->Session().Sort()), 1);
    QVERIFY(Button(*f, "RSort_B")->isChecked() && !Button(*f, "RSort_B2")->isChecked());
    QCOMPARE(ui_->beeps, beeps + 2);
  }

  // Remark order to content order (2) on a reply to a reply: its thread
  // unfolds down to it, and it stays selected and shown.
  void sortUnfoldsDownToTheShownRemark() {
    const auto a = dir_->Write("a.log", ThreadLog());
    WriteIni("[Option]\r\nSortType=0\r\n");
    auto f = MakeForm({Path(a)});
    Do(*f, [&](LogSession& s) { s.SelectRemarkByNumber(RemarkNo(6)); });
    QCOMPARE(Shown(*f), 6);
    Trigger(*f, "RSort_M");
    QCOMPARE(static_cast<int>(f->Session().Sort()), 1);
    QCOMPARE(Shown(*f), 6);
    QCOMPARE(f->Session().CurrentItem()->Number, RemarkNo(6));
    QVERIFY(Pane(*f).find("body 6") != std::string::npos);
    for (int line = 0; line < 3; ++line) QVERIFY(f->Session().ItemOf(ListLine(line))->Expanded);
    QVERIFY(Memo(*f)->isVisible());
  }

  // Previous and next stop at the ends, by command and by shortcut; after a
  // step the keyboard is in the text pane; comment unfolds and steps down.
  void previousNextAndComment() {
    const auto a = dir_->Write("a.log", ThreadLog());
    auto f = MakeForm({Path(a)});
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.get()));
    List(*f)->setFocus();
    QCOMPARE(f->Session().Selected().v, 0);
    Key(List(*f), Qt::Key_Up, Qt::ControlModifier);  // first line: nothing
    QCOMPARE(f->Session().Selected().v, 0);
    Key(List(*f), Qt::Key_Down, Qt::ControlModifier);  // the menu's shortcut, from the list
    QCOMPARE(Shown(*f), 7);
    QVERIFY(Memo(*f)->hasFocus());
    Key(Memo(*f), Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(Shown(*f), 1);
    QVERIFY(Button(*f, "Com_B")->isEnabled());
    QTest::mouseClick(Button(*f, "Com_B"), Qt::LeftButton);  // 1 unfolds, 2 is shown
    QCOMPARE(Shown(*f), 2);
    QVERIFY(Memo(*f)->hasFocus());
    Action(*f, "Com_P")->trigger();  // 2 -> 4
    QCOMPARE(Shown(*f), 4);
    Trigger(*f, "Prev_M");
    QCOMPARE(Shown(*f), 2);
    SelectLine(*f, ListLine(f->Session().LineCount() - 1));
    const int last = Shown(*f);
    Key(Memo(*f), Qt::Key_Down, Qt::ControlModifier);  // last line: nothing
    Action(*f, "Next_M")->trigger();
    QCOMPARE(Shown(*f), last);
    QVERIFY(!Button(*f, "Next_B")->isEnabled());
    Key(Memo(*f), Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(f->Session().Selected().v, f->Session().LineCount() - 2);
    QVERIFY(Memo(*f)->hasFocus());
  }

  // The keypad in content order (2): 5 toggles, + only unfolds, - only
  // folds, 6 goes to the first reply, 2 and 8 step; F4 and F5 go to the
  // first and the last shown line.
  void keypadInContentOrderTwo() {
    const auto a = dir_->Write("a.log", ThreadLog());
    auto f = MakeForm({Path(a)});
    QWidget* list = List(*f);
    list->setFocus();
    QCOMPARE(f->Session().LineCount(), 3);  // 1, 7, 8
    Keypad(list, Qt::Key_Plus);
    QCOMPARE(f->Session().LineCount(), 6);  // 1, 2, 3, 5, 7, 8
    Keypad(list, Qt::Key_Plus);             // unfolded already: nothing
    QCOMPARE(f->Session().LineCount(), 6);
    Keypad(list, Qt::Key_Minus);
    QCOMPARE(f->Session().LineCount(), 3);
    Keypad(list, Qt::Key_Minus);
    QCOMPARE(f->Session().LineCount(), 3);
    Keypad(list, Qt::Key_5);
    QCOMPARE(f->Session().LineCount(), 6);
    Keypad(list, Qt::Key_5);
    QCOMPARE(f->Session().LineCount(), 3);
    Keypad(list, Qt::Key_6);  // unfolds 1 and shows 2
    QCOMPARE(Shown(*f), 2);
    QCOMPARE(f->Session().LineCount(), 6);
    Keypad(Memo(*f), Qt::Key_2);
    QCOMPARE(Shown(*f), 3);
    Keypad(Memo(*f), Qt::Key_8);
    QCOMPARE(Shown(*f), 2);
    Key(Memo(*f), Qt::Key_F5);  // the last shown line, not the last remark
    QCOMPARE(f->Session().Selected().v, 5);
    QCOMPARE(Shown(*f), 8);
    Keypad(Memo(*f), Qt::Key_2);  // the last line: nothing
    QCOMPARE(Shown(*f), 8);
    Key(Memo(*f), Qt::Key_F4);
    QCOMPARE(Shown(*f), 1);
    // Keypad 6 on a line without replies moves to the next line.
    f->Session().Select(ListLine(2));  // 3
    ClickSelected(*f);
    Keypad(Memo(*f), Qt::Key_6);
    QCOMPARE(Shown(*f), 5);
  }

  // In remark order the fold keys do nothing and the list keeps its own
  // keys: with Num Lock off keypad 2 is an arrow key; with it on, a step that
  // does not also jump to a line beginning with "2".
  void keypadInRemarkOrder() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {5, 1}, {2, 0}, {3, 0}}));
    WriteIni("[Option]\r\nSortType=0\r\n");
    auto f = MakeForm({Path(a)});
    QWidget* list = List(*f);
    list->setFocus();
    for (int k : {Qt::Key_Plus, Qt::Key_Minus}) Keypad(list, k);
    QCOMPARE(f->Session().LineCount(), 4);
    QCOMPARE(Shown(*f), 1);
    QTest::qWait(QApplication::keyboardInputInterval() + 50);  // a new type-ahead
    Keypad(list, Qt::Key_5);  // no fold: the key reaches the list, which finds "5 ..."
    QCOMPARE(f->Session().LineCount(), 4);
    QCOMPARE(Shown(*f), 5);
    Key(List(*f), Qt::Key_F4);
    QCOMPARE(Shown(*f), 1);
    list->setFocus();
    Keypad(list, Qt::Key_2);  // Num Lock on: the next line (remark 2 sorts after 1)
    QCOMPARE(f->Session().Selected().v, 1);
    QVERIFY(Memo(*f)->hasFocus());
    list->setFocus();
    Keypad(list, Qt::Key_2);
    QCOMPARE(f->Session().Selected().v, 2);
    Keypad(list, Qt::Key_8);
    QCOMPARE(f->Session().Selected().v, 1);
    list->setFocus();
    Keypad(list, Qt::Key_Down);  // Num Lock off: the list's own arrow
    QCOMPARE(f->Session().Selected().v, 2);
    QCOMPARE(Shown(*f), 3);
    // A plain digit from the main keyboard is the list's own search.
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    Key(list, Qt::Key_5);
    QCOMPARE(Shown(*f), 5);
  }

  // C, X and Z (Ctrl+X and Ctrl+Z too) from the list, the pane and the
  // window; letters never make the list jump to a line.
  void layoutKeys() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}, {3, 0}}));
    WriteIni("[Option]\r\nSortType=0\r\nNumb=0\r\n");  // lines begin with the ID "ABC..."
    auto f = MakeForm({Path(a)});
    ClientHeight(*f, 457);
    QWidget* list = List(*f);
    list->setFocus();
    Key(list, Qt::Key_X);
    QCOMPARE(FormProbe::ListHeight(*f), 200);
    Key(list, Qt::Key_C);
    QCOMPARE(FormProbe::ListHeight(*f), 1);
    QCOMPARE(f->Session().Selected().v, 0);  // no jump to a line starting with "C"
    Key(list, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(FormProbe::ListHeight(*f), 400);
    QCOMPARE(Widget(*f, "ListPanel")->height(), 400);
    QCOMPARE(Widget(*f, "MemoPanel")->height(), 1);
    Memo(*f)->setFocus();
    Key(Memo(*f), Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(FormProbe::ListHeight(*f), 200);
    Key(Memo(*f), Qt::Key_C);
    QCOMPARE(FormProbe::ListHeight(*f), 1);
    Key(Memo(*f), Qt::Key_C, Qt::ControlModifier);  // the copy key, not a layout
    QCOMPARE(FormProbe::ListHeight(*f), 1);
    Key(Memo(*f), Qt::Key_C, Qt::AltModifier);
    QCOMPARE(FormProbe::ListHeight(*f), 1);
    // The window's own keys, with nothing focused in it (no log needed).
    auto g = MakeForm();
    ClientHeight(*g, 457);
    g->setFocus();
    Key(g.get(), Qt::Key_Z);
    QCOMPARE(FormProbe::ListHeight(*g), 400);
  }

  // The layouts of the design window, by pop-up entry and double-click.
  void threeLayouts() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}}));
    auto f = MakeForm({Path(a)});
    ClientHeight(*f, 457);
    QCOMPARE(Widget(*f, "ListPanel")->height(), 152);
    QCOMPARE(Widget(*f, "MemoPanel")->height(), 249);
    Action(*f, "K8")->trigger();
    QCOMPARE(Widget(*f, "ListPanel")->height(), 200);
    Action(*f, "K7")->trigger();
    QCOMPARE(Widget(*f, "ListPanel")->height(), 400);
    QCOMPARE(Widget(*f, "MemoPanel")->height(), 1);
    Action(*f, "K6")->trigger();
    QCOMPARE(Widget(*f, "ListPanel")->height(), 1);
    emit Memo(*f)->doubleClicked();
    QCOMPARE(Widget(*f, "ListPanel")->height(), 400);
  }

  // The bar stays while the guide line follows; the release applies the
  // last counted move; past the top gives one pixel, into the status bar
  // the maximised list.
  void splitterDrag() {
    auto f = MakeForm();
    ClientHeight(*f, 457);
    QWidget* bar = Widget(*f, "BorderPanel");
    const int barTop = bar->y();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(5, 1));
    QVERIFY(Widget(*f, "BorderLine")->isVisible());
    QCOMPARE(Widget(*f, "BorderLine")->y(), barTop - 1);
    QCOMPARE(Widget(*f, "BorderLine")->height(), 5);
    QMouseEvent first(QEvent::MouseMove, QPointF(5, 0), bar->mapToGlobal(QPointF(5, 0)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &first);
    QCOMPARE(Widget(*f, "BorderLine")->y(), barTop - 1);  // the first move is only noted
    QMouseEvent down(QEvent::MouseMove, QPointF(5, 60), bar->mapToGlobal(QPointF(5, 60)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &down);
    QCOMPARE(Widget(*f, "BorderLine")->y(), barTop + 60);
    QCOMPARE(bar->y(), barTop);  // the bar itself stays
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(5, 90));
    QVERIFY(Widget(*f, "BorderLine")->isHidden());
    QCOMPARE(Widget(*f, "ListPanel")->height(), 212);

    auto drag = [&](int y) {
      QTest::mousePress(Widget(*f, "BorderPanel"), Qt::LeftButton, {}, QPoint(5, 1));
      for (int to : {0, y}) {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, to),
                         Widget(*f, "BorderPanel")->mapToGlobal(QPointF(5, to)), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(Widget(*f, "BorderPanel"), &move);
      }
      QTest::mouseRelease(Widget(*f, "BorderPanel"), Qt::LeftButton, {}, QPoint(5, y));
    };
    drag(-1000);
    QCOMPARE(Widget(*f, "ListPanel")->height(), 1);
    drag(1000);
    QCOMPARE(Widget(*f, "ListPanel")->height(), 400);
  }

  // A click only selects; a press held for a second maximises the text.
  void longPressOnTheList() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}}));
    WriteIni("[Option]\r\nSortType=0\r\n");
    auto f = MakeForm({Path(a)});
    QWidget* vp = List(*f)->viewport();
    const QPoint at = List(*f)->visualRect(Model(*f)->index(1)).center();
    QTest::mouseClick(vp, Qt::LeftButton, {}, at);
    QCOMPARE(Shown(*f), 2);
    QCOMPARE(FormProbe::ListHeight(*f), 152);
    QTest::mousePress(vp, Qt::LeftButton, {}, List(*f)->visualRect(Model(*f)->index(0)).center());
    QTest::qWait(700);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, List(*f)->visualRect(Model(*f)->index(0)).center());
    QCOMPARE(FormProbe::ListHeight(*f), 1);
    QCOMPARE(Shown(*f), 1);
  }

  // A window made lower than the list keeps the splitter bar and a strip of
  // the text pane above the status bar; a taller one does not grow the list.
  void resizeKeepsTheSplitter() {
    auto f = MakeForm();
    ClientHeight(*f, 457);
    ClientHeight(*f, 150);
    QCOMPARE(FormProbe::ListHeight(*f), 150 - 31 - 22 - 7);
    QVERIFY(Widget(*f, "BorderPanel")->geometry().bottom() <
            Control<QStatusBar>(*f, "StatusBar1")->y() - f->centralWidget()->y());
    QVERIFY(Widget(*f, "BorderPanel")->isVisible());
    ClientHeight(*f, 600);
    QCOMPARE(FormProbe::ListHeight(*f), 90);
  }

  // The dialog starts in OpenFolder with the four filters; a cancel
  // changes nothing; a name that does not open is not listed; a folder is
  // refused in words of its own, by every road.
  void openingAndFailures() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}}));
    WriteIni("[Option]\r\nSortType=0\r\n");
    auto f = MakeForm();
    ui_->fileToOpen = std::nullopt;
    Action(*f, "OPFile_M")->trigger();
    QCOMPARE(ui_->filters, (QStringList{QStringLiteral("ﾛｸﾞﾌｧｲﾙ(*.log)"), QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ(*.txt)"),
                                        QStringLiteral("ｱｰｶｲﾌﾞ(*.lzh *.zip)"), QStringLiteral("全てのﾌｧｲﾙ(*.*)")}));
    QVERIFY(!f->Session().LogLoaded());
    QVERIFY(!Action(*f, "FileBar")->isVisible());
    ui_->fileToOpen = Path(a);
    QTest::mouseClick(Button(*f, "OPFile_B"), Qt::LeftButton);
    QCOMPARE(Q(f->Session().LogFileName()), Path(a));
    QCOMPARE(RecentName(*f, 0), Path(a));
    QVERIFY(Action(*f, "FileBar")->isVisible() && Ent(*f, 0)->isVisible() && !Ent(*f, 1)->isVisible());
    SelectLine(*f, ListLine(1));

    const QString gone = Path(dir_->Path() / "gone.log");
    ui_->fileToOpen = gone;
    Action(*f, "OPFile_M")->trigger();
    QVERIFY(Tells(ui_->infos.last(), QStringLiteral("ファイルが見つかりません"), gone.toStdString()));
    QCOMPARE(RecentName(*f, 0), Path(a));
    QCOMPARE(RecentName(*f, 1), QString());
    QCOMPARE(Q(f->Session().LogFileName()), Path(a));
    SelectLine(*f, ListLine(0));
    QVERIFY(Pane(*f).find("body 1") != std::string::npos);  // the old log still reads

    const QString folder = Path(dir_->Path());
    ui_->fileToOpen = folder;
    Action(*f, "OPFile_M")->trigger();
    QVERIFY(ui_->infos.last().startsWith(QStringLiteral("フォルダはログファイルとして開けません")));
    Drop(*f, {folder});
    QVERIFY(ui_->infos.last().startsWith(QStringLiteral("フォルダはログファイルとして開けません")));
    QCOMPARE(ui_->infos.size(), 3);
    QCOMPARE(RecentName(*f, 1), QString());
    QVERIFY(ui_->errors.isEmpty());

    // A recent entry whose file has gone since.
    const auto b = dir_->Write("b.log", MakeLog({{9, 0}}));
    f->OpenLog(Path(b));
    QCOMPARE(RecentName(*f, 0), Path(b));
    std::filesystem::remove(b);
    Ent(*f, 1)->trigger();  // a.log again
    QCOMPARE(RecentName(*f, 0), Path(a));
    Ent(*f, 1)->trigger();  // b.log: gone
    QVERIFY(Tells(ui_->infos.last(), QStringLiteral("ファイルが見つかりません"), b));
    QCOMPARE(RecentName(*f, 0), Path(a));
    QCOMPARE(Q(f->Session().LogFileName()), Path(a));
    QCOMPARE(Q(f->Session().OpenFolder()), folder + QLatin1Char('/'));
  }

  void commandLineFolder() {
    auto f = MakeForm({Path(dir_->Path())});
    QTRY_COMPARE(ui_->infos.size(), 1);
    QVERIFY(ui_->infos[0].startsWith(QStringLiteral("フォルダはログファイルとして開けません")));
    QVERIFY(!f->Session().LogLoaded());
    QCOMPARE(RecentName(*f, 0), QString());
  }

  // Of three dropped files only the first opens; a file that is no log
  // opens as an empty one without harm.
  void drops() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}}));
    const auto b = dir_->Write("b.log", MakeLog({{2, 0}}));
    const auto c = dir_->Write("c.log", MakeLog({{3, 0}}));
    auto f = MakeForm();
    Drop(*f, {Path(b), Path(a), Path(c)});
    QCOMPARE(Q(f->Session().LogFileName()), Path(b));
    QCOMPARE(Shown(*f), 2);
    QCOMPARE(RecentName(*f, 0), Path(b));
    QCOMPARE(RecentName(*f, 1), QString());
    QCOMPARE(Q(f->Session().OpenFolder()), Path(dir_->Path()) + QLatin1Char('/'));

    std::string binary(4096, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 37);
    const auto png = dir_->Write("picture.png", binary);
    Drop(*f, {Path(png)});
    QVERIFY(ui_->errors.isEmpty());
    QCOMPARE(Q(f->Session().LogFileName()), Path(png));
    QCOMPARE(f->Session().LineCount(), 0);
  }

  // A name outside Shift-JIS, and one far longer than 255 bytes, reopen from
  // the recent list after a restart; the long one's entry is shortened in
  // the middle and carries the whole path as its tooltip.
  void pathsSurviveARestart() {
    const auto odd = dir_->Write("Ωmega 한국어 😀.log", MakeLog({{4, 0}}));
    std::filesystem::path deep = dir_->Path();
    for (int i = 0; i < 3; ++i) deep /= std::string(120, static_cast<char>('p' + i));
    std::filesystem::create_directories(deep);
    const auto longLog = deep / "長い名前のログ.log";
    std::ofstream(longLog, std::ios::binary) << MakeLog({{5, 0}});
    QVERIFY(longLog.string().size() > 400);
    // A name that is the first 255 bytes of the long one must not be what opens.
    {
      auto f = MakeForm();
      Drop(*f, {Path(longLog)});
      QCOMPARE(Shown(*f), 5);
      f->OpenLog(Path(odd));
      QCOMPARE(Shown(*f), 4);
      f->close();
    }
    const std::string ini = ReadFile(ini_);
    QVERIFY(ini.find("File_0=utf-8:") != std::string::npos);
    QVERIFY(ini.find("OpenFolder=" + Sjis(dir_->Path().string().c_str()) + "/") != std::string::npos);
    auto g = MakeForm();
    QCOMPARE(RecentName(*g, 0), Path(odd));
    QCOMPARE(RecentName(*g, 1), Path(longLog));
    QVERIFY(Ent(*g, 1)->text().size() < 80);
    QVERIFY(Ent(*g, 1)->text().contains(QStringLiteral("…")));
    QVERIFY(Ent(*g, 1)->text().endsWith(QStringLiteral("長い名前のログ.log")));
    QCOMPARE(Ent(*g, 1)->toolTip(), Path(longLog));
    Ent(*g, 0)->trigger();
    QCOMPARE(Shown(*g), 4);
    Ent(*g, 1)->trigger();
    QCOMPARE(Shown(*g), 5);
    QCOMPARE(Q(g->Session().LogFileName()), Path(longLog));
    QVERIFY(ui_->infos.isEmpty());
  }

  // A Kest.INI the user may not write stays as it was, with one message.
  void readOnlySettingsFile() {
    const std::string original = "[Option]\r\nSortType=2\r\n";
    WriteIni(original);
    ::chmod(ini_.c_str(), 0444);
    auto f = MakeForm();
    Trigger(*f, "RSort_M");
    f->close();
    QCOMPARE(ui_->errors.size(), 1);
    QVERIFY(ui_->errors[0].endsWith(QStringLiteral("に書き込めません")));
    QCOMPARE(ReadFile(ini_), original);
    QCOMPARE(std::distance(std::filesystem::directory_iterator(dir_->Path()),
                           std::filesystem::directory_iterator()),
             1);
  }

  // Bounds off every screen: moved and shrunk onto the nearest.
  void boundsOffEveryScreen() {
    WriteIni("[Option]\r\nLeft=99999\r\nTop=-2147483648\r\nHeight=32767\r\nWidth=633\r\n");
    auto f = MakeForm();
    QApplication::processEvents();
    const QRect screen = f->screen()->availableGeometry();
    QTRY_VERIFY(screen.contains(f->frameGeometry()));
    QCOMPARE(f->frameGeometry().width(), std::min(633, screen.width()));
    QCOMPARE(f->frameGeometry().height(), screen.height());
  }

  // A hovered tool button's hint is a tooltip: the panels keep the remark.
  void hintsLeaveThePanels() {
    const auto a = dir_->Write("a.log", MakeLog({{7, 0}}));
    auto f = MakeForm({Path(a)});
    QStatusTipEvent tip(QStringLiteral("前の発言"));
    QApplication::sendEvent(Button(*f, "Prev_B"), &tip);
    QApplication::sendEvent(f.get(), &tip);
    QCOMPARE(Control<QStatusBar>(*f, "StatusBar1")->currentMessage(), QString());
    QVERIFY(Panel(*f, 0)->isVisible());
    QCOMPARE(PanelText(*f, 0), QStringLiteral("7"));
    QVERIFY(Button(*f, "Prev_B")->statusTip().isEmpty());
    QCOMPARE(Button(*f, "Prev_B")->toolTip(), QStringLiteral("前の発言"));
  }

  // The window's spoken name follows its caption.
  void accessibleNameFollowsTheCaption() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}}));
    auto f = MakeForm();
    QCOMPARE(f->accessibleName(), QStringLiteral("Kest32"));
    f->OpenLog(Path(a));
    QCOMPARE(f->windowTitle(), QStringLiteral("Kest32-テストログ"));
    QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(f.get());
    QVERIFY(acc);
    QCOMPARE(acc->text(QAccessible::Name), QStringLiteral("Kest32-テストログ"));
    for (int i = 0; i < 5; ++i) {
      QAction* e = Ent(*f, i);
      QVERIFY(e->text().isEmpty() || !e->toolTip().isEmpty());
    }
  }

  // Copy and select all act on the text pane, from the menu and the pop-up.
  void clipboardCommands() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}}));
    auto f = MakeForm({Path(a)});
    List(*f)->setFocus();
    Action(*f, "All_P")->trigger();
    QVERIFY(Memo(*f)->hasFocus());
    Action(*f, "Copy_M")->trigger();
    QVERIFY(QGuiApplication::clipboard()->text().contains(QStringLiteral("body 1")));
    QVERIFY(QGuiApplication::clipboard()->text().contains(QStringLiteral("96/03/01")));
  }

  // The help file: found beside the program, then in ../share/kest32; the
  // contents and the keyword index; a missing file is said so.
  void helpViewer() {
    QCOMPARE(FindHelpFile(Path(dir_->Path())), QString());
    std::filesystem::create_directories(dir_->Path() / "share" / "kest32");
    std::filesystem::create_directories(dir_->Path() / "bin");
    std::filesystem::copy_file(KEST_SOURCE_DIR "/help/KEST.HLP", dir_->Path() / "share/kest32/KEST.HLP");
    QCOMPARE(FindHelpFile(Path(dir_->Path() / "bin")), Path(dir_->Path() / "share/kest32/KEST.HLP"));
    std::filesystem::copy_file(KEST_SOURCE_DIR "/help/KEST.HLP", dir_->Path() / "bin/KEST.HLP");
    QCOMPARE(FindHelpFile(Path(dir_->Path() / "bin")), Path(dir_->Path() / "bin/KEST.HLP"));

    auto f = MakeForm();
    FormProbe::SetHelpFile(*f, Path(dir_->Path() / "nothing" / "KEST.HLP"));
    Action(*f, "Help_M")->trigger();
    QCOMPARE(ui_->infos.size(), 1);
    QVERIFY(ui_->infos[0].contains(QStringLiteral("KEST.HLP")));
    QVERIFY(!FormProbe::Help(*f));

    FormProbe::SetHelpFile(*f, Path(dir_->Path() / "bin/KEST.HLP"));
    Action(*f, "Help_M")->trigger();
    HelpViewer* h = FormProbe::Help(*f);
    QVERIFY(h && h->isVisible());
    QVERIFY(h->Browser->toPlainText().contains(QStringLiteral("目次")));
    Action(*f, "KeyHelp_M")->trigger();
    QTRY_VERIFY(h->KeywordEdit->hasFocus());
    const int all = h->ShownKeywords().size();
    QVERIFY(all >= 20);
    h->KeywordEdit->insert(QStringLiteral("しおり"));
    QVERIFY(h->ShownKeywords().size() > 0 && h->ShownKeywords().size() < all);
    for (const QString& k : h->ShownKeywords()) QVERIFY(k.contains(QStringLiteral("しおり")));
    h->KeywordEdit->clear();
    h->KeywordEdit->insert(QStringLiteral("ｷｰ"));  // half-width finds キー
    QVERIFY(!h->ShownKeywords().isEmpty());
    QCOMPARE(h->ShownKeywords().size(), h->ShownKeywords().filter(QStringLiteral("キー")).size());
    h->close();
  }

  // Every keyword of the help file leads to an anchor of the file, and the
  // contents and the index are there.
  void helpFileIsWhole() {
    QFile file(KEST_SOURCE_DIR "/help/KEST.HLP");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    const auto keywords = HelpKeywords(html);
    QVERIFY(keywords.size() >= 20);
    for (const char* anchor : {"contents", "index"}) {
      QVERIFY2(html.contains(QStringLiteral("id=\"%1\"").arg(QLatin1String(anchor))), anchor);
    }
    for (const auto& [keyword, anchor] : keywords) {
      QVERIFY2(html.contains(QStringLiteral("id=\"%1\"").arg(anchor)), qPrintable(keyword));
    }
  }

  // The version box: its texts and its layout.
  void versionBoxLayout() {
    TAboutBox box;
    QCOMPARE(box.size(), QSize(349, 125));
    QCOMPARE(box.windowTitle(), QStringLiteral("バージョン情報"));
    QCOMPARE(box.OKButton->geometry(), QRect(130, 94, 87, 27));
    QVERIFY(box.OKButton->isDefault());
    QCOMPARE(box.findChild<QWidget*>("Panel1")->geometry(), QRect(3, 3, 342, 86));
    QCOMPARE(box.findChild<QLabel*>("Version")->text(), QStringLiteral("Version 1.50"));
    QCOMPARE(box.findChild<QLabel*>("Comments")->text(), QStringLiteral("for Windws95"));
    QCOMPARE(box.findChild<QLabel*>("ProductName")->text(), QStringLiteral("Kest32"));
    QCOMPARE(box.findChild<QLabel*>("ProgramIcon")->geometry(), QRect(8, 40, 32, 32));
  }
};

QTEST_MAIN(NavTest)
#include "NavTest.moc"
