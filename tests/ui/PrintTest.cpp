// Printing the shown remark: the print dialog runs through a fake that
// prints to a PDF file, and the file's text is read back with pdftotext.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "core/LogFixture.h"
#include "platform/Codec.h"
#include "platform/Interaction.h"
#include "ui/ExMemo.h"
#include "ui/FormFixture.h"
#include "ui/Kest2.h"
#include "ui/RecordingUi.h"

using namespace kest;
using namespace kest::test;

namespace {

class FakeUi : public test::RecordingUi {
 public:
  QString pdf;  // where the print goes; empty: the print dialog is cancelled
  int dialogs = 0;
  bool ChoosePrinter(QWidget*, QPrinter& printer) override {
    ++dialogs;
    if (pdf.isEmpty()) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return true;
  }
};

}  // namespace

class PrintTest : public FormTest<FakeUi> {
  Q_OBJECT

 private:
  // The text of the PDF, page by page, each page's lines without their
  // trailing blanks; skips the test when poppler's pdftotext is missing.
  QStringList PdfLines(const QString& pdf, int* pages = nullptr) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty()) return {QStringLiteral("<no pdftotext>")};
    QProcess p;
    p.start(tool, {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf,
                   QStringLiteral("-")});
    p.waitForFinished(30000);
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    if (pages) *pages = static_cast<int>(text.count(QLatin1Char('\f')));
    QStringList lines;
    for (QString l : text.split(QLatin1Char('\n'))) {
      l.remove(QLatin1Char('\f'));
      while (l.endsWith(QLatin1Char(' '))) l.chop(1);
      if (!l.isEmpty()) lines << l;
    }
    return lines;
  }
  static bool HavePdfToText() {
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
  }

 private slots:
  void init() { InitForm(); }
  void cleanup() { QVERIFY2(CleanupForm(), "every hourglass came back"); }

  void cancelPrintsNothing() {
    auto f = MakeForm();
    QVERIFY(Action(*f, "Print1")->isEnabled());
    Action(*f, "Print1")->trigger();
    QCOMPARE(ui_->dialogs, 1);
    QVERIFY(ui_->errors.isEmpty());
  }

  // Before any log the printout is the header line alone.
  void headerBeforeAnyLog() {
    if (!HavePdfToText()) QSKIP("pdftotext (poppler-utils) is not installed: cannot read the PDF");
    auto f = MakeForm();
    ui_->pdf = QString::fromStdString((dir_->Path() / "empty.pdf").string());
    Action(*f, "Print1")->trigger();
    QVERIFY(ui_->errors.isEmpty());
    int pages = 0;
    const QStringList lines = PdfLines(ui_->pdf, &pages);
    QCOMPARE(pages, 1);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].trimmed().startsWith(QStringLiteral("ID:")), qPrintable(lines[0]));
    QCOMPARE(lines[0].simplified(), QStringLiteral("ID: 発言者: ﾀｲﾄﾙ:"));
  }

  // A remark whose lines wrap in the pane prints with the pane's breaks, the
  // header first; a long remark goes on to further pages.
  void wrappedRemarkPrintsWithTheScreensBreaks() {
    if (!HavePdfToText()) QSKIP("pdftotext (poppler-utils) is not installed: cannot read the PDF");
    std::string longLine;
    for (int i = 0; i < 12; ++i) longLine += Utf8ToSjis("日本語の文章") + "word" + std::to_string(i) + " ";
    std::vector<std::string> body = {longLine, "short line"};
    for (int i = 0; i < 120; ++i) body.push_back("line " + std::to_string(i));
    std::string log = Utf8ToSjis("印刷テスト") + "\r\n\r\n";
    log += Header5(7, "ABC01234", "poster", "title7") + "\r\n" + Line2() + "\r\n";
    for (const auto& b : body) log += b + "\r\n";
    const auto path = dir_->Write("p.log", log);
    auto f = MakeForm();
    f->resize(420, 500);
    QTest::qWait(50);
    QVERIFY(f->LoadLog(QString::fromStdString(path.string())));
    const QStringList display = Memo(*f)->DisplayLines();
    QVERIFY2(display.size() > 2 + 120, "the long line wraps in the pane");

    ui_->pdf = QString::fromStdString((dir_->Path() / "remark.pdf").string());
    Action(*f, "Print1")->trigger();
    QVERIFY(ui_->errors.isEmpty());
    int pages = 0;
    const QStringList lines = PdfLines(ui_->pdf, &pages);
    QVERIFY2(pages >= 2, "a long remark goes on to a second page");
    QCOMPARE(lines[0].simplified(), QStringLiteral("7 ID: ABC01234 発言者: poster ﾀｲﾄﾙ: title7"));
    QStringList expected;
    for (const QString& l : display) {
      if (!l.trimmed().isEmpty()) expected << l.simplified();
    }
    QStringList printed;
    for (int i = 1; i < lines.size(); ++i) printed << lines[i].simplified();
    QCOMPARE(printed, expected);
  }

  // A printer that cannot start the document is reported, not a crash.
  void failureToStartIsReported() {
    auto f = MakeForm();
    ui_->pdf = QStringLiteral("/nonexistent-folder/x/y.pdf");
    Action(*f, "Print1")->trigger();
    QCOMPARE(ui_->errors, QStringList{QStringLiteral("印刷を開始できません")});
  }
};

QTEST_MAIN(PrintTest)
#include "PrintTest.moc"
