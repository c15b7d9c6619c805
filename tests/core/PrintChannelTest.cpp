#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Codec.h"
#include "platform/PrintChannel.h"

using namespace kest;

namespace {

// A printer with fixed metrics: every byte is 5 units wide (a double-byte
// character 10), a run is 12 high (20 when it holds a 'T'), the font's
// character height is 11 and its average width 5, so tab stops fall every 40.
class FakeDevice : public PrintDevice {
 public:
  struct Drawn {
    int page, x, y;
    std::string text;
  };
  int width = 100;
  int height = 200;
  int page = 1;
  std::vector<Drawn> drawn;
  mutable int measured = 0;

  int PageWidth() const override { return width; }
  int PageHeight() const override { return height; }
  int CharHeight() const override { return 11; }
  int AverageCharWidth() const override { return 5; }
  TextExtent Extent(std::string_view s) const override {
    ++measured;
    return {static_cast<int>(s.size()) * 5, s.find('T') != std::string_view::npos ? 20 : 12};
  }
  void Draw(int x, int y, std::string_view s) override {
    drawn.push_back({page, x, y, std::string(s)});
  }
  void NewPage() override { ++page; }
};

std::string S(const char* utf8) { return Utf8ToSjis(utf8); }

}  // namespace

TEST(PrintChannel, HeaderBeforeAnyLogIsOneLine) {
  FakeDevice d;
  d.width = 1000;
  PrintChannel ch(d);
  const std::string header = S("  ID:  発言者:  ﾀｲﾄﾙ:");
  ch.WriteLine(header);
  ASSERT_EQ(d.drawn.size(), 1u);
  EXPECT_EQ(d.drawn[0].text, header);
  EXPECT_EQ(d.drawn[0].x, 0);
  EXPECT_EQ(d.drawn[0].y, 0);
  EXPECT_EQ(ch.X(), 0);
  EXPECT_EQ(ch.Y(), 14);  // 2 + the run's height
  EXPECT_EQ(d.page, 1);
}

TEST(PrintChannel, LineWiderThanThePaperBreaksBetweenCharacters) {
  FakeDevice d;
  d.width = 25;  // two double-byte characters and a half
  PrintChannel ch(d);
  const std::string line = S("メメメメメ");  // the trail byte of メ looks like a lead byte
  ch.WriteLine(line);
  ASSERT_EQ(d.drawn.size(), 3u);
  EXPECT_EQ(d.drawn[0].text, S("メメ"));
  EXPECT_EQ(d.drawn[1].text, S("メメ"));
  EXPECT_EQ(d.drawn[2].text, S("メ"));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(d.drawn[static_cast<std::size_t>(i)].x, 0);
    EXPECT_EQ(d.drawn[static_cast<std::size_t>(i)].y, 14 * i);
  }

  // Mixed widths: the cut never falls inside a double-byte character.
  FakeDevice m;
  m.width = 30;
  PrintChannel mc(m);
  mc.WriteLine("ab" + S("あい") + "c" + S("う"));  // 2 + 4 + 1 + 2 bytes
  ASSERT_EQ(m.drawn.size(), 2u);
  EXPECT_EQ(m.drawn[0].text, "ab" + S("あい"));  // 30 wide: exactly fits
  EXPECT_EQ(m.drawn[1].text, "c" + S("う"));
}

TEST(PrintChannel, RunThatDoesNotFitAfterOthersContinuesOnTheNextLine) {
  FakeDevice d;
  d.width = 30;
  PrintChannel ch(d);
  ch.Write("abcd");  // x = 20
  ch.Write(S("あい"));  // 20 wide, 10 left: the first character fits
  ASSERT_EQ(d.drawn.size(), 3u);
  EXPECT_EQ(d.drawn[1].text, S("あ"));
  EXPECT_EQ(d.drawn[1].x, 20);
  EXPECT_EQ(d.drawn[2].text, S("い"));
  EXPECT_EQ(d.drawn[2].x, 0);
  EXPECT_EQ(d.drawn[2].y, 14);

  FakeDevice e;
  e.width = 30;
  PrintChannel ec(e);
  ec.Write("abcde");  // x = 25: not even one double-byte character fits
  ec.Write(S("あ"));
  ASSERT_EQ(e.drawn.size(), 2u);
  EXPECT_EQ(e.drawn[1].x, 0);
  EXPECT_EQ(e.drawn[1].y, 14);
}

TEST(PrintChannel, PaperNarrowerThanOneCharacterStillEnds) {
  FakeDevice d;
  d.width = 3;
  PrintChannel ch(d);
  ch.WriteLine(S("あa"));
  ASSERT_EQ(d.drawn.size(), 2u);
  EXPECT_EQ(d.drawn[0].text, S("あ"));
  EXPECT_EQ(d.drawn[1].text, "a");
  EXPECT_EQ(d.drawn[1].y, 14);
}

