// End to end: the kest32 binary's batch commands on small logs, and a long
// list through RunBatch itself.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <vector>

#include "app/Batch.h"
#include "core/BatchRun.h"
#include "core/LogFixture.h"
#include "platform/Codec.h"

namespace kest {
namespace {

using test::Header5;
using test::Line2;
using test::Remark;
using test::TempDir;

using test::Result;

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ini_ = dir_.Path() / "Kest.INI";
    std::string log = "Forum log\r\n\r\n" +
                      Remark(Header5(10, "AAA00001", "alice", "Hello"), Line2("96/03/01"), {"Hello all", "bye"}) +
                      Remark(Header5(12, "BBB00002", "bob", "Re:Hello"), Line2("96/03/02", 10), {"> Hello all", "hi Alice"}) +
                      Remark(Header5(11, "CCC00003", KEST_SJIS("さくら"), KEST_SJIS("桜の話")),
                             Line2("96/03/03"), {KEST_SJIS("春ですね")}) +
                      Remark(Header5(13, "AAA00001", "alice", "Re:Re:Hello"), Line2("96/03/04", 12), {"HELLO again"});
    log_ = dir_.Write("forum.log", log).string();
  }

  Result Run(const std::string& args) {
    return test::RunKest32(dir_.Path(), ini_, args);
  }

  TempDir dir_;
  std::filesystem::path ini_;
  std::string log_;
};

TEST_F(BatchTest, ListInEveryOrder) {
  Result folded = Run("--list " + log_);  // no Kest.INI: content order (2), number and speaker
  EXPECT_EQ(folded.status, 0);
  EXPECT_EQ(folded.out,
            " +10 AAA00001 alice             Hello\n"
            "  11 CCC00003 さくら            桜の話\n");
  Result full = Run("--list --sort=content1 --columns=number " + log_);
  EXPECT_EQ(full.out, "10  Hello\n┗12  Re:Hello\n  ┗13  Re:Re:Hello\n11  桜の話\n");
  Result expanded = Run("--list --expand-all --columns= " + log_);
  EXPECT_EQ(expanded.out, " - Hello\n ┗ - Re:Hello\n   ┗   Re:Re:Hello\n   桜の話\n");
  Result remark = Run("--sort=remark --columns=date,number --list " + log_);
  EXPECT_EQ(remark.out, "10 96/03/01  Hello\n11 96/03/03  桜の話\n12 96/03/02  Re:Hello\n13 96/03/04  Re:Re:Hello\n");
}

TEST_F(BatchTest, SettingsFileChoosesTheDefaults) {
  std::ofstream(ini_, std::ios::binary) << "[option]\r\nSortType=0x0\r\nNUMB=0\r\n[Option]\r\nDate=1\r\n";
  Result r = Run("--list --columns=number " + log_);  // the option wins over the file
  EXPECT_EQ(r.out.substr(0, 9), "10  Hello");
  Result d = Run("--list " + log_);
  EXPECT_EQ(d.out.substr(0, 40), "96/03/01 AAA00001 alice             Hell");
}

TEST_F(BatchTest, ShowIndexGrep) {
  Result show = Run("--show 12 " + log_);
  EXPECT_EQ(show.status, 0);
  EXPECT_EQ(show.out, "12  ID: BBB00002  発言者: bob               ﾀｲﾄﾙ: Re:Hello\n" +
                          Line2("96/03/02", 10) + "\n> Hello all\nhi Alice\n");
  Result sjis = Run("--show 11 --encoding=shift_jis " + log_);
  EXPECT_NE(sjis.out.find(KEST_SJIS("発言者: ") + KEST_SJIS("さくら")), std::string::npos);

  Result index = Run("--index --sort=content1 " + log_);
  EXPECT_EQ(index.out.substr(0, index.out.find('\n')), "0\t10\t0\t-1\t+\t59\t100");
  EXPECT_NE(index.out.find("\n2\t13\t12\t1\t \t"), std::string::npos);

  EXPECT_EQ(Run("--grep Hello " + log_).out, "10\n12\n");
  EXPECT_EQ(Run("--grep hello --ignore-case --sort=content1 " + log_).out, "10\n12\n13\n");
  EXPECT_EQ(Run("--grep 春 " + log_).out, "11\n");
  // A key given as Shift-JIS bytes (no UTF-8) is searched as it stands.
  EXPECT_EQ(Run("--grep '" + KEST_SJIS("春") + "' " + log_).out, "11\n");
}

