// The main window: start-up and shutdown with Kest.INI, loading a log, the
// title list's clicks, folds and column toggles, the command states, finding
// a remark by number, and what happens when files go away. Every message box,
// beep and cursor goes through a recording fake.
#include <unistd.h>
#include <QAbstractItemModel>
#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <fstream>
#include <sstream>

#include "core/LogFixture.h"
#include "platform/Codec.h"
#include "platform/Interaction.h"
#include "platform/Profile.h"
#include "ui/ExMemo.h"
#include "ui/FormFixture.h"
#include "ui/Kest2.h"
#include "ui/RecordingUi.h"
#include "ui/TitleListModel.h"

using namespace kest;
using namespace kest::test;

namespace {

using FakeUi = test::RecordingUi;

}  // namespace

class Kest2Test : public FormTest<FakeUi> {
  Q_OBJECT

 private:
 private slots:
  void init() { InitForm(); }
  void cleanup() { QVERIFY2(CleanupForm(), "every hourglass came back"); }

  // First start without Kest.INI: the defaults, the initial states of the
  // controls, and after closing every key written with the default values.
  void firstStartWritesEveryDefault() {
    auto f = MakeForm();
    QCOMPARE(f->windowTitle(), QStringLiteral("Kest32"));
    QCOMPARE(static_cast<int>(f->Session().Sort()), 1);
    QVERIFY(f->Session().Columns().ShowNumber && f->Session().Columns().ShowSpeaker &&
            !f->Session().Columns().ShowDate);
    QCOMPARE(Memo(*f)->font().family(), QStringLiteral("FixedSys"));
    QCOMPARE(Memo(*f)->font().pointSize(), 14);
    QCOMPARE(f->Look().TextColor, -2147483640);
    QCOMPARE(f->Look().BackColor, -2147483643);
    QCOMPARE(Memo(*f)->palette().color(QPalette::Text), QApplication::palette().color(QPalette::Text));
    QCOMPARE(Memo(*f)->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    QCOMPARE(f->frameGeometry().topLeft(), QPoint(88, 40));
    QCOMPARE(f->frameGeometry().size(), QSize(633, 507));
    if (QFontDatabase::families().contains(QStringLiteral("IPAGothic"))) {
      QCOMPARE(QFontInfo(Memo(*f)->font()).family(), QStringLiteral("IPAGothic"));
      QCOMPARE(QFontInfo(List(*f)->font()).family(), QStringLiteral("IPAGothic"));
    }

    // Initial states of the tables.
    for (const char* on : {"OPFile_B", "SpeedButton5", "OPFile_M", "Print1", "PrgEnd", "Copy_M", "All_M",
                           "K3", "K1", "Help_M", "KeyHelp_M", "Ver_M", "K6", "K7", "K8", "Copy_P", "All_P"}) {
      QVERIFY2(Enabled(*f, on), on);
    }
    for (const char* off : {"Prev_B",  "Next_B",  "Com_B",    "NSort_B",  "RSort_B2", "RSort_B", "Numb_VB",
                            "Name_VB", "Date_VB", "StrFind",  "NameFind", "PrevS_M",  "NextS_M", "BM_Set",
                            "BMCln",   "NSort_M", "RSort_M2", "RSort_M",  "Numb_VM",  "Name_VM", "Date_VM",
                            "Prev_M",  "Next_M",  "Com_M",    "Prev_P",   "Next_P",   "Com_P",   "BM_P"}) {
      QVERIFY2(!Enabled(*f, off), off);
    }
    for (const char* up : {"NSort_B", "RSort_B2", "RSort_B", "Numb_VB", "Name_VB", "Date_VB"}) {
      QVERIFY2(!f->findChild<QToolButton*>(up)->isChecked(), up);
    }
    QVERIFY(!f->findChild<QMenu*>("Edit_M")->menuAction()->isVisible());
    QVERIFY(!f->findChild<QMenu*>("View_M")->menuAction()->isVisible());
    QVERIFY(!f->findChild<QAction*>("FileBar")->isVisible());
    QVERIFY(!f->findChild<QAction*>("BkBar")->isVisible());
    for (int i = 0; i < 5; ++i) QVERIFY(!Ent(*f, static_cast<std::size_t>(i))->isVisible());
    QVERIFY(Control<QProgressBar>(*f, "PBar1")->isHidden());
    QVERIFY(Widget(*f, "BorderLine")->isHidden());
    QCOMPARE(PanelText(*f, 0), QString());
    QCOMPARE(PanelText(*f, 1), QStringLiteral("ID:"));
    QCOMPARE(PanelText(*f, 2), QStringLiteral("発言者:"));
    QCOMPARE(PanelText(*f, 3), QStringLiteral("ﾀｲﾄﾙ:"));
    QCOMPARE(f->findChild<QAction*>("Copy_M")->shortcut(), QKeySequence(QStringLiteral("Ctrl+C")));
    QCOMPARE(f->findChild<QAction*>("Com_M")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Right")));
    QCOMPARE(f->findChild<QToolButton*>("Com_B")->toolTip(), QStringLiteral("コメント発言"));
    QCOMPARE(f->findChild<QToolButton*>("Com_B")->geometry(), QRect(104, 4, 25, 25));

    f->close();
    QVERIFY(ui_->errors.isEmpty());
    ProfileFile ini(ini_);
    const std::pair<const char*, const char*> keys[] = {
        {"SortType", "1"}, {"Numb", "1"}, {"Name", "1"}, {"Date", "0"}, {"OpenFolder", ""}};
    for (auto [k, v] : keys) QCOMPARE(ini.ReadString("Option", k, "?"), std::string(v));
    QCOMPARE(ini.ReadString("Font", "FontName", "?"), std::string("FixedSys"));
    QCOMPARE(ini.ReadString("Font", "FontSize", "?"), std::string("14"));
    QCOMPARE(ini.ReadString("Font", "Color", "?"), std::string("-2147483640"));
    QCOMPARE(ini.ReadString("Option", "Color", "?"), std::string("-2147483643"));
    QCOMPARE(ini.ReadString("FONT", "FontStyle", "?"), std::string("0"));
    for (int i = 0; i < 5; ++i) {
      QCOMPARE(ini.ReadString("FileName", "File_" + std::to_string(i), "?"), std::string());
    }
    QCOMPARE(ini.ReadString("Option", "Top", "?"), std::string("40"));
    QCOMPARE(ini.ReadString("Option", "Left", "?"), std::string("88"));
    QCOMPARE(ini.ReadString("Option", "Height", "?"), std::string("507"));
    QCOMPARE(ini.ReadString("Option", "Width", "?"), std::string("633"));
    const std::string text = ReadFile(ini_);
    QVERIFY(text.find("SortType=1") < text.find("OpenFolder="));
    QVERIFY(text.find("OpenFolder=") < text.find("Width=633"));
  }

  // Hexadecimal and letter values, "FONT" and "Font" as one section, and the
  // face name written back exactly as it was read.
  void settingsValueForms() {
    WriteIni(
        Sjis("[Option]\r\nSortType=0x2\r\nNumb=abc\r\nName=0\r\nDate=2\r\nColor=$0000FF\r\n"
             "[FONT]\r\nFontName=ＭＳ ゴシック\r\nFontStyle=3\r\n"
             "[Font]\r\nFontSize=$0C\r\nColor=255\r\n"));
    {
      auto f = MakeForm();
      QCOMPARE(static_cast<int>(f->Session().Sort()), 2);
      QCOMPARE(f->Session().Columns().ShowNumber, true);  // letters: the default
      QCOMPARE(f->Session().Columns().ShowSpeaker, false);
      QCOMPARE(f->Session().Columns().ShowDate, true);  // 2 is true
      QCOMPARE(Memo(*f)->font().family(), QStringLiteral("ＭＳ ゴシック"));
      QCOMPARE(Memo(*f)->font().pointSize(), 12);
      QVERIFY(Memo(*f)->font().bold() && Memo(*f)->font().italic());
      QVERIFY(!Memo(*f)->font().underline() && !Memo(*f)->font().strikeOut());
      QCOMPARE(Memo(*f)->palette().color(QPalette::Text), QColor(255, 0, 0));
      QCOMPARE(Memo(*f)->palette().color(QPalette::Base), QColor(255, 0, 0));
      if (QFontDatabase::families().contains(QStringLiteral("IPAGothic"))) {
        QCOMPARE(QFontInfo(Memo(*f)->font()).family(), QStringLiteral("IPAGothic"));
      }
      f->close();
    }
    ProfileFile ini(ini_);
    QCOMPARE(ini.ReadString("Font", "FontName", "?"), Sjis("ＭＳ ゴシック"));
    QCOMPARE(ini.ReadString("FONT", "FontStyle", "?"), std::string("3"));
    QCOMPARE(ini.ReadString("Option", "SortType", "?"), std::string("2"));
    QCOMPARE(ini.ReadString("Option", "Numb", "?"), std::string("1"));
    QCOMPARE(ini.ReadString("Option", "Color", "?"), std::string("255"));

    WriteIni("[font]\r\nFontStyle=0x8\r\n");
    auto g = MakeForm();
    QVERIFY(Memo(*g)->font().strikeOut());
    QVERIFY(!Memo(*g)->font().bold() && !Memo(*g)->font().italic());
  }

  // The first argument is opened, the second ignored; a first argument that
  // is no file leaves the window empty and says why.
  void commandLineOpensOnlyTheFirst() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}}));
    const auto b = dir_->Write("b.log", MakeLog({{5, 0}}));
    {
      auto f = MakeForm({Path(a), Path(b)});
      QCOMPARE(Q(f->Session().LogFileName()), Path(a));
      QCOMPARE(RecentName(*f, 0), Path(a));
      QCOMPARE(RecentName(*f, 1), QString());
      QVERIFY(Ent(*f, 0)->isVisible() && Action(*f, "FileBar")->isVisible() && !Ent(*f, 1)->isVisible());
      QCOMPARE(f->windowTitle(), QStringLiteral("Kest32-テストログ"));
      QCOMPARE(Q(f->Session().OpenFolder()), Path(dir_->Path()) + QLatin1Char('/'));
      QCOMPARE(ui_->beeps, 1);
      QVERIFY(ui_->waits > 0);
      f->close();
    }
    auto g = MakeForm({Path(dir_->Path() / "none.log"), Path(a)});
    QVERIFY(!g->Session().LogLoaded());
    QTRY_COMPARE(ui_->infos.size(), 1);
    QVERIFY(Tells(ui_->infos[0], QStringLiteral("ファイルが見つかりません"), dir_->Path() / "none.log"));
    QCOMPARE(ui_->details.last(), Path(dir_->Path() / "none.log"));  // the whole path
    QVERIFY(g->isVisible());
    QCOMPARE(RecentName(*g, 0), Path(a));  // read back from the settings
  }

  // The first remark is shown after the load, with the fields in the panels
  // and header line 2 as the pane's first line.
  void loadShowsTheFirstRemark() {
    const auto a = dir_->Write("a.log", MakeLog({{3, 0}, {1, 0}, {2, 0}}));
    WriteIni("[Option]\r\nSortType=0\r\n");
    auto f = MakeForm({Path(a)});
    QCOMPARE(f->Session().LineCount(), 3);
    QCOMPARE(f->Session().Selected().v, 0);
    QCOMPARE(f->Session().Shown().line.v, 0);
    QCOMPARE(PanelText(*f, 0), QStringLiteral("3"));
    QCOMPARE(PanelText(*f, 1), QStringLiteral("ID: ABC01234"));
    QCOMPARE(PanelText(*f, 2), QStringLiteral("発言者: poster          "));
    QCOMPARE(PanelText(*f, 3), QStringLiteral("ﾀｲﾄﾙ: title3"));
    QCOMPARE(Pane(*f), Line2("96/03/01", 0) + "\r\nbody 3\r\n");
    QVERIFY(Memo(*f)->isVisible());
    QVERIFY(Control<QProgressBar>(*f, "PBar1")->isHidden());
    QCOMPARE(Memo(*f)->SelStart(), 0);
    // Remark order keeps position 0 and sorts the rest.
    QVERIFY(Line(*f, 1).startsWith(QStringLiteral("1 ABC01234 poster")));
    QVERIFY(Line(*f, 2).startsWith(QStringLiteral("2 ")));
    QVERIFY(f->findChild<QMenu*>("Edit_M")->menuAction()->isVisible());
    QVERIFY(f->findChild<QMenu*>("View_M")->menuAction()->isVisible());
    QVERIFY(Button(*f, "NSort_B")->isChecked() && Action(*f, "NSort_M")->isChecked() &&
            !Button(*f, "RSort_B")->isChecked());
    QVERIFY(Button(*f, "Numb_VB")->isChecked() && Button(*f, "Name_VB")->isChecked() &&
            !Button(*f, "Date_VB")->isChecked());
    QVERIFY(Enabled(*f, "Numb_VM") && Enabled(*f, "StrFind") && Enabled(*f, "BM_P"));
    QVERIFY(!Enabled(*f, "PrevS_M"));
  }

  // Previous and next on the first, a middle, the last and the only line.
  void commandStatesAlongTheList() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}, {3, 0}}));
    auto f = MakeForm({Path(a)});
    auto states = [&] {
      return QString("%1%2%3%4%5%6")
          .arg(Enabled(*f, "Prev_M"))
          .arg(Enabled(*f, "Prev_B"))
          .arg(Enabled(*f, "Prev_P"))
          .arg(Enabled(*f, "Next_M"))
          .arg(Enabled(*f, "Next_B"))
          .arg(Enabled(*f, "Next_P"));
    };
    QCOMPARE(f->Session().LineCount(), 3);
    Click(*f, 0);
    QCOMPARE(states(), QStringLiteral("000111"));
    Click(*f, 1);
    QCOMPARE(states(), QStringLiteral("111111"));
    QCOMPARE(PanelText(*f, 0), QStringLiteral("2"));
    Click(*f, 2);
    QCOMPARE(states(), QStringLiteral("111000"));
    Trigger(*f, "Prev_M");
    QCOMPARE(f->Session().Selected().v, 1);
    QCOMPARE(PanelText(*f, 0), QStringLiteral("2"));
    QVERIFY(Memo(*f)->hasFocus());

    const auto one = dir_->Write("one.log", MakeLog({{7, 0}}));
    f->LoadLog(Path(one));
    QCOMPARE(f->Session().LineCount(), 1);
    QCOMPARE(states(), QStringLiteral("000000"));
  }

  // Clicking the shown line again reads nothing, but refreshes the commands.
  void clickingTheShownLineAgain() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}, {3, 0}}));
    WriteIni("[Option]\r\nSortType=0\r\n");
    auto f = MakeForm({Path(a)});
    const std::string shown = Pane(*f);
    // Same length, other bytes: a re-read would show them.
    std::string changed = ReadFile(a);
    for (std::size_t p; (p = changed.find("body")) != std::string::npos;) changed.replace(p, 4, "BODY");
    std::ofstream(a, std::ios::binary | std::ios::trunc) << changed;
    Action(*f, "Next_M")->setEnabled(false);  // the button shows the action's state
    QVERIFY(!Button(*f, "Next_B")->isEnabled());
    Click(*f, 0);
    QCOMPARE(Pane(*f), shown);
    QVERIFY(Action(*f, "Next_M")->isEnabled() && Button(*f, "Next_B")->isEnabled());
    // The file has changed behind the index: read again on the user's word,
    // and the new bytes shown.
    ui_->askAnswers = {0};
    Click(*f, 1);
    QCOMPARE(ui_->asks.size(), 1);
    QVERIFY(Pane(*f).find("BODY 2") != std::string::npos);
  }

  // Content order (2): a top remark with two replies, one of which has a
  // reply itself, unfolds to three lines; the inner one unfolds below it;
  // folding the top removes all of them.
  void contentOrderUnfoldAndFold() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 1}, {3, 1}, {4, 2}, {9, 0}}));
    auto f = MakeForm({Path(a)});
    QCOMPARE(f->Session().LineCount(), 2);
    QVERIFY(Line(*f, 0).startsWith(QStringLiteral(" +1 ABC01234")));
    DoubleClick(*f, 0);
    QCOMPARE(f->Session().LineCount(), 4);
    QVERIFY(Line(*f, 0).startsWith(QStringLiteral(" -1 ")));
    QVERIFY(Line(*f, 1).startsWith(QStringLiteral(" ┠ +2 ")));
    QVERIFY(Line(*f, 2).startsWith(QStringLiteral(" ┗  3 ")));
    QVERIFY(Line(*f, 3).startsWith(QStringLiteral("  9 ")));
    QCOMPARE(f->Session().Selected().v, 0);
    QVERIFY(Button(*f, "Com_B")->isEnabled());  // the next remark is a direct reply

    DoubleClick(*f, 1);
    QCOMPARE(f->Session().LineCount(), 5);
    QVERIFY(Line(*f, 1).startsWith(QStringLiteral(" ┠ -2 ")));
    QVERIFY(Line(*f, 2).startsWith(QStringLiteral(" ┃┗  4 ")));
    QCOMPARE(PanelText(*f, 0), QStringLiteral("2"));

    // A line without replies changes nothing; the sibling's comment command
    // is off, since the next remark in content order is no reply of it.
    Click(*f, 3);
    QVERIFY(!Button(*f, "Com_B")->isEnabled());
    DoubleClick(*f, 3);
    QCOMPARE(f->Session().LineCount(), 5);

    DoubleClick(*f, 0);
    QCOMPARE(f->Session().LineCount(), 2);
    QVERIFY(Line(*f, 0).startsWith(QStringLiteral(" +1 ")));
    QCOMPARE(f->Session().Selected().v, 0);

    // The last remark in content order: nothing at all, not even a refresh.
    Click(*f, 1);
    Button(*f, "Prev_B")->setEnabled(false);
    DoubleClick(*f, Selected(*f).v);
    QCOMPARE(f->Session().LineCount(), 2);
    QVERIFY(!Button(*f, "Prev_B")->isEnabled());
  }

  // In the orders without folding a double-click gives the room to the text.
  void doubleClickMaximisesTheTextElsewhere() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 1}}));
    WriteIni("[Option]\r\nSortType=2\r\n");
    auto f = MakeForm({Path(a)});
    DoubleClick(*f, 1);
    QCOMPARE(FormProbe::ListHeight(*f), 1);
    QCOMPARE(f->Session().LineCount(), 2);
  }

  // Toggling a column keeps the unfolded threads, the selection and the
  // shown remark.
  void columnToggleKeepsFoldsAndSelection() {
    const auto a = dir_->Write("a.log", ThreadLog());
    auto f = MakeForm({Path(a)});
    DoubleClick(*f, 0);
    Click(*f, 1);  // remark 2
    QCOMPARE(PanelText(*f, 0), QStringLiteral("2"));
    const int lines = f->Session().LineCount();
    QTest::mouseClick(Button(*f, "Date_VB"), Qt::LeftButton);
    QVERIFY(f->Session().Columns().ShowDate && Button(*f, "Date_VB")->isChecked() &&
            Action(*f, "Date_VM")->isChecked());
    QCOMPARE(f->Session().LineCount(), lines);
    QVERIFY(Line(*f, 0).startsWith(QStringLiteral(" -1 96/03/01 ABC01234")));
    QCOMPARE(f->Session().Selected().v, 1);
    QCOMPARE(f->Session().Shown().line.v, 1);
    QCOMPARE(PanelText(*f, 0), QStringLiteral("2"));
    QVERIFY(Pane(*f).find("body 2") != std::string::npos);
    QVERIFY(Memo(*f)->isVisible());
    Action(*f, "Numb_VM")->trigger();
    QVERIFY(!f->Session().Columns().ShowNumber && !Button(*f, "Numb_VB")->isChecked());
    QVERIFY(Line(*f, 0).startsWith(QStringLiteral(" -96/03/01 ")));
  }

  // Content order (2): the lines that lead to a reply of a reply unfold from
  // the top down; a number the log lacks changes nothing in any order.
  void selectRemarkByNumber() {
    const auto a = dir_->Write("a.log", ThreadLog());
    auto f = MakeForm({Path(a)});
    QCOMPARE(f->Session().LineCount(), 3);                                // 1, 7, 8
    Do(*f, [&](LogSession& s) { s.SelectRemarkByNumber(RemarkNo(6)); });  // 6 -> 4 -> 2 -> 1
    QCOMPARE(PanelText(*f, 0), QStringLiteral("6"));
    const ListLine line = f->Session().Selected();
    QCOMPARE(f->Session().ItemOf(line)->Number, RemarkNo(6));
    QCOMPARE(f->Session().Shown().line, line);
    QVERIFY(f->Session().ItemOf(ListLine(0))->Expanded);  // 1
    QVERIFY(f->Session().ItemOf(ListLine(1))->Expanded);  // 2
    QVERIFY(f->Session().ItemOf(ListLine(2))->Expanded);  // 4
    QCOMPARE(line.v, 3);
    QVERIFY(Pane(*f).find("body 6") != std::string::npos);

    const int lines = f->Session().LineCount();
    Do(*f, [&](LogSession& s) { s.SelectRemarkByNumber(RemarkNo(99)); });
    QCOMPARE(f->Session().LineCount(), lines);
    QCOMPARE(f->Session().Selected(), line);
    QCOMPARE(PanelText(*f, 0), QStringLiteral("6"));

    // Switching the order finds the shown remark again, with a beep.
    const int beeps = ui_->beeps;
    Trigger(*f, "NSort_M");
    QCOMPARE(static_cast<int>(f->Session().Sort()), 0);
    QCOMPARE(PanelText(*f, 0), QStringLiteral("6"));
    QCOMPARE(f->Session().Selected().v, 5);
    QCOMPARE(ui_->beeps, beeps + 1);
    Trigger(*f, "NSort_M");  // already active: nothing, no beep
    QCOMPARE(ui_->beeps, beeps + 1);
    Do(*f, [&](LogSession& s) { s.SelectRemarkByNumber(RemarkNo(99)); });
    QCOMPARE(f->Session().Selected().v, 5);
    Do(*f, [&](LogSession& s) { s.SelectRemarkByNumber(RemarkNo(2)); });
    QCOMPARE(f->Session().Selected().v, 1);
    QCOMPARE(PanelText(*f, 0), QStringLiteral("2"));
  }

  // The shown remark's line is followed as lines are inserted and removed
  // above it, and forgotten when its line goes: a click then always shows
  // the remark of the line clicked.
  void lastShownLineFollowsFolds() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 1}, {3, 1}, {7, 0}, {8, 7}}));
    auto f = MakeForm({Path(a)});
    QCOMPARE(f->Session().LineCount(), 2);  // 1+, 7+
    Click(*f, 1);
    QCOMPARE(PanelText(*f, 0), QStringLiteral("7"));
    f->Session().Select(ListLine(0));               // the selection moves without showing anything
    Do(*f, [](LogSession& s) { s.ToggleFold(); });  // inserts 2 and 3 above the shown line
    QCOMPARE(f->Session().Shown().line.v, 3);
    Click(*f, 1);  // line 1 is now remark 2
    QCOMPARE(PanelText(*f, 0), QStringLiteral("2"));
    QCOMPARE(f->Session().Shown().line.v, 1);

    // Folding the thread removes the shown line: a click on line 1, now
    // remark 7 again, shows it.
    f->Session().Select(ListLine(0));
    Do(*f, [](LogSession& s) { s.ToggleFold(); });
    QCOMPARE(f->Session().Shown().line.v, -1);
    Click(*f, 1);
    QCOMPARE(PanelText(*f, 0), QStringLiteral("7"));
    QVERIFY(Pane(*f).find("body 7") != std::string::npos);
  }

  // A missing file is refused and the shown log stays readable.
  void missingFileKeepsTheShownLog() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}}));
    WriteIni("[Option]\r\nSortType=0\r\n");
    auto f = MakeForm({Path(a)});
    FormProbe::PushRecentFile(*f, Path(dir_->Path() / "gone.log"));
    f->LoadLog(Path(dir_->Path() / "gone.log"));
    QCOMPARE(ui_->infos.size(), 1);
    QVERIFY(Tells(ui_->infos[0], QStringLiteral("ファイルが見つかりません"), dir_->Path() / "gone.log"));
    QCOMPARE(Q(f->Session().LogFileName()), Path(a));
    QCOMPARE(RecentName(*f, 0), Path(dir_->Path() / "gone.log"));
    Click(*f, 1);
    QCOMPARE(PanelText(*f, 0), QStringLiteral("2"));
    QVERIFY(Pane(*f).find("body 2") != std::string::npos);
    f->LoadLog(Path(dir_->Path()));  // a folder is no log either
    QCOMPARE(ui_->infos.size(), 2);
    QVERIFY(ui_->errors.isEmpty());
  }

  // A log deleted or cut short after the load: the message, an empty (or
  // partial) pane that is visible, and a click on the same line tries again.
  void logGoneAfterLoad() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}, {3, 0}}));
    WriteIni("[Option]\r\nSortType=0\r\n");
    auto f = MakeForm({Path(a)});
    const std::string bytes = ReadFile(a);
    std::filesystem::remove(a);
    Click(*f, 1);
    QCOMPARE(ui_->errors.size(), 1);
    QVERIFY(ui_->errors[0].contains(QStringLiteral("見つかりません")) ||
            ui_->errors[0].contains(QStringLiteral("開けません")));
    QVERIFY(Memo(*f)->isVisible());
    QCOMPARE(Pane(*f), std::string());
    QCOMPARE(PanelText(*f, 0), QStringLiteral("2"));
    QCOMPARE(f->Session().Shown().line.v, -1);
    QVERIFY(Button(*f, "Next_B")->isEnabled());
    Click(*f, 1);
    QCOMPARE(ui_->errors.size(), 2);

    // Back, but cut short in the middle of the last remark: another file
    // than the index was made from, so nothing is read through it; read
    // again on the user's word, what is left is shown.
    std::ofstream(a, std::ios::binary) << bytes.substr(0, bytes.size() - 2);
    Click(*f, 2);
    QCOMPARE(ui_->errors.size(), 2);
    QCOMPARE(ui_->asks.size(), 1);
    QVERIFY(Memo(*f)->isVisible());
    QCOMPARE(Pane(*f), std::string());
    ui_->askAnswers = {0};
    Click(*f, 2);
    QCOMPARE(ui_->asks.size(), 2);
    QVERIFY(Pane(*f).find("body 3") != std::string::npos);  // what is left
    Click(*f, 0);
    QCOMPARE(ui_->errors.size(), 2);
    QVERIFY(Pane(*f).find("body 1") != std::string::npos);
  }

  // A log without remarks, and an empty file, load with an empty list and
  // an empty pane.
  void emptyLogs() {
    const auto t = dir_->Write("t.log", Sjis("タイトルだけ") + "\r\n");
    const auto z = dir_->Write("z.log", "");
    auto f = MakeForm({Path(t)});
    QVERIFY(f->Session().LogLoaded());
    QCOMPARE(f->windowTitle(), QStringLiteral("Kest32-t.log"));  // no remark: the file's name
    QCOMPARE(f->Session().LineCount(), 0);
    QCOMPARE(Pane(*f), std::string());
    QVERIFY(Memo(*f)->isVisible());
    QCOMPARE(f->Session().Selected().v, -1);
    QVERIFY(!Enabled(*f, "Next_B") && !Enabled(*f, "Prev_B") && !Enabled(*f, "Com_B"));
    Trigger(*f, "RSort_M2");
    Trigger(*f, "Date_VM");
    f->LoadLog(Path(z));
    QCOMPARE(f->Session().LineCount(), 0);
    QCOMPARE(PanelText(*f, 1), QStringLiteral("ID:"));
    QVERIFY(ui_->errors.isEmpty());
  }

  // Shutdown with a settings folder that has gone, or a settings path below
  // a plain file: one message, the window closes, no file appears.
  void shutdownWithUnwritableSettings() {
    {
      UseIni(dir_->Path() / "sub" / "Kest.INI");
      std::filesystem::create_directory(dir_->Path() / "sub");
      auto f = MakeForm();
      std::filesystem::remove_all(dir_->Path() / "sub");
      QVERIFY(f->close());
      QCOMPARE(ui_->errors.size(), 1);
      QVERIFY(ui_->errors[0].endsWith(QStringLiteral("に書き込めません")));
      QVERIFY(!f->isVisible());
      QVERIFY(!std::filesystem::exists(dir_->Path() / "sub"));
    }
    {
      const auto plain = dir_->Write("plain", "not a folder");
      UseIni(plain / "Kest.INI");
      auto f = MakeForm();
      QVERIFY(f->close());
      QCOMPARE(ui_->errors.size(), 2);
      QCOMPARE(ReadFile(plain), std::string("not a folder"));
    }
    QCOMPARE(std::distance(std::filesystem::directory_iterator(dir_->Path()),
                           std::filesystem::directory_iterator()),
             1);  // only "plain": no temporary file was left behind
  }

  // Recent files: captions from and to the settings, the order of use.
  void recentFiles() {
    WriteIni("[FileName]\r\nFile_0=/A\r\nFile_1=/B\r\nFile_2=/C\r\nFile_3=/D\r\nFile_4=/E\r\n");
    auto f = MakeForm();
    auto list = [&] {
      QStringList l;
      for (int i = 0; i < 5; ++i) l << RecentName(*f, i);
      return l.join(QLatin1Char(','));
    };
    QCOMPARE(list(), QStringLiteral("/A,/B,/C,/D,/E"));
    QVERIFY(Action(*f, "FileBar")->isVisible() && Ent(*f, 4)->isVisible());
    FormProbe::PushRecentFile(*f, QStringLiteral("/C"));
    QCOMPARE(list(), QStringLiteral("/C,/A,/B,/D,/E"));
    FormProbe::PushRecentFile(*f, QStringLiteral("/E"));
    QCOMPARE(list(), QStringLiteral("/E,/C,/A,/B,/D"));
    FormProbe::PushRecentFile(*f, QStringLiteral("/F&G"));
    QCOMPARE(list(), QStringLiteral("/F&G,/E,/C,/A,/B"));
    QCOMPARE(Ent(*f, 0)->text(), QStringLiteral("/F&&G"));  // no mnemonic
    FormProbe::PushRecentFile(*f, QStringLiteral("/F&G"));
    QCOMPARE(list(), QStringLiteral("/F&G,/E,/C,/A,/B"));
    FormProbe::PushRecentFile(*f, QStringLiteral("/f&g"));
    QCOMPARE(RecentName(*f, 1), QStringLiteral("/F&G"));
    f->close();
    QCOMPARE(ProfileFile(ini_).ReadString("FileName", "File_0", "?"), std::string("/f&g"));
    QCOMPARE(ProfileFile(ini_).ReadString("FileName", "File_4", "?"), std::string("/A"));
  }

  // A right-click anywhere opens the window's own menu; every control has a
  // Japanese name for a screen reader; the list's lines are readable.
  void popupAndAccessibility() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}}));
    auto f = MakeForm({Path(a)});
    const QPoint at = List(*f)->visualRect(Model(*f)->index(0)).center();
    QContextMenuEvent onList(QContextMenuEvent::Mouse, at, List(*f)->viewport()->mapToGlobal(at));
    QApplication::sendEvent(List(*f)->viewport(), &onList);
    QVERIFY(MenuOf(*f, "PopupMenu1")->isVisible());
    MenuOf(*f, "PopupMenu1")->hide();
    emit Memo(*f)->contextMenuWanted(Memo(*f)->mapToGlobal(QPoint(5, 5)));
    QVERIFY(MenuOf(*f, "PopupMenu1")->isVisible());
    MenuOf(*f, "PopupMenu1")->hide();
    QContextMenuEvent onStatus(QContextMenuEvent::Mouse, QPoint(3, 3),
                               Panel(*f, 2)->mapToGlobal(QPoint(3, 3)));
    QApplication::sendEvent(Panel(*f, 2), &onStatus);
    QVERIFY(MenuOf(*f, "PopupMenu1")->isVisible());
    MenuOf(*f, "PopupMenu1")->hide();

    for (QWidget* w : f->findChildren<QWidget*>()) {
      if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractItemView*>(w) ||
          qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QProgressBar*>(w) ||
          qobject_cast<QStatusBar*>(w)) {
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
      }
    }
    for (const char* panel : {"IconPanel", "ListPanel", "BorderPanel", "MemoPanel"}) {
      QVERIFY2(!f->findChild<QWidget*>(panel)->accessibleName().isEmpty(), panel);
    }
    const QModelIndex first = Model(*f)->index(0);
    QCOMPARE(Model(*f)->data(first, Qt::AccessibleTextRole), Model(*f)->data(first));
    QCOMPARE(f->findChild<QLabel*>("Panel0")->text(), QStringLiteral("1"));
  }

  // An exception escaping a command ends in the error box with its message.
  void genericErrorHandler() {
    auto f = MakeForm();
    RunGuarded(f.get(), [] { throw std::runtime_error("壊れています"); });
    QCOMPARE(ui_->errors, QStringList{QStringLiteral("壊れています")});
  }

  // The version box: its caption, OK focused and closing it with Enter.
  void versionBox() {
    auto f = MakeForm();
    QString title;
    bool okFocused = false;
    QTimer::singleShot(0, this, [&] {
      auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!box) return;
      title = box->windowTitle();
      okFocused = box->focusWidget() == box->findChild<QPushButton*>("OKButton");
      QTest::keyClick(box, Qt::Key_Return);
    });
    QTimer::singleShot(5000, this, [] {  // never hang the run
      if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) box->reject();
    });
    Action(*f, "Ver_M")->trigger();
    QCOMPARE(title, QStringLiteral("バージョン情報"));
    QVERIFY(okFocused);
    QVERIFY(!QApplication::activeModalWidget());
  }

  // Opening a 100 MB log (about 200,000 remarks): KEST_BENCH=1 to run.
  void benchmarkLargeLog() {
    if (qEnvironmentVariableIntValue("KEST_BENCH") != 1) QSKIP("KEST_BENCH=1 runs the benchmark");
    const auto path = dir_->Path() / "big.log";
    {
      std::ofstream out(path, std::ios::binary);
      out << Sjis("大きなログ") << "\r\n\r\n";
      const std::string body(76, 'x');
      // Five digits number the remarks, so the numbers start again after
      // 99999; threads of eight, with replies to the top and to replies.
      auto number = [](int n) { return (n - 1) % 99999 + 1; };
      int top = 1;
      for (int n = 1; n <= 200000; ++n) {
        int to = 0;
        if (n % 8 == 1) top = n;
        else to = number((n % 3 == 0) ? n - 1 : top);
        out << Header5(number(n), "ABC01234", "poster", "title of remark " + std::to_string(n)) << "\r\n"
            << Line2("96/03/01", to) << "\r\n";
        for (int l = 0; l < 5; ++l) out << body << "\r\n";
      }
    }
    const double mb = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    auto rss = [] {
      std::ifstream statm("/proc/self/statm");
      long pages = 0, resident = 0;
      statm >> pages >> resident;
      return resident * sysconf(_SC_PAGESIZE);
    };
    auto f = MakeForm();
    QApplication::processEvents();
    const long before = rss();
    QElapsedTimer t;
    t.start();
    f->LoadLog(Path(path));
    QApplication::processEvents();
    const qint64 load = t.elapsed();
    const long after = rss();
    const double index = static_cast<double>(f->Session().Log()->MemoryUsed()) / 1e6;
    t.restart();
    Trigger(*f, "Date_VM");
    QApplication::processEvents();
    const qint64 column = t.elapsed();
    t.restart();
    Trigger(*f, "NSort_M");
    QApplication::processEvents();
    const qint64 toNumber = t.elapsed();
    t.restart();
    Trigger(*f, "RSort_M2");
    QApplication::processEvents();
    const qint64 toFull = t.elapsed();
    t.restart();
    Trigger(*f, "RSort_M");
    QApplication::processEvents();
    const qint64 toFolded = t.elapsed();
    qInfo(
        "log %.1f MB, %d remarks: load %lld ms; column %lld ms; order: number %lld ms, "
        "content (1) %lld ms, content (2) %lld ms; index %.1f MB, window beyond index %.1f MB",
        mb, f->Session().Log()->Count(), load, column, toNumber, toFull, toFolded, index,
        static_cast<double>(after - before) / 1e6 - index);
  }
};

QTEST_MAIN(Kest2Test)
#include "Kest2Test.moc"
