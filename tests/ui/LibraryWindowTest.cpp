// The library in the window: the menu and its states, a folder added and
// indexed on a thread, the search window finding a remark in a log inside an
// .lzh archive and opening it there, unfolded in content order (2), with the
// match selected; an update cancelled leaving the library as it was; a log
// changed after it was indexed never shown with the text it no longer holds.
#include <fcntl.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "archive/LogLocation.h"
#include "library/LibraryCommands.h"
#include "library/LibraryStore.h"
#include "library/LibraryUpdate.h"
#include "library/LibraryWindow.h"
#include "platform/Codec.h"
#include "ui/FormFixture.h"

using namespace kest;
using namespace kest::test;
namespace fs = std::filesystem;

namespace {

const fs::path kSamples = fs::path(KEST_SOURCE_DIR) / "samples";

// A log of `count` remarks holding `word`, its file's time set a minute back
// (so the update does not take it for one still being written).
fs::path WriteLog(const fs::path& p, int count, const std::string& word, int first = 1) {
  std::string log = "forum " + word + "\r\n\r\n";
  for (int n = first; n < first + count; ++n) {
    log += Remark(Header5(n, "ABC0" + std::to_string(1000 + n), "poster" + std::to_string(n), "title" + std::to_string(n)),
                  Line2("96/03/0" + std::to_string(1 + n % 9)), {"line of " + word + " " + std::to_string(n)});
  }
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << log;
  struct timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= 60;
  times[1] = times[0];
  utimensat(AT_FDCWD, p.c_str(), times, 0);
  return p;
}

}  // namespace

class LibraryWindowTest : public FormTest<> {
  Q_OBJECT

  fs::path logs_;

  TLibraryCommands* Commands(TKestForm& f) { return Control<TLibraryCommands>(f, "LibraryCommands"); }
  TLibrarySearchWnd* SearchWindow(TKestForm& f) { return Control<TLibrarySearchWnd>(f, "LibrarySearchWnd"); }
  // ﾗｲﾌﾞﾗﾘ検索... chosen: the search window, and the header of its results.
  TLibrarySearchWnd* OpenSearch(TKestForm& f) {
    Trigger(f, "LibrarySearch");
    return SearchWindow(f);
  }
  static QHeaderView* ResultsHeader(TLibrarySearchWnd& w) { return Control<QTreeView>(w, "LibraryResults")->header(); }

  // Answers the folder chooser with `folder`.
  void AnswerFolder(const fs::path& folder) {
    ui_->onModal = [folder](QDialog& d) {
      auto* chooser = qobject_cast<QFileDialog*>(&d);
      if (!chooser) return false;
      chooser->setDirectory(Path(folder.parent_path()));
      chooser->selectFile(Path(folder));
      return true;
    };
  }

  // Runs an update from the menu and waits for its end.
  bool Update(TKestForm& f, const char* entry = "LibraryUpdate") {
    QSignalSpy done(Commands(f), &TLibraryCommands::updateFinished);
    Trigger(f, entry);
    return done.count() > 0 || done.wait(20000);
  }

  // Searches from the window as the user does: the key typed, Enter.
  void Search(TKestForm& f, const QString& key, bool matchCase = false) {
    if (!f.findChild<TLibrarySearchWnd*>(QStringLiteral("LibrarySearchWnd"))) Trigger(f, "LibrarySearch");
    TLibrarySearchWnd* w = SearchWindow(f);
    Control<QCheckBox>(*w, "LibraryMatchCase")->setChecked(matchCase);
    QLineEdit* edit = Control<QLineEdit>(*w, "LibraryKey");
    edit->setText(key);
    QSignalSpy done(w, &TLibrarySearchWnd::searchFinished);
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(done.count() > 0 || done.wait(20000));
  }

