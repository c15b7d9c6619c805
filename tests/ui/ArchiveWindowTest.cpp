// Logs inside archives, opened in the window: an archive of one log at once,
// one of several through the member dialog, by the open dialog, a drop and a
// bookmark after a restart; the list and the remarks are those of the log the
// member was made from.
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTreeWidget>

#include "archive/LogLocation.h"
#include "archive/MemberDialog.h"
#include "bookmarks/BookUnit.h"
#include "ui/FormFixture.h"

using namespace kest;
using namespace kest::test;

namespace {

const std::filesystem::path kSamples = std::filesystem::path(KEST_SOURCE_DIR) / "samples";

QStringList Lines(const TKestForm& f) {
  QStringList lines;
  for (int i = 0; i < Model(f)->rowCount(); ++i) lines << Line(f, i);
  return lines;
}

}  // namespace

class ArchiveWindowTest : public FormTest<> {
  Q_OBJECT

  std::string memberAnswer_;  // the member the dialog is answered with; empty: cancelled
  QStringList offered_;       // the dialog's rows: name, and "-" for a greyed one
  int dialogs_ = 0;

  void AnswerMembers(const std::string& member) {
    memberAnswer_ = member;
    offered_.clear();
    dialogs_ = 0;
    ui_->onModal = [this](QDialog& d) {
      auto* dlg = qobject_cast<TMemberDlg*>(&d);
      if (!dlg) return false;
      ++dialogs_;
      QTreeWidget* list = dlg->MemberList;
      for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        const bool grey = !(item->flags() & Qt::ItemIsEnabled) || item->foreground(0).style() != Qt::NoBrush;
        offered_ << item->text(0) + (grey ? QStringLiteral("-") : QString());
        if (item->text(0) == Q(memberAnswer_)) list->setCurrentItem(item);
      }
      return !memberAnswer_.empty() && dlg->Selected() == memberAnswer_;
    };
  }

 private slots:
  void init() {
    InitForm();
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((dir_->Path() / "cache").string()));
  }
  void cleanup() {
    qunsetenv("XDG_CACHE_HOME");
    QVERIFY2(CleanupForm(), "every hourglass came back");
  }

  // An archive of one log opens it without a question; the list is the
  // plain log's, the panel says where it came from, the recent entry names
  // the archive and the member.
  void oneLogOpensAtOnce() {
    auto plain = MakeForm({Path(kSamples / "sample.log")});
    const QStringList expected = Lines(*plain);
    const QString caption = plain->windowTitle();
    const std::string pane = Pane(*plain);
    plain.reset();

    AnswerMembers({});
    auto f = MakeForm();
    QVERIFY(f->OpenLog(Path(kSamples / "one-log.lzh")));
    QCOMPARE(dialogs_, 0);
    QCOMPARE(Lines(*f), expected);
    QCOMPARE(f->windowTitle(), caption);
    QCOMPARE(Pane(*f), pane);
    const LogLocation where = LogLocation::Parse(f->Session().LogFileName());
    QCOMPARE(Q(where.member), QStringLiteral("sample.log"));
    auto* panel = Control<QLabel>(*f, "ConvertedPanel");
    QCOMPARE(panel->text(), QStringLiteral("ｱｰｶｲﾌﾞ one-log.lzh から展開"));
    QVERIFY2(panel->toolTip().contains(QStringLiteral("sample.log")), qPrintable(panel->toolTip()));
    QVERIFY(RecentName(*f, 0).contains(QStringLiteral("one-log.lzh")));
    QVERIFY(RecentName(*f, 0).contains(QStringLiteral("sample.log")));
    QVERIFY(ui_->errors.isEmpty());
  }

  // Several logs: the dialog lists them first and greys the rest; the one
  // chosen opens; a cancel leaves the window as it was.
  void severalLogsAsk() {
    auto f = MakeForm();
    AnswerMembers({});
    QVERIFY(!f->OpenLog(Path(kSamples / "forum.lzh")));
    QCOMPARE(dialogs_, 1);
    QVERIFY(!f->Session().LogLoaded());
    QVERIFY(ui_->errors.isEmpty());
    QCOMPARE(offered_.size(), 3);
    QCOMPARE(offered_.last(), QStringLiteral("readme.txt-"));

    AnswerMembers("過去ログ/表示.log");
    ui_->fileToOpen = Path(kSamples / "forum.lzh");
    Trigger(*f, "OPFile_M");
    QCOMPARE(dialogs_, 1);
    QVERIFY(f->Session().LogLoaded());
    QCOMPARE(Q(LogLocation::Parse(f->Session().LogFileName()).member), QStringLiteral("過去ログ/表示.log"));
    QVERIFY(Model(*f)->rowCount() > 0);
    QVERIFY(ui_->errors.isEmpty());
  }

  // A dropped archive opens as by the open dialog: this one holds one log
  // beside a text file, which is taken without a question.
  void dropOpensTheOnlyLog() {
    auto f = MakeForm();
    AnswerMembers("ソフト談義.log");
    QList<QUrl> urls{QUrl::fromLocalFile(Path(kSamples / "forum.zip"))};
    auto mime = std::make_unique<QMimeData>();
    mime->setUrls(urls);
    const QPoint at = Memo(*f)->mapTo(f.get(), QPoint(10, 10));
    QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.get(), &drop);
    QTRY_VERIFY(f->Session().LogLoaded());
    QCOMPARE(dialogs_, 0);
    QCOMPARE(Q(LogLocation::Parse(f->Session().LogFileName()).member), QStringLiteral("ソフト談義.log"));
  }

  // A bookmark set on a remark of a member, read back after a restart,
  // opens that member at that remark.
  void bookmarkInAMemberAfterARestart() {
    std::string stored;
    int number = 0;
    {
      auto f = MakeForm({Path(kSamples / "one-log.lzh")});
      Click(*f, 2);
      number = Shown(*f);
      QVERIFY(number > 0);
      stored = f->Session().LogFileName();
      ui_->onModal = [](QDialog& d) {
        auto* dlg = qobject_cast<TBookDlg*>(&d);
        if (dlg) dlg->Edit1->setText(QStringLiteral("in the archive"));
        return dlg != nullptr;
      };
      Trigger(*f, "BM_Set");
    }
    const std::string ini = Ini();
    QVERIFY2(ini.find(stored) != std::string::npos, ini.c_str());
    auto g = MakeForm();
    QVERIFY(!g->Session().LogLoaded());
    QAction* entry = nullptr;
    for (QAction* a : MenuOf(*g, "BookM_M")->actions()) {
      if (a->text() == QStringLiteral("in the archive")) entry = a;
    }
    QVERIFY(entry);
    entry->trigger();
    QApplication::processEvents();
    QCOMPARE(g->Session().LogFileName(), stored);
    QCOMPARE(Shown(*g), number);
    QVERIFY(ui_->errors.isEmpty());
  }
};

QTEST_MAIN(ArchiveWindowTest)
#include "ArchiveWindowTest.moc"
