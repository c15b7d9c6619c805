// kest32 --library-*: the commands as a user runs them, their lines, order
// and exit status, and the library's answers against --grep over its logs.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>

#include "core/BatchRun.h"
#include "core/LogFixture.h"
#include "platform/Codec.h"

namespace kest {
namespace {

namespace fs = std::filesystem;
using test::Header5;
using test::Line2;
using test::Remark;
using test::TempDir;

using test::Result;

class LibraryBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logs_ = dir_.Path() / "logs";
    fs::create_directories(logs_ / "sub");
    Write("forum.log",
          "Forum\r\n\r\n" +
              Remark(Header5(10, "AAA00001", "alice", "Hello"), Line2("96/03/02"), {"Hello all"}) +
              Remark(Header5(11, "BBB00002", KEST_SJIS("さくら"), KEST_SJIS("桜の話")), Line2("01/04/01"),
                     {KEST_SJIS("春ですね hello")}));
    Write("sub/old.txt",
          KEST_SJIS("昔のログ") + "\r\n" +
              Remark(Header5(3, "CCC00003", "bob", "Re:\tTab"), Line2("89/12/31"), {"HELLO again"}) +
              Remark(Header5(4, "AAA00001", "alice", "x"), Line2("96/03/02"), {"hello\r\nthere"}));
    Write("notes", "not a log\r\n");
  }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(logs_ / name, std::ios::binary) << bytes;
  }

  // Runs kest32 with the library in the test's folder (KEST_LIBRARY) unless
  // the arguments name another.
  Result Run(const std::string& args) {
    return test::RunKest32(dir_.Path(), dir_.Path() / "Kest.INI", args, 0,
                           "KEST_LIBRARY='" + (dir_.Path() / "library.db").string() + "'");
  }

  std::string Logs() const { return logs_.string(); }

  TempDir dir_;
  fs::path logs_;
};

TEST_F(LibraryBatchTest, AddListSearchRemove) {
  Result add = Run("--library-add " + Logs());
  EXPECT_EQ(add.status, 0) << add.err;
  EXPECT_NE(add.out.find("追加 2"), std::string::npos) << add.out;
  EXPECT_NE(add.out.find("ログでないファイル 1"), std::string::npos) << add.out;
  EXPECT_EQ(add.err, "");  // no terminal: no progress

  const Result list = Run("--library-list");
  EXPECT_EQ(list.out, Logs() + "/forum.log\t\t2\t1996-03-02\t2001-04-01\n" + Logs() +
                          "/sub/old.txt\t\t2\t1989-12-31\t1996-03-02\n");

  // Oldest first, then by path, then by offset; fields as they stand, a tab
  // in the title printed as a blank.
  const Result hello = Run("--library-search hello --ignore-case");
  EXPECT_EQ(hello.status, 0);
  EXPECT_EQ(hello.out, Logs() + "/sub/old.txt\t\t3\t58\t1989-12-31\tCCC00003\tbob\tRe: Tab\n" + Logs() +
                           "/forum.log\t\t10\t55\t1996-03-02\tAAA00001\talice\tHello\n" + Logs() +
                           "/sub/old.txt\t\t4\t138\t1996-03-02\tAAA00001\talice\tx\n" + Logs() +
                           "/forum.log\t\t11\t138\t2001-04-01\tBBB00002\tさくら\t桜の話\n");
  EXPECT_EQ(Run("--library-search hello").out.find("HELLO"), std::string::npos);
  EXPECT_EQ(Run("--library-search hello --ignore-case --speaker=alice --limit=1").out,
            Logs() + "/forum.log\t\t10\t55\t1996-03-02\tAAA00001\talice\tHello\n");
  EXPECT_EQ(Run("--library-search 春 --speaker=BBB00002").out,
            Logs() + "/forum.log\t\t11\t138\t2001-04-01\tBBB00002\tさくら\t桜の話\n");
  const Result sjis = Run("--library-search 春 --encoding=shift_jis");
  EXPECT_NE(sjis.out.find(KEST_SJIS("さくら")), std::string::npos);

  // None found: 1; a line end in the key finds nothing.
  EXPECT_EQ(Run("--library-search nowhere").status, 1);
  EXPECT_EQ(Run("--library-search \"$(printf 'hello\\r\\nthere')\"").status, 1);

  // Removing the folder empties the library.
  const Result remove = Run("--library-remove " + Logs() + "/");
  EXPECT_EQ(remove.status, 0) << remove.err;
  EXPECT_EQ(Run("--library-list").out, "");
  EXPECT_EQ(Run("--library-search hello").status, 1);
}

