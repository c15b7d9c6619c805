// The library's tokens on their own: how lines are cut into characters and
// pairs, what the codes of odd bytes are, and that every key's tokens are
// among the tokens of any line that holds the key; the queries made of a
// key; remark dates as days.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "library/Bigrams.h"
#include "library/FtsTokenizer.h"
#include "library/RemarkDate.h"
#include "platform/Codec.h"

namespace kest {
namespace {

std::vector<std::string> Tokens(std::string_view sjis) { return BigramTokens::OfLine(sjis); }

// The tokens of a string of Unicode characters: its pairs and its last
// character alone.
std::vector<std::string> Expected(std::u32string_view chars) {
  std::vector<std::string> t;
  for (std::size_t i = 0; i + 1 < chars.size(); ++i) t.push_back(PairToken(chars[i], chars[i + 1]));
  if (!chars.empty()) t.push_back(CharToken(chars.back()));
  return t;
}

TEST(LibraryTokensTest, PairsOfALineAndItsLastCharacterAlone) {
  EXPECT_EQ(Tokens("AbC"), Expected(U"abc"));
  EXPECT_EQ(Tokens("x"), Expected(U"x"));
  EXPECT_TRUE(Tokens("").empty());
  // Two-byte characters decoded.
  EXPECT_EQ(Tokens(Utf8ToSjis("あい")), Expected(U"あい"));
  // Half-width kana are single bytes, each a character of its own.
  EXPECT_EQ(Tokens("\xB1\xB2"), Expected(U"ｱｲ"));
  // Only ASCII letters fold; full-width ones stay as they are.
  EXPECT_EQ(Tokens(Utf8ToSjis("Ａa")), Expected(U"Ａa"));
  // A pair starts with its first character's token; no token holds a NUL
  // byte, not even that of the NUL character.
  EXPECT_EQ(PairToken(U'あ', U'い').substr(0, 3), CharToken(U'あ'));
  for (const std::string& t : {CharToken(0), PairToken(0, 0x10FFFF), CharToken(0xFFFFF)}) {
    EXPECT_EQ(t.find('\0'), std::string::npos);
  }
  EXPECT_NE(CharToken(0x3042), CharToken(0x3044));
}

TEST(LibraryTokensTest, ExtensionsDecodeAsTheCharactersTheyAre) {
  // NEC row 13: ① (0x8740); NEC-selected IBM (0xEEEF) and IBM (0xFA40)
  // extensions both give ⅰ; an IBM kanji (0xFA5C) its own character.
  EXPECT_EQ(CharCode("\x87\x40"), 0x2460u);
  EXPECT_EQ(CharCode("\xEE\xEF"), 0x2170u);
  EXPECT_EQ(CharCode("\xFA\x40"), 0x2170u);
  EXPECT_EQ(CharCode("\xFA\x5C"), 0x7E8Au);
  // A character that ends with a byte looking like '\' or a letter is one
  // character, not an ASCII one after another.
  EXPECT_EQ(SplitChars("\x83\x5C\x83\x41"), (std::vector<std::string_view>{"\x83\x5C", "\x83\x41"}));
  EXPECT_EQ(Tokens("\x83\x41"), Expected(U"ア"));
}

TEST(LibraryTokensTest, BytesThatAreNoCharacterKeepCodesOfTheirOwn) {
  // Single bytes CP932 does not define, a lead byte with a byte that is no
  // trail, a lead byte at the line's end, a user-defined character.
  const std::vector<std::string> odd = {"\x80", "\xA0", "\xFD", "\xFF", "\x82\x20", "\x82\x0A", "\x81"};
  std::set<std::uint32_t> codes;
  for (const std::string& s : odd) {
    const std::uint32_t c = CharCode(s);
    EXPECT_GE(c, 0xF0000u) << s;
    codes.insert(c);
  }
  EXPECT_EQ(codes.size(), odd.size());  // no two alike
  EXPECT_EQ(CharCode("\xF0\x40"), 0xE000u);
  // A lead byte takes the byte after it whatever it is; alone only at the end.
  EXPECT_EQ(SplitChars("\x82 a\x82"), (std::vector<std::string_view>{"\x82 ", "a", "\x82"}));
  EXPECT_EQ(Tokens("\x82 a").size(), 2u);
}

TEST(LibraryTokensTest, ATextIsCutAtCrAndEachTokenComesOnce) {
  BigramTokens t;
  // "ab" twice, no pair across a line end, an LF an ordinary character (the
  // line reader has taken the one that ended a line with its CR).
  const std::vector<std::string>& d = t.Distinct("ab\rab\r\nc\rd");
  EXPECT_EQ(d, (std::vector<std::string>{PairToken('a', 'b'), CharToken('b'), PairToken('\n', 'c'),
                                         CharToken('c'), CharToken('d')}));
  EXPECT_TRUE(t.Distinct("").empty());
  EXPECT_TRUE(t.Distinct("\r\r\r").empty());
  // A second text starts afresh.
  EXPECT_EQ(t.Distinct("ba"), Expected(U"ba"));
}

// The property the index stands on: wherever a key occurs at a character of
// a line, every token its query asks for is a token of the line (for one
// character: a token that starts with it).
TEST(LibraryTokensTest, AKeysTokensAreAmongTheTokensOfAnyLineHoldingIt) {
  std::mt19937 rng(7);
  const std::vector<std::string> pieces = {"a",        "B",        " ",    "\xB1",     "\x82\xA0",
                                           "\x87\x40", "\xFA\x40", "\x80", "\x82\x20", "\n",
                                           "\xEE\xEF", "\x88\x9F", "z",    "\xFF"};
  BigramTokens t;
  for (int round = 0; round < 2000; ++round) {
    std::string line;
    const int n = 1 + static_cast<int>(rng() % 12);
    for (int i = 0; i < n; ++i) line += pieces[rng() % pieces.size()];
    if (rng() % 4 == 0) line += "\x82";  // a lead byte at the end
    const std::vector<std::string_view> chars = SplitChars(line);
    const std::size_t from = rng() % chars.size();
    const std::size_t len = 1 + rng() % (chars.size() - from);
    std::string key;
    for (std::size_t i = from; i < from + len; ++i) key += chars[i];
    const std::vector<std::string>& have = t.Distinct(line);
    std::vector<std::string> want = Tokens(key);
    if (want.size() > 1) want.pop_back();
    for (const std::string& w : want) {
      const bool found = std::any_of(have.begin(), have.end(), [&](const std::string& h) {
        return len == 1 ? h.compare(0, w.size(), w) == 0 : h == w;
      });
      ASSERT_TRUE(found) << "round " << round;
    }
  }
}

TEST(LibraryTokensTest, QueriesOfKeys) {
  EXPECT_EQ(MatchExpression("a"), "\"a\" *");
  EXPECT_EQ(MatchExpression("ab"), "\"ab\"");
  EXPECT_EQ(MatchExpression("abab"), "\"ab\" AND \"ba\"");  // each pair once
  EXPECT_EQ(MatchExpression("a\"b"), "\"a\"\"\" AND \"\"\"b\"");
  EXPECT_EQ(MatchExpression(""), std::nullopt);
  // A NUL byte would end the query: pairs with it are left out.
  EXPECT_EQ(MatchExpression(std::string("a\0b", 3)), std::nullopt);
  EXPECT_EQ(MatchExpression(std::string("\0", 1)), std::nullopt);
  EXPECT_EQ(MatchExpression(std::string("xa\0b", 4)), "\"xa\"");
  // A long key asks for some of its pairs, its first and last among them.
  std::string key;
  for (int i = 0; i < 127; ++i) {
    key += static_cast<char>(0x88 + i / 90);
    key += static_cast<char>(0xA0 + i % 90);
  }
  const std::string expr = *MatchExpression(key);
  EXPECT_EQ(std::count(expr.begin(), expr.end(), '"'), 2 * 24);
  EXPECT_EQ(expr.substr(0, 6), "\"" + key.substr(0, 4) + "\"");
  EXPECT_EQ(expr.substr(expr.size() - 6), "\"" + key.substr(key.size() - 4) + "\"");
}

TEST(LibraryTokensTest, RemarkDates) {
  EXPECT_EQ(FormatDay(*ParseRemarkDate("96/03/01")), "1996-03-01");
  EXPECT_EQ(FormatDay(*ParseRemarkDate("70/01/01")), "1970-01-01");
  EXPECT_EQ(*ParseRemarkDate("70/01/01"), 0);
  EXPECT_EQ(FormatDay(*ParseRemarkDate("69/12/31")), "2069-12-31");
  EXPECT_EQ(FormatDay(*ParseRemarkDate("00/02/29")), "2000-02-29");
  EXPECT_EQ(FormatDay(*ParseRemarkDate("1999-1-2")), "1999-01-02");
  EXPECT_EQ(FormatDay(*ParseRemarkDate("2001.12.31")), "2001-12-31");
  EXPECT_EQ(FormatDay(*ParseRemarkDate("1969/12/31")), "1969-12-31");
  for (const char* bad : {"", "96/03", "96/13/01", "96/02/30", "99/02/29", "96/03-01", "960301", "96/03/01x",
                          "9/03/01", "096/03/01", "96/003/01"}) {
    EXPECT_EQ(ParseRemarkDate(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(ParseIsoDate("1996-03-01"), ParseRemarkDate("96/03/01"));
  for (const char* bad : {"1996-3-01", "96-03-01", "1996/03/01", "1996-02-30", "1996-03-011"}) {
    EXPECT_EQ(ParseIsoDate(bad), std::nullopt) << bad;
  }
  // Days round-trip from year 1 to 9999, leap days included.
  for (Day d = *ParseIsoDate("0001-01-01"); d <= *ParseIsoDate("9999-12-31"); d += 997) {
    EXPECT_EQ(ParseIsoDate(FormatDay(d)), d);
  }
}

}  // namespace
}  // namespace kest
