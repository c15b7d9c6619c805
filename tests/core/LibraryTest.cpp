// The library end to end in the core: folders walked, logs indexed and
// updated, and its answers against the search of each log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "core/ArchiveFixture.h"
#include "core/LogFixture.h"
#include "library/LibraryArchives.h"
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

// The characters of the random logs: ASCII, double-byte characters whose
// second byte is a letter, a backslash or a half-width kana byte ("ア" is 0x83 0x41,
// "―" 0x81 0x5C), half-width kana, and the NEC and IBM extensions. A key
// made of the bytes of two halves of characters ("A" in "ア") is found by
// neither the index nor the one-log search, which match whole characters.
const std::vector<std::string>& Chars() {
  static const std::vector<std::string> chars = {
      "a",        "b",        "A",        "B",        "x",        "Z",        "1",        " ",
      "-",        "\x82\xA0", "\x82\xA2", "\x83\x41", "\x83\x61", "\x81\x5C", "\x8A\xBF", "\xB1",
      "\xDE",     "\x83\xB1", "\xFA\xB1", "\xED\xB1", "\x88\xA0", "\n"};
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

// What the library finds; with `walkFirst` given, the search checks that many
// remarks in order and asks the index for the rest, newest first or oldest.
Found SearchTheLibrary(Library& library, const std::string& key, bool ignoreCase,
                       SearchReport* report = nullptr, std::optional<std::int64_t> walkFirst = std::nullopt,
                       bool newestFirst = false) {
  LibraryQuery q;
  q.key = key;
  q.ignoreCase = ignoreCase;
  q.newestFirst = newestFirst;
  if (walkFirst) {
    q.walkFirst = *walkFirst;
    q.keepWalking = 0;
  }
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
      // Walking every remark, asking the index for all, and walking a few
      // days before asking the index for the rest, either way round.
      for (std::int64_t walkFirst : {2048, 0, 5, 20}) {
        const bool newestFirst = rng() % 2;
        ASSERT_EQ(SearchTheLibrary(library, key, ignoreCase, nullptr, walkFirst, newestFirst), expected)
            << "round " << round << " key '" << SjisToUtf8(key) << "' ignoreCase " << ignoreCase
            << " walking " << walkFirst << (newestFirst ? " newest first" : "");
      }
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

// Sets a file's modification time some seconds back, so that the update
// does not take it for one written in the tick in which it is read.
void Age(const fs::path& p, int seconds = 60) {
  struct timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= seconds;
  times[1] = times[0];
  ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
}

std::string SimpleLog(int first, int count, const std::string& word, const char* date = "96/03/01") {
  std::string log = "forum " + word + "\r\n\r\n";
  for (int n = first; n < first + count; ++n) {
    log += Remark(Header5(n, "ABC0" + std::to_string(1000 + n % 10), "poster" + std::to_string(n % 3),
                          "title " + std::to_string(n)),
                  Line2(date), {"body of " + word + " " + std::to_string(n)});
  }
  return log;
}

// Only new and changed files are read; a gone one leaves; a file that is no
// log is tried once; a changed log's old remarks never answer again, and
// when the dead entries pass half the live ones the index is rebuilt.
TEST_F(LibraryTest, UpdatesOnlyWhatChanged) {
  for (int i = 0; i < 6; ++i)
    Age(Write("l" + std::to_string(i) + ".log", SimpleLog(1, 10, "w" + std::to_string(i))));
  Age(Write("notes.txt", "shopping list\r\nmilk\r\n"));
  Age(Write("README", "00001/ would be a header\r\n"));  // no ID: no remark
  Age(Write("image.dat", SimpleLog(1, 3, "dat")));       // not tried
  Age(Write(".hidden.log", SimpleLog(1, 3, "hidden")));
  Library library(file_, SqlDb::Mode::Write);
  library.AddFolder(logs_);
  UpdateReport r = Update(library);
  EXPECT_EQ(r.added, 6);
  EXPECT_EQ(r.notLogs, 2);
  EXPECT_EQ(library.Logs().size(), 6u);
  EXPECT_EQ(library.RemarkCount(), 60);

  r = Update(library);
  EXPECT_EQ(r.added + r.changed + r.removed + r.notLogs, 0);
  EXPECT_EQ(r.unchanged, 8);
  EXPECT_EQ(r.bytesRead, 0);

  // One log changed, one gone, one new.
  Age(Write("l0.log", SimpleLog(1, 4, "again")));
  fs::remove(logs_ / "l1.log");
  Age(Write("sub/l9.log", SimpleLog(1, 2, "w9")));
  r = Update(library);
  EXPECT_EQ(r.changed, 1);
  EXPECT_EQ(r.removed, 1);
  EXPECT_EQ(r.added, 1);
  EXPECT_EQ(r.bytesRead,
            static_cast<std::int64_t>(fs::file_size(logs_ / "l0.log") + fs::file_size(logs_ / "sub/l9.log")));
  EXPECT_EQ(library.DeadEntries(), 20);
  EXPECT_FALSE(r.compacted);
  EXPECT_TRUE(SearchTheLibrary(library, "w0", false).empty());
  EXPECT_TRUE(SearchTheLibrary(library, "w1", false).empty());
  EXPECT_EQ(SearchTheLibrary(library, "again", false).size(), 4u);

  // More than half dead: rebuilt, with the same answers.
  for (int i = 2; i < 6; ++i)
    Age(Write("l" + std::to_string(i) + ".log", SimpleLog(1, 3, "x" + std::to_string(i))));
  r = Update(library);
  EXPECT_TRUE(r.compacted);
  EXPECT_EQ(library.DeadEntries(), 0);
  EXPECT_EQ(library.RemarkCount(), 4 + 2 + 4 * 3);
  EXPECT_EQ(SearchTheLibrary(library, "x3", false).size(), 3u);
  EXPECT_EQ(SearchTheLibrary(library, "body", false).size(), 18u);
  EXPECT_TRUE(SearchTheLibrary(library, "w5", false).empty());
}

// A file written again in the tick in which it was read keeps its stamp;
// the next update reads it all the same.
TEST_F(LibraryTest, AFileChangedInTheTickItWasReadIsReadAgain) {
  const fs::path p = Write("l.log", SimpleLog(1, 2, "first"));
  Library library(file_, SqlDb::Mode::Write);
  library.AddFolder(logs_);
  Update(library);
  struct stat before {};
  ::stat(p.c_str(), &before);
  Write("l.log", SimpleLog(1, 2, "other"));  // the same size
  struct timespec times[2] = {before.st_mtim, before.st_mtim};
  utimensat(AT_FDCWD, p.c_str(), times, 0);  // and the same time
  EXPECT_EQ(Update(library).changed, 1);
  EXPECT_EQ(SearchTheLibrary(library, "other", false).size(), 2u);
  EXPECT_TRUE(SearchTheLibrary(library, "first", false).empty());
}

// A log deleted, cut short or replaced after the update: its hits are
// checked against the file as it is now, so they are reported, never shown
// with text the file no longer holds; the other logs answer as before.
TEST_F(LibraryTest, ChangedOrGoneLogsAreReportedNotShown) {
  for (const char* name : {"a.log", "b.log", "c.log", "d.log"}) Age(Write(name, SimpleLog(1, 3, "key")));
  Library library(file_, SqlDb::Mode::Write);
  library.AddFolder(logs_);
  Update(library);
  fs::remove(logs_ / "a.log");
  fs::resize_file(logs_ / "b.log", 100);
  const fs::path other = Write("other", SimpleLog(7, 3, "key"));
  fs::rename(other, logs_ / "c.log");  // the same size, another file
  SearchReport report;
  const Found found = SearchTheLibrary(library, "key", false, &report);
  EXPECT_EQ(found.size(), 3u);
  for (const auto& [path, start] : found) EXPECT_EQ(fs::path(path).filename(), "d.log");
  ASSERT_EQ(report.problems.size(), 3u);
  EXPECT_NE(report.problems[0].find("a.log"), std::string::npos);
  EXPECT_NE(report.problems[0].find("なくなっています"), std::string::npos);
  EXPECT_NE(report.problems[1].find("変わっています"), std::string::npos);
  // An update brings the library in line again.
  const UpdateReport r = Update(library);
  EXPECT_EQ(r.removed, 1);
  EXPECT_EQ(r.changed, 2);
  EXPECT_EQ(SearchTheLibrary(library, "key", false, &report),
            SearchEachLog(ScannedLogs(logs_), "key", false));
  EXPECT_TRUE(report.problems.empty());
}

// Cancelling, or a disk that fills up, rolls back what was being written:
// every log is in the library whole, as it was or as it is now, never in
// part, and the next update brings the rest.
TEST_F(LibraryTest, AnInterruptedUpdateLeavesEveryLogWholeOrAsItWas) {
  auto write = [&](const std::string& word) {
    for (int i = 0; i < 5; ++i) {
      Age(Write("l" + std::to_string(i) + ".log", SimpleLog(1, 400, word + std::to_string(i) + "x")));
    }
  };
  // Each log is there with all its remarks, as it was read before or as
  // it is now.
  std::map<std::string, FileStamp> old;
  auto whole = [&](Library& library) {
    const std::vector<LibraryLog> logs = library.Logs();
    ASSERT_EQ(logs.size(), 5u);
    for (const LibraryLog& log : logs) {
      EXPECT_EQ(log.remarks, 400);
      EXPECT_TRUE(log.stamp == old[log.path] || log.stamp == *StampOf(log.path)) << log.path;
    }
    EXPECT_EQ(library.RemarkCount(), 2000);
  };
  write("old");
  Library library(file_, SqlDb::Mode::Write);
  library.AddFolder(logs_);
  Update(library);
  for (const LibraryLog& log : library.Logs()) old[log.path] = log.stamp;
  write("new");
  std::atomic<bool> cancel{false};
  int reports = 0;
  UpdateReport r;
  {
    UpdateLock lock(file_);
    r = UpdateLibrary(
        library, {},
        [&](const UpdateProgress& p) {
          // Half-way through the third log.
          if (p.doneFiles == 2 && p.doneBytes > p.totalBytes / 2) cancel = true;
          ++reports;
        },
        &cancel);
  }
  EXPECT_TRUE(r.cancelled);
  EXPECT_GT(reports, 3);
  whole(library);

  // A full disk in the middle of a log.
  sqlite3_exec(library.Db().Handle(), "PRAGMA max_page_count = 1", nullptr, nullptr, nullptr);
  try {
    Update(library);
    ADD_FAILURE() << "no error";
  } catch (const LibraryError& e) {
    EXPECT_NE(std::string(e.what()).find("ディスクがいっぱい"), std::string::npos) << e.what();
  }
  sqlite3_exec(library.Db().Handle(), "PRAGMA max_page_count = 1073741823", nullptr, nullptr, nullptr);
  whole(library);
  Update(library);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(SearchTheLibrary(library, "new" + std::to_string(i) + "x", false).size(), 400u);
}

// Folders taken out: the logs no folder left covers go (files that are no
// log too), in one transaction that a cancel rolls back whole; logs that
// another folder covers stay; a folder the library does not hold is passed
// over.
TEST_F(LibraryTest, RemovingFoldersDropsWhatNoFolderCovers) {
  for (int i = 0; i < 3; ++i) Age(Write("a/a" + std::to_string(i) + ".log", SimpleLog(1, 5, "apple")));
  Age(Write("a/notes.txt", "no remark here\r\n"));
  Age(Write("a/deep/d.log", SimpleLog(1, 2, "deep")));
  Age(Write("ab/b.log", SimpleLog(1, 4, "banana")));  // beside a, not in it
  Library library(file_, SqlDb::Mode::Write);
  library.AddFolder(logs_ / "a");
  library.AddFolder(logs_ / "a" / "deep");
  library.AddFolder(logs_ / "ab");
  Update(library);
  ASSERT_EQ(library.Logs().size(), 5u);
  ASSERT_EQ(library.Files().size(), 6u);

  // Cancelled at the third file: nothing has gone, the folder neither.
  std::atomic<bool> cancel{false};
  std::vector<UpdateProgress> steps;
  std::size_t cancelAt = 3;
  auto progress = [&](const UpdateProgress& p) {
    steps.push_back(p);
    if (steps.size() == cancelAt) cancel = true;
  };
  UpdateReport r;
  {
    UpdateLock lock(file_);
    r = RemoveLibraryFolders(library, {logs_ / "a"}, progress, &cancel);
  }
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.removed, 0);
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(library.Folders().size(), 3u);
  EXPECT_EQ(library.Files().size(), 6u);
  EXPECT_EQ(library.RemarkCount(), 3 * 5 + 2 + 4);
  EXPECT_EQ(library.DeadEntries(), 0);
  EXPECT_EQ(SearchTheLibrary(library, "apple", false).size(), 15u);

  // Every step says what goes, and how far it has come; a/deep stays, as
  // its own folder covers it.
  steps.clear();
  cancel = false;
  cancelAt = 0;
  {
    UpdateLock lock(file_);
    r = RemoveLibraryFolders(library, {logs_ / "a", dir_.Path() / "never"}, progress, &cancel);
  }
  EXPECT_FALSE(r.cancelled);
  EXPECT_EQ(r.removed, 3);  // the logs; notes.txt went too, and is none
  ASSERT_EQ(steps.size(), 4u);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    EXPECT_TRUE(steps[i].removing);
    EXPECT_EQ(steps[i].doneFiles, static_cast<std::int32_t>(i));
    EXPECT_EQ(steps[i].totalFiles, 4);
    EXPECT_TRUE(PathInFolder(steps[i].current, logs_ / "a")) << steps[i].current;
    EXPECT_FALSE(PathInFolder(steps[i].current, logs_ / "a" / "deep")) << steps[i].current;
  }
  EXPECT_EQ(library.Folders(), (std::vector<fs::path>{logs_ / "a" / "deep", logs_ / "ab"}));
  EXPECT_EQ(library.Files().size(), 2u);
  EXPECT_EQ(library.RemarkCount(), 2 + 4);
  EXPECT_EQ(library.DeadEntries(), 15);
  EXPECT_TRUE(SearchTheLibrary(library, "apple", false).empty());
  EXPECT_EQ(SearchTheLibrary(library, "banana", false).size(), 4u);
  EXPECT_EQ(SearchTheLibrary(library, "deep", false).size(), 2u);

  // Two at once; a folder it does not hold changes nothing.
  EXPECT_EQ(library.RemoveFolders({dir_.Path() / "never"}), 0u);
  EXPECT_EQ(library.Files().size(), 2u);
  EXPECT_EQ(library.RemoveFolders({logs_ / "ab", logs_ / "a" / "deep"}), 2u);
  EXPECT_TRUE(library.Folders().empty());
  EXPECT_TRUE(library.Files().empty());
  EXPECT_EQ(library.RemarkCount(), 0);
}