// Dates: --from and --to take the day itself; remarks without a date are in
// no range.
TEST_F(LibraryBatchTest, DateRange) {
  Run("--library-add " + Logs());
  const Result r = Run("--library-search e --from=1996-03-02 --to=1996-03-02");
  EXPECT_EQ(r.out, Logs() + "/forum.log\t\t10\t55\t1996-03-02\tAAA00001\talice\tHello\n" + Logs() +
                       "/sub/old.txt\t\t4\t138\t1996-03-02\tAAA00001\talice\tx\n");
  EXPECT_EQ(Run("--library-search e --from=2001-04-02").status, 1);
}

// Usage errors and failures exit with 2 and say why; the library named on the
// command line wins over KEST_LIBRARY.
TEST_F(LibraryBatchTest, ErrorsAndOtherLibraries) {
  EXPECT_EQ(Run("--library-search").status, 2);
  EXPECT_EQ(Run("--library-search a b").status, 2);
  EXPECT_EQ(Run("--library-list --ignore-case").status, 2);
  EXPECT_EQ(Run("--library-add").status, 2);
  EXPECT_EQ(Run("--library-update --library-list").status, 2);
  Result r = Run("--library-add " + Logs() + "/nowhere");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("フォルダがありません"), std::string::npos);
  // Nothing added yet: an empty list, no hit.
  EXPECT_EQ(Run("--library-list").status, 0);
  r = Run("--library-search x");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("まだ空です"), std::string::npos);

  const std::string other = (dir_.Path() / "other" / "lib.db").string();
  EXPECT_EQ(Run("--library=" + other + " --library-add " + Logs()).status, 0);
  EXPECT_TRUE(fs::exists(other));
  EXPECT_FALSE(fs::exists(dir_.Path() / "library.db"));
  EXPECT_EQ(Run("--library " + other + " --library-search hello").status, 0);

  r = Run("--library=" + other + " --library-search hello --from=1996-13-01");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--from"), std::string::npos);
  EXPECT_EQ(Run("--library=" + other + " --library-search hello --limit=0").status, 2);
  // A key with no Shift-JIS form.
  r = Run("--library=" + other + " --library-search 😀");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Shift-JIS"), std::string::npos);
  r = Run("--library=" + other + " --library-remove /not/there");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(Logs()), std::string::npos);  // the folders it has

  // A log changed since the update: reported, exit 2, its remarks not shown.
  Write("forum.log", "changed\r\n");
  r = Run("--library=" + other + " --library-search hello --ignore-case");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("forum.log"), std::string::npos);
  EXPECT_EQ(r.out.find("forum.log"), std::string::npos);
  EXPECT_NE(r.out.find("old.txt"), std::string::npos);

  // A file that is no library.
  std::ofstream(dir_.Path() / "junk.db", std::ios::binary) << std::string(4096, '\x01');
  r = Run("--library=" + (dir_.Path() / "junk.db").string() + " --library-list");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("壊れています"), std::string::npos);
}

