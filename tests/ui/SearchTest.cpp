// The window's searches: the find dialog and the text search through the
// pane and the list in each order, the speaker dialog and the speaker
// search, the repeat commands, and files that change under a search.
#include <unistd.h>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <functional>

#include "core/LogFixture.h"
#include "platform/Codec.h"
#include "platform/FindDialog.h"
#include "platform/Interaction.h"
#include "search/Logdlg1.h"
#include "ui/ExMemo.h"
#include "ui/FormFixture.h"
#include "ui/Kest2.h"
#include "ui/RecordingUi.h"
#include "ui/TitleListModel.h"

using namespace kest;
using namespace kest::test;

namespace {

// Drives a modal dialog instead of running it; its answer is the result.
class FakeUi : public test::RecordingUi {
 public:
  std::function<bool(QDialog*)> dialog;
  bool RunModal(QDialog& d) override { return dialog ? dialog(&d) : false; }
};

const QString kEnded = QStringLiteral("検索が終了しました｡");

struct R {
  int number;
  int commentTo;
  std::string id;
  std::string speaker;
  std::vector<std::string> body;
};

std::string MakeLog(const std::vector<R>& remarks) {
  std::string s = "log\r\n\r\n";
  for (const R& r : remarks) {
    s += Header5(r.number, r.id, r.speaker, "title" + std::to_string(r.number)) + "\r\n" +
         Line2("96/03/01", r.commentTo) + "\r\n";
    for (const std::string& b : r.body) s += b + "\r\n";
  }
  return s;
}

}  // namespace

class SearchTest : public FormTest<FakeUi> {
  Q_OBJECT

 private:
  std::filesystem::path log_;

  std::unique_ptr<TKestForm> Open(const std::string& bytes, SortOrder sortType) {
    log_ = dir_->Write("s.log", bytes);
    auto f = MakeForm();
    if (!f->LoadLog(QString::fromStdString(log_.string()))) return f;
    if (sortType == SortOrder::Remark) Trigger(*f, "NSort_M");
    if (sortType == SortOrder::ContentFull) Trigger(*f, "RSort_M2");
    ui_->beeps = 0;
    return f;
  }
  // Types into the find dialog and presses its find button.
  void Find(TKestForm& f, const QString& text, bool down = true, bool matchCase = false) {
    Trigger(f, "StrFind");
    Control<TFindDialog>(f, "FindDialog1")->SetFindText(text);
    Control<TFindDialog>(f, "FindDialog1")->SetDown(down);
    Control<TFindDialog>(f, "FindDialog1")->SetMatchCase(matchCase);
    QTest::mouseClick(Control<TFindDialog>(f, "FindDialog1")->FindButton, Qt::LeftButton);
  }
  std::string SelectedText(TKestForm& f) {
    const std::string& t = Memo(f)->Text();
    return t.substr(static_cast<std::size_t>(Memo(f)->SelStart()),
                    static_cast<std::size_t>(Memo(f)->SelLength()));
  }
  int LineOf(TKestForm& f) {
    const TLogItem* item = f.Session().CurrentItem();
    return item ? item->Number.v : f.Session().Log()->GetNumber(IndexPos(f.Session().Selected().v)).v;
  }

 private slots:
  void init() { InitForm(); }
  void cleanup() { QVERIFY2(CleanupForm(), "every hourglass came back"); }