// The members of archives that the library takes as logs: those that look
// like logs whatever their names, and those named as logs; a member that
// cannot be opened (encrypted) is reported. Their hits come from the member,
// and once the archive is replaced they are reported, never answered.
TEST_F(LibraryTest, MembersOfArchives) {
  const std::string log = SimpleLog(1, 3, "packed");
  Write("a.lzh", test::LhaArchive({{"forum.dat", log},
                                   {"notes.txt", "no remark here\r\n"},
                                   {"data.bin", std::string(64, '\x07')},
                                   {"sub/old.log", SimpleLog(7, 2, "older")}}));
  Write("b.zip", test::ZipArchive({{"secret.log", log}}, "pw"));
  Age(logs_ / "a.lzh");
  Age(logs_ / "b.zip");
  setenv("XDG_CACHE_HOME", (dir_.Path() / "cache").c_str(), 1);
  Library library(file_, SqlDb::Mode::Write);
  library.AddFolder(logs_);
  const ArchiveHook hook = LibraryArchiveHook();
  UpdateReport r;
  {
    UpdateLock lock(file_);
    r = UpdateLibrary(library, hook);
  }
  std::set<std::string> members;
  for (const LibraryLog& l : library.Logs()) members.insert(fs::path(l.path).filename().string() + "|" + l.member);
  EXPECT_EQ(members, (std::set<std::string>{"a.lzh|forum.dat", "a.lzh|sub/old.log"}));
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_NE(r.problems[0].find("secret.log"), std::string::npos) << r.problems[0];

  LibraryQuery q;
  q.key = "packed";
  std::vector<std::pair<std::string, int>> hits;
  SearchReport s = SearchLibrary(library, q, hook, [&](const LibraryHit& h) {
    hits.emplace_back(h.member, h.number);
    return true;
  });
  EXPECT_EQ(hits, (std::vector<std::pair<std::string, int>>{{"forum.dat", 1}, {"forum.dat", 2}, {"forum.dat", 3}}));
  EXPECT_TRUE(s.problems.empty());

  Write("a.lzh", test::LhaArchive({{"forum.dat", SimpleLog(1, 3, "changed")}}));
  hits.clear();
  s = SearchLibrary(library, q, hook, [&](const LibraryHit& h) {
    hits.emplace_back(h.member, h.number);
    return true;
  });
  EXPECT_TRUE(hits.empty());
  ASSERT_FALSE(s.problems.empty());
  EXPECT_NE(s.problems[0].find("a.lzh"), std::string::npos);
  unsetenv("XDG_CACHE_HOME");
}