// For random keys, --library-search over a folder of random logs gives the
// remarks that --grep gives in each log, no more, no fewer.
TEST_F(LibraryBatchTest, AnswersAsGrepOverEachLog) {
  std::mt19937 rng(4242);
  const std::vector<std::string> words = {"abc", "ABC", "x", KEST_SJIS("あい"), KEST_SJIS("漢字"), " z", "b"};
  std::vector<std::string> names;
  logs_ = dir_.Path() / "random";
  fs::create_directories(logs_);
  for (int i = 0; i < 4; ++i) {
    std::string log = "T\r\n\r\n";
    for (int n = 1; n <= 8; ++n) {
      std::string body;
      for (int w = static_cast<int>(rng() % 6); w > 0; --w) body += words[rng() % words.size()];
      log += Remark(Header5(n), Line2(), {body, words[rng() % words.size()]});
    }
    names.push_back("r" + std::to_string(i) + ".log");
    Write(names.back(), log);
  }
  ASSERT_EQ(Run("--library-add " + Logs()).status, 0);
  for (const char* key : {"b", "bc", "あ", "い漢", "字 ", "Bab"}) {
    for (const char* flag : {"", " --ignore-case"}) {
      std::set<std::string> expected;
      for (const std::string& name : names) {
        std::istringstream grep(
            Run("--grep '" + std::string(key) + "'" + flag + " " + Logs() + "/" + name).out);
        for (std::string n; std::getline(grep, n);) expected.insert(Logs() + "/" + name + "\t" + n);
      }
      std::set<std::string> got;
      std::istringstream lib(Run("--library-search '" + std::string(key) + "'" + flag).out);
      for (std::string line; std::getline(lib, line);) {
        const std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1),
                          tab3 = line.find('\t', tab2 + 1);
        got.insert(line.substr(0, tab1) + "\t" + line.substr(tab2 + 1, tab3 - tab2 - 1));
      }
      EXPECT_EQ(got, expected) << key << flag;
    }
  }
}

}  // namespace
}  // namespace kest

namespace kest {
namespace {

// The logs inside an archive are logs of the library: listed with their
// member, found as --grep --member finds them in each, and once the archive
// has changed, reported and never answered from the old index.
TEST_F(LibraryBatchTest, MembersOfArchivesAreLogs) {
  logs_ = dir_.Path() / "archives";
  fs::create_directories(logs_);
  fs::copy_file(std::string(KEST_SOURCE_DIR) + "/samples/forum.lzh", logs_ / "forum.lzh");
  fs::copy_file(std::string(KEST_SOURCE_DIR) + "/samples/forum.zip", logs_ / "forum.zip");
  const Result add = Run("--library-add " + Logs());
  ASSERT_EQ(add.status, 0) << add.err;
  const Result list = Run("--library-list");
  std::set<std::string> members;
  std::istringstream lines(list.out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    members.insert(fs::path(line.substr(0, tab1)).filename().string() + "|" + line.substr(tab1 + 1, tab2 - tab1 - 1));
  }
  // The two logs of the .lzh and the one of the .zip; readme.txt holds no
  // remark.
  EXPECT_EQ(members.size(), 3u) << list.out;
  EXPECT_TRUE(members.count("forum.lzh|" + SjisToUtf8(KEST_SJIS("ソフト談義.log")))) << list.out;

  for (const std::string& key : {KEST_SJIS("あっさり起動"), std::string("SCSI"), KEST_SJIS("ＲＥＭ"), std::string("rem")}) {
    std::set<std::string> expected;
    for (const std::string& m : members) {
      const std::string archive = m.substr(0, m.find('|')), member = m.substr(m.find('|') + 1);
      std::istringstream grep(Run("--grep '" + key + "' --ignore-case --member='" + member + "' " + Logs() + "/" + archive).out);
      for (std::string n; std::getline(grep, n);) expected.insert(archive + "|" + member + "|" + n);
    }
    std::set<std::string> got;
    std::istringstream lib(Run("--library-search '" + key + "' --ignore-case").out);
    for (std::string line; std::getline(lib, line);) {
      const std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1), tab3 = line.find('\t', tab2 + 1);
      got.insert(fs::path(line.substr(0, tab1)).filename().string() + "|" + line.substr(tab1 + 1, tab2 - tab1 - 1) +
                 "|" + line.substr(tab2 + 1, tab3 - tab2 - 1));
    }
    EXPECT_EQ(got, expected) << SjisToUtf8(key);
    if (key == "SCSI") {
      EXPECT_FALSE(got.empty());
    }
  }

  // The .zip replaced by the .lzh: its members' hits are left out and named.
  fs::copy_file(logs_ / "forum.lzh", logs_ / "forum.zip", fs::copy_options::overwrite_existing);
  const Result stale = Run("--library-search SCSI");
  EXPECT_EQ(stale.status, 2);
  EXPECT_EQ(stale.out.find("forum.zip"), std::string::npos) << stale.out;
  EXPECT_NE(stale.err.find("forum.zip"), std::string::npos) << stale.err;
}

}  // namespace
}  // namespace kest