TEST(PrintChannel, NewPageWhenTheNextLineStartsBelowHeightMinusTwoLines) {
  FakeDevice d;  // H = 200, h = 14: a line may start at 172 at most
  PrintChannel ch(d);
  for (int i = 0; i < 14; ++i) ch.WriteLine("line" + std::to_string(i));
  ASSERT_EQ(d.drawn.size(), 14u);
  EXPECT_EQ(d.drawn[12].page, 1);
  EXPECT_EQ(d.drawn[12].y, 168);  // 168 + 14 = 182 > 172
  EXPECT_EQ(d.drawn[13].page, 2);
  EXPECT_EQ(d.drawn[13].y, 0);

  // A line that starts exactly at H - 2h stays on the page.
  FakeDevice e;
  e.height = 182;  // limit 154 = 11 lines of 14
  PrintChannel ec(e);
  for (int i = 0; i < 11; ++i) ec.WriteLine("x");
  EXPECT_EQ(e.page, 1);
  EXPECT_EQ(ec.Y(), 154);
  ec.WriteLine("x");
  EXPECT_EQ(e.page, 2);
  EXPECT_EQ(ec.Y(), 0);
}

TEST(PrintChannel, LineHeightIsTwoPlusTheTallestRunOrTheCharacterHeight) {
  FakeDevice d;
  PrintChannel ch(d);
  ch.WriteLine("a\tT");  // runs 12 and 20 high
  EXPECT_EQ(ch.Y(), 22);
  ch.WriteLine("");  // nothing drawn: the font's character height
  EXPECT_EQ(ch.Y(), 33);
  ch.WriteLine("b");
  EXPECT_EQ(ch.Y(), 47);
}

TEST(PrintChannel, ControlBytes) {
  FakeDevice d;
  PrintChannel ch(d);
  ch.Write("ab\rcd");  // CR only ends the run
  ASSERT_EQ(d.drawn.size(), 2u);
  EXPECT_EQ(d.drawn[1].x, 10);
  EXPECT_EQ(d.drawn[1].y, 0);
  ch.Write("\f");
  EXPECT_EQ(d.page, 2);
  EXPECT_EQ(ch.X(), 0);
  EXPECT_EQ(ch.Y(), 0);
  ch.Write("x\ny");  // LF alone starts a new line
  EXPECT_EQ(d.drawn.back().x, 0);
  EXPECT_EQ(d.drawn.back().y, 14);
  EXPECT_EQ(d.drawn.back().page, 2);
}

TEST(PrintChannel, TabsGoToTheNextStopEveryEightAverageWidths) {
  FakeDevice d;
  d.width = 100;
  PrintChannel ch(d);
  ch.Write("\tb");
  EXPECT_EQ(d.drawn.back().x, 40);
  ch.Write("\t");  // from 45
  EXPECT_EQ(ch.X(), 80);
  ch.Write("\r\n" + std::string(7, 'x') + "\t");  // from 35 ... one short of a stop is 39
  EXPECT_EQ(ch.X(), 40);
  ch.Write("\r\n" + std::string(14, 'x') + "\t");
  EXPECT_EQ(ch.X(), 80);  // from 70
  ch.Write("\t");  // 120 passes the right limit: a new line
  EXPECT_EQ(ch.X(), 0);
  EXPECT_EQ(ch.Y(), 14 * 3);
}

TEST(PrintChannel, SingleByteRunsBreakAtAnyByteAndATabMayEndAtTheRightLimit) {
  FakeDevice d;
  d.width = 15;
  PrintChannel ch(d);
  ch.WriteLine("abcdefg");
  ASSERT_EQ(d.drawn.size(), 3u);
  EXPECT_EQ(d.drawn[0].text, "abc");
  EXPECT_EQ(d.drawn[1].text, "def");
  EXPECT_EQ(d.drawn[2].text, "g");

  FakeDevice e;
  e.width = 80;
  PrintChannel ec(e);
  ec.Write("abcdefghi\t");  // from 45 to 80: on the limit, not past it
  EXPECT_EQ(ec.X(), 80);
  EXPECT_EQ(ec.Y(), 0);
}

TEST(PrintChannel, TabFromOneShortOfAStopGoesToThatStop) {
  struct OddDevice : FakeDevice {
    TextExtent Extent(std::string_view s) const override {
      return {static_cast<int>(s.size()) * 13, 12};  // 3 bytes: 39
    }
  } d;
  d.width = 500;
  PrintChannel ch(d);
  ch.Write("abc\tz");
  EXPECT_EQ(d.drawn.back().x, 40);
}

TEST(PrintChannel, EveryRunIsDrawnOnceAndWholly) {
  FakeDevice d;
  d.width = 47;
  PrintChannel ch(d);
  std::string text;
  for (int i = 0; i < 40; ++i) text += (i % 3 == 0) ? S("漢") : std::string("k");
  ch.WriteLine(text);
  std::string printed;
  for (const auto& r : d.drawn) {
    EXPECT_LE(r.x + static_cast<int>(r.text.size()) * 5, d.width);
    printed += r.text;
  }
  EXPECT_EQ(printed, text);
}
