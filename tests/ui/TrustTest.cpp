// What the window must never do: lose bookmarks or settings when two
// windows share Kest.INI or the desktop session ends, show text from a log
// changed behind its index, hang on a file that is no file, take long over
// many bookmarks, or leave the user with a message that names no file and
// says nothing of what to do.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <thread>
#include <vector>

#include "app/SessionEnd.h"
#include "core/LogFixture.h"
#include "bookmarks/BookCommands.h"
#include "bookmarks/BookUnit.h"
#include "bookmarks/TreeBook.h"
#include "platform/Codec.h"
#include "platform/Interaction.h"
#include "platform/Profile.h"
#include "search/Logdlg1.h"
#include "ui/FormFixture.h"

using namespace kest;
using namespace kest::test;

namespace {

class FakeUi : public RecordingUi {
 public:
  int printDialogs = 0;
  bool ChoosePrinter(QWidget*, QPrinter&) override {
    ++printDialogs;
    return false;
  }
};

// Ends the process, with a word on standard error, should a test hang: a
// file that blocks on opening must fail the test, not stall the run.
class Watchdog {
 public:
  explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
  ~Watchdog() { ::alarm(0); }
};

QMenu* Opened(QMenu* menu) {
  Q_EMIT menu->aboutToShow();
  return menu;
}

QAction* Entry(QMenu* menu, const QString& text) {
  for (QAction* a : menu->actions()) {
    if (a->menu()) {
      if (QAction* found = Entry(Opened(a->menu()), text)) return found;
    } else if (a->text() == text) {
      return a;
    }
  }
  return nullptr;
}

const std::filesystem::path kSamples = std::filesystem::path(KEST_SOURCE_DIR) / "samples";

// Rewrites a file in place (the same inode, opened "r+").
void RewriteInPlace(const std::filesystem::path& p, const std::string& bytes) {
  std::FILE* f = std::fopen(p.c_str(), "r+");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// The resident memory of this process, in MiB.
long ResidentMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6)) / 1024;
  }
  return -1;
}

}  // namespace

class TrustTest : public FormTest<FakeUi> {
  Q_OBJECT

 private:
  QString Log(const char* name, std::initializer_list<std::pair<int, int>> remarks) {
    return Path(dir_->Write(name, MakeLog(remarks)));
  }

 private slots:
  void init() { InitForm(); }
  void cleanup() { QVERIFY2(CleanupForm(), "every hourglass came back"); }

  // --- Two windows on one Kest.INI -------------------------------------------------

  // The report: the organizer of window A open, window B adds a bookmark, A
  // presses OK without a change: B's bookmark stays, in the file and in A's
  // menu.
  void organizerOkKeepsABookmarkAnotherWindowAdded() {
    WriteIni("[Book Mark]\r\nold=1|/x.log\r\n");
    auto a = MakeForm({Log("a.log", {{1, 0}, {2, 0}})});
    auto b = MakeForm({Log("b.log", {{7, 0}})});
    ui_->onModal = [&](QDialog& d) {
      if (qobject_cast<TBookDlg*>(&d)) return true;  // B's add, with its proposal
      auto* book = qobject_cast<TTBook*>(&d);
      if (!book) return false;
      Trigger(*b, "BM_Set");  // while A's organizer is open
      book->BitBtn1Click();
      return book->result() == QDialog::Accepted;
    };
    Trigger(*a, "BMCln");
    const std::string ini = Ini();
    QVERIFY2(ini.find("old=0|1|/x.log") != std::string::npos, ini.c_str());
    QVERIFY2(ini.find("poster title7=0|7|") != std::string::npos, ini.c_str());
    QVERIFY(Entry(MenuOf(*a, "BookM_M"), QStringLiteral("poster title7")));
    QVERIFY(ui_->errors.isEmpty());

    // Closing B writes nothing of the bookmarks; closing A neither.
    b->close();
    a->close();
    QVERIFY(Ini().find("poster title7=0|7|") != std::string::npos);
  }

