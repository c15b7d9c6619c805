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
#include "platform/Interaction.h"
#include "ui/ExMemo.h"
#include "ui/FormFixture.h"
#include "ui/Kest2.h"
#include "ui/RecordingUi.h"
#include "ui/TitleListModel.h"

using namespace kest;
using namespace kest::test;

namespace {

using FakeUi = test::RecordingUi;

QString Sample(const char* name) {
  return QStringLiteral(KEST_SOURCE_DIR "/samples/") + QString::fromUtf8(name);
}

struct Read {
  QString caption;
  QStringList lines;
  std::vector<std::string> texts;
};

}  // namespace

class EncodingsTest : public FormTest<FakeUi> {
  Q_OBJECT

 private:
  // Opens a file through the open dialog, as a user does, and reads the
  // caption, every list line and the text of every remark.
  Read OpenAndRead(TKestForm& f, const QString& file) {
    ui_->fileToOpen = file;
    Trigger(f, "OPFile_M");
    Read s;
    s.caption = f.windowTitle();
    for (int i = 0; i < Model(f)->rowCount(); ++i) s.lines << Model(f)->data(Model(f)->index(i)).toString();
    // Every remark's lines as the window reads them for the pane.
    for (int i = 0; i < f.Session().Log()->Count(); ++i) {
      const RemarkText text = LoadRemarkText(f.Session().LogReadPath(), *f.Session().Log(), IndexPos(i));
      std::string joined;
      for (const std::string& line : text.lines) joined += line + "\r\n";
      s.texts.push_back(joined);
    }
    return s;
  }

 private slots:
  void init() {
    InitForm();
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((dir_->Path() / "cache").string()));
  }
  void cleanup() {
    qunsetenv("XDG_CACHE_HOME");
    qunsetenv("TMPDIR");
    QVERIFY2(CleanupForm(), "every hourglass came back");
  }

  void samplesOpenAsTheOriginal() {
    auto f = MakeForm();
    const Read native = OpenAndRead(*f, Sample("sample.log"));
    QVERIFY(native.texts.size() > 50);
    QVERIFY(!native.lines.isEmpty());
    QVERIFY(Control<QLabel>(*f, "ConvertedPanel")->isHidden());
    for (const char* name : {"sample-utf8.log", "sample-eucjp.log"}) {
      const Read travelled = OpenAndRead(*f, Sample(name));
      QCOMPARE(travelled.caption, native.caption);
      QVERIFY(travelled.caption.startsWith(QStringLiteral("Kest32-ＦＪＩＳＡＫ")));
      QCOMPARE(travelled.lines, native.lines);
      QVERIFY(travelled.texts == native.texts);
      // Everything the user sees and keeps names the file opened.
      QCOMPARE(Q(f->Session().LogFileName()), Sample(name));
      QCOMPARE(RecentName(*f, 0), Sample(name));
      QCOMPARE(Q(f->Session().OpenFolder()), QStringLiteral(KEST_SOURCE_DIR "/samples/"));
      QVERIFY(f->Session().LogReadPath() != std::filesystem::path(Sample(name).toStdString()));
      QVERIFY(Control<QLabel>(*f, "ConvertedPanel")->isVisible());
      QVERIFY(Control<QProgressBar>(*f, "PBar1")->isHidden());
    }
    QCOMPARE(Control<QLabel>(*f, "ConvertedPanel")->text(), QStringLiteral("EUC-JP・LF から変換"));
    QVERIFY(Control<QLabel>(*f, "ConvertedPanel")->toolTip().contains(Sample("sample-eucjp.log")));
    QCOMPARE(ui_->infos, QStringList());
    QCOMPARE(ui_->errors, QStringList());
    OpenAndRead(*f, Sample("sample-utf8.log"));
    QCOMPARE(Control<QLabel>(*f, "ConvertedPanel")->text(), QStringLiteral("UTF-8・LF から変換"));
    // Back to a native log: the notice goes, the file itself is read.
    OpenAndRead(*f, Sample("sample.log"));
    QVERIFY(Control<QLabel>(*f, "ConvertedPanel")->isHidden());
    QCOMPARE(f->Session().LogReadPath(), std::filesystem::path(Sample("sample.log").toStdString()));
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
    QVERIFY(Memo(*f)->Text().find(Utf8ToSjis("〓 〓 ok")) != std::string::npos);
    QVERIFY(Control<QLabel>(*f, "ConvertedPanel")->toolTip().contains(QStringLiteral("2 個")));
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
    QVERIFY(Control<QLabel>(*f, "ConvertedPanel")->isHidden());
    // An empty file holds no remark either, and is told so the same way.
    QVERIFY(f->LoadLog(Path(dir_->Write("empty.log", ""))));
    QCOMPARE(ui_->infos.size(), 3);
    QVERIFY(ui_->infos[2].contains(QStringLiteral("発言が一つもありません")));
    QCOMPARE(ui_->errors, QStringList());
  }

  void aFailedConversionKeepsTheShownLog() {
    auto f = MakeForm();
    QVERIFY(f->LoadLog(Sample("sample.log")));
    const int lines = Model(*f)->rowCount();
    const QString caption = f->windowTitle();
    dir_->Write("plain", "x");
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((dir_->Path() / "plain").string()));
    qputenv("TMPDIR", QByteArray::fromStdString((dir_->Path() / "plain").string()));
    QVERIFY(!f->LoadLog(Sample("sample-utf8.log")));
    QCOMPARE(ui_->errors.size(), 1);
    QVERIFY(ui_->errors[0].contains(QStringLiteral("書き込めません")));
    QCOMPARE(Q(f->Session().LogFileName()), Sample("sample.log"));
    QCOMPARE(Model(*f)->rowCount(), lines);
    QCOMPARE(f->windowTitle(), caption);
    QVERIFY(Control<QProgressBar>(*f, "PBar1")->isHidden());
    // With only the cache folder unwritable, a temporary copy serves.
    qunsetenv("TMPDIR");
    QVERIFY(f->LoadLog(Sample("sample-utf8.log")));
    QCOMPARE(Model(*f)->rowCount(), lines);
    QVERIFY(Control<QLabel>(*f, "ConvertedPanel")->toolTip().contains(QStringLiteral("一時ファイル")));
  }
};

QTEST_MAIN(EncodingsTest)
#include "EncodingsTest.moc"
