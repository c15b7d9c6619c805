// How a key matches a line: whole characters only, from a line's start, with
// the case rule on single-byte letters; checked against a plain walk over the
// characters, and the vectorised byte searches against the byte-at-a-time one.
#include <gtest/gtest.h>

#include <random>

#include "core/KeyReference.h"
#include "core/LogFixture.h"
#include "platform/Codec.h"
#include "log/ByteSearch.h"
#include "log/KeyMatcher.h"

namespace kest {
namespace {

using test::Sjis;
constexpr std::size_t npos = KeyMatcher::npos;

std::size_t Find(std::string_view line, std::string key, bool ignoreCase = false, std::size_t from = 0) {
  return KeyMatcher(std::move(key), ignoreCase).FindInLine(line, from);
}

// Every trail byte that reads as an ASCII letter or sign (0x40-0x7E) is half
// of a character: no key finds it there, in either case rule; after a
// single-byte character or at a line's start the same byte is found.
TEST(KeyMatcherTest, TrailBytesAreNoLetters) {
  for (int t = 0x40; t <= 0x7E; ++t) {
    const std::string trail(1, static_cast<char>(t));
    for (const char* lead : {"\x81", "\x83", "\x9F", "\xE0", "\xFC"}) {
      const std::string character = lead + trail;
      EXPECT_EQ(Find(character, trail), npos) << std::hex << t;
      EXPECT_EQ(Find(character, AnsiUpper(trail), true), npos) << std::hex << t;
      EXPECT_EQ(Find(character + trail, trail), 2u) << std::hex << t;
      EXPECT_EQ(Find(character + character, trail + lead), npos) << std::hex << t;
    }
    EXPECT_EQ(Find(trail, trail), 0u);
    EXPECT_EQ(Find("\xB1" + trail, trail), 1u);  // after half-width ｱ
  }
  // ア is 0x83 0x41 and holds no "A".
  EXPECT_EQ(Find(Sjis("アイウ"), "A"), npos);
  EXPECT_EQ(Find(Sjis("アイウ"), "A", true), npos);
  EXPECT_EQ(Find(Sjis("カタカナ"), "A"), npos);
  EXPECT_EQ(Find("ABC", "A"), 0u);
}

// A two-byte key across the halves of two characters is no match, also where
// every byte could be a lead byte (＝ is 0x81 0x81); the same character whole
// is found on each of its places.
TEST(KeyMatcherTest, TwoByteKeysAcrossTwoCharacters) {
  EXPECT_EQ(Find(Sjis("アイ"), "\x41\x83"), npos);
  EXPECT_EQ(Find("\x81\x82\xA0", Sjis("あ")), npos);  // 0x81 0x82 is a character, 0xA0 a byte alone
  const std::string equals = Sjis("＝＝＝");
  ASSERT_EQ(equals, std::string(6, '\x81'));
  EXPECT_EQ(Find(equals, Sjis("＝")), 0u);
  EXPECT_EQ(Find(equals, Sjis("＝"), false, 1), 2u);
  EXPECT_EQ(Find(equals, Sjis("＝"), false, 3), 4u);
  EXPECT_EQ(Find("a" + equals, Sjis("＝"), false, 0), 1u);
  EXPECT_EQ(Find("a" + equals.substr(1), Sjis("＝")), 1u);
  EXPECT_EQ(Find("a" + equals.substr(1), Sjis("＝"), false, 2), 3u);
  // An odd run of lead bytes before the place decides, however long.
  EXPECT_EQ(Find(std::string(10002, '\x81') + "\x40", Sjis("　")), npos);
  EXPECT_EQ(Find(std::string(10001, '\x81') + "\x40", Sjis("　")), 10000u);
}

// Half-width kana (0xA1-0xDF) are single-byte characters; as the second
// byte of a double-byte character they are half of it.
TEST(KeyMatcherTest, HalfWidthKanaAreSingleBytes) {
  EXPECT_EQ(Find(Sjis("ｶﾀｶﾅ"), Sjis("ﾀｶ")), 1u);
  EXPECT_EQ(Find(Sjis("ｱA"), "A"), 1u);
  EXPECT_EQ(Find(Sjis("ｱア"), Sjis("ア")), 1u);
  EXPECT_EQ(Find(Sjis("Ω"), "\xB6"), npos);  // Ω is 0x83 0xB6, 0xB6 alone ｶ
  EXPECT_EQ(Find(Sjis("Ωｶ"), Sjis("ｶ")), 2u);
}

TEST(KeyMatcherTest, AtTheStartAndTheEndOfALine) {
  EXPECT_EQ(Find(Sjis("Aア"), "A"), 0u);
  EXPECT_EQ(Find(Sjis("アA"), "A"), 2u);
  EXPECT_EQ(Find(Sjis("イア"), Sjis("ア")), 2u);
  EXPECT_EQ(Find(Sjis("アイ"), Sjis("ア")), 0u);
  EXPECT_EQ(Find(Sjis("イア"), "A"), npos);
  EXPECT_EQ(Find("A", "A", false, 1), npos);
  EXPECT_EQ(Find("", "A"), npos);
  EXPECT_EQ(Find("", ""), 0u);  // an empty key is in every line
  // A key whose last byte is a lead byte alone matches only where a line
  // ends with one.
  EXPECT_EQ(Find("a\x83", "\x83"), 1u);
  EXPECT_EQ(Find("a\x83", "a\x83"), 0u);
  EXPECT_EQ(Find(Sjis("ア"), "\x83"), npos);
  EXPECT_EQ(Find(Sjis("アア"), Sjis("ア") + "\x83"), npos);
  EXPECT_EQ(Find(Sjis("ア") + "\x83", Sjis("ア") + "\x83"), 0u);
}

// Ignoring case folds the text's single-byte letters only; the key is taken
// as it stands (the caller upper-cases it).
TEST(KeyMatcherTest, CaseRule) {
  EXPECT_EQ(Find("xAbC", "ABC", true), 1u);
  EXPECT_EQ(Find("xAbC", "abc", true), npos);
  EXPECT_EQ(Find("\x83\x61", "\x83\x61", true), 0u);  // the trail byte 'a' stays
  EXPECT_EQ(Find("\x83\x61", "\x83\x41", true), npos);
  EXPECT_EQ(Find("\x83\x61"
                 "a",
                 "\x83\x61"
                 "A",
                 true),
            0u);
  EXPECT_EQ(Find(Sjis("ａ"), Sjis("Ａ"), true), npos);  // full-width letters are double-byte
}

// The text pane's lines, each ended by CR LF: a match within a line only,
// boundaries from each line's start, the LF of a line end in no line.
TEST(KeyMatcherTest, LinesOfThePane) {
  const KeyMatcher a("A", false);
  const std::string text = Sjis("ア") + "\r\nA\r\n";
  EXPECT_EQ(a.FindInLines(text, 0), 4u);
  EXPECT_EQ(a.FindInLines(text, 1), 4u);
  EXPECT_EQ(a.FindInLines(text, 5), npos);
  EXPECT_EQ(a.FindInLines(text, text.size()), npos);
  EXPECT_EQ(a.FindInLines(text, text.size() + 1), npos);
  EXPECT_EQ(KeyMatcher("\n", false).FindInLines("x\r\ny\r\n", 0), npos);
  EXPECT_EQ(KeyMatcher("\nA", false).FindInLines("x\r\n\nA\r\n", 0), 3u);
  EXPECT_EQ(KeyMatcher("x\r\ny", false).FindInLines("x\r\ny\r\n", 0), npos);
  // A lead byte at the end of one line does not take the next line's first
  // byte.
  EXPECT_EQ(KeyMatcher("A", false).FindInLines("\x83\r\nA", 0), 3u);
  EXPECT_EQ(KeyMatcher(Sjis("ア"), false).FindInLines("x" + Sjis("ア") + "\r\n" + Sjis("ア"), 1), 1u);
  EXPECT_EQ(KeyMatcher(Sjis("ア"), false).FindInLines("x" + Sjis("ア") + "\r\n" + Sjis("ア"), 2), 5u);
}

std::string RandomLine(std::mt19937& rng) {
  static const std::vector<std::string> pieces = {
      "a",        "A",        "z",        "@",        "`",        "{",        "\n",       " ",
      "\x83\x41", "\x83\x61", "\x81\x81", "\x81\x40", "\x88\x9F", "\xE0\x40", "\xFC\xFC", "\x81",
      "\x9F",     "\xE0",     "\xB1",     "\xDF",     "\xA0",     "\x82\xA0", "\x80",     "\xFD"};
  std::string line;
  const int n = static_cast<int>(rng() % 16);
  for (int i = 0; i < n; ++i) line += pieces[rng() % pieces.size()];
  return line;
}

// The matcher finds what the character walk finds, from any place, on lines
// of bytes chosen to make keys straddle characters often.
TEST(KeyMatcherTest, AgreesWithACharacterWalk) {
  std::mt19937 rng(1801);
  int found = 0, missed = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::string line = RandomLine(rng);
    std::string key;
    if (!line.empty() && rng() % 3 != 0) {
      const std::size_t at = rng() % line.size();
      key = line.substr(at, 1 + rng() % 4);
    } else {
      key = RandomLine(rng).substr(0, 1 + rng() % 3);
    }
    const bool ignoreCase = rng() % 2;
    if (ignoreCase && rng() % 4 != 0) key = AnsiUpper(key);
    const std::size_t from = rng() % (line.size() + 2);
    const std::size_t expected = test::ReferenceFind(line, key, ignoreCase, from);
    ASSERT_EQ(Find(line, key, ignoreCase, from), expected)
        << "round " << round << " line " << testing::PrintToString(line) << " key "
        << testing::PrintToString(key) << " from " << from << (ignoreCase ? " ignoring case" : "");
    (expected == npos ? missed : found)++;
  }
  EXPECT_GT(found, 3000);
  EXPECT_GT(missed, 3000);
}

// Each vector unit finds the same places as the byte-at-a-time search, and
// the same first byte where lines are not plain CR LF lines, at every length
// and alignment.
TEST(ByteSearchTest, EveryUnitAgrees) {
  std::mt19937 rng(77);
  const char alphabet[] = {'a', 'A', 'b', '\r', '\n', '\x1A', '\x83', '\x41'};
  for (int round = 0; round < 3000; ++round) {
    std::string hay(1 + rng() % 200, ' ');
    for (char& c : hay) c = alphabet[rng() % sizeof alphabet];
    std::string key = hay.substr(rng() % hay.size(), 1 + rng() % 5);
    if (rng() % 4 == 0) key = "zz";
    const bool fold = rng() % 2;
    if (fold) key = AnsiUpper(key);
    const std::size_t from = rng() % hay.size();
    const char* plain = FindBytesWith(ByteSearchUnit::Plain, hay.data() + from, hay.size() - from, key, fold);
    EXPECT_EQ(FindBytesWith(ByteSearchUnit::Sse2, hay.data() + from, hay.size() - from, key, fold), plain);
    EXPECT_EQ(FindBytes(hay.data() + from, hay.size() - from, key, fold), plain);

    // The byte after the bytes looked at is read too.
    const std::size_t n = hay.size() - from - 1;
    const std::size_t first = FirstIrregularWith(ByteSearchUnit::Plain, hay.data() + from, n);
    EXPECT_EQ(FirstIrregularWith(ByteSearchUnit::Sse2, hay.data() + from, n), first);
    EXPECT_EQ(FirstIrregular(hay.data() + from, n), first);
  }
  EXPECT_EQ(FirstIrregularWith(ByteSearchUnit::Plain, "a\r\nb\rc", 6), 4u);
  EXPECT_EQ(FirstIrregularWith(ByteSearchUnit::Plain, "a\r\nb\r\n", 5), 5u);
  EXPECT_EQ(FirstIrregularWith(ByteSearchUnit::Plain, "a\r\nb\x1A\r", 6), 4u);
  EXPECT_EQ(FirstIrregularWith(ByteSearchUnit::Plain, "a\r\r\n", 3), 1u);
}

}  // namespace
}  // namespace kest
