// Reading one remark's text back from the file, and the remark test of the
// text search.
#include <gtest/gtest.h>

#include <iconv.h>

#include <cstring>
#include <fstream>
#include <random>

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

// The whole text through iconv in one pass, an invalid byte replaced and
// skipped: what the title list printed before plain ASCII was copied.
std::string WholeTextThroughIconv(const std::string& sjis) {
  static const iconv_t cd = iconv_open("UTF-8", "CP932");
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string out(sjis.size() * 3 + 16, '\0');
  char* src = const_cast<char*>(sjis.data());
  std::size_t srcLeft = sjis.size();
  char* dst = out.data();
  std::size_t dstLeft = out.size();
  while (srcLeft > 0) {
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1)) break;
    std::memcpy(dst, "\xEF\xBF\xBD", 3);
    dst += 3;
    dstLeft -= 3;
    ++src;
    --srcLeft;
  }
  out.resize(static_cast<std::size_t>(dst - out.data()));
  return out;
}

TEST(Codec, AsciiIsCopiedAsIconvConvertsIt) {
  // Every byte below 0x80 is itself in CP932: alone (copied) and just after a
  // double-byte character (given to iconv with it).
  const std::string wide = "\x81\x40", ideographicSpace = "\xE3\x80\x80";
  for (int c = 0; c < 0x80; ++c) {
    const std::string b(1, static_cast<char>(c));
    EXPECT_EQ(WholeTextThroughIconv(b), b) << c;
    EXPECT_EQ(SjisToUtf8(b + std::string(40, 'a')), b + std::string(40, 'a')) << c;
    EXPECT_EQ(SjisToUtf8(wide + b + std::string(40, 'a')), ideographicSpace + b + std::string(40, 'a')) << c;
  }
}

TEST(Codec, LongAsciiRunsAroundDoubleByteText) {
  const std::string a40(40, 'A'), fffd = "\xEF\xBF\xBD";
  // A trail byte in the ASCII range stays with its lead byte.
  EXPECT_EQ(SjisToUtf8(a40 + "\x83\x6E" + a40), a40 + "ハ" + a40);
  EXPECT_EQ(SjisToUtf8(a40 + "\x84\xAF" + a40), a40 + "┗" + a40);
  // 0x85 0x81 is no character: the replacement skips only 0x85, and 0x81
  // then takes the 'A' after it as its trail byte (0x81 0x41 is "、").
  EXPECT_EQ(SjisToUtf8("\x85\x81" + a40), fffd + "、" + a40.substr(1));
  EXPECT_EQ(SjisToUtf8("\x81\x81" + a40), "＝" + a40);
  // A lead byte before a byte that is no trail, and one cut off at the end.
  EXPECT_EQ(SjisToUtf8("\x81\x20" + a40), fffd + " " + a40);
  EXPECT_EQ(SjisToUtf8(a40 + "\x81"), a40 + fffd);
  EXPECT_EQ(SjisToUtf8(a40 + "\x81\xFD"), a40 + fffd + fffd);
  // Single bytes from 0x80 up: half-width kana, and bytes that are nothing.
  EXPECT_EQ(SjisToUtf8("\xB1" + a40 + "\xDF"), "ｱ" + a40 + "ﾟ");
  for (const char* odd : {"\x80", "\xA0", "\xFD", "\xFE", "\xFF"}) {
    EXPECT_EQ(SjisToUtf8(a40 + odd + a40), a40 + fffd + a40) << odd;
  }
  EXPECT_EQ(SjisToUtf8("\x88\x9F" "A" "\x81\x40"), "亜A\xE3\x80\x80");
}

TEST(Codec, SameAsTheWholeTextThroughIconv) {
  // Random texts of double-byte characters, lead bytes with and without
  // trail bytes, kana, invalid bytes and ASCII runs of every length.
  const std::vector<std::string> pieces = {
      "\x84\xAF", "\x81\x40", "\x88\x9F", "\x83\x6E", "\x87\x40", "\xFA\x40", "\xF0\x40", "\x81",
      "\x85",     "\x9F",     "\xE0",     "\xEB",     "\xFC",     "\x80",     "\xA0",     "\xB1",
      "\xDF",     "\xFD",     "\xFF",     "\x40",     "\x7E",     "\x5C",     " ",        std::string(1, '\0')};
  std::mt19937 rng(932);
  for (int round = 0; round < 20000; ++round) {
    std::string s;
    const int parts = static_cast<int>(rng() % 12);
    for (int k = 0; k < parts; ++k) {
      if (rng() % 3 == 0) s.append(rng() % 70, static_cast<char>('a' + rng() % 26));
      else s += pieces[rng() % pieces.size()];
    }
    ASSERT_EQ(SjisToUtf8(s), WholeTextThroughIconv(s)) << ::testing::PrintToString(s);
  }
}

TEST(Codec, EveryOneAndTwoByteTextAsIconvDecodesIt) {
  for (int a = 0; a < 256; ++a) {
    const std::string one(1, static_cast<char>(a));
    ASSERT_EQ(SjisToUtf8(one), WholeTextThroughIconv(one)) << a;
    for (int b = 0; b < 256; ++b) {
      const std::string two = one + static_cast<char>(b);
      ASSERT_EQ(SjisToUtf8(two), WholeTextThroughIconv(two)) << a << " " << b;
    }
  }
}

TEST(Codec, TextInPiecesDecodesAsTheWhole) {
  // Cut anywhere, a double-byte character across the cut included, with a
  // replacement of our own.
  const std::string geta = "\xE3\x80\x93";
  const std::string text = Utf8ToSjis("ログ①┗ｱ") + "\x81\x20\xFF" + Utf8ToSjis("漢字") + "\x88";
  std::string all;
  SjisDecoder reference(geta);
  reference.Append(text, all);
  EXPECT_EQ(all, "ログ①┗ｱ" + geta + " " + geta + "漢字");  // the lead byte at the end waits for its trail
  reference.Finish(all);
  EXPECT_EQ(all, "ログ①┗ｱ" + geta + " " + geta + "漢字" + geta);
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    for (std::size_t cut2 = cut; cut2 <= text.size(); ++cut2) {
      SjisDecoder d(geta);
      std::string out;
      d.Append(text.substr(0, cut), out);
      d.Append(text.substr(cut, cut2 - cut), out);
      d.Append(text.substr(cut2), out);
      d.Finish(out);
      ASSERT_EQ(out, all) << cut << " " << cut2;
    }
  }
}

TEST(Codec, AppendsAfterWhatIsThere) {
  std::string out = "x";
  AppendSjisAsUtf8("\x84\xAF" + std::string(40, ' ') + "\x81", out);
  EXPECT_EQ(out, "x┗" + std::string(40, ' ') + "\xEF\xBF\xBD");
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
