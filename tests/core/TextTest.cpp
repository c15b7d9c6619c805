// Reading one remark's text back from the file, and the remark test of the
// text search.
#include <gtest/gtest.h>

#include <fstream>

#include "core/LogFixture.h"
#include "log/Logunit1.h"
#include "platform/Codec.h"
#include "platform/Convert.h"

namespace kest {
namespace {

using test::Header5;
using test::Line2;
using test::Remark;
using test::TempDir;

class TextTest : public ::testing::Test {
 protected:
  void Load(const std::string& bytes) {
    path_ = dir_.Write("t.log", bytes);
    ScanLog(path_, index_);
  }
  std::vector<std::string> Lines(int pos) { return LoadRemarkText(path_, index_, IndexPos(pos)).lines; }
  bool Matches(int pos, std::string_view key, bool ignoreCase = false) {
    LineReader reader(path_);
    return RemarkMatches(reader, index_.GetItem(IndexPos(pos)), key, ignoreCase);
  }

  TempDir dir_;
  std::filesystem::path path_;
  TLogCtrl index_;
};

TEST_F(TextTest, ShowsHeaderLine2ThenTheBody) {
  Load("t\r\n\r\n" + Remark(Header5(1), Line2("96/03/01"), {"first", "", "third"}) +
       Remark(Header5(2), Line2("96/03/02")) + Remark(Header5(3), Line2("96/03/03"), {"last"}));
  EXPECT_EQ(Lines(0), (std::vector<std::string>{Line2("96/03/01"), "first", "", "third"}));
  // The last remark of a file ending with CR LF shows one empty line more:
  // its span reaches two bytes past the end.
  EXPECT_EQ(Lines(2), (std::vector<std::string>{Line2("96/03/03"), "last", ""}));
}

TEST_F(TextTest, OnlyHeaderLine2) {
  Load("t\r\n\r\n" + Header5(1) + "\r\n" + Line2() + "\r\n" + Remark(Header5(2), Line2()));
  EXPECT_EQ(Lines(0), (std::vector<std::string>{Line2()}));
}

TEST_F(TextTest, SubByteIsDroppedAndTheLineJoined) {
  Load("t\r\n\r\n" + Remark(Header5(1), Line2(), {std::string("ab\x1A" "cd"), "next"}) +
       Remark(Header5(2), Line2()));
  EXPECT_EQ(Lines(0), (std::vector<std::string>{Line2(), "abcd", "next"}));
  // The search reads lines as the reader gives them: after 0x1A only empty
  // lines, so "cd" and "next" are not found although the pane shows them.
  EXPECT_TRUE(Matches(0, "ab"));
  EXPECT_FALSE(Matches(0, "cd"));
  EXPECT_FALSE(Matches(0, "next"));
}

TEST_F(TextTest, RemarkTestRules) {
  Load("t\r\n\r\n" + Remark(Header5(1), Line2(), {"Hello World", "end of line", "next Line"}) +
       Remark(Header5(2), Line2(), {KEST_SJIS("全角ＡＢＣと漢字")}) + Remark(Header5(3), Line2()));
  EXPECT_TRUE(Matches(0, "World"));
  EXPECT_FALSE(Matches(0, "world"));
  EXPECT_TRUE(Matches(0, "WORLD", true));       // the caller upper-cases the key
  EXPECT_FALSE(Matches(0, "line\r\nnext"));     // never across a line end
  EXPECT_FALSE(Matches(0, "linenext"));
  EXPECT_FALSE(Matches(0, "title"));            // header line 1 is not part of the text
  EXPECT_FALSE(Matches(1, "World"));
  EXPECT_TRUE(Matches(1, KEST_SJIS("ＡＢＣ"), true));  // double-byte: byte for byte
  EXPECT_FALSE(Matches(1, KEST_SJIS("ａｂｃ"), true));
  EXPECT_TRUE(Matches(2, ""));                  // an empty key is in every line
}

TEST_F(TextTest, UpperCasingLeavesTrailBytesAlone) {
  // "ア" is 0x83 0x41 and "ぁ" 0x82 0x9F; the trail byte 0x61..0x7A of some
  // characters must not be upper-cased: "ハ" is 0x83 0x6E.
  std::string ha = KEST_SJIS("ハ");
  ASSERT_EQ(ha, "\x83\x6E");
  EXPECT_EQ(AnsiUpper("a" + ha + "z"), "A" + ha + "Z");
  Load("t\r\n\r\n" + Remark(Header5(1), Line2(), {ha}) + Remark(Header5(2), Line2()));
  EXPECT_TRUE(Matches(0, ha, true));
}

TEST_F(TextTest, VanishedAndTruncatedFiles) {
  std::string log = "t\r\n\r\n" + Remark(Header5(1), Line2(), {"one"}) +
                    Remark(Header5(2), Line2(), {"two", std::string(300, 'x'), "three"});
  Load(log);
  // Cut short after the scan: what is left is read, the damage is reported,
  // and nothing is read outside the file.
  std::filesystem::resize_file(path_, log.size() - 200);
  RemarkText t = LoadRemarkText(path_, index_, IndexPos(1));
  EXPECT_TRUE(t.truncated);
  EXPECT_EQ(t.lines[1], "two");
  EXPECT_FALSE(LoadRemarkText(path_, index_, IndexPos(0)).truncated);
  std::filesystem::remove(path_);
  EXPECT_THROW(LoadRemarkText(path_, index_, IndexPos(0)), LogFileError);
}

TEST(Codec, Cp932Mapping) {
  EXPECT_EQ(SjisToUtf8("\x87\x40"), "①");
  EXPECT_EQ(SjisToUtf8("\x84\xAF"), "┗");
  EXPECT_EQ(SjisToUtf8("\x5C\x7E"), "\\~");
  EXPECT_EQ(SjisToUtf8("\xB1\xB2"), "ｱｲ");  // half-width kana are one byte each
  EXPECT_EQ(SjisToUtf8(std::string("\x1A\x7F", 2)), std::string("\x1A\x7F", 2));  // control bytes stay
  EXPECT_EQ(Utf8ToSjis("発言者: ").size(), 8u);
  EXPECT_EQ(Utf8ToSjis("ﾀｲﾄﾙ: ").size(), 6u);
  EXPECT_EQ(SjisToUtf8(Utf8ToSjis("しおり①┃")), "しおり①┃");
}

TEST(Codec, InvalidBytesBecomeReplacementCharacters) {
  EXPECT_EQ(SjisToUtf8("a\x81"), "a\xEF\xBF\xBD");       // a lead byte cut off at the end
  EXPECT_EQ(SjisToUtf8("\x81\x20z"), "\xEF\xBF\xBD z");   // a lead byte without a trail byte
  EXPECT_EQ(SjisToUtf8("\xFF"), "\xEF\xBF\xBD");
  bool ok = true;
  Utf8ToSjis("\xF0\x9F\x98\x80", &ok);  // no CP932 form
  EXPECT_FALSE(ok);
}

TEST(Codec, StepBackOverWholeCharacters) {
  std::string s = "a" + Utf8ToSjis("漢") + "b" + Utf8ToSjis("ハ");  // a, 2 bytes, b, 2 bytes
  EXPECT_EQ(SjisStepBack(s, s.size()), 4u);
  EXPECT_EQ(SjisStepBack(s, 4), 3u);
  EXPECT_EQ(SjisStepBack(s, 3), 1u);
  EXPECT_EQ(SjisStepBack(s, 1), 0u);
  EXPECT_EQ(SjisStepBack(s, 0), 0u);
}

TEST(Convert, StrToInt) {
  EXPECT_EQ(StrToInt("  12"), 12);
  EXPECT_EQ(StrToInt("-7"), -7);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("$80000008"), -2147483640);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
  for (const char* bad : {"", " ", "12 ", "1 2", "abc", "2147483648", "$", "$G", "+", "0x10", "1.5"}) {
    EXPECT_FALSE(StrToInt(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace kest