  // Each window writes only what it changed: A's order, B's date column and
  // both windows' logs at the head of the recent files.
  void twoWindowsCloseWithoutUndoingEachOther() {
    const QString la = Log("a.log", {{1, 0}}), lb = Log("b.log", {{2, 0}});
    auto a = MakeForm({la});
    auto b = MakeForm({lb});
    Trigger(*a, "NSort_M");
    Trigger(*b, "Date_VM");
    a->close();
    b->close();
    const ProfileText ini = ProfileFile(ini_).Read();
    QCOMPARE(ini.ReadInteger("Option", "SortType", -1), 0);  // A's
    QCOMPARE(ini.ReadBool("Option", "Date", false), true);  // B's
    QCOMPARE(QString::fromStdString(ini.ReadString("FileName", "File_0", "")), lb);
    QCOMPARE(QString::fromStdString(ini.ReadString("FileName", "File_1", "")), la);
  }

  // --- A log changed behind its index -----------------------------------------------

  void aLogRewrittenUnderTheWindowIsReadAgainOnlyWhenAsked() {
    const auto path = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}, {3, 0}, {11, 0}, {12, 0}}));
    WriteIniSort(0);
    auto f = MakeForm({Path(path)});
    SelectLine(*f, 2);  // remark 3
    QCOMPARE(Shown(*f), 3);

    // Other content in the same place, larger: keypad 2 goes on to remark
    // 11, whose text is not read through the old index.
    RewriteInPlace(path, MakeLog({{21, 0}, {22, 0}, {23, 0}, {24, 0}, {25, 0}, {11, 0}}));
    Keypad(List(*f), Qt::Key_2);
    QCOMPARE(ui_->asks.size(), 1);
    QVERIFY(Tells(ui_->asks[0], QStringLiteral("ログファイルが変更されました"), path));
    QCOMPARE(ui_->askButtons[0], (QStringList{QStringLiteral("読み直す"), QStringLiteral("読み直さない")}));
    QCOMPARE(ui_->details.last(), Path(path));
    QCOMPARE(Shown(*f), 11);
    QCOMPARE(Pane(*f), std::string());
    QCOMPARE(f->Session().LineCount(), 5);

    // Read again on the user's word: the list anew, remark 11 selected where
    // it is now.
    ui_->askAnswers = {0};
    f->ShowSelectedRemark();
    QCOMPARE(ui_->asks.size(), 2);
    QCOMPARE(f->Session().LineCount(), 6);
    QCOMPARE(Shown(*f), 11);
    QCOMPARE(f->Session().Log()->GetNumber(f->Session().PositionOf(Selected(*f))).v, 11);
    QVERIFY(Pane(*f).find("body 11") != std::string::npos);
    QVERIFY(ui_->errors.isEmpty());
  }

  // A log in an archive: the archive changed behind the index (a new
  // modification time is enough) is a change of the log, told as such; read
  // again on the user's word, from the archive as it is now.
  void aMemberWhoseArchiveChangedIsReadAgainOnlyWhenAsked() {
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((dir_->Path() / "cache").string()));
    const auto archive = dir_->Path() / "one-log.lzh";
    std::filesystem::copy_file(kSamples / "one-log.lzh", archive);
    auto f = MakeForm({Path(archive)});
    QVERIFY(f->Session().LogLoaded());
    SelectLine(*f, 1);
    const std::string before = Pane(*f);
    QVERIFY(!before.empty());

    const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 123}};
    QCOMPARE(::utimensat(AT_FDCWD, archive.c_str(), times, 0), 0);
    SelectLine(*f, 2);
    const int number = Shown(*f);
    QCOMPARE(ui_->asks.size(), 1);
    QVERIFY(Tells(ui_->asks[0], QStringLiteral("ログファイルが変更されました"), archive));
    QVERIFY(ui_->asks[0].contains(QStringLiteral("sample.log")));  // the member, with its archive
    QCOMPARE(Pane(*f), std::string());

    ui_->askAnswers = {0};
    f->ShowSelectedRemark();
    QCOMPARE(ui_->asks.size(), 2);
    QVERIFY(f->Session().LogLoaded());
    QCOMPARE(Shown(*f), number);
    QVERIFY(!Pane(*f).empty());
    QVERIFY(ui_->errors.isEmpty());
    qunsetenv("XDG_CACHE_HOME");
  }

  // Exporting a log changed behind its index asks whether to read it again
  // before any dialog, and writes nothing.
  void exportingAChangedLogOffersToReadItAgain() {
    const auto path = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}}));
    auto f = MakeForm({Path(path)});
    RewriteInPlace(path, MakeLog({{5, 0}, {6, 0}, {7, 0}}));
    int dialogs = 0;
    ui_->onModal = [&](QDialog&) {
      ++dialogs;
      return false;
    };
    Trigger(*f, "Export_M");
    QCOMPARE(dialogs, 0);
    QCOMPARE(ui_->asks.size(), 1);
    QVERIFY(Tells(ui_->asks[0], QStringLiteral("ログファイルが変更されました"), path));
    QVERIFY(ui_->errors.isEmpty());
  }

  // Printing a remark whose text could not be read whole warns, and prints
  // nothing (not the header alone).
  void printingACutShortRemarkWarns() {
    const auto path = dir_->Write("a.log", MakeLog({{1, 0}, {2, 0}}));
    auto f = MakeForm({Path(path)});
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 3);
    Trigger(*f, "Print1");
    QCOMPARE(ui_->printDialogs, 0);
    QCOMPARE(ui_->asks.size(), 1);  // changed: read it again?
    QVERIFY(ui_->asks[0].contains(QStringLiteral("短く")));
  }

  // --- Files that are no files ---------------------------------------------------

  void pipesDevicesAndLinkLoopsAreRefusedAtOnce() {
    const Watchdog watchdog(60);
    const auto fifo = dir_->Path() / "f.log";
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    const auto loop = dir_->Path() / "loop.log";
    std::filesystem::create_symlink(loop, loop);
    auto f = MakeForm({Path(fifo)});  // on the command line: said once the window is up
    QTRY_COMPARE(ui_->infos.size(), 1);
    QVERIFY(Tells(ui_->infos[0], QStringLiteral("通常のファイルではありません（名前付きパイプです）"), fifo));
    QCOMPARE(ui_->details[0], Path(fifo));
    QVERIFY(!f->OpenLog(QStringLiteral("/dev/zero")));
    QVERIFY(ui_->infos.last().startsWith(QStringLiteral("通常のファイルではありません（デバイスです）\n/dev/zero")));
    QVERIFY(!f->OpenLog(QStringLiteral("/dev/urandom")));
    QVERIFY(!f->OpenLog(Path(loop)));
    QVERIFY(Tells(ui_->infos.last(), QStringLiteral("リンクが循環しています"), loop));
    QCOMPARE(ui_->infos.size(), 4);
    QVERIFY(!f->Session().LogLoaded());
    QVERIFY(ui_->errors.isEmpty());
  }

  // --- Messages that say what to do -----------------------------------------------

  void aLongPathIsShortenedInTheMiddleAndWholeInTheDetails() {
    const std::string deep = std::string(80, 'd');
    std::filesystem::create_directories(dir_->Path() / deep);
    const auto gone = dir_->Path() / deep / "gone-log-of-the-forum.log";
    auto f = MakeForm();
    QVERIFY(!f->OpenLog(Path(gone)));
    const QString box = ui_->infos.last();
    QVERIFY(box.contains(QStringLiteral("…")));
    QVERIFY(box.contains(QStringLiteral("gone-log-of-the-forum.log")));
    QVERIFY(!box.contains(Path(gone)));
    QCOMPARE(ui_->details.last(), Path(gone));
    QVERIFY(box.contains(QStringLiteral("確かめてください")));
  }

  void aBookmarkWhoseLogIsGoneOffersToRemoveItOrToOrganize() {
    const QString a = Log("a.log", {{1, 0}, {2, 0}});
    const auto gone = dir_->Path() / "gone.log";
    WriteIni("[Book Mark]\r\nkeep=1|" + a.toStdString() + "\r\nGone=2|" + gone.string() + "\r\nother=2|" +
                  gone.string() + "\r\n");
    auto f = MakeForm();
    ui_->askAnswers = {2};  // Cancel: nothing changes
    Entry(MenuOf(*f, "BookM_M"), QStringLiteral("Gone"))->trigger();
    QCOMPARE(ui_->asks.size(), 1);
    QVERIFY(ui_->asks[0].startsWith(QStringLiteral("しおり「Gone」のログファイルが見つかりません\n")));
    QVERIFY(ui_->asks[0].contains(QStringLiteral("gone.log")));
    QCOMPARE(ui_->askButtons[0], (QStringList{QStringLiteral("しおりを削除"), QStringLiteral("しおりの整理"),
                                              QStringLiteral("ｷｬﾝｾﾙ")}));
    QVERIFY(Ini().find("Gone=") != std::string::npos);

    // The organizer, on that bookmark.
    QString selected;
    ui_->onModal = [&](QDialog& d) {
      if (auto* book = qobject_cast<TTBook*>(&d); book && book->BookList->currentItem()) {
        selected = book->BookList->currentItem()->text();
      }
      return false;
    };
    ui_->askAnswers = {1};
    Entry(MenuOf(*f, "BookM_M"), QStringLiteral("Gone"))->trigger();
    QCOMPARE(selected, QStringLiteral("Gone"));

    // Removed: that bookmark alone, the rest of the file as it was.
    const std::string before = Ini();
    ui_->askAnswers = {0};
    Entry(MenuOf(*f, "BookM_M"), QStringLiteral("Gone"))->trigger();
    std::string expected = before;
    expected.erase(expected.find("Gone="), std::string("Gone=2|" + gone.string() + "\r\n").size());
    QCOMPARE(Ini(), expected);
    QVERIFY(!Entry(MenuOf(*f, "BookM_M"), QStringLiteral("Gone")));
    QVERIFY(Entry(MenuOf(*f, "BookM_M"), QStringLiteral("other")));
    QVERIFY(ui_->infos.isEmpty() && ui_->errors.isEmpty());
  }

  void aSettingsFileThatCannotBeWrittenSaysWhatWasLostAndWhy() {
    WriteIni("[Option]\r\nSortType=1\r\n");
    ::chmod(ini_.c_str(), 0444);
    auto f = MakeForm({Log("a.log", {{1, 0}})});
    ui_->onModal = [](QDialog&) { return true; };
    Trigger(*f, "BM_Set");  // the bookmark cannot be written either
    QCOMPARE(ui_->errors.size(), 1);
    QVERIFY(ui_->errors[0].startsWith(QStringLiteral("しおり「poster title1」は保存されませんでした。")));
    QVERIFY(ui_->errors[0].contains(QStringLiteral("読み取り専用")));
    Trigger(*f, "NSort_M");
    f->close();
    QCOMPARE(ui_->errors.size(), 2);
    QVERIFY(ui_->errors[1].startsWith(QStringLiteral("この回の設定")));
    QVERIFY(ui_->errors[1].contains(QStringLiteral("しおり")));  // lost earlier in this session too
    QVERIFY(ui_->errors[1].contains(QStringLiteral("読み取り専用")));
    QVERIFY(ui_->errors[1].endsWith(QStringLiteral("に書き込めません")));
    QCOMPARE(ui_->details.last(), Path(ini_));

    // A folder in the file's place.
    UseIni(dir_->Path() / "folder.INI");
    std::filesystem::create_directory(ini_);
    auto g = MakeForm();
    g->close();
    QVERIFY(ui_->errors.last().contains(QStringLiteral("フォルダ")));
  }

  void emptyFilesAndFilesWithoutARemark() {
    auto f = MakeForm();
    QVERIFY(f->OpenLog(Path(dir_->Write("empty.log", ""))));
    QTRY_COMPARE(ui_->infos.size(), 1);
    QVERIFY(ui_->infos[0].startsWith(QStringLiteral("このファイルには発言が一つもありません")));
    QCOMPARE(f->windowTitle(), QStringLiteral("Kest32-empty.log"));
    QVERIFY(f->OpenLog(Path(dir_->Write("notes.txt", "\x82\xa0\x01 not a title\r\nnor a header\r\n"))));
    QTRY_COMPARE(ui_->infos.size(), 2);
    QCOMPARE(f->windowTitle(), QStringLiteral("Kest32-notes.txt"));
  }

  // --- Texts that do not fit --------------------------------------------------------

  void longSpeakerNamesAndCaptionsCanBeRead() {
    auto f = MakeForm({Log("a.log", {{1, 0}})});
    TNameDlg dlg(f.get());
    dlg.ShowSpeakers(*f->Session().Log(), true, 0, "", 0);
    QCOMPARE(dlg.ListBox1->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(dlg.ListBox1->count(), 1);
    QCOMPARE(dlg.ListBox1->item(0)->toolTip(), QStringLiteral("ABC01234 poster"));

    const auto input = MakeInputDialog(f.get(), QStringLiteral("グループの新規作成"),
                                       QStringLiteral("名前を指定して下さい"), QString());
    // As shown: the dialog's layout decides its size, not a minimum set on it.
    input->show();
    QApplication::processEvents();
    QVERIFY2(input->width() > input->fontMetrics().horizontalAdvance(QStringLiteral("グループの新規作成")) + 100,
             qPrintable(QString::number(input->width())));
    input->hide();
  }

  // --- Many bookmarks ---------------------------------------------------------------

  // A Kest.INI of 10 MB: 200,000 bookmarks in 600 groups and 20,000 at the
  // top. The window starts without building an entry it does not show; a
  // submenu makes its entries when it opens; the top level comes in parts.
  void twoHundredThousandBookmarks() {
    std::string file = test::SixHundredBookGroups();
    file += "[Book Mark]\r\n";
    int inFirstGroup = 0, lastAtTop = -1;
    for (int i = 0; i < 220000; ++i) {
      const bool atTop = i % 11 == 0;
      const std::string value = atTop ? "" : "A" + std::to_string(i % 600) + "|";
      file += "Mark " + std::to_string(i) + "=" + value + std::to_string(i % 30000 + 1) + "|/home/u/logs/forum" +
              std::to_string(i % 37) + ".log\r\n";
      if (atTop) lastAtTop = i;
      if (!atTop && i % 600 == 0) ++inFirstGroup;
    }
    WriteIni(file);
    const long before = ResidentMiB();
    QElapsedTimer t;
    t.start();
    auto f = MakeForm();
    const qint64 startMs = t.elapsed();
    const long memory = ResidentMiB() - before;

    // The top level (100 groups and 20,000 bookmarks) in parts of 250.
    QMenu* menu = MenuOf(*f, "BookM_M");
    const QList<QAction*> top = menu->actions();
    QCOMPARE(top.size(), 3 + (100 + 20000 + 249) / 250);
    QVERIFY(menu->findChildren<QAction*>().size() < 1000);  // nothing made that is not shown
    QMenu* first = top[3]->menu();
    QVERIFY(first && first->actions().isEmpty());
    QCOMPARE(first->title(), QStringLiteral("Group 0 ～ Mark 1639"));
    // Opened as the user opens them: the menu, then a part, then a group.
    auto open = [](QMenu* m) {
      QElapsedTimer shown;
      shown.start();
      m->popup(QPoint(0, 0));
      QApplication::processEvents();
      const qint64 ms = shown.elapsed();
      m->hide();
      return ms;
    };
    const qint64 menuMs = open(menu);
    const qint64 partMs = open(first);
    QCOMPARE(first->actions().size(), 250);
    QMenu* group = first->actions()[0]->menu();
    QVERIFY(group && group->actions().isEmpty());
    const qint64 groupMs = open(group);
    QCOMPARE(group->actions().size(), 5 + inFirstGroup);
    QVERIFY(Entry(Opened(top.last()->menu()), QStringLiteral("Mark %1").arg(lastAtTop)));
    qInfo("220,000 bookmarks: window up in %lld ms, %ld MiB more; the menu opens in %lld ms, a part of its top "
          "level in %lld ms, a group in %lld ms",
          startMs, memory, menuMs, partMs, groupMs);
  }

  // --- The desktop session ends -----------------------------------------------------

  // SIGTERM and SIGHUP write the settings as a close does, without a box.
  void signalsWriteTheSettingsWithoutABox() {
    for (int sig : {SIGTERM, SIGHUP}) {
      UseIni(dir_->Path() / ("Kest" + std::to_string(sig) + ".INI"));
      const QString log = Log("a.log", {{1, 0}});
      auto f = MakeForm({log});
      int quits = 0;
      auto* end = new SessionEnd(*f, [&] { ++quits; });
      Trigger(*f, "NSort_M");
      ::raise(sig);
      QTRY_COMPARE(quits, 1);
      QVERIFY(!f->isVisible());
      const ProfileText ini = ProfileFile(ini_).Read();
      QCOMPARE(ini.ReadInteger("Option", "SortType", -1), 0);
      QCOMPARE(QString::fromStdString(ini.ReadString("FileName", "File_0", "")), log);
      delete end;
    }
    // A file that cannot be written: said on standard error, no box waits.
    WriteIni("");
    ::chmod(ini_.c_str(), 0444);
    auto f = MakeForm();
    QVERIFY(!f->SaveSettings(true));
    f->EndSession();
    QVERIFY(ui_->errors.isEmpty() && ui_->infos.isEmpty());
  }

  // The program itself, as a logout or systemctl ends it.
  void theProgramEndedBySignalKeepsItsSettings() {
    for (int sig : {SIGTERM, SIGHUP}) {
      const auto ini = dir_->Path() / ("P" + std::to_string(sig) + ".INI");
      const QString log = Log("p.log", {{1, 0}});
      // Everything the child needs is made before it is forked.
      std::vector<std::string> env = {"KEST_INI=" + ini.string(), "QT_QPA_PLATFORM=offscreen",
                                      "XDG_CACHE_HOME=" + (dir_->Path() / "cache").string()};
      for (char** e = environ; *e; ++e) {
        const std::string_view v = *e;
        if (v.rfind("KEST_INI=", 0) != 0 && v.rfind("QT_QPA_PLATFORM=", 0) != 0 &&
            v.rfind("XDG_CACHE_HOME=", 0) != 0) {
          env.emplace_back(v);
        }
      }
      std::vector<char*> envp;
      for (std::string& e : env) envp.push_back(e.data());
      envp.push_back(nullptr);
      std::string program = KEST32_BINARY, arg = log.toStdString();
      char* argv[] = {program.data(), arg.data(), nullptr};
      const pid_t pid = ::fork();
      if (pid == 0) {
        ::execve(program.c_str(), argv, envp.data());
        ::_exit(127);
      }
      // Its handlers are in place once it runs the program and /proc says
      // the signal is caught.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      const std::filesystem::path exe = std::filesystem::canonical(KEST32_BINARY);
      bool caught = false;
      while (!caught && std::chrono::steady_clock::now() < deadline) {
        std::error_code ec;
        if (std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec) != exe) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          continue;
        }
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
          if (line.rfind("SigCgt:", 0) == 0) caught = (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
        }
        if (!caught) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      QVERIFY2(caught, "the program never took the signal");
      ::kill(pid, sig);
      int status = 0;
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (::waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        QFAIL("the program did not end");
      }
      QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      const ProfileText text = ProfileFile(ini).Read();
      QCOMPARE(QString::fromStdString(text.ReadString("FileName", "File_0", "")), log);
      QVERIFY(text.HasKey("Option", "Width"));
    }
  }

 private:
  void WriteIniSort(int order) { WriteIni("[Option]\r\nSortType=" + std::to_string(order) + "\r\n"); }
};

QTEST_MAIN(TrustTest)
#include "TrustTest.moc"
