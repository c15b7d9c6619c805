// The scan: header recognition, field cutting, spans and the odd rules of the
// format (start rule vs loop rule, 0x1A, ID check, CommentTo).
#include <gtest/gtest.h>

#include <fstream>

#include "core/LogFixture.h"
#include "log/Logunit1.h"

namespace kest {
namespace {

using test::Header3;
using test::Header5;
using test::Line2;
using test::Remark;
using test::TempDir;

struct Scanned {
  TLogCtrl index;
  std::string title;
};

std::unique_ptr<Scanned> Scan(const std::string& bytes) {
  static int counter = 0;
  TempDir dir;
  auto s = std::make_unique<Scanned>();
  s->title = ScanLog(dir.Write("log" + std::to_string(counter++) + ".log", bytes), s->index);
  return s;
}

TEST(Scan, TitleLineBlankLineAndFields) {
  std::string log = "My title\r\n\r\n" +
                    Remark(Header5(301, "XYZ12345", "speaker", "  A title  "), Line2("96/03/01")) +
                    Remark(Header5(302, "QQQ00001", "someone", "Re: A title"), Line2("96/03/02", 301));
  auto s = Scan(log);
  EXPECT_EQ(s->title, "My title");
  ASSERT_EQ(s->index.Count(), 2);
  const TLogData& r = s->index.GetItem(IndexPos(0));
  EXPECT_EQ(r.Number, RemarkNo(301));
  EXPECT_EQ(r.ID(), "XYZ12345");
  EXPECT_EQ(r.Speaker(), "speaker         ");  // 16 bytes, blanks kept
  EXPECT_EQ(r.Title(), "A title");             // trimmed
  EXPECT_EQ(r.Date(), "96/03/01");
  EXPECT_EQ(r.CommentTo, RemarkNo(0));
  EXPECT_EQ(r.Mark, ' ');
  EXPECT_EQ(r.Level, -1);
  EXPECT_TRUE(s->index.GetPrefix(IndexPos(0)).empty());
  // StartPos is header line 2 of every remark, the first one included.
  std::size_t h2 = log.find("     96/03/01");
  EXPECT_EQ(r.StartPos, ByteOffset(static_cast<std::int64_t>(h2)));
  std::size_t next = log.find("00302/");
  EXPECT_EQ(r.EndPos, ByteOffset(static_cast<std::int64_t>(next)));
  EXPECT_EQ(s->index.GetItem(IndexPos(1)).CommentTo, RemarkNo(301));
  // The last span ends two bytes past the end of a file ending with CR LF.
  EXPECT_EQ(s->index.GetItem(IndexPos(1)).EndPos, ByteOffset(static_cast<std::int64_t>(log.size()) + 2));
  EXPECT_EQ(s->index.GetLength(IndexPos(1)),
            static_cast<std::int64_t>(log.size()) + 2 - static_cast<std::int64_t>(log.find("     96/03/02")));
}

TEST(Scan, DigitFirstMeansNoTitle) {
  auto s = Scan(Remark(Header5(1), Line2()) + Remark(Header5(2), Line2()));
  EXPECT_EQ(s->title, KEST_SJIS("タイトルなし"));
  ASSERT_EQ(s->index.Count(), 2);
  EXPECT_EQ(s->index.GetItem(IndexPos(0)).StartPos,
            ByteOffset(static_cast<std::int64_t>(Header5(1).size()) + 2));
}

TEST(Scan, TitleThenNonHeaderConsumesTheNextLineUnclassified) {
  // The line after the title is no header; the following one is taken as a
  // would-be header line 2 without being classified, so the header standing
  // there is lost, and the search starts on the line after it.
  std::string log = "title\r\nnot a header\r\n" + Header5(5) + "\r\n" +
                    Remark(Header5(6), Line2());
  auto s = Scan(log);
  ASSERT_EQ(s->index.Count(), 1);
  EXPECT_EQ(s->index.GetNumber(IndexPos(0)), RemarkNo(6));
}

TEST(Scan, StartRuleLooksOnlyAtTheSeparatorLoopRuleAtTheDigits) {
  // At the start, "ab123/" has '/' in byte 6 and is layout 5 ("ab123" does not
  // convert, so it is dropped); inside the loop four or six digits are no header.
  std::string log = "t\r\n\r\n" + Remark(Header5(10), Line2(), {"0123/ four digits", "012345/ six digits"}) +
                    Remark(Header3(11), Line2());
  auto s = Scan(log);
  ASSERT_EQ(s->index.Count(), 2);
  EXPECT_EQ(s->index.GetNumber(IndexPos(1)), RemarkNo(11));
  EXPECT_EQ(s->index.GetItem(IndexPos(1)).ID(), "ABC01234");  // layout 3 columns
  EXPECT_EQ(s->index.GetItem(IndexPos(1)).Speaker(), "poster          ");

  auto start = Scan("t\r\n\r\n12/45/ starts\r\nline2\r\n");  // start rule: byte 6 is '/'
  EXPECT_EQ(start->index.Count(), 0);                        // "12/45" does not convert
}

TEST(Scan, DroppedHeaderJoinsThePreviousSpan) {
  // ID bytes 4-8 must convert: four digits and a blank, or letters, drop the remark.
  // A header line that ends before the ID has no number there either.
  std::string log = "t\r\n\r\n" + Remark(Header5(1), Line2()) + Remark(Header5(2, "ABC1234 "), Line2()) +
                    Remark(Header5(3, "ABCDEFGH"), Line2()) + Remark("00005/00999 AB", Line2()) +
                    Remark(Header5(4, "ABC  123"), Line2());
  auto s = Scan(log);
  ASSERT_EQ(s->index.Count(), 2);  // "  123" converts: leading blanks are allowed
  EXPECT_EQ(s->index.GetNumber(IndexPos(1)), RemarkNo(4));
  EXPECT_EQ(s->index.GetItem(IndexPos(0)).EndPos,
            ByteOffset(static_cast<std::int64_t>(log.find("00004/"))));
}

TEST(Scan, PostersKeptOnceAreToldApartByEveryByte) {
  // Header lines cut inside the speaker: the same ID with speakers of the
  // same length must not share the first one's bytes.
  std::string log = "t\r\n\r\n" + Remark("00001/00999 ABC01234  bob", Line2()) +
                    Remark("00002/00999 ABC01234  sue", Line2()) + Remark("00003/00999 ABC01234  bob", Line2()) +
                    Remark("00004/00999 ABC0123", Line2()) + Remark(Header5(5, "ABC01234", "sue"), Line2());
  auto s = Scan(log);
  ASSERT_EQ(s->index.Count(), 5);
  const char* speakers[] = {"bob", "sue", "bob", "", "sue             "};
  const char* ids[] = {"ABC01234", "ABC01234", "ABC01234", "ABC0123", "ABC01234"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(s->index.GetSpeaker(IndexPos(i)), speakers[i]) << i;
    EXPECT_EQ(s->index.GetID(IndexPos(i)), ids[i]) << i;
  }
  // Enough such posters to fill the table's neighbourhoods, each twice.
  TLogCtrl many;
  for (int round = 0; round < 2; ++round) {
    for (int k = 0; k < 3000; ++k) {
      many.AddRemark("00001/00999 ABC01234  p" + std::to_string(10000 + k), Line2(), 5, ByteOffset(k));
    }
  }
  for (int i = 0; i < many.Count(); ++i) {
    ASSERT_EQ(many.GetSpeaker(IndexPos(i)), "p" + std::to_string(10000 + i % 3000)) << i;
  }
}

TEST(Scan, CommentToRules) {
  auto line2 = [](std::string tail) { return "     96/03/01   21:00  " + tail; };
  ASSERT_EQ(line2("").size(), 23u);
  std::string log = "t\r\n\r\n" + Remark(Header5(10), Line2()) +
                    // exactly 30 bytes: not read even though digits stand there
                    Remark(Header5(11), line2("00010xx")) +
                    // 31 bytes: read
                    Remark(Header5(12), line2("00010xxx")) +
                    // 0,0,1,2 and a letter give 12
                    Remark(Header5(13), line2("0012Axxxxx")) +
                    // no digit gives 0
                    Remark(Header5(14), line2("abcdexxxxx")) +
                    // older than the first remark of the log: none
                    Remark(Header5(15), line2("00009xxxxx"));
  auto s = Scan(log);
  ASSERT_EQ(s->index.Count(), 6);
  EXPECT_EQ(s->index.GetCommentTo(IndexPos(1)), RemarkNo(0));
  EXPECT_EQ(s->index.GetCommentTo(IndexPos(2)), RemarkNo(10));
  EXPECT_EQ(s->index.GetCommentTo(IndexPos(3)), RemarkNo(12));
  EXPECT_EQ(s->index.GetCommentTo(IndexPos(4)), RemarkNo(0));
  EXPECT_EQ(s->index.GetCommentTo(IndexPos(5)), RemarkNo(0));
}

TEST(Scan, SubByteInABodyLine) {
  // The line continues after the 0x1A byte, and a header right after it is found.
  std::string log = "t\r\n\r\n" + Remark(Header5(1), Line2(), {std::string("before\x1A" "after")}) +
                    Remark(Header5(2), Line2());
  auto s = Scan(log);
  ASSERT_EQ(s->index.Count(), 2);
  EXPECT_EQ(s->index.GetItem(IndexPos(0)).EndPos,
            ByteOffset(static_cast<std::int64_t>(log.find("00002/"))));
}

TEST(Scan, EdgeFiles) {
  // Empty file, no header at all, an empty first line, LF-only line ends,
  // binary bytes: the scan finishes and lists what the format yields.
  EXPECT_EQ(Scan("")->index.Count(), 0);
  EXPECT_EQ(Scan("just text\r\nmore\r\n")->index.Count(), 0);
  auto emptyFirst = Scan("\r\n" + Remark(Header5(1), Line2()) + Remark(Header5(2), Line2()));
  EXPECT_EQ(emptyFirst->title, "");  // an empty first line is a title line
  EXPECT_EQ(emptyFirst->index.Count(), 2);
  auto lf = Scan("t\n\n" + Header5(1) + "\n" + Line2() + "\nbody\n" + Header5(2) + "\n");
  EXPECT_EQ(lf->index.Count(), 0);  // one long line to the scan
  std::string binary;
  for (int i = 0; i < 5000; ++i) binary.push_back(static_cast<char>((i * 7919) % 256));
  EXPECT_LE(Scan(binary)->index.Count(), 5);
}

TEST(Scan, HeaderLikeLineInsideABodyStartsARemark) {
  std::string log = "t\r\n\r\n" + Remark(Header5(1), Line2(), {"quoting:", Header5(77), "x"}) +
                    Remark(Header5(2), Line2());
  auto s = Scan(log);
  ASSERT_EQ(s->index.Count(), 3);
  EXPECT_EQ(s->index.GetNumber(IndexPos(1)), RemarkNo(77));
}

TEST(Scan, LongLinesAcrossBlockBoundaries) {
  // A small block size forces lines across block boundaries.
  TempDir dir;
  std::string longBody(5000, 'x');
  std::string log = "t\r\n\r\n";
  for (int n = 1; n <= 50; ++n) log += Remark(Header5(n), Line2(), {longBody, "short"});
  auto path = dir.Write("long.log", log);
  TLogCtrl index;
  ScanLog(path, index);
  ASSERT_EQ(index.Count(), 50);
  LineReader reader(path, 64);
  reader.Seek(index.GetItem(IndexPos(7)).StartPos);
  std::vector<std::string> lines = ReadRemarkText(reader, index.GetItem(IndexPos(7)));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], longBody);
}

