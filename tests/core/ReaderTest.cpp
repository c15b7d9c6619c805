// The line reader against a plain reading of the same bytes, at block sizes
// that put every line end, CR LF pair and 0x1A byte on a block boundary
// somewhere; and the scan's behaviour at the places where a faster reader
// could go wrong (0x1A before CR LF, header-like last body lines, the end of
// the file, numbers too long to convert).
#include <gtest/gtest.h>

#include <random>

#include "core/LogFixture.h"
#include "log/Logunit1.h"
#include "platform/Convert.h"

namespace kest {
namespace {

using test::Header3;
using test::Header5;
using test::Line2;
using test::Remark;
using test::TempDir;

// The line reader's rules, read straight off a string.
struct PlainReader {
  const std::string& s;
  std::size_t pos = 0;
  LineReader::Line Read(std::string& text) {
    if (pos >= s.size()) {  // at or past the end
      text.clear();
      return {text, 0, LineReader::Stop::Eof};
    }
    std::size_t e = pos;
    while (e < s.size() && s[e] != '\r' && s[e] != '\x1A') ++e;
    text = s.substr(pos, e - pos);
    LineReader::Stop stop = LineReader::Stop::Eof;
    if (e < s.size() && s[e] == '\x1A') {
      stop = LineReader::Stop::Sub;
      pos = e;
    } else if (e < s.size()) {
      stop = LineReader::Stop::CR;
      pos = e + 1;
      if (pos < s.size() && s[pos] == '\n') ++pos;
    } else {
      pos = e;
    }
    return {text, static_cast<std::int64_t>(text.size()), stop};
  }
};

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
  // Mostly short lines, with CR, LF, CR LF, 0x1A and the odd long line.
  std::string s;
  const char pieces[] = {'a', 'b', '1', '/', '\r', '\n', '\x1A', '\x84'};
  while (s.size() < n) {
    switch (rng() % 10) {
      case 0: s += "\r\n"; break;
      case 1: s += pieces[rng() % 8]; break;
      case 2: s += std::string(rng() % 70, 'x'); break;
      case 3: s += "\x1A\r\n"; break;
      default: s += static_cast<char>('A' + rng() % 26); break;
    }
  }
  return s;
}

TEST(Reader, MatchesAPlainReadingAtEveryBlockSize) {
  // Sequential reads and seeks (forward, back, outside the block) at block
  // sizes that split CR LF pairs and long lines in every possible way.
  TempDir dir;
  std::mt19937 rng(7);
  for (int file = 0; file < 6; ++file) {
    const std::string bytes = RandomBytes(rng, 300 + file * 150);
    const auto path = dir.Write("r" + std::to_string(file) + ".bin", bytes);
    for (std::size_t block : {16, 17, 19, 23, 32, 61, 64, 100, 4096}) {
      LineReader reader(path, block);
      PlainReader plain{bytes};
      std::string expect;
      for (int step = 0; step < 400; ++step) {
        if (rng() % 7 == 0) {
          std::size_t to = rng() % (bytes.size() + 3);
          reader.Seek(ByteOffset(static_cast<std::int64_t>(to)));
          plain.pos = to;
        }
        const std::size_t from = plain.pos;
        std::size_t cap = rng() % 3 == 0 ? 5 : SIZE_MAX;
        LineReader::Line got = reader.ReadLine(cap);
        LineReader::Line want = plain.Read(expect);
        ASSERT_EQ(got.stop, want.stop) << "block " << block << " at " << from;
        ASSERT_EQ(got.length, static_cast<std::int64_t>(expect.size())) << "block " << block << " at " << from;
        ASSERT_EQ(std::string(got.text), expect.substr(0, std::min(cap, expect.size())))
            << "block " << block << " at " << from;
        ASSERT_EQ(reader.Tell(), static_cast<std::int64_t>(plain.pos)) << "block " << block << " at " << from;
      }
    }
  }
}

TEST(Reader, CrLfSplitAcrossBlocks) {
  // The CR is the last byte of a block and the LF the first of the next: on
  // a line inside one block and on a line that spans blocks.
  TempDir dir;
  const std::string shortLine = std::string(15, 's') + "\r\nnext\r\n";  // CR at byte 15
  const std::string longLine = "ab\r\n" + std::string(27, 'l') + "\r\nafter\r\n";  // CR at byte 31
  for (const auto& [bytes, expect] :
       {std::pair{shortLine, std::vector<std::string>{std::string(15, 's'), "next", ""}},
        std::pair{longLine, std::vector<std::string>{"ab", std::string(27, 'l'), "after"}}}) {
    LineReader reader(dir.Write("crlf.log", bytes), 16);
    std::vector<std::string> lines;
    for (int i = 0; i < 3; ++i) lines.emplace_back(reader.ReadLine().text);
    EXPECT_EQ(lines, expect);
  }
}

TEST(Reader, OneReaderOutOfFileOrderSeesNoStaleBytes) {
  // The batch search reads remarks in the order in force with one reader; a
  // seek back outside the current block must read the file again there.
  TempDir dir;
  std::string log = "t\r\n\r\n";
  for (int n = 1; n <= 40; ++n) {
    log += Remark(Header5(n), Line2(), {"word" + std::to_string(n) + "x", std::string(30, 'f')});
  }
  auto path = dir.Write("order.log", log);
  TLogCtrl index;
  ScanLog(path, index);
  ASSERT_EQ(index.Count(), 40);
  LineReader shared(path, 64);
  for (int i = 39; i >= 0; --i) {
    const TLogData& r = index.GetItem(IndexPos(i));
    EXPECT_TRUE(RemarkMatches(shared, r, "word" + std::to_string(i + 1) + "x", false)) << i;
    EXPECT_FALSE(RemarkMatches(shared, r, "word" + std::to_string(i + 2) + "x", false)) << i;
  }
}

struct Scanned {
  TempDir dir;
  std::filesystem::path path;
  TLogCtrl index;
};

std::unique_ptr<Scanned> Scan(const std::string& bytes) {
  auto s = std::make_unique<Scanned>();
  s->path = s->dir.Write("s.log", bytes);
  ScanLog(s->path, s->index);
  return s;
}

TEST(ScanEdges, SubByteRightBeforeCrLfThenMoreRemarks) {
  // The end-of-capture mark at the end of a line, then the log goes on.
  const std::string log = "t\r\n\r\n" + Remark(Header5(1), Line2(), {"body\x1A"}) +
                          Remark(Header5(2), Line2(), {"two"}) + Remark(Header5(3), Line2());
  auto s = Scan(log);
  ASSERT_EQ(s->index.Count(), 3);
  EXPECT_EQ(s->index.GetItem(IndexPos(0)).EndPos.v, static_cast<std::int64_t>(log.find("00002/")));
  EXPECT_EQ(s->index.GetItem(IndexPos(1)).StartPos.v,
            static_cast<std::int64_t>(log.find("00002/") + Header5(2).size() + 2));
  EXPECT_EQ(LoadRemarkText(s->path, s->index, IndexPos(0)).lines,
            (std::vector<std::string>{Line2(), "body"}));
  EXPECT_EQ(LoadRemarkText(s->path, s->index, IndexPos(1)).lines,
            (std::vector<std::string>{Line2(), "two"}));
}

TEST(ScanEdges, HeaderLikeLastBodyLine) {
  // Lines that only look like the start of a header leave the next remark
  // where it is.
  for (const std::string last : {"123", "12345", "1234/", "123456/", "12/", "1/"}) {
    const std::string log = "t\r\n\r\n" + Remark(Header5(1), Line2(), {"body", last}) +
                            Remark(Header5(2), Line2(), {"two"});
    auto s = Scan(log);
    ASSERT_EQ(s->index.Count(), 2) << last;
    EXPECT_EQ(s->index.GetNumber(IndexPos(1)), RemarkNo(2)) << last;
    EXPECT_EQ(s->index.GetItem(IndexPos(0)).EndPos.v, static_cast<std::int64_t>(log.find("00002/"))) << last;
  }
  // Three digits and '/' is a header line 1 (layout 3): without a poster ID
  // it is dropped, and the line after it was its header line 2, so remark 2's
  // header is swallowed and its text joins remark 1's span.
  const std::string log = "t\r\n\r\n" + Remark(Header5(1), Line2(), {"body", "123/"}) +
                          Remark(Header5(2), Line2(), {"two"}) + Remark(Header5(3), Line2());
  auto s = Scan(log);
  ASSERT_EQ(s->index.Count(), 2);
  EXPECT_EQ(s->index.GetNumber(IndexPos(1)), RemarkNo(3));
  EXPECT_EQ(s->index.GetItem(IndexPos(0)).EndPos.v, static_cast<std::int64_t>(log.find("00003/")));
  // A whole layout-3 header there is a remark of its own.
  const std::string log3 = "t\r\n\r\n" + Remark(Header5(1), Line2(), {"body", Header3(123)}) +
                           Remark(Header5(2), Line2(), {"two"});
  auto s3 = Scan(log3);
  ASSERT_EQ(s3->index.Count(), 2);
  EXPECT_EQ(s3->index.GetNumber(IndexPos(1)), RemarkNo(123));
}

TEST(ScanEdges, LastRemarkOfAnUnchangedFileIsWhole) {
  for (const std::string& tail : {std::string("\r\n"), std::string(""), std::string("\x1A")}) {
    const std::string log = "t\r\n\r\n" + Remark(Header5(1), Line2(), {"one"}) + Header5(2) + "\r\n" +
                            Line2() + "\r\nlast" + tail;
    auto s = Scan(log);
    ASSERT_EQ(s->index.Count(), 2);
    RemarkText text = LoadRemarkText(s->path, s->index, IndexPos(1));
    EXPECT_FALSE(text.truncated);
    EXPECT_EQ(text.lines.at(1), "last");
  }
}

TEST(ScanEdges, TwentyDigitNumbersAreRefused) {
  // 2^64 + 5 and 2^65 + 12 wrap to small numbers in 64 bits.
  for (const char* s : {"18446744073709551621", "36893488147419103244", "00000000002147483648",
                        "-18446744073709551615", "$10000000000000005"}) {
    EXPECT_FALSE(StrToInt(s).has_value()) << s;
  }
  EXPECT_EQ(StrToInt("00000000000000000012"), 12);  // leading zeros are no overflow
}

}  // namespace
}  // namespace kest