  // The dialog is modeless, one instance, keeps its text and options, and
  // an empty text does nothing.
  void findDialogKeepsItsStateAndRefusesEmptyText() {
    auto f = Open(MakeLog({{1, 0, "ABC00001", "a", {"text"}}}), SortOrder::Remark);
    Trigger(*f, "StrFind");
    TFindDialog* d = Control<TFindDialog>(*f, "FindDialog1");
    QVERIFY(d && d->isVisible() && !d->isModal());
    QCOMPARE(d->windowTitle(), QStringLiteral("検索"));
    QVERIFY(d->Down() && !d->MatchCase());
    QVERIFY(!d->FindButton->isEnabled());
    emit d->findRequested();  // empty text: nothing happens
    QVERIFY(!f->Session().Search().Searched && ui_->infos.isEmpty() && ui_->beeps == 0);
    d->SetFindText(QStringLiteral("xyz"));
    d->SetMatchCase(true);
    d->SetDown(false);
    d->close();
    Trigger(*f, "StrFind");
    QCOMPARE(Control<TFindDialog>(*f, "FindDialog1"), d);
    QVERIFY(d->isVisible());
    QCOMPARE(d->FindText(), QStringLiteral("xyz"));
    QVERIFY(d->MatchCase() && !d->Down());
    // At most 255 bytes of Shift-JIS: whole characters are dropped.
    d->SetFindText(QString(200, QChar(u'あ')));
    QCOMPARE(Utf8ToSjis(d->FindText().toStdString()).size(), std::size_t(254));
    const QWidget* controls[] = {d->FindEdit,   d->MatchCaseBox, d->UpButton,
                                 d->DownButton, d->FindButton,   d->CancelButton};
    for (const QWidget* w : controls) {
      QVERIFY(!w->accessibleName().isEmpty());
    }
  }

  void findTextWithoutShiftJisFormIsRefused() {
    auto f = Open(MakeLog({{1, 0, "ABC00001", "a", {"text"}}, {2, 0, "ABC00001", "a", {"more"}}}),
                  SortOrder::Remark);
    Find(*f, QStringLiteral("x\U0001F600"));
    QCOMPARE(ui_->infos.size(), 1);
    QVERIFY(ui_->infos[0].contains(QStringLiteral("Shift-JIS")));
    QVERIFY(!f->Session().Search().Searched);
    QCOMPARE(f->Session().Selected().v, 0);
  }

  // Forward: later in the shown remark first (the list selection stays),
  // then the next occurrence, then the following remarks; the text is upper-
  // cased when case is ignored, and the dialog closes.
  void forwardSearchGoesThroughThePaneThenTheList() {
    auto f = Open(MakeLog({{1, 0, "ABC00001", "a", {"one KEY", "two key"}},
                           {2, 0, "ABC00001", "a", {"nothing"}},
                           {3, 0, "ABC00001", "a", {"the Key at last"}}}),
                  SortOrder::Remark);
    Find(*f, QStringLiteral("key"));
    QVERIFY(!Control<TFindDialog>(*f, "FindDialog1")->isVisible());
    QCOMPARE(f->Session().Search().SearchKey, std::string("KEY"));
    QVERIFY(f->Session().Search().IgnoreCase && f->Session().Search().SearchKind == 1 &&
            f->Session().Search().Searched);
    QVERIFY(f->findChild<QAction*>("NextS_M")->isEnabled());
    QCOMPARE(f->Session().Selected().v, 0);
    QCOMPARE(SelectedText(*f), std::string("KEY"));
    Trigger(*f, "NextS_M");
    QCOMPARE(f->Session().Selected().v, 0);
    QCOMPARE(SelectedText(*f), std::string("key"));
    Trigger(*f, "NextS_M");
    QCOMPARE(f->Session().Selected().v, 2);
    QCOMPARE(Shown(*f), 3);
    QCOMPARE(SelectedText(*f), std::string("Key"));
    // On the last line with no further match in the pane: the message at once.
    Trigger(*f, "NextS_M");
    QCOMPARE(ui_->infos, QStringList{kEnded});
    QCOMPARE(ui_->beeps, 1);
    QCOMPARE(f->Session().Selected().v, 2);
    // Matching case: only the capitals.
    ui_->infos.clear();
    SelectLine(*f, ListLine(0));
    Find(*f, QStringLiteral("KEY"), true, true);
    QVERIFY(!f->Session().Search().IgnoreCase);
    QCOMPARE(SelectedText(*f), std::string("KEY"));
    Trigger(*f, "NextS_M");
    QCOMPARE(ui_->infos, QStringList{kEnded});
    QCOMPARE(Shown(*f), 1);
  }

