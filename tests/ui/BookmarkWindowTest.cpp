// Bookmarks in the window: the menu built from Kest.INI, adding a bookmark for
// the shown remark, jumping to one, and the organizer with its move dialog.
// Every box goes through a recording fake; modal dialogs are driven by the
// test instead of being shown.
#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <cerrno>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>

#include "bookmarks/BKCopy.h"
#include "bookmarks/BookCommands.h"
#include "bookmarks/BookUnit.h"
#include "bookmarks/TreeBook.h"
#include "core/LogFixture.h"
#include "platform/Codec.h"
#include "platform/Interaction.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "ui/FormFixture.h"
#include "ui/Kest2.h"
#include "ui/RecordingUi.h"
#include "ui/TitleListModel.h"

using namespace kest;
using namespace kest::test;

namespace {

using FakeUi = test::RecordingUi;

// Opens a submenu as the user does: its entries are made when it first opens.
QMenu* Opened(QMenu* menu) {
  Q_EMIT menu->aboutToShow();
  return menu;
}

// The menu from position 3 on, as "[group](...)" and "name:number".
QString Show(const QMenu* menu, int from = 0) {
  QStringList parts;
  const QList<QAction*> actions = menu->actions();
  for (qsizetype i = from; i < actions.size(); ++i) {
    QAction* a = actions[i];
    if (a->menu()) {
      parts << QStringLiteral("[%1](%2)").arg(a->text(), Show(Opened(a->menu())));
    } else {
      parts << QStringLiteral("%1:%2").arg(a->text()).arg(a->property("Tag").toInt());
    }
  }
  return parts.join(QLatin1Char(' '));
}

QAction* Entry(const QMenu* menu, const QString& text) {
  for (QAction* a : menu->actions()) {
    if (a->menu()) {
      if (QAction* found = Entry(Opened(a->menu()), text)) return found;
    } else if (a->text() == text) {
      return a;
    }
  }
  return nullptr;
}

}  // namespace