// A key matches whole characters: "A" is not the second byte of ア
// (0x83 0x41), in any order, in either case rule; the numbers come in list
// order however the search shares its work.
TEST_F(BatchTest, GrepMatchesWholeCharactersInListOrder) {
  const std::string kana =
      dir_.Write("kana.log", "t\r\n\r\n" + Remark(Header5(1), Line2(), {KEST_SJIS("アイウ")}) +
                                 Remark(Header5(2), Line2(), {"ABC"}) +
                                 Remark(Header5(3), Line2(), {KEST_SJIS("カタカナ")}))
          .string();
  for (const std::string sort : {"remark", "content1", "content2"}) {
    EXPECT_EQ(Run("--grep A --sort=" + sort + " " + kana).out, "2\n");
    EXPECT_EQ(Run("--grep a --ignore-case --sort=" + sort + " " + kana).out, "2\n");
    EXPECT_EQ(Run("--grep ア --sort=" + sort + " " + kana).out, "1\n");
  }
  // A log long enough for the search to be shared out in parts, in falling
  // numbers: remark order puts them back (all but the first, which stays).
  std::string log = "t\r\n\r\n";
  for (int number = 70000; number >= 1; --number) {
    log += Remark(Header5(number), Line2(), {number % 7 == 0 ? KEST_SJIS("笑") + "A" : KEST_SJIS("ア")});
  }
  const std::string path = dir_.Write("long.log", log).string();
  std::string expected = "70000\n";
  for (int number = 7; number < 70000; number += 7) expected += std::to_string(number) + "\n";
  EXPECT_EQ(Run("--grep A --sort=remark " + path).out, expected);
  // Its index is written in parts made by two threads: every row, in turn.
  std::istringstream rows(Run("--index --sort=remark " + path).out);
  std::string row;
  int count = 0;
  while (std::getline(rows, row)) {
    ASSERT_EQ(row.substr(0, row.find('\t')), std::to_string(count)) << row;
    ++count;
  }
  EXPECT_EQ(count, 70000);
}

TEST_F(BatchTest, ErrorsAndUsage) {
  Result missing = Run("--list " + (dir_.Path() / "nothing.log").string());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("ファイルが見つかりません"), std::string::npos);
  EXPECT_EQ(Run("--list " + dir_.Path().string()).status, 1);
  EXPECT_EQ(Run("--show 99 " + log_).status, 1);
  EXPECT_EQ(Run("--show abc " + log_).status, 2);
  EXPECT_EQ(Run("--list").status, 2);
  EXPECT_EQ(Run("--list --sort=bogus " + log_).status, 2);
  EXPECT_EQ(Run("--list --index " + log_).status, 2);
  EXPECT_EQ(Run("--frobnicate " + log_).status, 2);
  // An option where a value belongs is a slip, and said to be one.
  const Result slip = Run("--grep --ignore-case scsi " + log_);
  EXPECT_EQ(slip.status, 2);
  EXPECT_NE(slip.err.find("--grep の値がありません（--ignore-case はオプションです）"), std::string::npos)
      << slip.err;
  EXPECT_EQ(Run("--show --sort=remark 10 " + log_).status, 2);
  EXPECT_EQ(Run("--grep=--ignore-case " + log_).status, 0);
  Result help = Run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--grep TEXT"), std::string::npos);
}

