// The search engine against the plain remark test, and the searches of
// TLogCtrl that walk the index for a text or an ID.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <random>
#include <thread>

#include "core/KeyReference.h"
#include "core/LogFixture.h"
#include "log/Logunit1.h"
#include "platform/Codec.h"
#include "search/SearchEngine.h"

namespace kest {
namespace {

using test::Header5;
using test::Line2;
using test::Remark;
using test::TempDir;

// A log of random remarks whose bodies are drawn from few bytes, so keys of
// one to four bytes match often and sometimes only across a line end, after
// 0x1A, on a trail byte that looks like a letter, across the halves of two
// characters or in another letter case.
std::string RandomLog(std::mt19937& rng) {
  static const std::vector<std::string> pieces = {
      "a",        "A",        "b",    "B",    "ab",       "Ab",       " ",    "\x82\x61",
      "\x82\x60", "\x88\x9F", "\r\n", "\r\n", "\r",       "\n",       "\x1A", "z",
      "`{@[",     "\xE1\x61", "\xFA", "Zz",   "\x83\x41", "\x81\x81", "\xB1", "\x81"};
  std::string log = "title\r\n\r\n";
  const int remarks = 1 + static_cast<int>(rng() % 12);
  for (int n = 1; n <= remarks; ++n) {
    const int parent = n > 1 && rng() % 2 ? 1 + static_cast<int>(rng() % (n - 1)) : 0;
    log += Header5(static_cast<int>(rng() % 20) + 1, rng() % 2 ? "ABC01234" : "XYZ99999") + "\r\n" +
           Line2("96/03/01", parent) + "\r\n";
    const int len = static_cast<int>(rng() % 14);
    for (int k = 0; k < len; ++k) log += pieces[rng() % pieces.size()];
    log += "\r\n";
  }
  switch (rng() % 4) {
    case 0: log.resize(log.size() - 2); break;  // no line end at the end
    case 1: log += "\x1A"; break;
    default: break;
  }
  return log;
}

std::string RandomKey(std::mt19937& rng, const std::string& log) {
  if (rng() % 4 == 0) {
    static const std::vector<std::string> keys = {"a", "A", "ab", "AB", "\x82\x61", "\x61", "b\r\na",
                                                  "\n", "aa", "zz", "\x1A", "@", "`", "{", "\xE1" "A"};
    return keys[rng() % keys.size()];
  }
  const std::size_t len = 1 + rng() % 4;
  const std::size_t at = rng() % (log.size() - len);
  return log.substr(at, len);
}

// Every search gives exactly the answers of a plain walk over each remark's
// lines and characters (the engine's, the chains of TLogCtrl, the remark
// test from a reader, from the file and from bytes in memory), for every
// remark, both case rules, every order of the index, and with blocks small
// enough that remarks straddle them.
TEST(SearchEngineTest, AgreesWithTheRemarkTestOnRandomLogs) {
  TempDir dir;
  std::mt19937 rng(20240607);
  int matches = 0, misses = 0;
  for (int round = 0; round < 400; ++round) {
    const std::string bytes = RandomLog(rng);
    const auto path = dir.Write("r.log", bytes);
    TLogCtrl index;
    ScanLog(path, index);
    if (index.Count() == 0) continue;
    switch (round % 3) {
      case 1: index.SortByNumber(); break;
      case 2: index.BuildThreads(); break;
      default: break;
    }
    for (int k = 0; k < 6; ++k) {
      const bool ignoreCase = rng() % 2;
      std::string key = RandomKey(rng, bytes);
      if (ignoreCase) AnsiUpperInPlace(key.data(), key.size());
      std::vector<bool> expected;
      LineReader reader(path, 4096), other(path, 64);
      const KeyMatcher matcher(key, ignoreCase);
      for (std::int32_t i = 0; i < index.Count(); ++i) {
        const TLogData& r = index.GetItem(IndexPos(i));
        expected.push_back(test::ReferenceRemark(reader, r, key, ignoreCase));
        (expected.back() ? matches : misses)++;
        ASSERT_EQ(RemarkMatches(other, r, key, ignoreCase), expected.back())
            << "round " << round << " at " << i;
        if (i == 0) {
          ASSERT_EQ(RemarkHolds(path, r.StartPos, r.EndPos, matcher), expected.back());
        }
        const std::size_t from = static_cast<std::size_t>(std::min<std::int64_t>(r.StartPos.v, bytes.size()));
        ASSERT_EQ(RemarkHolds(std::string_view(bytes).substr(from), r.EndPos - r.StartPos, matcher),
                  expected.back());
      }
      // A key the file's bytes do not hold is in no remark (the batch side
      // then skips the scan).
      if (!KeyOccursInFile(path, key, ignoreCase)) {
        EXPECT_EQ(std::count(expected.begin(), expected.end(), true), 0) << "key '" << key << "'";
      }
      SearchEngine engine(path, index, key, ignoreCase);
      if (k % 2) engine.SetBlockSize(1 + rng() % 64, rng() % 40);
      // A small limit sends frequent keys remark by remark.
      if (k % 3 == 2) engine.SetOccurrenceLimit(rng() % 4);
      ASSERT_EQ(engine.MatchAll(), expected) << "round " << round << " key '" << key << "'";
      std::vector<std::uint32_t> ids;
      for (std::int32_t i = 0; i < index.Count(); ++i) ids.push_back(index.IdAt(IndexPos(i)));
      std::sort(ids.begin(), ids.end());
      const std::vector<bool> byId = engine.MatchIds(ids);
      for (std::int32_t i = 0; i < index.Count(); ++i) {
        ASSERT_EQ(byId[index.IdAt(IndexPos(i))], expected[static_cast<std::size_t>(i)]) << "round " << round;
      }

      // The first match of a walk in either direction from any start.
      const std::int32_t start = static_cast<std::int32_t>(rng() % (index.Count() + 1)) - 1;
      const int step = rng() % 2 ? 1 : -1;
      std::int32_t first = -1;
      for (std::int32_t i = start + step; i >= 0 && i < index.Count(); i += step) {
        if (expected[i]) {
          first = i;
          break;
        }
      }
      EXPECT_EQ(engine.FindFirst(IndexPos(start + step), step).v, first) << "round " << round;
      const ChainList chain = step > 0 ? index.FindTextForward(IndexPos(start), key, path, ignoreCase)
                                       : index.FindTextBackward(IndexPos(start), key, path, ignoreCase);
      EXPECT_EQ(chain.empty() ? -1 : chain[0].v, first < 0 ? -1 : index.GetNumber(IndexPos(first)).v);
    }
  }
  // The generator must exercise both answers.
  EXPECT_GT(matches, 500);
  EXPECT_GT(misses, 500);
}

// The pass over the file's bytes finds a key across the end of its 1 MiB
// blocks, in either case when told to ignore it, and on a trail byte that
// looks like a letter (which the remark test leaves as it is).
TEST(SearchEngineTest, KeyOccursAnywhereInTheFile) {
  TempDir dir;
  std::string bytes(3u << 20, 'x');
  const std::size_t edge = 1u << 20;
  bytes.replace(edge - 2, 4, "KEYS");
  bytes.replace(2 * edge - 1, 2, "\x83\x61");  // ヂ across the second edge
  const auto path = dir.Write("big.log", bytes);
  EXPECT_TRUE(KeyOccursInFile(path, "KEYS", false));
  EXPECT_FALSE(KeyOccursInFile(path, "keys", false));
  EXPECT_TRUE(KeyOccursInFile(path, "KEYS", true));
  EXPECT_TRUE(KeyOccursInFile(path, "\x83\x61", false));
  EXPECT_TRUE(KeyOccursInFile(path, "\x83\x61", true));
  EXPECT_FALSE(KeyOccursInFile(path, "xy", true));
  EXPECT_TRUE(KeyOccursInFile(path, "", false));
  EXPECT_TRUE(KeyOccursInFile(dir.Path() / "missing.log", "KEYS", false));
}

// A walk long enough to pass the small chunks looks through the whole file
// once and tests only the remarks that may hold the key: the same answers as
// the remark test, from any start, both ways, with keys that occur rarely,
// often, never, across line ends and only after 0x1A.
TEST(SearchEngineTest, LongWalksAgreeWithTheRemarkTest) {
  TempDir dir;
  std::mt19937 rng(7031);
  for (int round = 0; round < 6; ++round) {
    std::string log = "t\r\n\r\n";
    const int n = 2600 + static_cast<int>(rng() % 400);
    static const std::vector<std::string> pieces = {"a", "hay", " ", "\x82\x61", "\r\n", "\r", "\n",
                                                    "\x1A", "z", "\xE1\x61", "Zz"};
    for (int i = 1; i <= n; ++i) {
      log += Header5(i) + "\r\n" + Line2() + "\r\n";
      const int len = static_cast<int>(rng() % 10);
      for (int k = 0; k < len; ++k) log += pieces[rng() % pieces.size()];
      if (rng() % 500 == 0) log += "rare NEEDLE";
      log += "\r\n";
    }
    if (round % 2) log.resize(log.size() - 2);
    const auto path = dir.Write("walk.log", log);
    TLogCtrl index;
    ScanLog(path, index);
    if (round % 3 == 1) index.SortByNumber();
    if (round % 3 == 2) index.BuildThreads();
    for (const std::string key : {"NEEDLE", "ZZ", "Z\r", "HAYA", "\x82\x61Z", "NOWHERE"}) {
      for (const bool ignoreCase : {false, true}) {
        std::vector<bool> expected;
        LineReader reader(path);
        for (std::int32_t i = 0; i < index.Count(); ++i) {
          expected.push_back(RemarkMatches(reader, index.GetItem(IndexPos(i)), key, ignoreCase));
        }
        SearchEngine engine(path, index, key, ignoreCase);
        if (round >= 3) engine.SetBlockSize(1 + rng() % 200, rng() % 40);
        ASSERT_EQ(engine.MatchAll(), expected) << "round " << round << " key " << key;
        for (int t = 0; t < 4; ++t) {
          // From either end first: the walks that go farthest.
          const std::int32_t start = t == 0   ? 0
                                     : t == 1 ? index.Count() - 1
                                              : static_cast<std::int32_t>(rng() % index.Count());
          const int step = t % 2 ? -1 : 1;
          std::int32_t first = -1;
          for (std::int32_t i = start; i >= 0 && i < index.Count(); i += step) {
            if (expected[i]) {
              first = i;
              break;
            }
          }
          EXPECT_EQ(engine.FindFirst(IndexPos(start), step).v, first)
              << "round " << round << " key " << key << " from " << start << " step " << step;
        }
      }
    }
  }
}

// Far from the start the walk goes in growing chunks; the first match in
// the walk's order wins even when a later chunk holds remarks earlier in the
// file.
TEST(SearchEngineTest, FirstMatchOfALongWalkInBothDirections) {
  TempDir dir;
  std::string log = "t\r\n\r\n";
  const int n = 3000;
  for (int i = 1; i <= n; ++i) {
    const bool hit = i == 2500 || i == 2900 || i == 40;
    log += Remark(Header5(i), Line2(), {hit ? "the needle is here" : "hay", "more hay"});
  }
  const auto path = dir.Write("long.log", log);
  TLogCtrl index;
  ScanLog(path, index);
  ASSERT_EQ(index.Count(), n);
  SearchEngine engine(path, index, "needle", false);
  EXPECT_EQ(engine.FindFirst(IndexPos(100), 1).v, 2499);
  EXPECT_EQ(engine.FindFirst(IndexPos(2499), 1).v, 2499);
  EXPECT_EQ(engine.FindFirst(IndexPos(2500), 1).v, 2899);
  EXPECT_EQ(engine.FindFirst(IndexPos(2900), 1).v, -1);
  EXPECT_EQ(engine.FindFirst(IndexPos(2898), -1).v, 2499);
  EXPECT_EQ(engine.FindFirst(IndexPos(2498), -1).v, 39);
  EXPECT_EQ(engine.FindFirst(IndexPos(38), -1).v, -1);
  std::vector<int> seen;
  engine.SetProgress([&](int p) { seen.push_back(p); });
  engine.FindFirst(IndexPos(0), 1);
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_LE(seen.back(), 100);

  // A key in more places than the pass over the file keeps: the far
  // remarks are then tested one by one, none passed over.
  SearchEngine often(path, index, "needle", false);
  often.SetOccurrenceLimit(1);
  EXPECT_EQ(often.FindFirst(IndexPos(100), 1).v, 2499);
  EXPECT_EQ(often.FindFirst(IndexPos(2898), -1).v, 2499);

  // A key found nowhere: the pass over the file shows its progress as it
  // reads, never going back, and the end shows 100.
  SearchEngine miss(path, index, "nowhere", false);
  miss.SetBlockSize(4096, 0);
  seen.clear();
  miss.SetProgress([&](int p) { seen.push_back(p); });
  const std::vector<bool> none = miss.MatchAll();
  EXPECT_EQ(std::count(none.begin(), none.end(), true), 0);
  ASSERT_GT(seen.size(), 10u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), 100);
}

class LogFindTest : public ::testing::Test {
 protected:
  void Load(const std::string& bytes) {
    path_ = dir_.Write("f.log", bytes);
    ScanLog(path_, index_);
  }
  std::vector<int> Numbers(const ChainList& c) {
    std::vector<int> v;
    for (RemarkNo r : c) v.push_back(r.v);
    return v;
  }
  TempDir dir_;
  std::filesystem::path path_;
  TLogCtrl index_;
};

// Thread 1 <- 2 <- 4, and 3 alone; content order puts 1, 2, 4, 3.
TEST_F(LogFindTest, TextChainsReachUpToTheStartOnly) {
  Load("t\r\n\r\n" + Remark(Header5(1), Line2(), {"top"}) + Remark(Header5(2), Line2("96", 1), {"reply"}) +
       Remark(Header5(3), Line2(), {"alone needle"}) + Remark(Header5(4), Line2("96", 2), {"deep Needle"}));
  index_.BuildThreads();
  ASSERT_EQ(index_.GetNumber(IndexPos(2)).v, 4);
  // From the top of the thread: the match and its parent, not the start.
  EXPECT_EQ(Numbers(index_.FindTextForward(IndexPos(0), "NEEDLE", path_, true)), (std::vector<int>{4, 2, 1}));
  // The walk back stops at the start position.
  EXPECT_EQ(Numbers(index_.FindTextForward(IndexPos(1), "NEEDLE", path_, true)), (std::vector<int>{4, 2}));
  // Case kept: only remark 3 has "needle".
  EXPECT_EQ(Numbers(index_.FindTextForward(IndexPos(0), "needle", path_, false)), (std::vector<int>{3}));
  // Backward: the nearest before the start, its chain to position 0.
  EXPECT_EQ(Numbers(index_.FindTextBackward(IndexPos(3), "NEEDLE", path_, true)), (std::vector<int>{4, 2, 1}));
  EXPECT_EQ(Numbers(index_.FindTextBackward(IndexPos(2), "NEEDLE", path_, true)), (std::vector<int>{}));
  EXPECT_TRUE(index_.FindTextForward(IndexPos(3), "NEEDLE", path_, true).empty());
}

TEST_F(LogFindTest, IdsMatchExactlyWhateverTheSpeaker) {
  Load("t\r\n\r\n" + Remark(Header5(1, "AAA00001", "first name"), Line2()) +
       Remark(Header5(2, "BBB00002", "other"), Line2("96", 1)) +
       Remark(Header5(3, "AAA00001", "second name"), Line2("96", 2)) +
       Remark(Header5(4, "AAA00010", "near miss"), Line2()));
  index_.BuildThreads();
  EXPECT_EQ(Numbers(index_.FindIDForward(IndexPos(0), "AAA00001")), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(Numbers(index_.FindIDForward(IndexPos(1), "AAA00001")), (std::vector<int>{3, 2}));
  EXPECT_EQ(Numbers(index_.FindIDForward(IndexPos(-1), "AAA00001")), (std::vector<int>{1}));
  EXPECT_EQ(Numbers(index_.FindIDBackward(IndexPos(2), "AAA00001")), (std::vector<int>{1}));
  EXPECT_EQ(Numbers(index_.FindIDBackward(IndexPos(3), "AAA00001")), (std::vector<int>{3, 2, 1}));
  EXPECT_TRUE(index_.FindIDForward(IndexPos(2), "AAA00001").empty());
  EXPECT_TRUE(index_.FindIDBackward(IndexPos(0), "AAA00001").empty());
  EXPECT_TRUE(index_.FindIDForward(IndexPos(-1), "AAA0001").empty());  // all 8 bytes count
}

// The matching rules themselves: never across a line end, nothing after
// 0x1A, and the ANSI case rule that leaves trail bytes alone.
TEST_F(LogFindTest, MatchingRules) {
  Load("t\r\n\r\n" + Remark(Header5(1), Line2(), {"abc", "def"}) +
       Remark(Header5(2), Line2(), {std::string("xy\x1Azw"), "after"}) +
       Remark(Header5(3), Line2(), {"\x82\x61"}) +      // full-width 'Ａ' whose trail byte is 'a'
       Remark(Header5(4), Line2(), {"MiXeD Case"}));
  auto hits = [&](std::string key, bool ignoreCase) {
    if (ignoreCase) AnsiUpperInPlace(key.data(), key.size());
    SearchEngine engine(path_, index_, key, ignoreCase);
    std::vector<int> v;
    const auto all = engine.MatchAll();
    for (std::size_t i = 0; i < all.size(); ++i) if (all[i]) v.push_back(static_cast<int>(i) + 1);
    return v;
  };
  EXPECT_EQ(hits("c\r\nd", false), (std::vector<int>{}));
  EXPECT_EQ(hits("cd", false), (std::vector<int>{}));
  EXPECT_EQ(hits("xy", false), (std::vector<int>{2}));
  EXPECT_EQ(hits("zw", false), (std::vector<int>{}));
  EXPECT_EQ(hits("after", false), (std::vector<int>{}));
  // "after" (past 0x1A) does not count; the trail byte 'a' of remark 3 is
  // half of a character, which no key matches, in either case rule.
  EXPECT_EQ(hits("a", false), (std::vector<int>{1, 4}));
  EXPECT_EQ(hits("a", true), (std::vector<int>{1, 4}));
  EXPECT_EQ(hits("mixed case", true), (std::vector<int>{4}));
  EXPECT_EQ(hits("mixed case", false), (std::vector<int>{}));
  EXPECT_EQ(hits("\x82\x61", true), (std::vector<int>{3}));
  EXPECT_EQ(hits("", false), (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(LogFindTest, FileCutShortOrGoneEndsTheSearchWithAMessage) {
  std::string log = "t\r\n\r\n";
  for (int i = 1; i <= 200; ++i) log += Remark(Header5(i), Line2(), {"some text of remark " + std::to_string(i)});
  Load(log);
  ASSERT_EQ(index_.Count(), 200);
  {
    // Cut while the engine has the file open: the read that comes short ends it.
    SearchEngine engine(path_, index_, "nowhere", false);
    engine.SetBlockSize(4096, 0);
    ASSERT_EQ(::truncate(path_.c_str(), static_cast<off_t>(log.size() / 2)), 0);
    EXPECT_THROW(engine.MatchAll(), LogFileError);
  }
  try {
    index_.FindTextForward(IndexPos(0), "nowhere", path_, false);
    FAIL() << "no error";
  } catch (const LogFileError& e) {
    EXPECT_NE(std::string(e.what()).find("短くなっています"), std::string::npos) << e.what();
  }
  std::filesystem::remove(path_);
  EXPECT_THROW(index_.FindTextBackward(IndexPos(100), "x", path_, false), LogFileError);
}

// A search shared among threads reports a file cut short after the scan, and
// the threads stop; whole, it gives each record's answer by its id.
TEST_F(LogFindTest, SharedSearchByIds) {
  std::string log = "t\r\n\r\n";
  for (int i = 1; i <= 300; ++i) log += Remark(Header5(i), Line2(), {i % 3 ? "hay" : "a needle"});
  Load(log);
  std::vector<std::uint32_t> ids;
  for (std::int32_t i = 0; i < index_.Count(); ++i) ids.push_back(index_.IdAt(IndexPos(i)));
  index_.SortByNumber();
  SharedSearch whole(path_, index_, "needle", false, ids);
  std::thread second([&] { whole.Work(); });
  whole.Work();
  second.join();
  const std::vector<bool> byId = whole.Result();
  for (std::int32_t i = 0; i < index_.Count(); ++i) {
    EXPECT_EQ(byId[index_.IdAt(IndexPos(i))], index_.GetNumber(IndexPos(i)).v % 3 == 0) << i;
  }

  ASSERT_EQ(::truncate(path_.c_str(), static_cast<off_t>(log.size() / 2)), 0);
  SharedSearch cut(path_, index_, "needle", false, ids);
  cut.Work();
  cut.Work();
  EXPECT_THROW(cut.Result(), LogFileError);
}

TEST_F(LogFindTest, EmptyLog) {
  Load("");
  EXPECT_TRUE(SearchEngine(path_, index_, "only", false).MatchAll().empty());
  EXPECT_TRUE(index_.FindTextForward(IndexPos(-1), "only", path_, false).empty());
}

TEST_F(LogFindTest, OneRemarkLog) {
  Load("t\r\n\r\n" + Remark(Header5(7), Line2(), {"only"}));
  EXPECT_TRUE(index_.FindTextForward(IndexPos(0), "only", path_, false).empty());
  EXPECT_TRUE(index_.FindTextBackward(IndexPos(0), "only", path_, false).empty());
  EXPECT_EQ(Numbers(index_.FindTextForward(IndexPos(-1), "only", path_, false)), (std::vector<int>{7}));
}

}  // namespace
}  // namespace kest