// The line a hit shows in the list: the first that holds the key by the
// one-log rule (a key across two lines is in neither), with the byte where
// the key starts, case ignored or not.
TEST_F(LibraryTest, TheLineThatShowsTheMatch) {
  Age(Write("a.log", "forum\r\n\r\n" + Remark(Header5(1), Line2(), {"first line", "A\x83\x41xx key", "second KEY Key"}) +
                         Remark(Header5(2), Line2(), {"ke", "y", "\x1A key"})));
  Library library(file_, SqlDb::Mode::Write);
  library.AddFolder(logs_);
  Update(library);
  auto context = [&library](const std::string& key, bool ignoreCase) {
    LibraryQuery q;
    q.key = key;
    q.ignoreCase = ignoreCase;
    q.withContext = true;
    std::vector<std::pair<std::string, std::size_t>> lines;
    SearchLibrary(library, q, {}, [&](const LibraryHit& h) {
      lines.emplace_back(h.context, h.contextAt);
      return true;
    });
    return lines;
  };
  using Lines = std::vector<std::pair<std::string, std::size_t>>;
  EXPECT_EQ(context("key", false), (Lines{{"A\x83\x41xx key", 6}}));
  EXPECT_EQ(context("KEY", false), (Lines{{"second KEY Key", 7}}));
  EXPECT_EQ(context("KEY", true), (Lines{{"A\x83\x41xx key", 6}}));
  EXPECT_TRUE(context("AX", true).empty());  // not from the half of "ア"
  EXPECT_EQ(context("\x83\x41X", true), (Lines{{"A\x83\x41xx key", 1}}));
  EXPECT_TRUE(context("ey\ry", false).empty());
}

