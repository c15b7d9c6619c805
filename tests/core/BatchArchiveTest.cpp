// End to end: the batch commands on logs in archives, --member, --members,
// and what a bad archive gives.
#include <gtest/gtest.h>

#include <regex>

#include "core/ArchiveFixture.h"
#include "core/BatchRun.h"
#include "core/LogFixture.h"

namespace kest {
namespace {

namespace fs = std::filesystem;
using test::Result;

class BatchArchiveTest : public ::testing::Test {
 protected:
  Result Run(const std::string& args) { return test::RunKest32(dir_.Path(), dir_.Path() / "Kest.INI", args); }
  static std::string Sample(const char* name) { return std::string(KEST_SOURCE_DIR) + "/samples/" + name; }

  test::TempDir dir_;
};

// Every member form lists and indexes as the log it was made from; a member
// of each unpacker (libarchive's LHA and ZIP, liblhasa) also in every order,
// shown and searched.
TEST_F(BatchArchiveTest, MembersReadAsTheirLogs) {
  const struct {
    const char* archive;
    const char* member;
    bool everyOrder;
  } members[] = {
      {"forum.lzh", "ソフト談義.log", true},
      {"forum.lzh", "過去ログ/表示.log", false},
      {"lharc.lzh", "ソフト.log", true},
      {"lharc.lzh", "レベル3.log", false},
      {"larc.lzh", "過去ログ/表示.log", false},
      {"forum.zip", "ソフト談義.log", false},
      {"utf8-names.zip", "ゆーてぃーえふ/サンプル.log", true},
  };
  for (const char* args :
       {"--list", "--index", "--list --sort=remark --columns=number,date,speaker", "--list --sort=content1",
        "--list --sort=content2 --expand-all", "--show 320", "--grep ぽんた"}) {
    SCOPED_TRACE(args);
    const bool basic = std::string(args) == "--list" || std::string(args) == "--index";
    const Result original = Run(std::string(args) + " '" + Sample("sample-short.log") + "'");
    ASSERT_EQ(original.status, 0);
    ASSERT_FALSE(original.out.empty());
    for (const auto& m : members) {
      if (!basic && !m.everyOrder) continue;
      const Result r = Run(std::string(args) + " --member='" + m.member + "' '" + Sample(m.archive) + "'");
      EXPECT_EQ(r.status, 0) << m.member << r.err;
      EXPECT_EQ(r.out, original.out) << m.archive << " " << m.member;
      EXPECT_EQ(r.err, "") << m.member;
    }
  }
  // An archive of one log reads as that log, the whole sample here.
  EXPECT_EQ(Run("--list " + Sample("one-log.lzh")).out, Run("--list " + Sample("sample.log")).out);
}

TEST_F(BatchArchiveTest, ChoosingTheMember) {
  const std::string shortList = Run("--list " + Sample("sample-short.log")).out;
  // One log beside a text file: that log.
  EXPECT_EQ(Run("--list " + Sample("forum.zip")).out, shortList);
  // Several logs: an error that lists them.
  Result r = Run("--list " + Sample("forum.lzh"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("kest32: 書庫 ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("ログが 2 個あります"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\n  ソフト談義.log\n  過去ログ/表示.log"), std::string::npos) << r.err;
  // A glob that fits one member; one that fits several; one that fits none.
  EXPECT_EQ(Run("--list --member='*表示*' " + Sample("forum.lzh")).out, shortList);
  EXPECT_EQ(Run("--list --member '*表示*' " + Sample("forum.lzh")).out, shortList);
  r = Run("--list --member='*.log' " + Sample("forum.lzh"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("当たるメンバーが 2 個あります"), std::string::npos) << r.err;
  r = Run("--list --member=none.log " + Sample("forum.lzh"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("当たるメンバーがありません"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("  readme.txt"), std::string::npos) << r.err;
  // --member on a log of its own.
  r = Run("--list --member=a.log " + Sample("sample.log"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("書庫を開くときにだけ"), std::string::npos) << r.err;
}

TEST_F(BatchArchiveTest, MembersCommand) {
  ::setenv("TZ", "UTC", 1);  // the members' dates are told in local time
  Result r = Run("--members " + Sample("forum.lzh"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "      9889  1996-04-10 23:15  -lh5-    ソフト談義.log\n"
            "      9757  1996-04-10 23:15  -lh6-    過去ログ/表示.log\n"
            "        43  1996-04-10 23:15  -lh0-    readme.txt\n");
  EXPECT_EQ(r.err, "");
  r = Run("--members --encoding=shift_jis " + Sample("larc.lzh"));
  EXPECT_EQ(r.out, "      9889  1996-04-10 23:15  -lz5-    " + test::Sjis("過去ログ/表示.log") + "\n");
  EXPECT_NE(Run("--members " + Sample("utf8-names.zip")).out.find("deflate  ゆーてぃーえふ/サンプル.log\n"),
            std::string::npos);
  ::unsetenv("TZ");

  r = Run("--members " + Sample("sample.log"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("書庫ではありません"), std::string::npos) << r.err;
  r = Run("--members " + dir_.Write("empty.zip", test::ZipArchive({})).string());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("書庫が空です"), std::string::npos) << r.err;
  EXPECT_EQ(Run("--list " + dir_.Path().string() + "/empty.zip").status, 1);
  // A truncated archive: what could be read, and the damage.
  const std::string forum = test::ReadFile(Sample("forum.lzh"));
  const fs::path cut = dir_.Write("cut.lzh", forum.substr(0, forum.size() / 2 + 1000));
  r = Run("--members " + cut.string());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("ソフト談義.log\n"), std::string::npos);
  EXPECT_NE(r.err.find("壊れています"), std::string::npos) << r.err;
  r = Run("--list " + cut.string());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("kest32: 書庫が途中で壊れています", 0), 0u) << r.err;
  EXPECT_EQ(r.err.find("壊れています", r.err.find("壊れています") + 1), std::string::npos) << r.err;  // once
  EXPECT_NE(r.err.find("--member=名前 で選んでください"), std::string::npos) << r.err;
}

// Bad members get a message and an exit status of 1; nothing is written
// anywhere but into the cache, under names of ours.
TEST_F(BatchArchiveTest, BadMembersWriteNothing) {
  const std::string log = test::ReadFile(Sample("sample-short.log"));
  dir_.Write("secret.zip", test::ZipArchive({{"a.log", log}}, "kest"));
  dir_.Write("evil.lzh", test::LhaArchive({{"..\\..\\evil.log", log}}));
  for (const auto& [file, part] :
       {std::pair<const char*, const char*>{"secret.zip", "暗号化"}, {"evil.lzh", "書庫の外を指す名前"}}) {
    const Result r = Run("--list " + (dir_.Path() / file).string());
    EXPECT_EQ(r.status, 1) << file;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
  }
  Run("--list --member=ソフト.log " + Sample("lharc.lzh"));
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir_.Path())) {
    names.insert(fs::relative(e.path(), dir_.Path()).string());
  }
  for (const std::string& n : names) {
    EXPECT_TRUE(n == "secret.zip" || n == "evil.lzh" || n == "stderr.txt" || n == "cache" ||
                n == "cache/kest32" ||
                std::regex_match(n, std::regex("cache/kest32/[0-9a-f]{16}\\.(log|key)")))
        << n;
  }
  EXPECT_FALSE(fs::exists(dir_.Path().parent_path() / "evil.log"));
}

}  // namespace
}  // namespace kest