TEST(Scan, HeaderLinesAtEveryPlaceAroundABlockEnd) {
  // The scan reads a block at a time and keeps a header's first line
  // in its block while it reads the second: put the two header lines (one of
  // them with a 0x1A that continues the line) at every offset around the end
  // of the first block, and after a line longer than a block; each remark
  // must read as it does away from any block end.
  constexpr std::int64_t kBlock = static_cast<std::int64_t>(kScanBlock);
  const std::string start = "t\r\n\r\n" + Remark(Header5(1), Line2());
  for (const std::string& h1 : {Header5(4321, "XYZ98765", "speaker", "  title of it  "),
                                Header5(4321, "XYZ98765", "speaker", "tit\x1Ale") + "\x1Amore"}) {
    const std::string h2 = Line2("96/12/31", 1) + " tail";
    // More than a block after them, so a block read there leaves none of
    // their bytes in place.
    const std::string second =
        Remark(h1, h2, {"body"}) + Remark(Header5(9), Line2("97/01/01"), {std::string(kBlock + 99, 'z')});
    auto want = Scan(start + Remark(Header5(2), Line2(), {"short"}) + second);
    ASSERT_EQ(want->index.Count(), 4);
    for (int longLine = 0; longLine < 2; ++longLine) {
      const std::int64_t n1 = static_cast<std::int64_t>(h1.size()), n2 = static_cast<std::int64_t>(h2.size());
      for (std::int64_t k : {1L, 2L, 3L, 50L, n1 - 1, n1, n1 + 1, n1 + 2, n1 + 3, n1 + 4, n1 + n2 + 2,
                             n1 + n2 + 3, n1 + n2 + 4, n1 + n2 + 5}) {
        // The filler remark's body line ends k bytes before the first block
        // does; a line longer than a block is read again from its start, so
        // then it ends k bytes before the end of the block after that.
        const std::int64_t headers = static_cast<std::int64_t>(Header5(2).size() + Line2().size() + 4);
        const std::int64_t fillerBody = longLine ? 2 * kBlock - k - 2 : kBlock - k - 2 - headers;
        std::string log = start + Remark(Header5(2), Line2(), {std::string(fillerBody, 'x')}) + second;
        auto got = Scan(log);
        ASSERT_EQ(got->index.Count(), 4) << "k " << k;
        for (int i : {2, 3}) {
          const TLogData& a = want->index.GetItem(IndexPos(i));
          const TLogData& b = got->index.GetItem(IndexPos(i));
          EXPECT_EQ(b.Number, a.Number) << "k " << k;
          EXPECT_EQ(b.CommentTo, a.CommentTo) << "k " << k;
          EXPECT_EQ(b.ID(), a.ID()) << "k " << k;
          EXPECT_EQ(b.Speaker(), a.Speaker()) << "k " << k;
          EXPECT_EQ(b.Title(), a.Title()) << "k " << k;
          EXPECT_EQ(b.Date(), a.Date()) << "k " << k;
          EXPECT_EQ(b.EndPos - b.StartPos, a.EndPos - a.StartPos) << "k " << k;
        }
      }
    }
  }
}