  // The key only before the caret in the shown remark: the search goes on to
  // the following remarks. Backward never looks in the shown remark.
  void caretAndBackwardRules() {
    auto f = Open(MakeLog({{1, 0, "ABC00001", "a", {"word here"}},
                           {2, 0, "ABC00001", "a", {"word", "and word again"}},
                           {3, 0, "ABC00001", "a", {"plain"}}}),
                  SortOrder::Remark);
    SelectLine(*f, ListLine(1));
    Memo(*f)->SetSelStart(static_cast<std::int64_t>(Memo(*f)->Text().size()));
    Find(*f, QStringLiteral("word"));
    QCOMPARE(ui_->infos, QStringList{kEnded});  // nothing after line 1 holds it
    QCOMPARE(f->Session().Selected().v, 1);
    ui_->infos.clear();
    Trigger(*f, "PrevS_M");
    QCOMPARE(f->Session().Selected().v, 0);
    QCOMPARE(SelectedText(*f), std::string("word"));
    Trigger(*f, "PrevS_M");  // the first line: the message at once
    QCOMPARE(ui_->infos, QStringList{kEnded});
    QCOMPARE(f->Session().Selected().v, 0);
    // Backward from line 2 skips nothing of line 1 but starts above the
    // shown remark, and selects the first occurrence of the match.
    ui_->infos.clear();
    SelectLine(*f, ListLine(2));
    Trigger(*f, "PrevS_M");
    QCOMPARE(f->Session().Selected().v, 1);
    QCOMPARE(Memo(*f)->SelStart(), static_cast<std::int64_t>(Memo(*f)->Text().find("word")));
  }

  // Content order (2): a match deep in a folded thread unfolds each ancestor
  // from the outside in and selects the match's line; backward the same.
  void matchInsideFoldedThreads() {
    auto f = Open(MakeLog({{1, 0, "ABC00001", "a", {"top"}},
                           {2, 1, "ABC00001", "a", {"reply"}},
                           {3, 2, "ABC00001", "a", {"deep target"}},
                           {4, 0, "ABC00001", "a", {"other"}},
                           {5, 4, "ABC00001", "a", {"second target"}}}),
                  SortOrder::ContentFolded);
    QCOMPARE(f->Session().LineCount(), 2);
    Find(*f, QStringLiteral("target"));
    QCOMPARE(f->Session().LineCount(), 4);  // 1, 2, 3 unfolded, 4
    QCOMPARE(LineOf(*f), 3);
    QCOMPARE(Shown(*f), 3);
    QCOMPARE(SelectedText(*f), std::string("target"));
    Trigger(*f, "NextS_M");
    QCOMPARE(LineOf(*f), 5);
    QCOMPARE(f->Session().LineCount(), 5);
    Trigger(*f, "PrevS_M");
    QCOMPARE(LineOf(*f), 3);
    Trigger(*f, "NextS_M");
    QCOMPARE(LineOf(*f), 5);
    Trigger(*f, "NextS_M");
    QCOMPARE(ui_->infos, QStringList{kEnded});
    QCOMPARE(LineOf(*f), 5);
  }

