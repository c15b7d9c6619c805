// The library end to end in the core: folders walked, logs indexed and
// updated, and its answers against the search of each log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "core/LogFixture.h"
#include "library/LibrarySearch.h"
#include "library/LibraryUpdate.h"
#include "library/LogWalk.h"
#include "log/Logunit1.h"
#include "platform/Codec.h"
#include "search/SearchEngine.h"

namespace kest {
namespace {

namespace fs = std::filesystem;
using test::Header5;
using test::Line2;
using test::Remark;
using test::TempDir;

// The characters of the random logs. The search of one log compares bytes
// and the index characters; where a key could match from the second byte of
// a character the two would differ, and the search is being changed to
// match only at characters. These characters leave no such place: every
// second byte lies in 0xA0-0xDF, which is neither a first byte nor ASCII,
// and no half-width kana (0xA1-0xDF as a byte of its own) is used.
const std::vector<std::string>& Chars() {
  static const std::vector<std::string> chars = {
      "a",        "b",        "A",        "B",        "x",        "Z",        "1",        " ",        "-",
      "\x82\xA0", "\x82\xA2", "\x82\xA4", "\x8A\xBF", "\x8C\xA2", "\xFA\xB1", "\xED\xB1", "\x88\xA0", "\n"};
  return chars;
}

struct RandomLog {
  std::string bytes;
  std::vector<std::vector<std::string>> lines;  // body lines as characters
};

// A log of a few remarks whose bodies hold lines of the characters above,
// now and then a bare CR, a line broken by 0x1A, an empty line.
RandomLog MakeRandomLog(std::mt19937& rng, int firstNumber) {
  RandomLog log;
  log.bytes = rng() % 3 ? "forum\r\n\r\n" : "";
  const int remarks = 1 + static_cast<int>(rng() % 8);
  for (int n = 0; n < remarks; ++n) {
    static const char* const dates[] = {"96/03/01", "96/03/02", "01/12/31", "89/07/04", "bad"};
    log.bytes += Header5(firstNumber + n, rng() % 2 ? "ABC01234" : "XYZ99999", rng() % 2 ? "alice" : "bob",
                         "t" + std::to_string(n)) +
                 "\r\n" + Line2(dates[rng() % 5]) + "\r\n";
    const int lines = static_cast<int>(rng() % 4);
    for (int l = 0; l < lines; ++l) {
      std::vector<std::string> chars;
      const int len = static_cast<int>(rng() % 10);
      for (int k = 0; k < len; ++k) chars.push_back(Chars()[rng() % Chars().size()]);
      for (const std::string& c : chars) log.bytes += c;
      switch (rng() % 10) {
        case 0: log.bytes += "\r"; break;
        case 1: log.bytes += "\x1A" + Chars()[rng() % Chars().size()] + "b\r\n"; break;
        default: log.bytes += "\r\n"; break;
      }
      log.lines.push_back(std::move(chars));
    }
  }
  return log;
}

// Keys of one to five characters: pieces of lines (across a line's end too,
// and after a 0x1A byte), and characters drawn at random, in either case.
std::string RandomKey(std::mt19937& rng, const std::vector<RandomLog>& logs) {
  const RandomLog& log = logs[rng() % logs.size()];
  std::vector<std::string> chars;
  if (rng() % 4 == 0 || log.lines.empty()) {
    const int len = 1 + static_cast<int>(rng() % 3);
    for (int k = 0; k < len; ++k) chars.push_back(Chars()[rng() % Chars().size()]);
  } else {
    const std::size_t l = rng() % log.lines.size();
    std::vector<std::string> run = log.lines[l];
    // Now and then the end of a line and the start of the next as one.
    if (rng() % 5 == 0 && l + 1 < log.lines.size())
      run.insert(run.end(), log.lines[l + 1].begin(), log.lines[l + 1].end());
    if (run.empty()) run.push_back("a");
    const std::size_t from = rng() % run.size();
    const std::size_t len = 1 + rng() % std::min<std::size_t>(5, run.size() - from);
    chars.assign(run.begin() + static_cast<long>(from), run.begin() + static_cast<long>(from + len));
  }
  std::string key;
  for (std::string c : chars) {
    if (c.size() == 1 && rng() % 3 == 0)
      c[0] = static_cast<char>(std::isupper(c[0]) ? std::tolower(c[0]) : std::toupper(c[0]));
    key += c;
  }
  return key;
}

using Found = std::set<std::pair<std::string, std::int64_t>>;  // log path, StartPos

// The logs of a folder, each scanned as the window opens it.
struct ScannedLogs {
  explicit ScannedLogs(const fs::path& dir) {
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
      if (!e.is_regular_file() || e.path().extension() != ".log") continue;
      auto index = std::make_unique<TLogCtrl>();
      ScanLog(e.path(), *index);
      if (index->Count() > 0) logs.emplace_back(e.path(), std::move(index));
    }
  }
  std::vector<std::pair<fs::path, std::unique_ptr<TLogCtrl>>> logs;
};

// The union of the one-log searches: every log searched with the search
// engine of the window and --grep.
Found SearchEachLog(const ScannedLogs& scanned, std::string key, bool ignoreCase) {
  if (ignoreCase) AnsiUpperInPlace(key.data(), key.size());
  Found found;
  for (const auto& [path, index] : scanned.logs) {
    SearchEngine engine(path, *index, key, ignoreCase);
    const std::vector<bool> hit = engine.MatchAll();
    for (std::int32_t i = 0; i < index->Count(); ++i) {
      if (hit[static_cast<std::size_t>(i)])
        found.insert({path.string(), index->GetItem(IndexPos(i)).StartPos.v});
    }
  }
  return found;
}

Found SearchTheLibrary(Library& library, const std::string& key, bool ignoreCase,
                       SearchReport* report = nullptr) {
  LibraryQuery q;
  q.key = key;
  q.ignoreCase = ignoreCase;
  Found found;
  SearchReport r = SearchLibrary(library, q, {}, [&](const LibraryHit& h) {
    EXPECT_TRUE(found.insert({h.path, h.start.v}).second) << "a remark given twice";
    return true;
  });
  if (report) *report = r;
  return found;
}

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logs_ = dir_.Path() / "logs";
    fs::create_directories(logs_);
    file_ = dir_.Path() / "data" / "library.db";
  }

  UpdateReport Update(Library& library) {
    UpdateLock lock(library.File());
    return UpdateLibrary(library, {});
  }

  fs::path Write(const std::string& name, const std::string& bytes) {
    const fs::path p = logs_ / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }

  TempDir dir_;
  fs::path logs_, file_;
};

