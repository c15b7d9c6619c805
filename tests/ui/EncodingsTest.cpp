// The window on logs that have travelled: the UTF-8 and EUC-JP samples open
// with the same caption, list and texts as the Shift-JIS original while
// everything the user keeps names the file they opened; the notice in the
// status bar; the boxes about replaced characters and files without a
// remark; a conversion that fails leaves the shown log alone.
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <fstream>

#include "core/LogFixture.h"
#include "platform/Codec.h"
#include "search/ExMemo.h"
#include "ui/Interaction.h"
#include "ui/RecordingUi.h"
#include "ui/Kest2.h"
#include "ui/TitleListModel.h"

using namespace kest;
using namespace kest::test;

namespace {

using FakeUi = test::RecordingUi;

QString Sample(const char* name) { return QStringLiteral(KEST_SOURCE_DIR "/samples/") + QString::fromUtf8(name); }

struct Shown {
  QString caption;
  QStringList lines;
  std::vector<std::string> texts;
};

}  // namespace

class EncodingsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<FakeUi> ui_;

  std::unique_ptr<TKestForm> MakeForm() {
    auto form = std::make_unique<TKestForm>();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get())) qWarning("window not exposed");
    return form;
  }
  QString Path(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

  // Opens a file through the open dialog, as a user does, and reads the
  // caption, every list line and the text of every remark.
  Shown OpenAndRead(TKestForm& f, const QString& file) {
    ui_->fileToOpen = file;
    f.OpenWithDialog();
    Shown s;
    s.caption = f.windowTitle();
    for (int i = 0; i < f.Model()->rowCount(); ++i) s.lines << f.Model()->data(f.Model()->index(i)).toString();
    for (int i = 0; i < f.Log()->Count(); ++i) {
      f.ShowRemark(IndexPos(i));
      s.texts.push_back(f.Memo1->Text());
    }
    return s;
  }

 private slots:
  void init() {
    dir_ = std::make_unique<TempDir>();
    ui_ = std::make_unique<FakeUi>();
    SetUi(ui_.get());
    qputenv("KEST_INI", QByteArray::fromStdString((dir_->Path() / "Kest.INI").string()));
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((dir_->Path() / "cache").string()));
  }
  void cleanup() {
    QCOMPARE(ui_->waitDepth, 0);
    SetUi(nullptr);
    qunsetenv("KEST_INI");
    qunsetenv("XDG_CACHE_HOME");
    qunsetenv("TMPDIR");
    dir_.reset();
  }

  void samplesOpenAsTheOriginal() {
    auto f = MakeForm();
    const Shown native = OpenAndRead(*f, Sample("sample.log"));
    QVERIFY(native.texts.size() > 50);
    QVERIFY(!native.lines.isEmpty());
    QVERIFY(f->ConvertedPanel->isHidden());
    for (const char* name : {"sample-utf8.log", "sample-eucjp.log"}) {
      const Shown travelled = OpenAndRead(*f, Sample(name));
      QCOMPARE(travelled.caption, native.caption);
      QVERIFY(travelled.caption.startsWith(QStringLiteral("Kest32-ＦＪＩＳＡＫ")));
      QCOMPARE(travelled.lines, native.lines);
      QVERIFY(travelled.texts == native.texts);
      // Everything the user sees and keeps names the file opened.
      QCOMPARE(f->LogFileName, Sample(name));
      QCOMPARE(f->RecentFile(0), Sample(name));
      QCOMPARE(f->OpenFolder, QStringLiteral(KEST_SOURCE_DIR "/samples/"));
      QVERIFY(f->LogReadPath() != std::filesystem::path(Sample(name).toStdString()));
      QVERIFY(f->ConvertedPanel->isVisible());
      QVERIFY(f->PBar1->isHidden());
    }
    QCOMPARE(f->ConvertedPanel->text(), QStringLiteral("EUC-JP・LF から変換"));
    QVERIFY(f->ConvertedPanel->toolTip().contains(Sample("sample-eucjp.log")));
    QCOMPARE(ui_->infos, QStringList());
    QCOMPARE(ui_->errors, QStringList());
    OpenAndRead(*f, Sample("sample-utf8.log"));
    QCOMPARE(f->ConvertedPanel->text(), QStringLiteral("UTF-8・LF から変換"));
    // Back to a native log: the notice goes, the file itself is read.
    OpenAndRead(*f, Sample("sample.log"));
    QVERIFY(f->ConvertedPanel->isHidden());
    QCOMPARE(f->LogReadPath(), std::filesystem::path(Sample("sample.log").toStdString()));
  }

  void replacedCharactersAreToldOnce() {
    std::string log = Utf8ToSjis("日本語のログ") + "\r\n\r\n" +
                      Remark(Header5(1, "ABC01234", Utf8ToSjis("ぽんた"), "smile"), Line2(), {"BODY"});
    // The body's "BODY" becomes two characters that Shift-JIS lacks.
    std::string utf8 = SjisToUtf8(log);
    utf8.replace(utf8.find("BODY"), 4, "\xF0\x9F\x98\x80 \xF0\x9F\x8D\xA3 ok");
    std::string lf;
    for (char c : utf8) {
      if (c != '\r') lf += c;
    }
    const auto p = dir_->Write("emoji.log", lf);
    auto f = MakeForm();
    QVERIFY(f->LoadLog(Path(p)));
    QCOMPARE(ui_->infos.size(), 1);
    QVERIFY(ui_->infos[0].contains(QStringLiteral("2 個")));
    QVERIFY(f->Memo1->Text().find(Utf8ToSjis("〓 〓 ok")) != std::string::npos);
    QVERIFY(f->ConvertedPanel->toolTip().contains(QStringLiteral("2 個")));
    QVERIFY(f->LoadLog(Path(p)));  // the copy is reused: nothing told again
    QCOMPARE(ui_->infos.size(), 1);
  }

  void filesWithoutARemark() {
    auto f = MakeForm();
    QVERIFY(f->LoadLog(Path(dir_->Write("notes.txt", "some notes\r\nno remark\r\n"))));
    QCOMPARE(ui_->infos.size(), 1);
    QVERIFY(ui_->infos[0].contains(QStringLiteral("発言が一つもありません")));
    std::string bin;
    for (int i = 0; i < 5000; ++i) bin += static_cast<char>(i * 13 % 256);
    QVERIFY(f->LoadLog(Path(dir_->Write("bin.dat", bin))));
    QCOMPARE(ui_->infos.size(), 2);
    QVERIFY(f->ConvertedPanel->isHidden());
    QVERIFY(f->LoadLog(Path(dir_->Write("empty.log", ""))));  // silent, as ever
    QCOMPARE(ui_->infos.size(), 2);
    QCOMPARE(ui_->errors, QStringList());
  }

  void aFailedConversionKeepsTheShownLog() {
    auto f = MakeForm();
    QVERIFY(f->LoadLog(Sample("sample.log")));
    const int lines = f->Model()->rowCount();
    const QString caption = f->windowTitle();
    dir_->Write("plain", "x");
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((dir_->Path() / "plain").string()));
    qputenv("TMPDIR", QByteArray::fromStdString((dir_->Path() / "plain").string()));
    QVERIFY(!f->LoadLog(Sample("sample-utf8.log")));
    QCOMPARE(ui_->errors.size(), 1);
    QVERIFY(ui_->errors[0].contains(QStringLiteral("書き込めません")));
    QCOMPARE(f->LogFileName, Sample("sample.log"));
    QCOMPARE(f->Model()->rowCount(), lines);
    QCOMPARE(f->windowTitle(), caption);
    QVERIFY(f->PBar1->isHidden());
    // With only the cache folder unwritable, a temporary copy serves.
    qunsetenv("TMPDIR");
    QVERIFY(f->LoadLog(Sample("sample-utf8.log")));
    QCOMPARE(f->Model()->rowCount(), lines);
    QVERIFY(f->ConvertedPanel->toolTip().contains(QStringLiteral("一時ファイル")));
  }
};

QTEST_MAIN(EncodingsTest)
#include "EncodingsTest.moc"