TEST(Scan, Progress) {
  std::string log = "t\r\n\r\n";
  for (int n = 1; n <= 200; ++n) log += Remark(Header5(n), Line2());
  TempDir dir;
  TLogCtrl index;
  std::vector<int> seen;
  ScanLog(dir.Write("p.log", log), index, [&](int p) { seen.push_back(p); });
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.back(), 0);  // reset when done
  EXPECT_TRUE(std::find(seen.begin(), seen.end(), 100) != seen.end());
}

TEST(Scan, MissingFolderAndUnreadableFiles) {
  TempDir dir;
  TLogCtrl index;
  EXPECT_THROW(ScanLog(dir.Path() / "none.log", index), LogFileError);
  EXPECT_THROW(ScanLog(dir.Path(), index), LogFileError);
  try {
    ScanLog(dir.Path() / "none.log", index);
  } catch (const LogFileError& e) {
    EXPECT_NE(std::string(e.what()).find("ファイルが見つかりません"), std::string::npos);
  }
}

TEST(Index, PositionsOutsideTheIndexThrow) {
  TLogCtrl index;
  index.SetLastEnd(ByteOffset(10));  // nothing to do on an empty index
  EXPECT_THROW(index.GetItem(IndexPos(0)), std::out_of_range);
  index.AddRemark(Header5(1), Line2(), 5, ByteOffset(0));
  EXPECT_THROW(index.GetItem(IndexPos(-1)), std::out_of_range);
  EXPECT_THROW(index.GetItem(IndexPos(1)), std::out_of_range);
}