  // Answers ﾌｫﾙﾀﾞの管理 with the folder whose name ends so taken out, the
  // others kept; `meanwhile` runs while the dialog is open.
  void TakeOut(const QString& ending, std::function<void()> meanwhile = {}) {
    ui_->onModal = [ending, meanwhile](QDialog& d) {
      auto* list = d.findChild<QListWidget*>(QStringLiteral("FolderList"));
      if (!list) return false;
      const int before = list->count();
      for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text().endsWith(ending)) list->setCurrentRow(i);
      }
      if (!list->currentItem()->text().endsWith(ending)) return false;
      if (meanwhile) meanwhile();
      d.findChild<QPushButton*>(QStringLiteral("RemoveFolderButton"))->click();
      return list->count() == before - 1;
    };
  }

  // The search window's frame with no layout kept: 1000 × 520 inside it, at
  // most the screen.
  static QSize DefaultFrame(const QWidget& w) {
    const QSize frame = w.frameGeometry().size() - w.geometry().size();
    return (QSize(1000, 520) + frame).boundedTo(w.screen()->availableGeometry().size());
  }

  fs::path LibraryFile() const { return dir_->Path() / "data" / "library.db"; }
  // The library's logs by file name, and its remarks.
  QStringList LogNames() {
    QStringList names;
    for (const LibraryLog& l : Library(LibraryFile(), SqlDb::Mode::Read).Logs()) {
      names << Q(fs::path(l.path).filename().string());
    }
    return names;
  }

  QString Status(TKestForm& f) { return Control<QLabel>(*SearchWindow(f), "LibraryStatus")->text(); }
  QString Cell(TKestForm& f, int row, int column, int role = Qt::DisplayRole) {
    TLibraryHitModel& m = SearchWindow(f)->Model();
    return m.data(m.index(row, column), role).toString();
  }

 private slots:
  void init() {
    InitForm();
    logs_ = dir_->Path() / "logs";
    fs::create_directories(logs_);
    qputenv("KEST_LIBRARY", QByteArray::fromStdString((dir_->Path() / "data" / "library.db").string()));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString((dir_->Path() / "data").string()));
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((dir_->Path() / "cache").string()));
  }
  void cleanup() {
    qunsetenv("KEST_LIBRARY");
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CACHE_HOME");
    QVERIFY2(CleanupForm(), "every hourglass came back");
  }

  // The menu, its keys and names, and which entries can be chosen while an
  // update runs.
  void menuAndStates() {
    WriteLog(logs_ / "a.log", 3, "alpha");
    auto f = MakeForm();
    QMenu* menu = MenuOf(*f, "LibraryMenu");
    QCOMPARE(menu->title(), QStringLiteral("ﾗｲﾌﾞﾗﾘ(&L)"));
    QStringList texts;
    for (QAction* a : menu->actions()) {
      if (!a->isSeparator()) texts << a->text();
    }
    QCOMPARE(texts, (QStringList{QStringLiteral("ﾌｫﾙﾀﾞの追加(&A)..."), QStringLiteral("ﾌｫﾙﾀﾞの管理(&M)..."),
                                 QStringLiteral("更新(&U)"), QStringLiteral("更新の中止(&C)"),
                                 QStringLiteral("ﾗｲﾌﾞﾗﾘ検索(&S)...")}));
    QCOMPARE(Action(*f, "LibrarySearch")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+F")));
    QVERIFY(Enabled(*f, "LibraryUpdate") && Enabled(*f, "LibraryAddFolder") && Enabled(*f, "LibrarySearch"));
    QVERIFY(!Enabled(*f, "LibraryCancel"));

    AnswerFolder(logs_);
    QSignalSpy done(Commands(*f), &TLibraryCommands::updateFinished);
    Trigger(*f, "LibraryAddFolder");
    // Until the window hears the update has ended: only the search and the
    // cancel.
    QVERIFY(Commands(*f)->Updating());
    QVERIFY(Enabled(*f, "LibraryCancel"));
    QVERIFY(!Enabled(*f, "LibraryUpdate") && !Enabled(*f, "LibraryAddFolder") && !Enabled(*f, "LibraryFolders"));
    QVERIFY(Enabled(*f, "LibrarySearch"));
    QVERIFY(done.wait(20000));
    QVERIFY(!Enabled(*f, "LibraryCancel") && Enabled(*f, "LibraryUpdate"));
    QVERIFY(ui_->errors.isEmpty());

    // Ctrl+Shift+F brings up the one search window, however often.
    QTest::keyClick(f.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(f.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(f->findChildren<TLibrarySearchWnd*>().size(), 1);
    TLibrarySearchWnd* w = SearchWindow(*f);
    QVERIFY(w->isVisible());
    QVERIFY(w->isWindow() && !w->isModal());
    for (QWidget* c : w->findChildren<QWidget*>()) {
      if (qobject_cast<QLineEdit*>(c) || qobject_cast<QPushButton*>(c) || qobject_cast<QCheckBox*>(c) ||
          qobject_cast<QTreeView*>(c)) {
        QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
      }
    }
    QSignalSpy spy(w, &TLibrarySearchWnd::searchFinished);
    Search(*f, QStringLiteral("alpha"));
    QCOMPARE(w->Model().rowCount(), 3);
    QCOMPARE(Status(*f), QStringLiteral("3 件見つかりました。"));
    // The folder again: said, not added twice.
    AnswerFolder(logs_);
    Trigger(*f, "LibraryAddFolder");
    QCOMPARE(ui_->infos.size(), 1);
    QVERIFY(ui_->infos[0].contains(QStringLiteral("もうﾗｲﾌﾞﾗﾘにあります")));
  }

  // The hit of a remark deep in a thread of a log inside an .lzh archive:
  // its row reads right, and Enter opens the member in the main window with
  // the thread unfolded to the remark in content order (2) and the match
  // selected in the pane.
  void findsAndOpensARemarkInAnArchive() {
    fs::copy_file(kSamples / "forum.lzh", logs_ / "forum.lzh");
    WriteLog(logs_ / "other.log", 5, "other");
    auto f = MakeForm();
    QCOMPARE(f->Session().Sort(), SortOrder::ContentFolded);  // content order (2), threads folded
    AnswerFolder(logs_);
    QSignalSpy done(Commands(*f), &TLibraryCommands::updateFinished);
    Trigger(*f, "LibraryAddFolder");
    QVERIFY(done.wait(20000));
    QVERIFY2(ui_->infos.isEmpty() && ui_->errors.isEmpty(), qPrintable((ui_->infos + ui_->errors).join('\n')));

    const QString key = QStringLiteral("あっさり起動");
    Search(*f, key);
    TLibrarySearchWnd* w = SearchWindow(*f);
    // The remark is in both logs of the archive, the same day: by member.
    QCOMPARE(w->Model().rowCount(), 2);
    QVERIFY(Cell(*f, 1, TLibraryHitModel::kForum, Qt::ToolTipRole).endsWith(QStringLiteral("» 過去ログ/表示.log")));
    QCOMPARE(Cell(*f, 0, TLibraryHitModel::kDate), QStringLiteral("1996-03-06"));
    QCOMPARE(Cell(*f, 0, TLibraryHitModel::kNumber), QStringLiteral("320"));
    QCOMPARE(Cell(*f, 0, TLibraryHitModel::kPoster), QStringLiteral("ＫＡＺＵ (MBD04562)"));
    QCOMPARE(Cell(*f, 0, TLibraryHitModel::kTitle), QStringLiteral("Re:Ｗｉｎｄｏｗｓ９５が起動途中で止まる"));
    const QString context = Cell(*f, 0, TLibraryHitModel::kContext);
    const int at = Cell(*f, 0, TLibraryHitModel::kContext, TLibraryHitModel::kMatchStartRole).toInt();
    const int length = Cell(*f, 0, TLibraryHitModel::kContext, TLibraryHitModel::kMatchLengthRole).toInt();
    QCOMPARE(context.mid(at, length), key);
    QVERIFY(Cell(*f, 0, TLibraryHitModel::kForum, Qt::ToolTipRole).endsWith(QStringLiteral("» ソフト談義.log")));
    // A screen reader hears the whole hit on its first cell.
    const QString spoken = Cell(*f, 0, TLibraryHitModel::kDate, Qt::AccessibleTextRole);
    QVERIFY2(spoken.contains(QStringLiteral("320 番")) && spoken.contains(key), qPrintable(spoken));

    // Enter on the list opens it.
    QTreeView* list = Control<QTreeView>(*w, "LibraryResults");
    list->setFocus();
    QCOMPARE(list->currentIndex().row(), 0);
    QTest::keyClick(list, Qt::Key_Return);
    QVERIFY2(ui_->infos.isEmpty() && ui_->errors.isEmpty(), qPrintable((ui_->infos + ui_->errors).join('\n')));
    QCOMPARE(f->Session().LogFileName(), LogLocation::Member(logs_ / "forum.lzh", "ソフト談義.log").Format());
    QCOMPARE(Shown(*f), 320);
    QCOMPARE(f->Session().ItemOf(Selected(*f))->Number.v, 320);
    // 306 ┗309 ┗312 ┗319 ┗320: every remark above it unfolded.
    for (int number : {306, 309, 312, 319}) {
      const ListLine line = f->Session().FindLine(RemarkNo(number));
      QVERIFY(line.v >= 0);
      QVERIFY2(f->Session().ItemOf(line)->Expanded, qPrintable(QString::number(number)));
    }
    QVERIFY(Line(*f, Selected(*f).v).contains(QStringLiteral("320")));
    // The match selected in the pane.
    const std::string pane = Pane(*f);
    const std::string sel = pane.substr(static_cast<std::size_t>(Memo(*f)->SelStart()),
                                        static_cast<std::size_t>(Memo(*f)->SelLength()));
    QCOMPARE(Q(SjisToUtf8(sel)), key);

    // A double-click on a hit of a plain log opens that one.
    Search(*f, QStringLiteral("line of other 3"));
    QCOMPARE(w->Model().rowCount(), 1);
    const QModelIndex i = w->Model().index(0, 0);
    list->scrollTo(i);
    const QPoint point = list->visualRect(i).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, point);
    QCOMPARE(f->Session().LogFileName(), (logs_ / "other.log").string());
    QCOMPARE(Shown(*f), 3);
  }

  // Order, case, poster and dates as the window asks them.
  void fieldsOfTheSearch() {
    WriteLog(logs_ / "a.log", 9, "Mixed");
    auto f = MakeForm();
    AnswerFolder(logs_);
    QVERIFY(Update(*f, "LibraryAddFolder"));
    Search(*f, QStringLiteral("mixed"));
    QCOMPARE(SearchWindow(*f)->Model().rowCount(), 9);
    QCOMPARE(Cell(*f, 0, TLibraryHitModel::kDate), QStringLiteral("1996-03-01"));  // oldest first
    Search(*f, QStringLiteral("mixed"), true);
    QCOMPARE(SearchWindow(*f)->Model().rowCount(), 0);
    QCOMPARE(Status(*f), QStringLiteral("見つかりませんでした。"));
    TLibrarySearchWnd* w = SearchWindow(*f);
    Control<QComboBox>(*w, "LibraryOrder")->setCurrentIndex(1);
    Control<QLineEdit>(*w, "LibraryFrom")->setText(QStringLiteral("1996-03-03"));
    Control<QLineEdit>(*w, "LibraryTo")->setText(QStringLiteral("1996-03-05"));
    Search(*f, QStringLiteral("Mixed"), true);
    QCOMPARE(w->Model().rowCount(), 3);
    QCOMPARE(Cell(*f, 0, TLibraryHitModel::kDate), QStringLiteral("1996-03-05"));  // newest first
    QCOMPARE(Cell(*f, 2, TLibraryHitModel::kDate), QStringLiteral("1996-03-03"));
    Control<QLineEdit>(*w, "LibraryPoster")->setText(QStringLiteral("poster3"));
    Search(*f, QStringLiteral("Mixed"), true);
    QCOMPARE(w->Model().rowCount(), 1);
    QCOMPARE(Cell(*f, 0, TLibraryHitModel::kNumber), QStringLiteral("3"));
    // A bad date and a key without a Shift-JIS form are said, not searched.
    Control<QLineEdit>(*w, "LibraryTo")->setText(QStringLiteral("1996-13-01"));
    Search(*f, QStringLiteral("Mixed"));
    QVERIFY(Status(*f).contains(QStringLiteral("年-月-日")));
    Control<QLineEdit>(*w, "LibraryTo")->clear();
    Search(*f, QStringLiteral("\U0001F600"));
    QVERIFY(Status(*f).contains(QStringLiteral("Shift-JIS")));
    QCOMPARE(w->Model().rowCount(), 0);
  }

  // An update cancelled while it reads leaves every log as the library held
  // it; the logs changed meanwhile are never shown with their old text.
  void cancelledUpdateLeavesTheLibraryAsItWas() {
    for (int i = 0; i < 6; ++i) WriteLog(logs_ / ("l" + std::to_string(i) + ".log"), 4, "old" + std::to_string(i));
    auto f = MakeForm();
    AnswerFolder(logs_);
    QVERIFY(Update(*f, "LibraryAddFolder"));
    const fs::path file = dir_->Path() / "data" / "library.db";
    auto stamps = [&file] {
      std::vector<std::pair<std::string, std::int64_t>> s;
      for (const LibraryLog& l : Library(file, SqlDb::Mode::Read).Logs()) s.emplace_back(l.path, l.stamp.mtimeNs);
      return s;
    };
    const auto before = stamps();
    QCOMPARE(before.size(), 6u);

    for (int i = 0; i < 6; ++i) WriteLog(logs_ / ("l" + std::to_string(i) + ".log"), 5, "new" + std::to_string(i));
    // Cancelled when the third log is being read.
    Commands(*f)->SetUpdateProbe([](const UpdateProgress& p) { return p.doneFiles < 2; });
    QVERIFY(Update(*f));
    Commands(*f)->SetUpdateProbe({});
    QVERIFY(ui_->errors.isEmpty());
    QCOMPARE(stamps(), before);

    // Every log has changed since the library read it: no old text shown,
    // each one named as left out.
    Search(*f, QStringLiteral("old"));
    QCOMPARE(SearchWindow(*f)->Model().rowCount(), 0);
    QLabel* problems = Control<QLabel>(*SearchWindow(*f), "LibraryProblems");
    QVERIFY(!problems->isHidden());
    QVERIFY2(problems->text().startsWith(QStringLiteral("6 件のﾛｸﾞ")), qPrintable(problems->text()));

    QVERIFY(Update(*f));
    Search(*f, QStringLiteral("new"));
    QCOMPARE(SearchWindow(*f)->Model().rowCount(), 30);
    QVERIFY(Control<QLabel>(*SearchWindow(*f), "LibraryProblems")->isHidden());
  }

  // A hit whose log changes after it was listed is not opened at an offset
  // that now holds something else; the user is told to update.
  void aHitOfAChangedLogIsNotShown() {
    const fs::path log = WriteLog(logs_ / "a.log", 6, "first");
    auto f = MakeForm();
    AnswerFolder(logs_);
    QVERIFY(Update(*f, "LibraryAddFolder"));
    Search(*f, QStringLiteral("first 4"));
    QCOMPARE(SearchWindow(*f)->Model().rowCount(), 1);
    // The same size, other remarks at the same offsets.
    WriteLog(log, 6, "furst", 11);
    SearchWindow(*f)->OpenHit(0);
    QCOMPARE(ui_->infos.size(), 1);
    QVERIFY(ui_->infos[0].contains(QStringLiteral("変わっています")));
    QVERIFY(!f->Session().LogLoaded());
    QCOMPARE(Shown(*f), -1);
  }

  // While an update runs the search answers from what is indexed, and says
  // so; ﾌｫﾙﾀﾞの管理 takes a folder out with its logs.
  void searchWhileUpdatingAndFolders() {
    WriteLog(logs_ / "a" / "a.log", 3, "apple");
    WriteLog(logs_ / "b" / "b.log", 3, "banana");
    auto f = MakeForm();
    AnswerFolder(logs_ / "a");
    QVERIFY(Update(*f, "LibraryAddFolder"));
    AnswerFolder(logs_ / "b");
    std::atomic<bool> release{false};
    Commands(*f)->SetUpdateProbe([&release](const UpdateProgress&) {
      for (int i = 0; i < 2000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      return true;
    });
    QSignalSpy done(Commands(*f), &TLibraryCommands::updateFinished);
    Trigger(*f, "LibraryAddFolder");
    Search(*f, QStringLiteral("a"));
    QCOMPARE(SearchWindow(*f)->Model().rowCount(), 3);  // apple's; banana not yet indexed
    QVERIFY2(Status(*f).contains(QStringLiteral("更新中")), qPrintable(Status(*f)));
    release = true;
    QVERIFY(done.wait(20000));
    Commands(*f)->SetUpdateProbe({});
    QVERIFY(!Status(*f).contains(QStringLiteral("更新中")));
    Search(*f, QStringLiteral("a"));
    QCOMPARE(SearchWindow(*f)->Model().rowCount(), 6);

    // The folder a taken out in the dialog.
    TakeOut("/a");
    QVERIFY(Update(*f, "LibraryFolders"));
    QVERIFY(ui_->errors.isEmpty());
    Search(*f, QStringLiteral("a"));
    QCOMPARE(SearchWindow(*f)->Model().rowCount(), 3);
    QVERIFY(Cell(*f, 0, TLibraryHitModel::kContext).contains(QStringLiteral("banana")));
  }

  // A folder taken out in ﾌｫﾙﾀﾞの管理 goes on the update's thread, with its
  // progress: the window and the search answer meanwhile from the library
  // as it was, a cancel leaves it so, and afterwards its rows are gone.
  void takingOutAFolderRunsBesideTheWindow() {
    WriteLog(logs_ / "a" / "a1.log", 3, "apple");
    WriteLog(logs_ / "a" / "a2.log", 3, "apple");
    WriteLog(logs_ / "b" / "b.log", 3, "banana");
    auto f = MakeForm();
    AnswerFolder(logs_ / "a");
    QVERIFY(Update(*f, "LibraryAddFolder"));
    AnswerFolder(logs_ / "b");
    QVERIFY(Update(*f, "LibraryAddFolder"));
    QCOMPARE(LogNames(), (QStringList{"a1.log", "a2.log", "b.log"}));

    // Cancelled at its first step: every log stays, the folder too.
    Commands(*f)->SetUpdateProbe([](const UpdateProgress&) { return false; });
    TakeOut("/a");
    QVERIFY(Update(*f, "LibraryFolders"));
    QVERIFY2(ui_->errors.isEmpty(), qPrintable(ui_->errors.join('\n')));
    QCOMPARE(LogNames(), (QStringList{"a1.log", "a2.log", "b.log"}));
    QCOMPARE(Library(LibraryFile(), SqlDb::Mode::Read).Folders().size(), 2u);

    // Held at its second step, after the window has been told of the first.
    std::atomic<int> steps{0};
    std::atomic<bool> release{false};
    Commands(*f)->SetUpdateProbe([&](const UpdateProgress&) {
      if (++steps < 2) return true;
      for (int i = 0; i < 2000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      return true;
    });
    QSignalSpy done(Commands(*f), &TLibraryCommands::updateFinished);
    TakeOut("/a");
    Trigger(*f, "LibraryFolders");
    QVERIFY(Commands(*f)->Updating());
    QVERIFY(Enabled(*f, "LibraryCancel") && !Enabled(*f, "LibraryFolders") && !Enabled(*f, "LibraryUpdate"));
    QTRY_VERIFY(f->Progress().toolTip().startsWith(QStringLiteral("ﾗｲﾌﾞﾗﾘからﾌｫﾙﾀﾞを外しています (0/2)\n")));
    QVERIFY(f->Progress().toolTip().endsWith(QStringLiteral("/a/a1.log")));
    QVERIFY(!f->Progress().isHidden());
    Search(*f, QStringLiteral("apple"));
    QCOMPARE(SearchWindow(*f)->Model().rowCount(), 6);  // as it was
    QVERIFY2(Status(*f).contains(QStringLiteral("更新中")), qPrintable(Status(*f)));
    release = true;
    QVERIFY(done.count() > 0 || done.wait(20000));
    Commands(*f)->SetUpdateProbe({});
    QVERIFY(!Commands(*f)->Updating());
    QVERIFY(f->Progress().isHidden());
    QVERIFY2(ui_->errors.isEmpty(), qPrintable(ui_->errors.join('\n')));
    QCOMPARE(LogNames(), QStringList{"b.log"});
    QCOMPARE(Library(LibraryFile(), SqlDb::Mode::Read).RemarkCount(), 3);
    Search(*f, QStringLiteral("apple"));
    QCOMPARE(SearchWindow(*f)->Model().rowCount(), 0);
    QVERIFY(!Status(*f).contains(QStringLiteral("更新中")));
  }

  // Never two writers: a folder taken out while this window's update runs
  // goes once the update has ended; while another window or a command
  // writes the library, the window says so and nothing changes.
  void takingOutAFolderWhileTheLibraryIsWritten() {
    WriteLog(logs_ / "a" / "a.log", 3, "apple");
    WriteLog(logs_ / "b" / "b.log", 3, "banana");
    auto f = MakeForm();
    AnswerFolder(logs_ / "a");
    QVERIFY(Update(*f, "LibraryAddFolder"));
    AnswerFolder(logs_ / "b");
    QVERIFY(Update(*f, "LibraryAddFolder"));

    // An update starts while the dialog is open, and is held.
    std::atomic<bool> release{false};
    std::atomic<bool> removing{false};
    Commands(*f)->SetUpdateProbe([&](const UpdateProgress& p) {
      if (p.removing) removing = true;
      for (int i = 0; i < 2000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      return true;
    });
    WriteLog(logs_ / "b" / "b2.log", 2, "berry");
    TakeOut("/a", [&] { Trigger(*f, "LibraryUpdate"); });
    QSignalSpy done(Commands(*f), &TLibraryCommands::updateFinished);
    Trigger(*f, "LibraryFolders");
    QVERIFY(Commands(*f)->Updating());
    QTest::qWait(100);
    QVERIFY(!removing);
    QCOMPARE(Library(LibraryFile(), SqlDb::Mode::Read).Folders().size(), 2u);
    release = true;
    // The update, then the folder taken out.
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 20000);
    QVERIFY(!Commands(*f)->Updating());
    QVERIFY(removing);
    Commands(*f)->SetUpdateProbe({});
    QVERIFY2(ui_->errors.isEmpty(), qPrintable(ui_->errors.join('\n')));
    QCOMPARE(LogNames(), (QStringList{"b.log", "b2.log"}));

    // Another writer holds the library: said why, nothing taken out.
    {
      UpdateLock other(LibraryFile());
      TakeOut("/b");
      QVERIFY(Update(*f, "LibraryFolders"));
    }
    QCOMPARE(ui_->errors.size(), 1);
    QVERIFY2(ui_->errors[0].startsWith(QStringLiteral("ﾗｲﾌﾞﾗﾘのﾌｫﾙﾀﾞを変えられませんでした。")) &&
                 ui_->errors[0].contains(QStringLiteral("更新中です")),
             qPrintable(ui_->errors[0]));
    QCOMPARE(LogNames(), (QStringList{"b.log", "b2.log"}));
    QCOMPARE(Library(LibraryFile(), SqlDb::Mode::Read).Folders().size(), 1u);
    QVERIFY(!Commands(*f)->Updating());
  }

  // The search window comes back as it was left: its frame and the widths
  // of its columns are written when it closes, and when the main window
  // closes with it open; the section and keys as Kest.INI keeps them.
  void searchWindowKeepsItsFrameAndColumns() {
    auto f = MakeForm();
    TLibrarySearchWnd* w = OpenSearch(*f);
    QHeaderView* header = ResultsHeader(*w);
    const QRect screen = w->screen()->availableGeometry();
    // No layout yet: today's, on the screen.
    QTRY_VERIFY(screen.contains(w->frameGeometry()));
    QCOMPARE(w->frameGeometry().size(), DefaultFrame(*w));
    QCOMPARE(header->sectionSize(TLibraryHitModel::kDate), 90);
    QCOMPARE(header->sectionSize(TLibraryHitModel::kFile), 150);

    w->move(30, 40);
    w->resize(700, 450);
    header->resizeSection(TLibraryHitModel::kDate, 120);
    header->resizeSection(TLibraryHitModel::kFile, 77);
    QRect frame = w->frameGeometry();
    QCOMPARE(frame.topLeft(), QPoint(30, 40));
    QTest::keyClick(w, Qt::Key_Escape);
    QVERIFY(!w->isVisible());
    ProfileText ini = ProfileFile(ini_).Read();
    QCOMPARE(ini.ReadInteger("Library", "Left", 0), 30);
    QCOMPARE(ini.ReadInteger("Library", "Top", 0), 40);
    QCOMPARE(ini.ReadInteger("Library", "Width", 0), frame.width());
    QCOMPARE(ini.ReadInteger("Library", "Height", 0), frame.height());
    QCOMPARE(ini.ReadInteger("Library", "DateWidth", 0), 120);
    QCOMPARE(ini.ReadInteger("Library", "FileWidth", 0), 77);
    QCOMPARE(ini.ReadInteger("Library", "NumberWidth", 0), 50);

    // Moved again and left open: the main window's close writes it.
    Trigger(*f, "LibrarySearch");
    w->move(50, 60);
    frame.moveTo(50, 60);
    header->resizeSection(TLibraryHitModel::kTitle, 99);
    f->close();
    f.reset();
    ini = ProfileFile(ini_).Read();
    QCOMPARE(ini.ReadInteger("Library", "Left", 0), 50);
    QCOMPARE(ini.ReadInteger("Library", "TitleWidth", 0), 99);
    QCOMPARE(ini.ReadInteger("Option", "Width", 0), 633);  // the main window's own, beside it

    auto g = MakeForm();
    w = OpenSearch(*g);
    header = ResultsHeader(*w);
    QTRY_COMPARE(w->frameGeometry(), frame);
    QCOMPARE(header->sectionSize(TLibraryHitModel::kDate), 120);
    QCOMPARE(header->sectionSize(TLibraryHitModel::kTitle), 99);
    QCOMPARE(header->sectionSize(TLibraryHitModel::kFile), 77);
    QCOMPARE(header->sectionSize(TLibraryHitModel::kForum), 150);
    // Closed unchanged: the file stays as it is.
    const std::string before = Ini();
    w->close();
    QCOMPARE(Ini(), before);
  }

  // Values no window could have give today's layout; a frame larger than
  // the screen, or off it, is brought onto it.
  void searchWindowLayoutFromDamagedValues() {
    WriteIni("[Library]\r\nLeft=abc\r\nTop=10\r\nWidth=-5\r\nHeight=400\r\nDateWidth=0\r\n"
             "ForumWidth=99999999\r\nNumberWidth=\r\nPosterWidth=133\r\n");
    auto f = MakeForm();
    TLibrarySearchWnd* w = OpenSearch(*f);
    QHeaderView* header = ResultsHeader(*w);
    const QRect screen = w->screen()->availableGeometry();
    QTRY_VERIFY(screen.contains(w->frameGeometry()));
    QCOMPARE(w->frameGeometry().size(), DefaultFrame(*w));
    QCOMPARE(header->sectionSize(TLibraryHitModel::kDate), 90);
    QCOMPARE(header->sectionSize(TLibraryHitModel::kForum), 150);
    QCOMPARE(header->sectionSize(TLibraryHitModel::kNumber), 50);
    QCOMPARE(header->sectionSize(TLibraryHitModel::kPoster), 133);
    f.reset();

    WriteIni("[Library]\r\nLeft=99999\r\nTop=-2147483648\r\nWidth=2147483647\r\nHeight=30000\r\n");
    f = MakeForm();
    w = OpenSearch(*f);
    QTRY_COMPARE(w->frameGeometry(), screen);
    QCOMPARE(ui_->errors.size(), 0);
  }

  // A Kest.INI that cannot be written: the search window closes without a
  // word, and the main window's close says so once, naming no bookmarks,
  // as none were lost.
  void searchWindowLayoutNotWritable() {
    UseIni(dir_->Path() / "sub" / "Kest.INI");
    fs::create_directory(dir_->Path() / "sub");
    auto f = MakeForm();
    Trigger(*f, "LibrarySearch");
    SearchWindow(*f)->move(20, 30);
    fs::remove_all(dir_->Path() / "sub");
    SearchWindow(*f)->close();
    QVERIFY(ui_->errors.isEmpty());
    QVERIFY(f->close());
    QCOMPARE(ui_->errors.size(), 1);
    QVERIFY2(ui_->errors[0].endsWith(QStringLiteral("に書き込めません")) &&
                 !ui_->errors[0].contains(QStringLiteral("しおり")),
             qPrintable(ui_->errors[0]));
  }
};

QTEST_MAIN(LibraryWindowTest)
#include "LibraryWindowTest.moc"
