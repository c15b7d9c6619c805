// The scanner against a line-by-line reading of the format's rules, on random
// logs full of the shapes that make a fast scanner go wrong: CR CR pairs,
// bare CRs and LFs, 0x1A bytes in headers and bodies, digit-first body lines,
// lines around and across block ends. Every record must be the same.
#include <gtest/gtest.h>

#include <random>

#include "core/LogFixture.h"
#include "log/Logunit1.h"
#include "platform/Codec.h"

namespace kest {
namespace {

using test::Header3;
using test::Header5;
using test::Line2;
using test::Remark;
using test::TempDir;

int StartRule(std::string_view l) {
  if (l.size() >= 6 && l[5] == '/') return 5;
  if (l.size() >= 4 && l[3] == '/') return 3;
  return 0;
}

int LoopRule(std::string_view l) {
  std::size_t d = 0;
  while (d < l.size() && d < 6 && l[d] >= '0' && l[d] <= '9') ++d;
  if (d == 3 && l.size() > 3 && l[3] == '/') return 3;
  if (d == 5 && l.size() > 5 && l[5] == '/') return 5;
  return 0;
}

// The scan as its steps read, one line at a time; in the main loop the
// reader is placed at pos before every line.
std::string ReferenceScan(const std::filesystem::path& path, TLogCtrl& index) {
  LineReader reader(path, 64);
  const std::int64_t size = reader.Size();
  auto read = [&](std::int64_t at) {
    reader.Seek(ByteOffset(at));
    LineReader::Line l = reader.ReadLine();
    return std::make_pair(std::string(l.text), l.stop == LineReader::Stop::Sub);
  };
  // The start of the file reads on from line to line; pos only counts.
  auto next = [&] { return std::string(reader.ReadLine().text); };
  std::string l = next();
  std::int64_t pos = static_cast<std::int64_t>(l.size()) + 2;
  std::string title;
  if (!l.empty() && l[0] >= '0' && l[0] <= '9') {
    title = KEST_SJIS("タイトルなし");
  } else {
    title = l;
    l = next();
    pos += static_cast<std::int64_t>(l.size()) + 2;
    if (l.empty()) {
      l = next();
      pos += static_cast<std::int64_t>(l.size()) + 2;
    }
  }
  {
    const int layout = StartRule(l);
    const std::string l2 = next();
    if (layout) index.AddRemark(l, l2, layout, ByteOffset(pos));
    pos += static_cast<std::int64_t>(l2.size()) + 2;
  }
  while (pos < size) {
    std::string line;
    int layout = 0;
    do {
      auto [text, sub] = read(pos);
      line = text;
      if (sub) {
        const std::string rest = read(pos + static_cast<std::int64_t>(text.size()) + 1).first;
        pos += static_cast<std::int64_t>(text.size()) + 1 + static_cast<std::int64_t>(rest.size()) + 2;
      } else {
        pos += static_cast<std::int64_t>(text.size()) + 2;
      }
      layout = LoopRule(line);
    } while (layout == 0 && pos < size);
    const std::string l2 = read(pos).first;
    index.SetLastEnd(ByteOffset(pos - static_cast<std::int64_t>(line.size()) - 2));
    if (layout) index.AddRemark(line, l2, layout, ByteOffset(pos));
    pos += static_cast<std::int64_t>(l2.size()) + 2;
  }
  index.SetLastEnd(ByteOffset(pos));
  return title;
}

// A log of random remarks. `odd` in 1000 lines has an odd end (bare CR or
// LF, CR CR, 0x1A) or a 0x1A inside: most logs are full of them, some have a
// few, and some none, so that the scan meets plain stretches too.
std::string RandomLog(std::mt19937& rng, int odd = 333) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* ends[] = {"\r\n", "\r\n", "\r\n", "\r\n", "\r", "\n", "\r\r\n", "\r\r", "\x1A\r\n", "\r\n\x1A"};
  auto isOdd = [&] { return pick(1000) < odd; };
  auto end = [&] { return std::string(isOdd() ? ends[pick(10)] : "\r\n"); };
  std::string log;
  if (pick(4)) log += "title line" + end() + (pick(2) ? end() : "");
  const int remarks = pick(odd > 100 ? 40 : 400);
  for (int r = 0; r < remarks; ++r) {
    const int number = 1 + pick(999);
    std::string h1 = pick(3) ? Header5(number) : Header3(number);
    if (isOdd() && pick(3) == 0) h1.insert(static_cast<std::size_t>(pick(static_cast<int>(h1.size()))), "\x1A");
    // Header line 2 is taken as it is, even when it looks like a line 1.
    const std::string h2 = pick(20) ? Line2("96/03/01", pick(2) ? 0 : 1 + pick(999)) : Header5(number + 1);
    log += h1 + end() + h2 + end();
    const int lines = pick(8);
    for (int k = 0; k < lines; ++k) {
      switch (pick(9)) {
        case 0: {  // header-like or not: digits, or digits with a letter among them, then '/'
          std::string digits = std::to_string(pick(100000));
          if (pick(3) == 0) digits[static_cast<std::size_t>(pick(static_cast<int>(digits.size())))] = 'a';
          log += digits + "/ digits" + end();
          break;
        }
        case 1: log += std::string(static_cast<std::size_t>(pick(300)), 'x') + end(); break;
        case 2: log += end(); break;
        case 3: log += "1996/03/01 a date" + end(); break;
        case 4: log += (isOdd() ? "mid\x1A" "line" : "mid line") + end(); break;
        case 5: log += "\x82\xA0\x82\xA2 " + std::string(static_cast<std::size_t>(pick(70)), '\x81') + end(); break;
        default: log += "body text line " + std::to_string(k) + end(); break;
      }
    }
  }
  if (pick(3) == 0 && !log.empty()) log.resize(log.size() - static_cast<std::size_t>(pick(3)));
  return log;
}

void ExpectSameIndex(const TLogCtrl& want, const TLogCtrl& got, const std::string& where) {
  ASSERT_EQ(got.Count(), want.Count()) << where;
  for (std::int32_t i = 0; i < want.Count(); ++i) {
    const TLogData& a = want.GetItem(IndexPos(i));
    const TLogData& b = got.GetItem(IndexPos(i));
    ASSERT_EQ(b.StartPos, a.StartPos) << where << " record " << i;
    ASSERT_EQ(b.EndPos, a.EndPos) << where << " record " << i;
    ASSERT_EQ(b.Number, a.Number) << where << " record " << i;
    ASSERT_EQ(b.CommentTo, a.CommentTo) << where << " record " << i;
    ASSERT_EQ(b.ID(), a.ID()) << where << " record " << i;
    ASSERT_EQ(b.Speaker(), a.Speaker()) << where << " record " << i;
    ASSERT_EQ(b.Title(), a.Title()) << where << " record " << i;
    ASSERT_EQ(b.Date(), a.Date()) << where << " record " << i;
  }
}

TEST(ScanReference, SameRecordsAsALineByLineReadingAtEveryBlockSize) {
  TempDir dir;
  std::mt19937 rng(20261208);
  for (int round = 0; round < 300; ++round) {
    const int odd[] = {333, 333, 10, 0};
    const std::string bytes = RandomLog(rng, odd[round % 4]);
    const auto path = dir.Write("r" + std::to_string(round) + ".log", bytes);
    TLogCtrl want;
    const std::string title = ReferenceScan(path, want);
    // Blocks of four words up to more than the file: lines cut at every place.
    for (std::size_t block : {256u, 320u, 448u, 1024u, 4096u, 1u << 20}) {
      TLogCtrl got;
      ASSERT_EQ(ScanLog(path, got, {}, block), title) << "round " << round;
      ExpectSameIndex(want, got, "round " + std::to_string(round) + " block " + std::to_string(block));
    }
  }
}

TEST(ScanReference, TwoThreadsGiveTheRecordsOfOneWhereverTheSplitFalls) {
  // The second thread starts at a line that only looks like a header line 1
  // from where it stands: a CR CR pair, a 0x1A or a header's second line
  // before it make it no line start, or no place to look for a header, to a
  // scan from the start. Either way the records are the same, also once
  // arranged in content order (the second thread's ids follow the first's).
  TempDir dir;
  std::mt19937 rng(20261209);
  int joined = 0, alone = 0;
  for (int round = 0; round < 60; ++round) {
    const int odd[] = {333, 10, 0};
    const std::string bytes = RandomLog(rng, odd[round % 3]);
    const auto path = dir.Write("s" + std::to_string(round) + ".log", bytes);
    TLogCtrl want, threads;
    const std::string title = ReferenceScan(path, want);
    ReferenceScan(path, threads);
    threads.BuildThreads();
    for (int k = 0; k < 12; ++k) {
      const std::int64_t from = static_cast<std::int64_t>(rng() % (bytes.size() + 1));
      const std::string where = "round " + std::to_string(round) + " split from " + std::to_string(from);
      for (std::size_t block : {256u, 4096u}) {
        TLogCtrl got;
        bool took = false;
        ASSERT_EQ(ScanLog(path, got, {}, block, ScanSplit{from, &took}), title) << where;
        ExpectSameIndex(want, got, where);
        (took ? joined : alone)++;
        got.BuildThreads();
        for (std::int32_t i = 0; i < threads.Count(); ++i) {
          ASSERT_EQ(got.GetNumber(IndexPos(i)), threads.GetNumber(IndexPos(i))) << where << " line " << i;
          ASSERT_EQ(got.GetPrefix(IndexPos(i)), threads.GetPrefix(IndexPos(i))) << where << " line " << i;
        }
      }
    }
  }
  // Both ways were taken many times.
  EXPECT_GT(joined, 500);
  EXPECT_GT(alone, 100);
}

TEST(ScanReference, ALineLongerThanABlockAtTheEnd) {
  // The file's last line runs over several blocks and has no line end, or
  // ends in a 0x1A; also the same as a header line's first line.
  TempDir dir;
  int round = 0;
  for (const std::string& tail : {std::string(""), std::string("\x1A"), std::string("\r")}) {
    for (const std::string& last : {std::string(3000, 'x'), Header5(7) + std::string(3000, 't')}) {
      const std::string log = "t\r\n\r\n" + Remark(Header5(1), Line2(), {"b", "c"}) + last + tail;
      const auto path = dir.Write("l" + std::to_string(round++) + ".log", log);
      TLogCtrl want;
      const std::string title = ReferenceScan(path, want);
      for (std::size_t block : {256u, 1024u}) {
        TLogCtrl got;
        ASSERT_EQ(ScanLog(path, got, {}, block), title);
        ExpectSameIndex(want, got, "round " + std::to_string(round) + " block " + std::to_string(block));
      }
    }
  }
}

TEST(ScanReference, LinesLongerThanTheOverlapOfBlocksReadAhead) {
  // Blocks read ahead overlap by a quarter block at most; a line longer than
  // that which runs over a block's end needs a block read out of turn, and
  // the reading ahead goes on from there.
  TempDir dir;
  std::mt19937 rng(77);
  std::string log = "t\r\n\r\n";
  for (int r = 0; r < 300; ++r) {
    log += Remark(Header5(r + 1), Line2("96/03/01", r % 7 ? r : 0), {"body"});
    if (rng() % 3 == 0) log += std::string(500 + rng() % 9000, 'x') + (rng() % 4 ? "\r\n" : "\x1A\r\n");
    if (rng() % 5 == 0) log += Header5(900 + r) + std::string(rng() % 6000, 'h') + "\r\n";
  }
  const auto path = dir.Write("long.log", log);
  TLogCtrl want;
  const std::string title = ReferenceScan(path, want);
  for (std::size_t block : {4096u, 8192u, 20000u}) {
    TLogCtrl got;
    ASSERT_EQ(ScanLog(path, got, {}, block), title);
    ExpectSameIndex(want, got, "block " + std::to_string(block));
  }
}

TEST(ScanReference, BodyLinesStepGivesEveryCrAtEveryPlaceInAWord) {
  // One header pair, then body lines of every length from 0 to 130, and a
  // header after each one; the bitmaps put the CRs and the next line's first
  // byte at every bit of a word and across the word's end.
  TempDir dir;
  for (int shift = 0; shift < 64; ++shift) {
    std::string log = "t\r\n\r\n" + Header5(999) + "\r\n" + Line2() + "\r\n" +
                      std::string(static_cast<std::size_t>(shift), 'p') + "\r\n";
    for (int len = 0; len <= 130; ++len) {
      log += Header5(len + 1) + "\r\n" + Line2() + "\r\n" + std::string(static_cast<std::size_t>(len), 'b') + "\r\n";
      log += std::string(static_cast<std::size_t>(len % 7), 'c') + "\r\r\n9\r\n";
    }
    const auto path = dir.Write("w" + std::to_string(shift) + ".log", log);
    TLogCtrl want, got;
    ReferenceScan(path, want);
    ScanLog(path, got, {}, 256);
    ExpectSameIndex(want, got, "shift " + std::to_string(shift));
    ASSERT_EQ(got.Count(), 132);
  }
}

}  // namespace
}  // namespace kest
