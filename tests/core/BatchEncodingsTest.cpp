// End to end: the batch commands on logs in other encodings and line ends,
// on files that hold no remark, and --input-encoding.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>

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

class BatchEncodingsTest : public ::testing::Test {
 protected:
  Result Run(const std::string& args) {
    return test::RunKest32(dir_.Path(), dir_.Path() / "Kest.INI", args);
  }
  std::string Sample(const char* name) { return std::string(KEST_SOURCE_DIR) + "/samples/" + name; }

  TempDir dir_;
};

TEST_F(BatchEncodingsTest, SamplesInEveryEncodingPrintAsTheOriginal) {
  for (const char* args : {"--list", "--list --sort=remark --columns=number,date,speaker",
                           "--list --sort=content1", "--index", "--show 301", "--show 458",
                           "--list --encoding=shift_jis"}) {
    SCOPED_TRACE(args);
    const Result native = Run(std::string(args) + " " + Sample("sample.log"));
    ASSERT_EQ(native.status, 0);
    ASSERT_FALSE(native.out.empty());
    for (const char* name : {"sample-utf8.log", "sample-eucjp.log"}) {
      const Result r = Run(std::string(args) + " " + Sample(name));
      EXPECT_EQ(r.status, 0) << name;
      EXPECT_EQ(r.out, native.out) << name;
      EXPECT_EQ(r.err, "") << name;
    }
  }
}

TEST_F(BatchEncodingsTest, InputEncodingOverrulesTheDetection) {
  const Result native = Run("--list " + Sample("sample.log"));
  EXPECT_EQ(Run("--list --input-encoding=utf-8 " + Sample("sample-utf8.log")).out, native.out);
  EXPECT_EQ(Run("--list --input-encoding=auto " + Sample("sample-eucjp.log")).out, native.out);
  EXPECT_EQ(Run("--list --input-encoding=EUC-JP " + Sample("sample-eucjp.log")).out, native.out);
  // The UTF-8 sample read as EUC-JP: its headers still stand in their
  // columns, its text is garbled, and the count of "〓" is told on stderr.
  const Result wrong = Run("--list --input-encoding=euc-jp " + Sample("sample-utf8.log"));
  EXPECT_EQ(wrong.status, 0);
  EXPECT_NE(wrong.out, native.out);
  EXPECT_NE(wrong.err.find("〓"), std::string::npos) << wrong.err;
  // Shift-JIS forced on a native log changes nothing.
  EXPECT_EQ(Run("--list --input-encoding=shift_jis " + Sample("sample.log")).out, native.out);
  const Result bad = Run("--list --input-encoding=latin1 " + Sample("sample.log"));
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("--input-encoding"), std::string::npos);
}

TEST_F(BatchEncodingsTest, FilesWithoutARemark) {
  const std::string text = dir_.Write("notes.txt", "just some notes\nnothing more\n").string();
  const Result show = Run("--show 1 " + text);
  EXPECT_EQ(show.status, 1);
  EXPECT_NE(show.err.find("発言が一つもありません"), std::string::npos) << show.err;
  const Result list = Run("--list " + text);
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.out, "");
  EXPECT_NE(list.err.find("発言が一つもありません"), std::string::npos);
  std::string bin;
  for (int i = 0; i < 3000; ++i) bin += static_cast<char>(i % 251);
  EXPECT_EQ(Run("--show 1 " + dir_.Write("bin.dat", bin).string()).status, 1);
  // An empty file is told the same: it holds no remark either.
  const Result empty = Run("--list " + dir_.Write("empty.log", "").string());
  EXPECT_EQ(empty.status, 0);
  EXPECT_NE(empty.err.find("発言が一つもありません"), std::string::npos) << empty.err;
}

TEST_F(BatchEncodingsTest, ConversionFailureIsAnError) {
  // A cache folder and a temporary folder that cannot be made: refused with
  // a message, nothing printed.
  const std::string lf =
      dir_.Write("lf.log", "t\n\n" + Header5(1) + "\n" + Line2() + "\nbody\n").string();
  dir_.Write("plain", "x");
  const std::string cmd = "XDG_CACHE_HOME='" + (dir_.Path() / "plain").string() + "' TMPDIR='" +
                          (dir_.Path() / "plain").string() + "' '" KEST32_BINARY "' --list '" + lf + "' 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  std::string out;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  const int status = ::pclose(p);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(out.find("書き込めません"), std::string::npos) << out;
}

}  // namespace
}  // namespace kest