TEST(Index, MemoryPerRemarkStaysSmall) {
  TLogCtrl index;
  const int n = 90000;
  for (int i = 0; i < n; ++i) {
    index.AddRemark(Header5(i + 1, "ABC01234", "speaker", "a fairly long title of some forty bytes."),
                    Line2("96/03/01", 1), 5, ByteOffset(i * 100));
  }
  index.BuildThreads();
  EXPECT_LT(index.MemoryUsed() / n, 100u) << index.MemoryUsed() / n;
}

}  // namespace
}  // namespace kest

namespace kest {
namespace {

TEST(Scan, OffsetsBeyondTwoGigabytes) {
  // A sparse file: one remark, a hole of 2.15 GB of zero bytes in its body,
  // then two more remarks whose offsets do not fit 32 bits.
  TempDir dir;
  std::filesystem::path path = dir.Path() / "big.log";
  const std::int64_t hole = 2150LL * 1000 * 1000;
  {
    std::ofstream f(path, std::ios::binary);
    f << "t\r\n\r\n" << Remark(Header5(1), Line2(), {"start"});
    f.seekp(hole, std::ios::cur);
    f << "\r\n" << Remark(Header5(2), Line2(), {"far"}) << Remark(Header5(3), Line2("96/03/02", 2), {"away"});
  }
  TLogCtrl index;
  ScanLog(path, index);
  ASSERT_EQ(index.Count(), 3);
  EXPECT_GT(index.GetItem(IndexPos(1)).StartPos.v, std::int64_t{1} << 31);
  EXPECT_GT(index.GetLength(IndexPos(0)), hole);
  EXPECT_EQ(LoadRemarkText(path, index, IndexPos(2)).lines,
            (std::vector<std::string>{Line2("96/03/02", 2), "away", ""}));
  EXPECT_EQ(index.GetItem(IndexPos(2)).EndPos.v, static_cast<std::int64_t>(std::filesystem::file_size(path)) + 2);
  LineReader reader(path);
  EXPECT_TRUE(RemarkMatches(reader, index.GetItem(IndexPos(1)), "far", false));
}

}  // namespace
}  // namespace kest