// Nothing but a regular file is read, and nothing waits: a pipe without a
// writer, endless devices and links that lead round in a circle are refused
// at once, naming the file and what it is.
TEST_F(BatchTest, OnlyRegularFilesAreReadAndNothingHangs) {
  const std::filesystem::path fifo = dir_.Path() / "f.log";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::filesystem::path loop = dir_.Path() / "loop.log";
  std::filesystem::create_symlink(loop, loop);
  const std::pair<std::string, std::string> refused[] = {
      {fifo.string(), "通常のファイルではありません（名前付きパイプです）"},
      {"/dev/zero", "通常のファイルではありません（デバイスです）"},
      {"/dev/urandom", "通常のファイルではありません（デバイスです）"},
      {loop.string(), "リンクが循環しています"},
  };
  for (const auto& [path, why] : refused) {
    // Every command looks first whether the file is an archive: that look
    // must not wait either.
    for (const char* command : {"--list ", "--show 1 ", "--grep x ", "--index ", "--members ", "--export=text "}) {
      SCOPED_TRACE(command + path);
      const Result r = test::RunKest32(dir_.Path(), ini_, command + path, 20);
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find(why + ": " + path), std::string::npos) << r.err;
      EXPECT_EQ(r.out, "");
    }
  }
}

TEST_F(BatchTest, EmptyAndOddFiles) {
  std::string empty = dir_.Write("empty.log", "").string();
  EXPECT_EQ(Run("--list " + empty).out, "");
  EXPECT_EQ(Run("--list " + empty).status, 0);
  // Told as any other file without a remark is.
  EXPECT_NE(Run("--list " + empty).err.find("発言が一つもありません"), std::string::npos);
  EXPECT_EQ(Run("--show 1 " + empty).status, 1);
  // LF line ends are read through a CR LF copy: the one remark is found.
  std::string lf = dir_.Write("lf.log", "t\n\n" + Header5(1) + "\n" + Line2() + "\nbody\n").string();
  Result index = Run("--index " + lf);
  EXPECT_EQ(index.status, 0);
  EXPECT_EQ(index.out, "0\t1\t0\t-1\t \t" + std::to_string(3 + 2 + Header5(1).size() + 2) + "\t" +
                           std::to_string(3 + 2 + Header5(1).size() + 2 + Line2().size() + 2 + 6 + 2) + "\n");
}

// Keeps what is written and the size of the largest single write.
class RecordingBuf : public std::streambuf {
 public:
  std::string text;
  std::size_t largestWrite = 0, writes = 0;

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    text.append(s, static_cast<std::size_t>(n));
    largestWrite = std::max(largestWrite, static_cast<std::size_t>(n));
    ++writes;
    return n;
  }
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) xsputn(reinterpret_cast<const char*>(&c), 1);
    return c;
  }
};

TEST_F(BatchTest, LongListsGoOutInBlocks) {
  // A chain 1,500 deep: line k holds k - 1 blank cells before its corner,
  // some 2 MB in all, written as it is made and never held whole.
  const int n = 1500;
  std::string log = "chain\r\n\r\n";
  for (int i = 1; i <= n; ++i) log += Remark(Header5(i, "ABC01234", "poster", "t"), Line2("96/03/01", i - 1));
  std::string path = dir_.Write("chain.log", log).string();
  ::setenv("KEST_INI", ini_.c_str(), 1);
  for (const bool sjis : {false, true}) {
    std::string expected = "1  t\n";
    for (int k = 1; k < n; ++k) {
      expected += std::string(2 * static_cast<std::size_t>(k - 1), ' ') + (sjis ? "\x84\xAF" : "┗") +
                  std::to_string(k + 1) + "  t\n";
    }
    std::string args[] = {"kest32", "--list", "--sort=content1", "--columns=number",
                          sjis ? "--encoding=shift_jis" : "--encoding=utf-8", path};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    RecordingBuf buf;
    std::ostream out(&buf);
    std::ostringstream err;
    EXPECT_EQ(RunBatch(static_cast<int>(argv.size()), argv.data(), out, err), 0);
    EXPECT_EQ(err.str(), "");
    ASSERT_EQ(buf.text.size(), expected.size()) << sjis;
    EXPECT_TRUE(buf.text == expected) << sjis;
    EXPECT_LT(buf.largestWrite, expected.size() / 4) << sjis;
    EXPECT_LT(buf.writes, 100u) << sjis;  // blocks, not lines
  }
  ::unsetenv("KEST_INI");
}

}  // namespace
}  // namespace kest
