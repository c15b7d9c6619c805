// The window's export: its menu entries and their states, the dialog's
// choices and the file name that follows them, asking before a file is
// replaced, and what lands in the file.
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include "export/ExportDialog.h"
#include "ui/FormFixture.h"

using namespace kest;
using namespace kest::test;

class ExportWindowTest : public FormTest<> {
  Q_OBJECT

  // Answers the export dialog: what `choose` sets, then OK (or Cancel when
  // it returns false); the dialogs shown are counted.
  int shown_ = 0;
  void Answer(std::function<bool(TExportDlg&)> choose) {
    shown_ = 0;
    ui_->onModal = [this, choose](QDialog& d) {
      auto* dlg = qobject_cast<TExportDlg*>(&d);
      if (!dlg) return false;
      ++shown_;
      return choose(*dlg);
    };
  }

 private slots:
  void init() { InitForm(); }
  void cleanup() { QVERIFY2(CleanupForm(), "every hourglass came back"); }

  void entriesAndTheirStates() {
    auto f = MakeForm();
    QAction* entry = Action(*f, "Export_M");
    const QList<QAction*> file = MenuOf(*f, "F1")->actions();
    QCOMPARE(file.indexOf(entry), file.indexOf(Action(*f, "Print1")) + 1);
    QVERIFY(!entry->isEnabled());
    QVERIFY(!Enabled(*f, "ExportThread_P"));
    const auto log = dir_->Write("forum.log", ThreadLog());
    QVERIFY(f->OpenLog(Path(log)));
    QVERIFY(entry->isEnabled());
    QVERIFY(Enabled(*f, "ExportThread_P"));
  }

  // The pop-up entry offers the shown remark's thread, named after its first
  // remark beside the log; the page holds that thread and no other remark.
  void threadFromThePopup() {
    const auto log = dir_->Write("forum.log", ThreadLog());
    auto f = MakeForm({Path(log)});
    Do(*f, [](LogSession& s) { s.SelectRemarkByNumber(RemarkNo(4)); });  // thread of 1
    QString offered;
    bool threadFirst = false;
    Answer([&](TExportDlg& d) {
      threadFirst = d.ThreadBtn->isChecked();
      offered = d.FileName();
      return true;
    });
    Trigger(*f, "ExportThread_P");
    QCOMPARE(shown_, 1);
    QVERIFY(threadFirst);
    QCOMPARE(offered, QStringLiteral("forum-thread-00001.html"));
    const std::string page = ReadFile(dir_->Path() / "forum-thread-00001.html");
    for (const char* id : {"id=\"r00001\"", "id=\"r00002\"", "id=\"r00004\"", "id=\"r00006\""}) {
      QVERIFY2(page.find(id) != std::string::npos, id);
    }
    QVERIFY(page.find("id=\"r00007\"") == std::string::npos);
    QVERIFY(ui_->errors.isEmpty());
  }

  // The name follows the choices until the user writes one; an existing
  // file is replaced only after the user agreed, else the dialog comes back.
  void choicesAndReplacing() {
    const auto log = dir_->Write("forum.log", ThreadLog());
    auto f = MakeForm({Path(log)});
    const auto target = dir_->Write("out.txt", "keep me");
    std::vector<QString> names;
    Answer([&](TExportDlg& d) {
      d.LogBtn->setChecked(true);
      names.push_back(d.FileName());
      d.TextBtn->setChecked(true);
      names.push_back(d.FileName());
      if (!d.SjisBox->isEnabled()) return false;
      d.SetFileName(Path(target));
      d.RemarkBtn->setChecked(true);  // a name of the user's own stays
      names.push_back(d.FileName());
      return shown_ == 1;  // the second showing is cancelled
    });
    ui_->confirmAnswers = {false};
    Trigger(*f, "Export_M");
    QCOMPARE(names[0], QStringLiteral("forum.html"));
    QCOMPARE(names[1], QStringLiteral("forum.txt"));
    QCOMPARE(names[2], Path(target));
    QCOMPARE(ui_->confirms.size(), 1);
    QCOMPARE(shown_, 2);
    QCOMPARE(ReadFile(target), std::string("keep me"));

    // Agreed: the shown remark, as text with its header line.
    Answer([&](TExportDlg& d) {
      d.RemarkBtn->setChecked(true);
      d.TextBtn->setChecked(true);
      d.SetFileName(Path(target));
      return true;
    });
    ui_->confirmAnswers = {true};
    Trigger(*f, "Export_M");
    const std::string text = ReadFile(target);
    QVERIFY(text.rfind("1  ID: ABC01234", 0) == 0);
    QVERIFY(text.find("body 1\n") != std::string::npos);
    QVERIFY(text.find("body 2") == std::string::npos);
  }

  // A file that cannot be written is told, and nothing is left behind.
  void failureIsTold() {
    const auto log = dir_->Write("forum.log", ThreadLog());
    auto f = MakeForm({Path(log)});
    std::filesystem::create_directory(dir_->Path() / "sub");
    Answer([&](TExportDlg& d) {
      d.SetFileName(Path(dir_->Path() / "sub" / "missing" / "x.html"));
      return true;
    });
    Trigger(*f, "Export_M");
    QCOMPARE(ui_->errors.size(), 1);
    QVERIFY(std::filesystem::is_empty(dir_->Path() / "sub"));
  }
};

QTEST_MAIN(ExportWindowTest)
#include "ExportWindowTest.moc"
