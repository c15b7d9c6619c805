// The window's searches: the find dialog and the text search through the
// pane and the list in each order, the speaker dialog and the speaker
// search, the repeat commands, and files that change under a search.
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QRadioButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <unistd.h>

#include "core/LogFixture.h"
#include "platform/Codec.h"
#include "platform/FindDialog.h"
#include "search/ExMemo.h"
#include "search/Logdlg1.h"
#include "ui/Interaction.h"
#include "ui/RecordingUi.h"
#include "ui/Kest2.h"
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

class SearchTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<FakeUi> ui_;
  std::filesystem::path log_;

  std::unique_ptr<TKestForm> Open(const std::string& bytes, SortOrder sortType) {
    log_ = dir_->Write("s.log", bytes);
    auto f = std::make_unique<TKestForm>();
    f->show();
    if (!QTest::qWaitForWindowExposed(f.get())) qWarning("window not exposed");
    if (!f->LoadLog(QString::fromStdString(log_.string()))) return f;
    if (sortType == SortOrder::Remark) f->NSortClick();
    if (sortType == SortOrder::ContentFull) f->RSort2Click();
    ui_->beeps = 0;
    return f;
  }
  // Types into the find dialog and presses its find button.
  void Find(TKestForm& f, const QString& text, bool down = true, bool matchCase = false) {
    f.StrFindClick();
    f.FindDialog1->SetFindText(text);
    f.FindDialog1->SetDown(down);
    f.FindDialog1->SetMatchCase(matchCase);
    QTest::mouseClick(f.FindDialog1->FindButton, Qt::LeftButton);
  }
  int Shown(TKestForm& f) { return f.Panels[0]->text().toInt(); }
  std::string Selected(TKestForm& f) {
    const std::string& t = f.Memo1->Text();
    return t.substr(static_cast<std::size_t>(f.Memo1->SelStart()), static_cast<std::size_t>(f.Memo1->SelLength()));
  }
  int LineOf(TKestForm& f) {
    const TLogItem* item = f.CurrentItem();
    return item ? item->Number.v : f.Log()->GetNumber(IndexPos(f.SelectedLine().v)).v;
  }

 private slots:
  void init() {
    dir_ = std::make_unique<TempDir>();
    ui_ = std::make_unique<FakeUi>();
    SetUi(ui_.get());
    qputenv("KEST_INI", QByteArray::fromStdString((dir_->Path() / "Kest.INI").string()));
  }
  void cleanup() {
    QCOMPARE(ui_->waitDepth, 0);
    SetUi(nullptr);
    qunsetenv("KEST_INI");
    dir_.reset();
  }

  // The dialog is modeless, one instance, keeps its text and options, and
  // an empty text does nothing.
  void findDialogKeepsItsStateAndRefusesEmptyText() {
    auto f = Open(MakeLog({{1, 0, "ABC00001", "a", {"text"}}}), SortOrder::Remark);
    f->StrFindClick();
    TFindDialog* d = f->FindDialog1;
    QVERIFY(d && d->isVisible() && !d->isModal());
    QCOMPARE(d->windowTitle(), QStringLiteral("検索"));
    QVERIFY(d->Down() && !d->MatchCase());
    QVERIFY(!d->FindButton->isEnabled());
    f->FindDialog1Find();  // empty text: nothing happens
    QVERIFY(!f->Searched && ui_->infos.isEmpty() && ui_->beeps == 0);
    d->SetFindText(QStringLiteral("xyz"));
    d->SetMatchCase(true);
    d->SetDown(false);
    d->close();
    f->StrFindClick();
    QCOMPARE(f->FindDialog1, d);
    QVERIFY(d->isVisible());
    QCOMPARE(d->FindText(), QStringLiteral("xyz"));
    QVERIFY(d->MatchCase() && !d->Down());
    // At most 255 bytes of Shift-JIS: whole characters are dropped.
    d->SetFindText(QString(200, QChar(u'あ')));
    QCOMPARE(Utf8ToSjis(d->FindText().toStdString()).size(), std::size_t(254));
    const QWidget* controls[] = {d->FindEdit, d->MatchCaseBox, d->UpButton, d->DownButton, d->FindButton,
                                 d->CancelButton};
    for (const QWidget* w : controls) {
      QVERIFY(!w->accessibleName().isEmpty());
    }
  }

  void findTextWithoutShiftJisFormIsRefused() {
    auto f = Open(MakeLog({{1, 0, "ABC00001", "a", {"text"}}, {2, 0, "ABC00001", "a", {"more"}}}), SortOrder::Remark);
    Find(*f, QStringLiteral("x\U0001F600"));
    QCOMPARE(ui_->infos.size(), 1);
    QVERIFY(ui_->infos[0].contains(QStringLiteral("Shift-JIS")));
    QVERIFY(!f->Searched);
    QCOMPARE(f->SelectedLine().v, 0);
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
    QVERIFY(!f->FindDialog1->isVisible());
    QCOMPARE(f->SearchKey, std::string("KEY"));
    QVERIFY(f->IgnoreCase && f->SearchKind == 1 && f->Searched);
    QVERIFY(f->findChild<QAction*>("NextS_M")->isEnabled());
    QCOMPARE(f->SelectedLine().v, 0);
    QCOMPARE(Selected(*f), std::string("KEY"));
    f->SearchNext();
    QCOMPARE(f->SelectedLine().v, 0);
    QCOMPARE(Selected(*f), std::string("key"));
    f->SearchNext();
    QCOMPARE(f->SelectedLine().v, 2);
    QCOMPARE(Shown(*f), 3);
    QCOMPARE(Selected(*f), std::string("Key"));
    // On the last line with no further match in the pane: the message at once.
    f->SearchNext();
    QCOMPARE(ui_->infos, QStringList{kEnded});
    QCOMPARE(ui_->beeps, 1);
    QCOMPARE(f->SelectedLine().v, 2);
    // Matching case: only the capitals.
    ui_->infos.clear();
    f->SelectLine(ListLine(0));
    f->ListBox1Click();
    Find(*f, QStringLiteral("KEY"), true, true);
    QVERIFY(!f->IgnoreCase);
    QCOMPARE(Selected(*f), std::string("KEY"));
    f->SearchNext();
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
    f->SelectLine(ListLine(1));
    f->ListBox1Click();
    f->Memo1->SetSelStart(static_cast<std::int64_t>(f->Memo1->Text().size()));
    Find(*f, QStringLiteral("word"));
    QCOMPARE(ui_->infos, QStringList{kEnded});  // nothing after line 1 holds it
    QCOMPARE(f->SelectedLine().v, 1);
    ui_->infos.clear();
    f->SearchPrev();
    QCOMPARE(f->SelectedLine().v, 0);
    QCOMPARE(Selected(*f), std::string("word"));
    f->SearchPrev();  // the first line: the message at once
    QCOMPARE(ui_->infos, QStringList{kEnded});
    QCOMPARE(f->SelectedLine().v, 0);
    // Backward from line 2 skips nothing of line 1 but starts above the
    // shown remark, and selects the first occurrence of the match.
    ui_->infos.clear();
    f->SelectLine(ListLine(2));
    f->ListBox1Click();
    f->SearchPrev();
    QCOMPARE(f->SelectedLine().v, 1);
    QCOMPARE(f->Memo1->SelStart(), static_cast<std::int64_t>(f->Memo1->Text().find("word")));
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
    QCOMPARE(f->Model()->LineCount(), 2);
    Find(*f, QStringLiteral("target"));
    QCOMPARE(f->Model()->LineCount(), 4);  // 1, 2, 3 unfolded, 4
    QCOMPARE(LineOf(*f), 3);
    QCOMPARE(Shown(*f), 3);
    QCOMPARE(Selected(*f), std::string("target"));
    f->SearchNext();
    QCOMPARE(LineOf(*f), 5);
    QCOMPARE(f->Model()->LineCount(), 5);
    f->SearchPrev();
    QCOMPARE(LineOf(*f), 3);
    f->SearchNext();
    QCOMPARE(LineOf(*f), 5);
    f->SearchNext();
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
    QCOMPARE(f->Model()->LineCount(), 3);
    Find(*f, QStringLiteral("検索 target"));
    QCOMPARE(Shown(*f), 2);
    QCOMPARE(SjisToUtf8(Selected(*f)), std::string("検索 target"));
  }

  // A file cut short or deleted after loading: a clear message, nothing newly
  // selected, no crash.
  void fileCutShortOrGone() {
    std::string log = "log\r\n\r\n";
    std::vector<R> rs;
    for (int i = 1; i <= 50; ++i) rs.push_back({i, 0, "ABC00001", "a", {"remark number " + std::to_string(i)}});
    auto f = Open(MakeLog(rs), SortOrder::Remark);
    QVERIFY(::truncate(log_.c_str(), 300) == 0);
    Find(*f, QStringLiteral("nowhere"));
    QCOMPARE(ui_->errors.size(), 1);
    QVERIFY(ui_->errors[0].contains(QStringLiteral("短く")));
    QVERIFY(ui_->infos.isEmpty());
    QCOMPARE(f->SelectedLine().v, 0);
    std::filesystem::remove(log_);
    f->SearchNext();
    QCOMPARE(ui_->errors.size(), 2);
    QCOMPARE(f->SelectedLine().v, 0);
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
    f->SelectLine(ListLine(1));
    f->ListBox1Click();  // bob's remark shown
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
    f->NameFindClick();
    QCOMPARE(entries, std::size_t(3));  // alice, alice2, bob
    QCOMPARE(row, 2);                   // the shown poster
    QVERIFY(upOn && !downOn && bothOn);
    QCOMPARE(dirFirst, 1);              // downward at first
    QCOMPARE(f->SearchKind, std::uint8_t(0));
    QCOMPARE(f->SearchKey, std::string("AAA00001"));
    QCOMPARE(Shown(*f), 3);  // alice2's ID posted remark 3
    f->SearchNext();
    QCOMPARE(Shown(*f), 5);
    f->SearchNext();
    QCOMPARE(ui_->infos, QStringList{kEnded});
    QCOMPARE(f->SpeakerDirection, std::uint8_t(0));
    f->SearchPrev();
    QCOMPARE(Shown(*f), 3);
    QCOMPARE(f->SpeakerDirection, std::uint8_t(0));  // a success leaves it
    f->SearchPrev();
    QCOMPARE(Shown(*f), 1);
    f->SearchPrev();
    QCOMPARE(f->SpeakerDirection, std::uint8_t(1));
    // Cancel: no search, no change.
    const int beeps = ui_->beeps;
    f->NameFindClick();
    QCOMPARE(seen, 2);
    QCOMPARE(dirSecond, 0);  // the last direction: upward
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
    f->NameFindClick();
    f->SearchNext();
    QCOMPARE(Shown(*f), 4);  // still the text search
    QCOMPARE(f->SearchKind, std::uint8_t(1));
    f->SelectLine(ListLine(0));
    f->ListBox1Click();
    std::string preselected;
    ui_->dialog = [&](QDialog* d) {
      auto* dlg = static_cast<TNameDlg*>(d);
      preselected = dlg->SelectedEntry().substr(0, 8);
      dlg->OKBtnClick();
      return true;
    };
    f->NameFindClick();
    QCOMPARE(preselected, std::string("AAA00001"));
    QCOMPARE(Shown(*f), 3);
    f->SelectLine(ListLine(0));
    f->ListBox1Click();
    f->SearchNext();
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
    f->NameFindClick();
    QCOMPARE(count, 1);
    QVERIFY(!anyMove);
    QCOMPARE(ui_->infos, QStringList{kEnded});
    ui_->infos.clear();
    Find(*f, QStringLiteral("nowhere"), false);
    QCOMPARE(ui_->infos, QStringList{kEnded});
    QCOMPARE(f->SelectedLine().v, 0);
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
    f->NameFindClick();
    QCOMPARE(LineOf(*f), 3);
    QCOMPARE(f->Model()->LineCount(), 4);
    QCOMPARE(f->SpeakerDirection, std::uint8_t(0));
  }
};

QTEST_MAIN(SearchTest)
#include "SearchTest.moc"