  // A log that travelled (UTF-8, LF) is read through its Shift-JIS copy: the
  // search reads the copy, whose spans the index holds, not the original.
  void searchInAConvertedLog() {
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((dir_->Path() / "cache").string()));
    std::string log = MakeLog({{1, 0, "ABC00001", "a", {"\x83\x8d\x83\x4f", "first"}},
                               {2, 0, "ABC00002", "b", {"\x8c\x9f\x8d\xf5 target"}},
                               {3, 0, "ABC00003", "c", {"plain"}}});
    std::string utf8;
    for (std::size_t i = 0; i < log.size(); ++i)
      if (log[i] != '\r') utf8 += log[i];
    utf8 = SjisToUtf8(utf8);
    auto f = Open(utf8, SortOrder::Remark);
    qunsetenv("XDG_CACHE_HOME");
    QCOMPARE(f->Session().LineCount(), 3);
    Find(*f, QStringLiteral("検索 target"));
    QCOMPARE(Shown(*f), 2);
    QCOMPARE(SjisToUtf8(SelectedText(*f)), std::string("検索 target"));
  }

  // A file cut short or deleted after loading: a clear message, nothing newly
  // selected, nothing searched through the stale index, no crash.
  void fileCutShortOrGone() {
    std::string log = "log\r\n\r\n";
    std::vector<R> rs;
    for (int i = 1; i <= 50; ++i)
      rs.push_back({i, 0, "ABC00001", "a", {"remark number " + std::to_string(i)}});
    auto f = Open(MakeLog(rs), SortOrder::Remark);
    QVERIFY(::truncate(log_.c_str(), 300) == 0);
    Find(*f, QStringLiteral("nowhere"));
    // The change is told, with the offer to read the log again (declined).
    QCOMPARE(ui_->asks.size(), 1);
    QVERIFY(ui_->asks[0].contains(QStringLiteral("短く")));
    QVERIFY(ui_->infos.isEmpty() && ui_->errors.isEmpty());
    QCOMPARE(f->Session().Selected().v, 0);
    std::filesystem::remove(log_);
    Trigger(*f, "NextS_M");
    QCOMPARE(ui_->errors.size(), 1);
    QVERIFY(ui_->errors[0].contains(QStringLiteral("見つかりません")));
    QCOMPARE(f->Session().Selected().v, 0);
  }

  // Two names under one ID give two entries; either finds every remark of
  // the ID. The dialog opens on the shown poster with the last direction.
  void speakerDialogAndSearch() {
    auto f = Open(MakeLog({{1, 0, "AAA00001", "alice", {"x"}},
                           {2, 0, "BBB00002", "bob", {"x"}},
                           {3, 0, "AAA00001", "alice2", {"x"}},
                           {4, 0, "BBB00002", "bob", {"x"}},
                           {5, 0, "AAA00001", "alice", {"x"}}}),
                  SortOrder::Remark);
    SelectLine(*f, ListLine(1));  // bob's remark shown
    int seen = 0;
    std::size_t entries = 0;
    int row = -1, dirFirst = -1, dirSecond = -1;
    bool upOn = false, downOn = true, bothOn = false;
    ui_->dialog = [&](QDialog* d) {
      auto* dlg = static_cast<TNameDlg*>(d);
      ++seen;
      if (seen == 1) {
        entries = dlg->Entries().size();
        row = dlg->ListBox1->currentRow();
        upOn = dlg->UpButton->isEnabled();
        downOn = dlg->DownButton->isEnabled();
        dirFirst = dlg->SearchSelIndex();
        dlg->UpButtonClick();  // alice2
        bothOn = dlg->UpButton->isEnabled() && dlg->DownButton->isEnabled();
        QTest::mouseClick(dlg->OKBtn, Qt::LeftButton);
        return dlg->result() == QDialog::Accepted;
      }
      dirSecond = dlg->SearchSelIndex();
      dlg->reject();
      return false;
    };
    Trigger(*f, "NameFind");
    QCOMPARE(entries, std::size_t(3));  // alice, alice2, bob
    QCOMPARE(row, 2);                   // the shown poster
    QVERIFY(upOn && !downOn && bothOn);
    QCOMPARE(dirFirst, 1);  // downward at first
    QCOMPARE(f->Session().Search().SearchKind, std::uint8_t(0));
    QCOMPARE(f->Session().Search().SearchKey, std::string("AAA00001"));
    QCOMPARE(Shown(*f), 3);  // alice2's ID posted remark 3
    Trigger(*f, "NextS_M");
    QCOMPARE(Shown(*f), 5);
    Trigger(*f, "NextS_M");
    QCOMPARE(ui_->infos, QStringList{kEnded});
    QCOMPARE(f->Session().Search().SpeakerDirection, std::uint8_t(0));
    Trigger(*f, "PrevS_M");
    QCOMPARE(Shown(*f), 3);
    QCOMPARE(f->Session().Search().SpeakerDirection, std::uint8_t(0));  // a success leaves it
    Trigger(*f, "PrevS_M");
    QCOMPARE(Shown(*f), 1);
    Trigger(*f, "PrevS_M");
    QCOMPARE(f->Session().Search().SpeakerDirection, std::uint8_t(1));
    // Cancel: no search, no change.
    const int beeps = ui_->beeps;
    Trigger(*f, "NameFind");
    QCOMPARE(seen, 2);
    QCOMPARE(dirSecond, 0);           // the last direction: upward
    QCOMPARE(ui_->beeps, beeps + 1);  // the dialog's own beep only
    QCOMPARE(Shown(*f), 1);
  }

  // After a text search the list is rebuilt; after OK the repeat commands
  // repeat the speaker search, after Cancel still the text search.
  void repeatCommandsFollowTheLastDialogThatEndedWithOk() {
    auto f = Open(MakeLog({{1, 0, "AAA00001", "alice", {"x"}},
                           {2, 0, "BBB00002", "bob", {"needle"}},
                           {3, 0, "AAA00001", "alice", {"x"}},
                           {4, 0, "BBB00002", "bob", {"needle"}}}),
                  SortOrder::Remark);
    Find(*f, QStringLiteral("needle"));
    QCOMPARE(Shown(*f), 2);
    ui_->dialog = [](QDialog* d) {
      d->reject();
      return false;
    };
    Trigger(*f, "NameFind");
    Trigger(*f, "NextS_M");
    QCOMPARE(Shown(*f), 4);  // still the text search
    QCOMPARE(f->Session().Search().SearchKind, std::uint8_t(1));
    SelectLine(*f, ListLine(0));
    std::string preselected;
    ui_->dialog = [&](QDialog* d) {
      auto* dlg = static_cast<TNameDlg*>(d);
      preselected = dlg->SelectedEntry().substr(0, 8);
      dlg->OKBtnClick();
      return true;
    };
    Trigger(*f, "NameFind");
    QCOMPARE(preselected, std::string("AAA00001"));
    QCOMPARE(Shown(*f), 3);
    SelectLine(*f, ListLine(0));
    Trigger(*f, "NextS_M");
    QCOMPARE(Shown(*f), 3);  // the speaker search, not the text
  }

  // A log of one remark: one entry, both move buttons off; searches end at once.
  void oneRemarkLog() {
    auto f = Open(MakeLog({{9, 0, "AAA00001", "solo", {"only text"}}}), SortOrder::ContentFolded);
    int count = 0;
    bool anyMove = true;
    ui_->dialog = [&](QDialog* d) {
      auto* dlg = static_cast<TNameDlg*>(d);
      count = dlg->ListBox1->count();
      anyMove = dlg->UpButton->isEnabled() || dlg->DownButton->isEnabled();
      dlg->OKBtnClick();
      return true;
    };
    Trigger(*f, "NameFind");
    QCOMPARE(count, 1);
    QVERIFY(!anyMove);
    QCOMPARE(ui_->infos, QStringList{kEnded});
    ui_->infos.clear();
    Find(*f, QStringLiteral("nowhere"), false);
    QCOMPARE(ui_->infos, QStringList{kEnded});
    QCOMPARE(f->Session().Selected().v, 0);
  }

  // Speaker search in content order (2) unfolds down to the remark.
  void speakerSearchUnfoldsThreads() {
    auto f = Open(MakeLog({{1, 0, "AAA00001", "alice", {"x"}},
                           {2, 1, "BBB00002", "bob", {"x"}},
                           {3, 2, "CCC00003", "carol", {"x"}},
                           {4, 0, "AAA00001", "alice", {"x"}}}),
                  SortOrder::ContentFolded);
    ui_->dialog = [](QDialog* d) {
      auto* dlg = static_cast<TNameDlg*>(d);
      dlg->ListBox1->setCurrentRow(2);  // carol
      dlg->OKBtnClick();
      return true;
    };
    Trigger(*f, "NameFind");
    QCOMPARE(LineOf(*f), 3);
    QCOMPARE(f->Session().LineCount(), 4);
    QCOMPARE(f->Session().Search().SpeakerDirection, std::uint8_t(0));
  }
};

QTEST_MAIN(SearchTest)
#include "SearchTest.moc"