// One update at a time; a damaged file or another program's database is
// refused with a message and never written.
TEST_F(LibraryTest, LockedDamagedAndForeignFiles) {
  {
    Library library(file_, SqlDb::Mode::Write);
    UpdateLock first(file_);
    try {
      UpdateLock second(file_);
      ADD_FAILURE() << "two updates at once";
    } catch (const LibraryError& e) {
      EXPECT_NE(std::string(e.what()).find("更新中"), std::string::npos);
    }
  }
  UpdateLock again(file_);  // free again once the first has gone

  const fs::path damaged = dir_.Path() / "damaged.db";
  std::ofstream(damaged, std::ios::binary) << std::string(8192, 'x');
  for (SqlDb::Mode mode : {SqlDb::Mode::Read, SqlDb::Mode::Write}) {
    try {
      Library library(damaged, mode);
      ADD_FAILURE() << "damaged file opened";
    } catch (const LibraryError& e) {
      EXPECT_NE(std::string(e.what()).find("壊れています"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(fs::file_size(damaged), 8192u);

  const fs::path foreign = dir_.Path() / "foreign.db";
  {
    SqlDb db(foreign, SqlDb::Mode::Write);
    db.Exec("CREATE TABLE mine(x); INSERT INTO mine VALUES(1)");
  }
  try {
    Library library(foreign, SqlDb::Mode::Write);
    ADD_FAILURE() << "foreign database taken";
  } catch (const LibraryError& e) {
    EXPECT_NE(std::string(e.what()).find("ライブラリのファイルではありません"), std::string::npos);
  }
  SqlDb db(foreign, SqlDb::Mode::Read);
  SqlStatement tables(db, "SELECT count(*) FROM sqlite_schema");
  ASSERT_TRUE(tables.Step());
  EXPECT_EQ(tables.Int(0), 1);

  try {
    Library library(dir_.Path() / "none.db", SqlDb::Mode::Read);
    ADD_FAILURE() << "a missing library read";
  } catch (const LibraryError& e) {
    EXPECT_NE(std::string(e.what()).find("まだ空です"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(dir_.Path() / "none.db"));
}

// The walk: .log, .txt and names without an extension, a file reached twice
// through a link once, a link back up reported and not followed, a folder of
// the library that is not there reported with its logs kept.
TEST_F(LibraryTest, WalkingFolders) {
  Write("a/x.LOG", "1");
  Write("a/y.txt", "1");
  Write("a/plain", "1");
  Write("a/z.lzh", "1");
  Write("a/.hidden/w.log", "1");
  fs::create_directory_symlink(logs_ / "a", logs_ / "a" / "loop");
  fs::create_symlink(logs_ / "a" / "x.LOG", logs_ / "again.log");
  fs::create_directory_symlink(logs_ / "nowhere", logs_ / "dangling");
  const WalkResult w = WalkFolders({logs_, dir_.Path() / "gone"});
  std::vector<std::string> names;
  for (const FoundFile& f : w.files) names.push_back(f.path.lexically_relative(logs_).string());
  EXPECT_EQ(names, (std::vector<std::string>{"a/plain", "a/x.LOG", "a/y.txt", "a/z.lzh"}));
  ASSERT_EQ(w.problems.size(), 2u);
  EXPECT_NE(w.problems[0].find("a/loop"), std::string::npos);
  EXPECT_NE(w.problems[1].find("gone"), std::string::npos);
  EXPECT_EQ(w.unseen, (std::vector<fs::path>{dir_.Path() / "gone"}));
  EXPECT_TRUE(LogLikeName("a.log") && LogLikeName("b.TxT") && LogLikeName("README") &&
              LogLikeName(".profile"));
  EXPECT_FALSE(LogLikeName("x.lzh") || LogLikeName("x.log.gz") || LogLikeName("x.db"));

  // A folder of the library that has gone (a disk not plugged in): its
  // logs stay, its hits are reported as gone.
  const fs::path disk = dir_.Path() / "disk";
  fs::create_directories(disk);
  std::ofstream(disk / "d.log", std::ios::binary) << SimpleLog(1, 2, "disk");
  Age(disk / "d.log");
  Library library(file_, SqlDb::Mode::Write);
  library.AddFolder(disk);
  Update(library);
  fs::rename(disk, dir_.Path() / "unplugged");
  const UpdateReport r = Update(library);
  EXPECT_EQ(r.removed, 0);
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_NE(r.problems[0].find("フォルダがありません"), std::string::npos);
  SearchReport s;
  EXPECT_TRUE(SearchTheLibrary(library, "disk", false, &s).empty());
  EXPECT_EQ(s.problems.size(), 1u);
  // Taken out of the library, its logs go.
  EXPECT_TRUE(library.RemoveFolder(disk));
  EXPECT_FALSE(library.RemoveFolder(disk));
  EXPECT_TRUE(library.Logs().empty());
}

// Keys and filters: a key of 255 bytes, keys no line can hold, an empty key
// with a poster and dates, the order of hits either way, a limit.
TEST_F(LibraryTest, KeysFiltersAndOrder) {
  const std::string longKey = [] {
    std::string k;
    while (k.size() < 255) k += "\x82\xA0z";
    return k.substr(0, 255);
  }();
  Age(Write("b.log", SimpleLog(1, 3, "w", "96/03/02") +
                         Remark(Header5(9, "XYZ00001", "carol", "long"), Line2("90/01/01"), {longKey})));
  Age(Write("a.log", SimpleLog(5, 2, "w", "96/03/02") +
                         Remark(Header5(9, "XYZ00002", "carol", "x"), Line2("bad date"), {"w"})));
  Library library(file_, SqlDb::Mode::Write);
  library.AddFolder(logs_);
  Update(library);
  EXPECT_EQ(SearchTheLibrary(library, longKey, false).size(), 1u);
  EXPECT_TRUE(SearchTheLibrary(library, "w\r\nbody", false).empty());
  EXPECT_TRUE(SearchTheLibrary(library, "\x1A", false).empty());

  // The hits, the same whether the search walks all, asks the index for
  // all, or walks a day or two first.
  auto run = [&](LibraryQuery q) {
    std::vector<std::string> first;
    for (std::int64_t walkFirst : {2048, 0, 1, 4}) {
      std::vector<std::string> hits;
      q.walkFirst = walkFirst;
      q.keepWalking = 0;
      SearchLibrary(library, q, {}, [&](const LibraryHit& h) {
        hits.push_back(fs::path(h.path).filename().string() + ":" + std::to_string(h.number) + ":" +
                       (h.day ? FormatDay(*h.day) : "-"));
        return true;
      });
      if (walkFirst == 2048) first = hits;
      EXPECT_EQ(hits, first) << "walking " << walkFirst;
    }
    return first;
  };
  LibraryQuery q;
  q.key = "W";
  q.ignoreCase = true;
  // Oldest first: no date, then by day, then by path, then by offset.
  EXPECT_EQ(run(q),
            (std::vector<std::string>{"a.log:9:-", "a.log:5:1996-03-02", "a.log:6:1996-03-02",
                                      "b.log:1:1996-03-02", "b.log:2:1996-03-02", "b.log:3:1996-03-02"}));
  q.newestFirst = true;
  q.limit = 3;
  EXPECT_EQ(run(q),
            (std::vector<std::string>{"a.log:5:1996-03-02", "a.log:6:1996-03-02", "b.log:1:1996-03-02"}));
  LibraryQuery who;
  who.speaker = "carol";
  EXPECT_EQ(run(who), (std::vector<std::string>{"a.log:9:-", "b.log:9:1990-01-01"}));
  who.speaker = "XYZ00001";
  EXPECT_EQ(run(who), (std::vector<std::string>{"b.log:9:1990-01-01"}));
  LibraryQuery dates;
  dates.from = ParseIsoDate("1990-01-01");
  dates.to = ParseIsoDate("1996-03-01");
  EXPECT_EQ(run(dates), (std::vector<std::string>{"b.log:9:1990-01-01"}));
}

// A library of 10,000 tiny logs: one transaction each, and a search over all.
TEST_F(LibraryTest, TenThousandTinyLogs) {
  for (int i = 0; i < 10000; ++i) {
    const fs::path p = logs_ / ("d" + std::to_string(i % 50)) / ("l" + std::to_string(i) + ".log");
    if (i < 50) fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary)
        << Remark(Header5(1, "ABC01234", "p", "t"), Line2(), {i % 100 == 7 ? "rare" : "common"});
  }
  Library library(file_, SqlDb::Mode::Write);
  library.AddFolder(logs_);
  const UpdateReport r = Update(library);
  EXPECT_EQ(r.added, 10000);
  EXPECT_EQ(library.RemarkCount(), 10000);
  EXPECT_EQ(SearchTheLibrary(library, "rare", false).size(), 100u);
}
}  // namespace
}  // namespace kest
