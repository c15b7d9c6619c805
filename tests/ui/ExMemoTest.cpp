// Widget tests of the text pane: byte/character mapping, the search that
// selects and centres a match, and the line arithmetic it rests on.
#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetrics>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

#include <random>
#include <string>
#include <vector>

#include "platform/Codec.h"
#include "ui/ExMemo.h"

using kest::TExMemo;

namespace {

// Opens up what the base class keeps for subclasses, to check the view
// independently of the pane's own line arithmetic.
class ProbedMemo : public TExMemo {
 public:
  using TExMemo::blockBoundingGeometry;
  using TExMemo::contentOffset;
  using TExMemo::firstVisibleBlock;
};

std::vector<std::string> Numbered(int count) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) lines.push_back("line " + std::string(i < 10 ? "0" : "") + std::to_string(i));
  return lines;
}

// The display line the view starts with, worked out from the blocks the base
// class reports rather than from the scroll bar.
int FirstShownDisplayLine(ProbedMemo& memo) {
  QTextBlock block = memo.document()->begin();
  const QTextBlock first = memo.firstVisibleBlock();
  int line = 0;
  for (; block.isValid() && block != first; block = block.next()) line += block.layout()->lineCount();
  // The top of the viewport lies at -contentOffset within the first block.
  const qreal inBlock = -memo.contentOffset().y();
  QTextLayout* layout = first.layout();
  for (int i = 0; i < layout->lineCount(); ++i) {
    if (layout->lineAt(i).y() + 0.5 >= inBlock) return line + i;
  }
  return line;
}

}  // namespace

class ExMemoTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<ProbedMemo> memo_;
  int spacing_ = 0;

  // A shown pane of fixed width, in a fixed font, with room for exactly
  // `lines` whole lines plus half a line.
  ProbedMemo& Pane(int lines) {
    memo_ = std::make_unique<ProbedMemo>();
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(12);
    memo_->setFont(font);
    memo_->setFixedSize(300, 200);
    memo_->show();
    if (!QTest::qWaitForWindowExposed(memo_.get())) qWarning("pane not exposed");
    SetRoom(lines);
    return *memo_;
  }

  void SetRoom(int lines) {
    spacing_ = QFontMetrics(memo_->font()).lineSpacing();
    const int chrome = memo_->height() - memo_->viewport()->height();
    memo_->setFixedSize(300, chrome + lines * spacing_ + spacing_ / 2);
    QCoreApplication::processEvents();
  }

 private slots:
  void visibleLinesIsViewportOverLineSpacing() {
    ProbedMemo& memo = Pane(5);
    QCOMPARE(QFontInfo(memo.font()).family(), QStringLiteral("IPAGothic"));
    QCOMPARE(memo.VisibleLines(), memo.viewport()->height() / QFontMetrics(memo.font()).lineSpacing());
    QCOMPARE(memo.VisibleLines(), 5);
    SetRoom(7);
    QCOMPARE(memo.VisibleLines(), 7);
    // The lines really are that tall: V lines of text fit, V + 1 do not.
    memo.SetLines(Numbered(20));
    memo.BringToBeginning();
    QTextBlock block = memo.document()->findBlockByNumber(6);
    const qreal bottom = memo.blockBoundingGeometry(block).translated(memo.contentOffset()).bottom();
    QVERIFY(bottom <= memo.viewport()->height());
    block = block.next();
    QVERIFY(memo.blockBoundingGeometry(block).translated(memo.contentOffset()).bottom() >
            memo.viewport()->height());
  }

  void textEndsEveryLineWithCrLf() {
    ProbedMemo& memo = Pane(5);
    QCOMPARE(memo.Text(), std::string());
    memo.SetLines({"a", "", "bc"});
    QCOMPARE(memo.Text(), std::string("a\r\n\r\nbc\r\n"));
    QCOMPARE(memo.LineCount(), 3);
    QCOMPARE(memo.toPlainText(), QStringLiteral("a\n\nbc\n"));
    // The caret stands after the last line, as after appending.
    QCOMPARE(memo.SelStart(), std::int64_t(9));

    memo.Clear();
    memo.AppendLine("a");
    memo.AppendLine("");
    memo.AppendLine("bc");
    QCOMPARE(memo.Text(), std::string("a\r\n\r\nbc\r\n"));
    QCOMPARE(memo.toPlainText(), QStringLiteral("a\n\nbc\n"));
    QCOMPARE(memo.SelStart(), std::int64_t(9));
    QCOMPARE(memo.PositionOfByte(5), 3);  // start of "bc", after two blocks

    memo.Clear();
    QCOMPARE(memo.Text(), std::string());
    QCOMPARE(memo.SelStart(), std::int64_t(0));
    QCOMPARE(memo.toPlainText(), QString());
  }

  void bringToBeginningShowsFirstLineWithCaretAtZero() {
    ProbedMemo& memo = Pane(5);
    memo.Clear();
    for (const std::string& line : Numbered(50)) memo.AppendLine(line);
    memo.ScrollLine(30);
    QCOMPARE(memo.TopLine(), 30);
    memo.BringToBeginning();
    QCOMPARE(memo.SelStart(), std::int64_t(0));
    QCOMPARE(memo.SelLength(), std::int64_t(0));
    QCOMPARE(memo.TopLine(), 0);
    QCOMPARE(memo.firstVisibleBlock().blockNumber(), 0);
    QCOMPARE(memo.textCursor().position(), 0);
    // Nothing was added above the text.
    QCOMPARE(memo.Text().substr(0, 9), std::string("line 00\r\n"));
    QCOMPARE(memo.DisplayLines().front(), QStringLiteral("line 00"));
    QCOMPARE(memo.DisplayLines().size(), 50);
  }

  void selectionSurvivesMidCharacterOffsets() {
    ProbedMemo& memo = Pane(5);
    const std::string nihon = KEST_SJIS("日本");  // 4 bytes, 2 characters
    memo.SetLines({nihon});
    memo.SetSelStart(1);  // inside 日
    QCOMPARE(memo.SelStart(), std::int64_t(1));
    memo.SetSelLength(2);  // trail of 日, lead of 本
    QCOMPARE(memo.SelStart(), std::int64_t(1));
    QCOMPARE(memo.SelLength(), std::int64_t(2));
    // Shown as the two characters the bytes touch.
    QCOMPARE(memo.textCursor().selectedText(), QStringLiteral("日本"));

    // A selection the user makes is read back from the document.
    QTextCursor c = memo.textCursor();
    c.setPosition(1);
    memo.setTextCursor(c);
    QCOMPARE(memo.SelStart(), std::int64_t(2));
    QCOMPARE(memo.SelLength(), std::int64_t(0));
  }

  void mapsJapaneseKanaAndInvalidBytes() {
    ProbedMemo& memo = Pane(5);
    // 日(2) a(1) ｶ(1, half-width kana) 0x85 0x40 (no such character: U+FFFD
    // for 0x85, then '@') 本(2) 0x80 (U+FFFD) and a lone lead byte at the end.
    const std::string line = KEST_SJIS("日") + "a" + KEST_SJIS("ｶ") + "\x85\x40" + KEST_SJIS("本") + "\x80" + "\x81";
    QCOMPARE(line.size(), std::size_t(10));
    memo.SetLines({line, "key"});
    const QString shown = memo.document()->firstBlock().text();
    QCOMPARE(shown, QStringLiteral("日aｶ\uFFFD@本\uFFFD\uFFFD"));
    QCOMPARE(shown, QString::fromUtf8(kest::SjisToUtf8(line)));

    const int expected[] = {0, 0, 1, 2, 3, 4, 5, 5, 6, 7, 8};  // floor of each byte offset
    for (int b = 0; b <= 10; ++b) QCOMPARE(memo.PositionOfByte(b), expected[b]);
    QCOMPARE(memo.PositionOfByte(1, true), 1);
    QCOMPARE(memo.PositionOfByte(11), 8);        // between CR and LF
    QCOMPARE(memo.PositionOfByte(11, true), 9);  // rounds up to the next line
    QCOMPARE(memo.PositionOfByte(12), 9);        // "key"
    QCOMPARE(memo.ByteOfPosition(9), std::int64_t(12));
    const std::int64_t back[] = {0, 2, 3, 4, 5, 6, 8, 9, 10};
    for (int p = 0; p <= 8; ++p) QCOMPARE(memo.ByteOfPosition(p), back[p]);

    // A match after all of that selects exactly the key's characters.
    memo.SetSelStart(3);
    QVERIFY(memo.FindString("key", false));
    QCOMPARE(memo.SelStart(), std::int64_t(12));
    QCOMPARE(memo.textCursor().selectedText(), QStringLiteral("key"));

    memo.SetLines({KEST_SJIS("これはテスト"), KEST_SJIS("日本語のtestです、ﾃｽﾄも")});
    memo.SetSelStart(3);
    QVERIFY(memo.FindString("test", false));
    QCOMPARE(memo.SelStart(), std::int64_t(12 + 2 + 8));
    QCOMPARE(memo.textCursor().selectedText(), QStringLiteral("test"));
    QVERIFY(memo.FindString(KEST_SJIS("ﾃｽﾄ"), false));
    QCOMPARE(memo.textCursor().selectedText(), QStringLiteral("ﾃｽﾄ"));
  }

  void anyBytesMapConsistently() {
    ProbedMemo& memo = Pane(5);
    std::mt19937 rng(32);
    const unsigned char interesting[] = {0x00, 0x0A, 0x0D, 0x1A, 0x20, 0x41, 0x7F, 0x80, 0x81, 0x85,
                                         0x9F, 0xA0, 0xB6, 0xDF, 0xE0, 0xEF, 0xF0, 0xFC, 0xFD, 0xFF};
    for (int round = 0; round < 30; ++round) {
      std::vector<std::string> lines;
      const int count = 1 + static_cast<int>(rng() % 6);
      for (int i = 0; i < count; ++i) {
        std::string s;
        const int len = static_cast<int>(rng() % 30);
        for (int j = 0; j < len; ++j) {
          s.push_back(static_cast<char>(rng() % 2 ? interesting[rng() % sizeof interesting] : rng() % 256));
        }
        lines.push_back(s);
      }
      if (round % 2) {
        memo.SetLines(lines);
      } else {
        memo.Clear();
        for (const std::string& s : lines) memo.AppendLine(s);
      }
      // One block per line, however odd the bytes.
      QCOMPARE(memo.document()->blockCount(), count + 1);
      const int docEnd = memo.document()->characterCount() - 1;
      const std::int64_t size = static_cast<std::int64_t>(memo.Text().size());
      QCOMPARE(memo.ByteOfPosition(docEnd), size);
      QCOMPARE(memo.PositionOfByte(size), docEnd);
      for (int p = 0; p <= docEnd; ++p) {
        if (memo.document()->characterAt(p).isLowSurrogate()) continue;
        QCOMPARE(memo.PositionOfByte(memo.ByteOfPosition(p)), p);
      }
      for (std::int64_t b = -1; b <= size + 1; ++b) {
        const int lo = memo.PositionOfByte(b);
        const int hi = memo.PositionOfByte(b, true);
        QVERIFY(lo >= 0 && lo <= hi && hi <= docEnd);
        QVERIFY(memo.ByteOfPosition(lo) <= std::max<std::int64_t>(b, 0));
      }
      memo.SetSelStart(static_cast<std::int64_t>(rng() % (size + 1)));
      memo.FindString("\x81", bool(round % 3));
    }
  }

  void repeatedFindTakesNextOccurrenceIncludingOverlap() {
    ProbedMemo& memo = Pane(5);
    //       012345678
    memo.SetLines({"zabababaz"});
    memo.BringToBeginning();
    // Fresh pane: LastFound 0 equals the caret, which skips len(key) first.
    QVERIFY(memo.FindString("aba", false));
    QCOMPARE(memo.SelStart(), std::int64_t(3));
    QCOMPARE(memo.SelLength(), std::int64_t(3));
    QCOMPARE(memo.LastFound(), std::int64_t(3));
    // Next: caret to 6, region from 5; the occurrence sharing byte 5 is found.
    QVERIFY(memo.FindString("aba", false));
    QCOMPARE(memo.SelStart(), std::int64_t(5));
    QCOMPARE(memo.LastFound(), std::int64_t(5));
    // No more: the caret stays past the last match, LastFound unchanged.
    QVERIFY(!memo.FindString("aba", false));
    QCOMPARE(memo.SelStart(), std::int64_t(8));
    QCOMPARE(memo.SelLength(), std::int64_t(0));
    QCOMPARE(memo.LastFound(), std::int64_t(5));
  }

  void lastFoundSurvivesNewText() {
    ProbedMemo& memo = Pane(5);
    memo.SetLines({"zabababaz"});
    memo.BringToBeginning();
    QVERIFY(memo.FindString("aba", false));
    QVERIFY(memo.FindString("aba", false));
    QCOMPARE(memo.LastFound(), std::int64_t(5));
    //             012345678901
    memo.SetLines({"01234aba9aba"});
    QCOMPARE(memo.LastFound(), std::int64_t(5));
    memo.SetSelStart(5);
    // The caret stands at LastFound, so the match right there is skipped.
    QVERIFY(memo.FindString("aba", false));
    QCOMPARE(memo.SelStart(), std::int64_t(9));
    memo.Clear();
    QCOMPARE(memo.LastFound(), std::int64_t(9));
  }

  void caretAtZeroFindsKeyAtStartUnlessLastFoundIsZero() {
    ProbedMemo& memo = Pane(5);
    memo.SetLines({"xxaab"});
    memo.BringToBeginning();
    QVERIFY(memo.FindString("aab", false));
    QCOMPARE(memo.LastFound(), std::int64_t(2));

    // LastFound is not 0: the key at the very start is selected exactly.
    memo.SetLines({"abcabc"});
    memo.BringToBeginning();
    QVERIFY(memo.FindString("abc", false));
    QCOMPARE(memo.SelStart(), std::int64_t(0));
    QCOMPARE(memo.SelLength(), std::int64_t(3));
    QCOMPARE(memo.textCursor().selectedText(), QStringLiteral("abc"));
    QCOMPARE(memo.LastFound(), std::int64_t(0));

    // Now LastFound is 0: from the caret at 0 the search begins after the
    // first three bytes (one byte before them, in fact).
    memo.SetLines({"abcabc"});
    memo.BringToBeginning();
    QVERIFY(memo.FindString("abc", false));
    QCOMPARE(memo.SelStart(), std::int64_t(3));

    ProbedMemo& fresh = Pane(5);
    fresh.SetLines({"abcxyz"});
    fresh.BringToBeginning();
    QVERIFY(!fresh.FindString("abc", false));
    QCOMPARE(fresh.SelStart(), std::int64_t(3));  // where the skip left it
    fresh.SetLines({"aaa"});
    fresh.BringToBeginning();
    QVERIFY(fresh.FindString("aa", false));  // region starts at byte 1
    QCOMPARE(fresh.SelStart(), std::int64_t(1));
  }

  void upperCaseAppliesToTextOnly() {
    ProbedMemo& memo = Pane(5);
    const std::string text = "Hello World " + KEST_SJIS("ｗｏｒｌｄ");
    memo.SetLines({text});
    memo.SetSelStart(1);
    QVERIFY(!memo.FindString("world", true));
    memo.SetSelStart(1);
    QVERIFY(!memo.FindString("WORLD", false));
    memo.SetSelStart(1);
    QVERIFY(memo.FindString("WORLD", true));
    QCOMPARE(memo.SelStart(), std::int64_t(6));
    QCOMPARE(memo.textCursor().selectedText(), QStringLiteral("World"));
    // Full-width letters are double-byte and stay as they are.
    memo.SetSelStart(1);
    QVERIFY(!memo.FindString(KEST_SJIS("ＷＯＲＬＤ"), true));
    memo.SetSelStart(1);
    QVERIFY(memo.FindString(KEST_SJIS("ｗｏｒｌｄ"), true));
    QCOMPARE(memo.SelStart(), std::int64_t(12));
  }

  // The pane matches as every search does: whole characters within a line,
  // so a selection never holds half of a character.
  void findSelectsWholeCharactersOnly() {
    ProbedMemo& memo = Pane(5);
    //                      0-5 アイウ, 8 x, 9 A
    memo.SetLines({KEST_SJIS("アイウ"), "xA"});
    memo.SetSelStart(1);
    QVERIFY(memo.FindString("A", false));  // not the trail byte of ア
    QCOMPARE(memo.SelStart(), std::int64_t(9));
    QCOMPARE(memo.textCursor().selectedText(), QStringLiteral("A"));
    memo.SetSelStart(1);
    QVERIFY(memo.FindString("A", true));
    QCOMPARE(memo.SelStart(), std::int64_t(9));

    // ＝ is 0x81 0x81: found on its own places, never between two of them.
    memo.SetLines({KEST_SJIS("＝＝＝")});
    memo.SetSelStart(2);  // the search begins one byte before the caret
    QVERIFY(memo.FindString(KEST_SJIS("＝"), false));
    QCOMPARE(memo.SelStart(), std::int64_t(2));
    QCOMPARE(memo.textCursor().selectedText(), QStringLiteral("＝"));
    QVERIFY(memo.FindString(KEST_SJIS("＝"), false));
    QCOMPARE(memo.SelStart(), std::int64_t(4));
    QVERIFY(!memo.FindString(KEST_SJIS("＝"), false));

    // A two-byte key across two characters, and one across a line end.
    memo.SetLines({KEST_SJIS("アイ"), "b"});
    memo.SetSelStart(1);
    QVERIFY(!memo.FindString("\x41\x83", false));
    memo.SetSelStart(1);
    QVERIFY(!memo.FindString("\r\nb", false));
  }

  void findCentresTheMatchLine_data() {
    QTest::addColumn<int>("visible");
    QTest::addColumn<int>("below");
    QTest::newRow("5 lines") << 5 << 2;
    QTest::newRow("7 lines") << 7 << 3;
  }

  void findCentresTheMatchLine() {
    QFETCH(int, visible);
    QFETCH(int, below);
    ProbedMemo& memo = Pane(visible);
    QCOMPARE(memo.VisibleLines(), visible);
    memo.SetLines(Numbered(40));
    memo.BringToBeginning();
    QVERIFY(memo.FindString("line 20", false));
    QCOMPARE(memo.SelectLine(), 20);
    QCOMPARE(memo.TopLine(), 20 - below);
    QCOMPARE(FirstShownDisplayLine(memo), 20 - below);
    QCOMPARE(memo.textCursor().selectedText(), QStringLiteral("line 20"));

    // A match above the middle scrolls back up.
    memo.SetSelStart(0);
    QVERIFY(memo.FindString("line 08", false));
    QCOMPARE(memo.TopLine(), 8 - below);
    QCOMPARE(FirstShownDisplayLine(memo), 8 - below);
    // Near the start the view stops at the first line.
    memo.SetSelStart(0);
    QVERIFY(memo.FindString("line 01", false));
    QCOMPARE(memo.TopLine(), 0);
    // Near the end the scroll is not cut short at the last full page: the
    // match still lands mid-pane.
    memo.SetSelStart(0);
    QVERIFY(memo.FindString("line 39", false));
    QCOMPARE(memo.TopLine(), 39 - below);
    QCOMPARE(FirstShownDisplayLine(memo), 39 - below);
  }

  void scrollingIsBoundedByTheText() {
    ProbedMemo& memo = Pane(5);
    memo.SetLines(Numbered(40));  // 41 display lines with the empty last one
    memo.BringToBeginning();
    QCOMPARE(memo.DisplayLineCount(), 41);
    memo.ScrollLine(-3);
    QCOMPARE(memo.TopLine(), 0);
    memo.ScrollPage(2);
    QCOMPARE(memo.TopLine(), 10);
    memo.ScrollPage(-1);
    QCOMPARE(memo.TopLine(), 5);
    memo.ScrollLine(1000);
    QCOMPARE(memo.TopLine(), 40);  // the last line at the top
    QCOMPARE(FirstShownDisplayLine(memo), 40);
    memo.SetTopLine(12);
    QCOMPARE(memo.TopLine(), 12);
    QCOMPARE(memo.firstVisibleBlock().blockNumber(), 12);
    memo.ScrollLine(std::numeric_limits<int>::min());
    QCOMPARE(memo.TopLine(), 0);
    // The caret does not move with the view, and moving it does not scroll.
    memo.SetSelStart(9 * 10);
    memo.ScrollLine(20);
    QCOMPARE(memo.SelStart(), std::int64_t(90));
    memo.SetSelStart(0);
    QCOMPARE(memo.TopLine(), 20);
  }

  void shortTextDoesNotScroll() {
    ProbedMemo& memo = Pane(7);
    memo.SetLines(Numbered(6));  // 7 display lines: all fit
    memo.BringToBeginning();
    QVERIFY(memo.FindString("line 05", false));
    QCOMPARE(memo.SelectLine(), 5);
    QCOMPARE(memo.TopLine(), 0);
    memo.ScrollLine(3);
    QCOMPARE(memo.TopLine(), 0);
    QCOMPARE(memo.verticalScrollBar()->maximum(), 0);
    // One line more and it scrolls.
    memo.SetLines(Numbered(7));
    memo.BringToBeginning();
    QVERIFY(memo.FindString("line 06", false));
    QCOMPARE(memo.TopLine(), 3);
  }

  void wrappedLinesCountOnceInSelectLine() {
    ProbedMemo& memo = Pane(5);
    std::vector<std::string> lines = Numbered(30);
    const std::string longLine(200, 'x');
    lines[2] = longLine;
    lines[5] = longLine;
    memo.SetLines(lines);
    memo.BringToBeginning();
    const int wraps = memo.document()->findBlockByNumber(2).layout()->lineCount();
    QVERIFY2(wraps > 1, "the long line should wrap");
    QCOMPARE(memo.DisplayLineCount(), 31 + 2 * (wraps - 1));
    QCOMPARE(memo.DisplayLines().size(), 30 + 2 * (wraps - 1));

    QVERIFY(memo.FindString("line 10", false));
    QCOMPARE(memo.SelectLine(), 10);
    // Scrolled by 10 - 0 - 2 display lines, though the match is on display
    // line 10 + 2 * (wraps - 1): it ends up below the middle.
    QCOMPARE(memo.TopLine(), 8);
    QCOMPARE(FirstShownDisplayLine(memo), 8);
    const int matchDisplayLine = 10 + 2 * (wraps - 1);
    QVERIFY(matchDisplayLine - memo.TopLine() > memo.VisibleLines() / 2);
    // TopLine counts display lines, so the view starts at an earlier hard
    // line than 8.
    int block = 0;
    for (int line = 0; line + memo.document()->findBlockByNumber(block).layout()->lineCount() <= 8; ++block) {
      line += memo.document()->findBlockByNumber(block).layout()->lineCount();
    }
    QVERIFY(block < 8);
    QCOMPARE(memo.firstVisibleBlock().blockNumber(), block);
  }

  void selectLineCountsCrLfBeforeTheCaret() {
    ProbedMemo& memo = Pane(5);
    memo.SetLines({"ab", "cd", "ef"});  // ab\r\ncd\r\nef\r\n
    const int expected[] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3};
    for (int b = 0; b <= 12; ++b) {
      memo.SetSelStart(b);
      QCOMPARE(memo.SelectLine(), expected[b]);
    }
    // A line whose own bytes hold CR LF counts those pairs too.
    memo.SetLines({"a\r\nb", "c"});
    memo.SetSelStart(static_cast<std::int64_t>(memo.Text().size()));
    QCOMPARE(memo.SelectLine(), 3);
    QCOMPARE(memo.document()->blockCount(), 3);
  }

  void rightClickAndDoubleClickGoToTheWindow() {
    ProbedMemo& memo = Pane(5);
    memo.SetLines({"word and more"});
    QSignalSpy menu(&memo, &TExMemo::contextMenuWanted);
    QSignalSpy dbl(&memo, &TExMemo::doubleClicked);
    const QPoint at(10, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, memo.viewport()->mapToGlobal(at));
    QApplication::sendEvent(memo.viewport(), &event);
    QCOMPARE(menu.count(), 1);
    QCOMPARE(menu.at(0).at(0).value<QPoint>(), memo.viewport()->mapToGlobal(at));
    QVERIFY(QApplication::activePopupWidget() == nullptr);

    QTest::mouseDClick(memo.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(dbl.count(), 1);
  }

  void caretMovesByKeyboardAlthoughReadOnly() {
    ProbedMemo& memo = Pane(5);
    memo.setReadOnly(true);  // as the window does once more
    memo.SetLines({"abc", "def"});
    memo.BringToBeginning();
    memo.setFocus();
    QTest::keyClick(&memo, Qt::Key_Down);
    QCOMPARE(memo.SelStart(), std::int64_t(5));
    QTest::keyClick(&memo, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(memo.SelLength(), std::int64_t(1));
    QTest::keyClick(&memo, Qt::Key_A);
    QCOMPARE(memo.Text(), std::string("abc\r\ndef\r\n"));
  }

  void longRemarkIsQuick() {
    ProbedMemo& memo = Pane(5);
    std::vector<std::string> lines;
    const std::string body = KEST_SJIS("日本語の本文と ASCII text が混ざった一行です。");
    for (int i = 0; i < 10000; ++i) lines.push_back(body + std::to_string(i));
    QElapsedTimer timer;
    timer.start();
    memo.hide();
    memo.Clear();
    memo.SetLines(lines);
    memo.BringToBeginning();
    memo.show();
    const qint64 fill = timer.restart();
    QVERIFY(memo.FindString("9999", false));
    const qint64 find = timer.elapsed();
    qInfo("10000 lines: fill %lld ms, find at the end %lld ms", fill, find);
    QCOMPARE(memo.SelectLine(), 9999);
    QCOMPARE(memo.textCursor().selectedText(), QStringLiteral("9999"));
    QVERIFY(fill < 5000);
    QVERIFY(find < 5000);
  }
};

QTEST_MAIN(ExMemoTest)
#include "ExMemoTest.moc"