// The answer of the library for a key is the union of the searches of its
// logs: for random logs and keys, in both case rules, after the first update
// and after logs were changed, added and removed.
TEST_F(LibraryTest, AnswersAsTheSearchesOfItsLogs) {
  std::mt19937 rng(20240921);
  std::vector<RandomLog> made;
  for (int i = 0; i < 16; ++i) {
    made.push_back(MakeRandomLog(rng, 1 + i));
    Write("f" + std::to_string(i % 3) + "/log" + std::to_string(i) + ".log", made.back().bytes);
  }
  Library library(file_, SqlDb::Mode::Write);
  library.AddFolder(logs_);
  int hits = 0, empty = 0;
  for (int round = 0; round < 3; ++round) {
    const UpdateReport r = Update(library);
    EXPECT_TRUE(r.problems.empty());
    const ScannedLogs scanned(logs_);
    for (int k = 0; k < 60; ++k) {
      const std::string key = RandomKey(rng, made);
      const bool ignoreCase = rng() % 2;
      const Found expected = SearchEachLog(scanned, key, ignoreCase);
      ASSERT_EQ(SearchTheLibrary(library, key, ignoreCase), expected)
          << "round " << round << " key '" << SjisToUtf8(key) << "' ignoreCase " << ignoreCase;
      (expected.empty() ? empty : hits)++;
    }
    // Change some logs, add one, remove one.
    for (int c = 0; c < 4; ++c) {
      const int i = static_cast<int>(rng() % made.size());
      made[static_cast<std::size_t>(i)] = MakeRandomLog(rng, 100 + round);
      Write("f" + std::to_string(i % 3) + "/log" + std::to_string(i) + ".log",
            made[static_cast<std::size_t>(i)].bytes);
    }
    made.push_back(MakeRandomLog(rng, 7));
    Write("new" + std::to_string(round) + ".log", made.back().bytes);
    fs::remove(logs_ / "f0" / ("log" + std::to_string(3 * round) + ".log"));
  }
  EXPECT_GT(hits, 60);
  EXPECT_GT(empty, 20);
}

}  // namespace
}  // namespace kest