// Checks inside the lambdas that drive modal dialogs, which cannot return
// early the way QCOMPARE does; cleanup() reports them.
#define CHECK(c)                                                                \
  do {                                                                          \
    if (!(c)) failures_ << QStringLiteral("line %1: %2").arg(__LINE__).arg(#c); \
  } while (0)

class BookmarkWindowTest : public FormTest<FakeUi> {
  Q_OBJECT

 private:
  QStringList failures_;

  // Accepts the add dialog once with `name`, or with its proposal when none
  // is given; any later showing is cancelled and its text kept in `asked`.
  QStringList asked;
  void AcceptAdd(std::optional<QString> name = std::nullopt, QString* proposed = nullptr) {
    asked.clear();
    ui_->onModal = [=, this, shown = 0](QDialog& d) mutable {
      auto* dlg = qobject_cast<TBookDlg*>(&d);
      if (!dlg) return int(QDialog::Rejected);
      if (shown++ > 0) {
        asked << dlg->Edit1->text();
        return int(QDialog::Rejected);
      }
      if (proposed) *proposed = dlg->Edit1->text();
      if (name) dlg->Edit1->setText(*name);
      return int(QDialog::Accepted);
    };
  }
  QString Shown(TKestForm& f) { return PanelText(f, 0); }

 private slots:
  void init() { InitForm(); }
  void cleanup() {
    const QStringList failures = std::exchange(failures_, {});
    const bool waitsBalanced = CleanupForm();
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
    QVERIFY2(waitsBalanced, "every hourglass came back");
  }

  void menuIsBuiltFromBothSections() {
    {
      auto f = MakeForm();
      QCOMPARE(MenuOf(*f, "BookM_M")->actions().size(), 3);
      QVERIFY(!Action(*f, "BkBar")->isVisible());
      QVERIFY(!Action(*f, "BMCln")->isEnabled());
    }
    WriteIni(
        "[Book Dir]\r\nNews=A0|0\r\nOld=A1|A0\r\nLate=A3|A2\r\n[Book Mark]\r\n"
        "First reply=A1|15|/log/F1.LOG\r\nStart=3|/log/F2.LOG\r\nZero=0|0|/log/F3.LOG\r\n"
        "Bad=A0|x|/log/F4.LOG\r\nInLate=A3|4|/log/F5.LOG\r\nR&D=5|/log/F6.LOG\r\n");
    auto f = MakeForm();
    QCOMPARE(Show(MenuOf(*f, "BookM_M"), 3),
             QStringLiteral("[News]([Old](First reply:15)) Start:3 Zero:0 InLate:4 R&&D:5"));
    QVERIFY(Action(*f, "BkBar")->isVisible());
    QVERIFY(Action(*f, "BMCln")->isEnabled());
    QCOMPARE(Entry(MenuOf(*f, "BookM_M"), QStringLiteral("First reply"))->data().toString(),
             QStringLiteral("/log/F1.LOG"));
    // A rebuild replaces the entries, it does not add to them.
    Control<TBookCommands>(*f, "BookCommands")->LoadBookmarkMenu();
    QCOMPARE(MenuOf(*f, "BookM_M")->actions().size(), 8);
  }

  void addingWritesTheShownRemarkAndRefusesBadNames() {
    WriteIni("[Book Dir]\r\nNews=A0|0\r\n[Book Mark]\r\nDeep Name=A0|1|/x.log\r\n");
    const auto log = dir_->Write("a.log", MakeLog({{1, 0}, {2, 1}, {3, 0}}, "[Admin]"));
    auto f = MakeForm({Path(log)});
    QVERIFY(Action(*f, "BM_Set")->isEnabled() && Action(*f, "BM_P")->isEnabled());
    Do(*f, [&](LogSession& s) { s.SelectRemarkByNumber(RemarkNo(3)); });
    const std::string before = Ini();

    // The proposal is speaker and title; "[Admin] ..." would read back as a
    // section heading and is refused; so are names already used, in any
    // group and in any letter case; Cancel adds nothing.
    QString proposed;
    AcceptAdd(std::nullopt, &proposed);
    Trigger(*f, "BM_Set");
    QCOMPARE(proposed, QStringLiteral("[Admin] title3"));
    for (const QString& bad :
         {QStringLiteral("deep name"), QStringLiteral("NEWS"), QStringLiteral("a=b"), QStringLiteral("  ")}) {
      AcceptAdd(bad);
      Trigger(*f, "BM_Set");
      // A name that is no key is asked for again, as it was typed.
      QCOMPARE(asked, bad == QStringLiteral("a=b") ? QStringList{bad} : QStringList{});
    }
    ui_->onModal = nullptr;
    Trigger(*f, "BM_P");
    QCOMPARE(ui_->infos.size(), 5);
    QCOMPARE(ui_->infos[1], QStringLiteral("名前が重複しています"));
    QCOMPARE(ui_->infos[2], QStringLiteral("名前が重複しています"));
    QCOMPARE(Ini(), before);

    AcceptAdd(QStringLiteral(" Admin: third "));
    Trigger(*f, "BM_P");
    const std::string value = PathToProfile(Path(log).toStdString());
    QCOMPARE(QString::fromStdString(Ini()),
             QString::fromStdString(before.substr(0, before.size()) + "Admin: third=3|" + value + "\r\n"));
    QCOMPARE(Show(MenuOf(*f, "BookM_M"), 3), QStringLiteral("[News](Deep Name:1) Admin: third:3"));
  }

  void blankSpeakerAndRemarkZeroStillMakeBookmarksThatReadBack() {
    const auto log = dir_->Write("z.log", MakeLog({{0, 0}, {1, 0}}, ""));
    auto f = MakeForm({Path(log)});
    Do(*f, [&](LogSession& s) { s.SelectRemarkByNumber(RemarkNo(0)); });
    QCOMPARE(Shown(*f), QStringLiteral("0"));
    QString proposed;
    AcceptAdd(std::nullopt, &proposed);
    Trigger(*f, "BM_Set");
    QCOMPARE(proposed, QStringLiteral(" title0"));  // the blank speaker leaves a leading blank
    QVERIFY(Ini().find("title0=0|0|" + PathToProfile(Path(log).toStdString())) != std::string::npos);
    QAction* entry = Entry(MenuOf(*f, "BookM_M"), QStringLiteral("title0"));
    QVERIFY(entry);
    QCOMPARE(entry->property("Tag").toInt(), 0);
    auto g = MakeForm();  // a restart reads it back
    QVERIFY(Entry(MenuOf(*g, "BookM_M"), QStringLiteral("title0")));
  }

  void jumpsOpenTheLogOnlyWhenNeeded() {
    const auto a = dir_->Write("a.log", MakeLog({{1, 0}, {2, 1}, {3, 2}, {4, 0}, {5, 3}}));
    const std::string longName = std::string(200, 'd');
    std::filesystem::create_directories(dir_->Path() / longName / longName);
    const auto b = dir_->Write(longName + "/" + longName + "/b.log", MakeLog({{7, 0}, {8, 0}}));
    QVERIFY(Path(b).toUtf8().size() > 255);
    WriteIni("[Book Mark]\r\nA5=5|" + Path(a).toStdString() + "\r\nB8=0|8|" +
             PathToProfile(Path(b).toStdString()) + "\r\nGone=2|" + (dir_->Path() / "gone.log").string() +
             "\r\nNoSuch=99|" + Path(a).toStdString() + "\r\n");
    auto f = MakeForm();
    // No log shown and a missing file: the message, and nothing more.
    Entry(MenuOf(*f, "BookM_M"), QStringLiteral("Gone"))->trigger();
    QCOMPARE(ui_->asks.size(), 1);
    QVERIFY(ui_->asks[0].startsWith(QStringLiteral("しおり「Gone」のログファイルが見つかりません")));
    QVERIFY(ui_->infos.isEmpty());
    QVERIFY(Q(f->Session().LogFileName()).isEmpty() && !f->Session().LogLoaded());

    // Content order (2): remark 5 sits in folded threads (5 -> 3 -> 2 -> 1).
    QCOMPARE(static_cast<int>(f->Session().Sort()), 1);
    Entry(MenuOf(*f, "BookM_M"), QStringLiteral("A5"))->trigger();
    QCOMPARE(Q(f->Session().LogFileName()), Path(a));
    QCOMPARE(RecentName(*f, 0), Path(a));
    QCOMPARE(Shown(*f), QStringLiteral("5"));
    QCOMPARE(f->Session().CurrentItem()->Number, RemarkNo(5));

    // The current log is not loaded again: no beep of a load.
    const int beeps = ui_->beeps;
    Do(*f, [&](LogSession& s) { s.SelectRemarkByNumber(RemarkNo(1)); });
    Entry(MenuOf(*f, "BookM_M"), QStringLiteral("A5"))->trigger();
    QCOMPARE(ui_->beeps, beeps);
    QCOMPARE(Shown(*f), QStringLiteral("5"));
    // A number the log does not hold leaves the selection.
    Entry(MenuOf(*f, "BookM_M"), QStringLiteral("NoSuch"))->trigger();
    QCOMPARE(Shown(*f), QStringLiteral("5"));

    // A missing file leaves the shown log, its name and the recent files.
    Entry(MenuOf(*f, "BookM_M"), QStringLiteral("Gone"))->trigger();
    QCOMPARE(Q(f->Session().LogFileName()), Path(a));
    QCOMPARE(Shown(*f), QStringLiteral("5"));
    QCOMPARE(RecentName(*f, 0), Path(a));
    QVERIFY(RecentName(*f, 1).isEmpty());

    // A path over 255 bytes opens whole.
    Entry(MenuOf(*f, "BookM_M"), QStringLiteral("B8"))->trigger();
    QCOMPARE(Q(f->Session().LogFileName()), Path(b));
    QCOMPARE(Shown(*f), QStringLiteral("8"));
  }

  void organizerCancelLeavesTheFileAndOkWritesTheEdits() {
    const std::string file =
        "[Option]\r\nTop=1\r\n[Book Dir]\r\nNews=A0|0\r\nOld=A2|A0\r\n[Book Mark]\r\n"
        "a=1|/a.log\r\nb=0|2|/b.log\r\nbad=A0|x|/c.log\r\nc=A2|3|/c.log\r\n";
    WriteIni(file);
    auto f = MakeForm();
    TTBook* book = nullptr;
    ui_->onModal = [&](QDialog& d) {
      if (auto* move = qobject_cast<TBMCOPYFORM*>(&d)) {
        CHECK(move->windowTitle() == QStringLiteral("コピー先"));
        move->TreeView1->topLevelItem(0)->child(0)->child(1)->setSelected(true);  // Sub
        return int(QDialog::Accepted);
      }
      book = qobject_cast<TTBook*>(&d);
      if (!book) return int(QDialog::Rejected);
      // Tree: the root "しおり" with its two bookmarks listed, News > Old.
      CHECK(book->TreeView1->topLevelItem(0)->text(0) == QStringLiteral("しおり"));
      CHECK(book->BookList->count() == 2);
      CHECK(book->BMMove->isEnabled() && book->BMDel->isEnabled());
      ui_->inputs = {QStringLiteral("Newer"), QStringLiteral("Sub")};
      book->TreeView1->setCurrentItem(book->ItemOfNode(1));
      book->ReNameDirClick();
      book->AddDirClick();  // A1: the smallest free number, under News
      book->TreeView1->setCurrentItem(book->ItemOfNode(0));
      book->BookList->selectAll();
      book->BMMoveClick();
      CHECK(book->BookList->count() == 0);
      CHECK(!book->BMMove->isEnabled() && !book->BMReName->isEnabled());
      return int(QDialog::Rejected);
    };
    Trigger(*f, "BMCln");
    CHECK(book);
    CHECK((Ini()) == (file));  // Cancel: byte for byte
    CHECK((Show(MenuOf(*f, "BookM_M"), 3)) == (QStringLiteral("[News]([Old](c:3)) a:1 b:2")));

    // The same edits, then OK.
    ui_->onModal = [&](QDialog& d) {
      if (qobject_cast<TBMCOPYFORM*>(&d)) {
        static_cast<TBMCOPYFORM&>(d).TreeView1->topLevelItem(0)->child(0)->child(1)->setSelected(true);
        return int(QDialog::Accepted);
      }
      ui_->inputs = {QStringLiteral("Newer"), QStringLiteral("Sub")};
      book->TreeView1->setCurrentItem(book->ItemOfNode(1));
      book->ReNameDirClick();
      book->AddDirClick();
      book->TreeView1->setCurrentItem(book->ItemOfNode(0));
      book->BookList->selectAll();
      book->BMMoveClick();
      book->BitBtn1Click();
      return book->result();
    };
    Trigger(*f, "BMCln");
    CHECK((QString::fromStdString(Ini())) ==
          (QStringLiteral("[Option]\r\nTop=1\r\n[Book Dir]\r\nNewer=A0|0\r\nOld=A2|A0\r\n"
                          "Sub=A1|A0\r\n[Book Mark]\r\na=A1|1|/a.log\r\nb=A1|2|/b.log\r\n"
                          "bad=A0|x|/c.log\r\nc=A2|3|/c.log\r\n")));
    CHECK((Show(MenuOf(*f, "BookM_M"), 3)) == (QStringLiteral("[Newer]([Old](c:3) [Sub](a:1 b:2))")));
  }

  void organizerRenamesDeletesAndRefuses() {
    WriteIni(
        "[Book Dir]\r\nG=A0|0\r\nS=A1|A0\r\n[Book Mark]\r\nx=A0|1|/a\r\ny=A1|2|/a\r\n"
        "z=3|/a\r\nw=4|/a\r\n");
    auto f = MakeForm();
    ui_->onModal = [&](QDialog& d) {
      auto* book = qobject_cast<TTBook*>(&d);
      // Root: z and w. A duplicate rename and a name that is no key are refused.
      CHECK((book->BookList->count()) == (2));
      book->BookListClick();
      CHECK(book->BMReName->isEnabled());
      ui_->inputs = {QStringLiteral("X"), QStringLiteral("[w]"), QStringLiteral("w2"), QStringLiteral("s")};
      book->BMReNameClick();
      book->BMReNameClick();
      book->BMReNameClick();
      CHECK((book->BookList->item(0)->text()) == (QStringLiteral("w2")));
      book->AddDirClick();  // "s" is taken by the sub-group S
      CHECK((ui_->infos.size()) == (3));
      CHECK((ui_->infos[0]) == (QStringLiteral("名前が重複しています")));
      CHECK((ui_->infos[2]) == (QStringLiteral("名前が重複しています")));
      // The root cannot be deleted or renamed from the pop-up menu.
      book->BookMenuPopup();
      CHECK(!book->Delete1->isEnabled() && !book->ReNameDir->isEnabled());
      // Deleting w2 (the first line) asks once per line; Cancel keeps w.
      book->BookList->selectAll();
      ui_->confirmAnswers = {true, false};
      book->BMDelClick();
      CHECK((ui_->confirms) ==
            ((QStringList{QStringLiteral("<w2>を削除します"), QStringLiteral("<w>を削除します")})));
      // Deleting G takes S and the bookmarks of both.
      book->TreeView1->setCurrentItem(book->ItemOfNode(1));
      book->BookMenuPopup();
      CHECK(book->Delete1->isEnabled());
      book->Delete1Click();
      CHECK((book->TreeView1->topLevelItem(0)->childCount()) == (0));
      book->BitBtn1Click();
      return book->result();
    };
    Trigger(*f, "BMCln");
    CHECK((QString::fromStdString(Ini())) == (QStringLiteral("[Book Mark]\r\nw=0|4|/a\r\n")));
  }

  void organizerOkThatCannotWriteKeepsTheDialogOpen() {
    WriteIni("[Book Mark]\r\nz=3|/a\r\n");
    auto f = MakeForm();
    TTBook book(f.get());
    book.FormShow(f->Profile());
    // The disk fails while OK reads the file before writing it.
    SetProfileReadForTesting([](int, void*, std::size_t) -> long {
      errno = EIO;
      return -1;
    });
    book.BitBtn1Click();
    SetProfileReadForTesting(nullptr);
    QCOMPARE(ui_->errors.size(), 1);
    QVERIFY(ui_->errors[0].endsWith(QStringLiteral("に書き込めません")));
    QCOMPARE(book.result(), int(QDialog::Rejected));  // still open, every edit kept
    QCOMPARE(Ini(), std::string("[Book Mark]\r\nz=3|/a\r\n"));
  }

  // 2,000 bookmarks in 50 groups: every one in the menu and back in the file
  // after OK, each step quick (the figures go to the test's output).
  void thousandsOfBookmarksInTheMenuAndThroughOk() {
    std::string file = "[Book Dir]\r\n";  // in tree order, as OK writes it
    for (int t = 0; t < 10; ++t) {
      file += "Group " + std::to_string(t) + "=A" + std::to_string(t) + "|0\r\n";
      for (int g = t + 10; g < 50; g += 10) {
        file += "Group " + std::to_string(g) + "=A" + std::to_string(g) + "|A" + std::to_string(t) + "\r\n";
      }
    }
    file += "[Book Mark]\r\n";
    for (int i = 0; i < 2000; ++i) {
      file += "Bookmark " + std::to_string(i) + "=A" + std::to_string(i % 50) + "|" + std::to_string(i) +
              "|/home/user/logs/forum" + std::to_string(i % 13) + ".log\r\n";
    }
    WriteIni(file);
    auto f = MakeForm();
    QElapsedTimer t;
    t.start();
    Control<TBookCommands>(*f, "BookCommands")->LoadBookmarkMenu();
    const qint64 menuMs = t.elapsed();
    int entries = 0;
    std::function<void(const QMenu*)> count = [&](const QMenu* m) {
      for (QAction* a : m->actions()) a->menu() ? count(Opened(a->menu())) : void(++entries);
    };
    count(MenuOf(*f, "BookM_M"));
    QCOMPARE(entries, 3 + 2000);  // the three fixed entries, the separator among them
    qint64 okMs = 0;
    ui_->onModal = [&](QDialog& d) {
      auto* book = qobject_cast<TTBook*>(&d);
      QElapsedTimer ok;
      ok.start();
      book->BitBtn1Click();
      okMs = ok.elapsed();
      return book->result();
    };
    t.restart();
    Trigger(*f, "BMCln");
    const qint64 organizerMs = t.elapsed();
    QCOMPARE(Ini(), file);
    qInfo("menu of 2000 bookmarks: %lld ms; organizer shown, OK and menu again: %lld ms (OK: %lld ms)",
          menuMs, organizerMs, okMs);
    QVERIFY(menuMs < 2000 && organizerMs < 4000);  // loose: CI machines and sanitizers are slow
  }

  void dialogsHaveTheirCaptionsAndNames() {
    auto f = MakeForm();
    TBookDlg add(f.get());
    QCOMPARE(add.windowTitle(), QStringLiteral("しおりの追加"));
    QCOMPARE(add.OKBtn->text(), QStringLiteral("追加"));
    QCOMPARE(add.CancelBtn->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    QVERIFY(add.OKBtn->isDefault());
    QCOMPARE(add.OKBtn->nextInFocusChain(), static_cast<QWidget*>(add.CancelBtn));
    TTBook book(f.get());
    book.FormShow(f->Profile());
    QCOMPARE(book.windowTitle(), QStringLiteral("しおりの整理"));
    QCOMPARE(book.TreeView1->topLevelItemCount(), 1);
    QCOMPARE(book.BookList->count(), 0);
    QVERIFY(!book.BMMove->isEnabled() && !book.BMReName->isEnabled() && !book.BMDel->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{book.TreeView1, book.BookList, add.Edit1}) {
      QVERIFY(!w->accessibleName().isEmpty());
    }
  }
};

QTEST_MAIN(BookmarkWindowTest)
#include "BookmarkWindowTest.moc"
