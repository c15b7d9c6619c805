#include "platform/Profile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Shift-JIS bytes used below. ア (83 41) and ヂ (83 61) differ only in a trail
// byte that happens to be 'A' / 'a'; ソ (83 5C) and 表 (95 5C) end in '\';
// ‐ (81 5D) ends in ']'.
constexpr const char* kA = "\x83\x41";
constexpr const char* kDi = "\x83\x61";
constexpr const char* kSettei = "\x90\xdd\x92\xe8";  // 設定

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "kest-profile-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    path_ = dir_ / "Kest.INI";
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  void Put(const std::string& bytes) const {
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  std::string Get() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::vector<std::string> DirEntries(const fs::path& dir) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
  fs::path path_;
};

// --- lookups ---------------------------------------------------------------

TEST_F(ProfileTest, SectionAndKeyNamesIgnoreAsciiCaseOnly) {
  Put(std::string("[Font]\r\nFaceName=Gothic\r\n") +
      "[" + kSettei + "]\r\n" + kA + "=one\r\n" + kDi + "=two\r\n" +
      "[A\x81\x5d" "b]\r\nKey=dash\r\n");
  kest::ProfileFile p(path_);

  EXPECT_EQ(p.ReadString("FONT", "facename", "-"), "Gothic");
  EXPECT_EQ(p.ReadString("font", "FACENAME", "-"), "Gothic");
  EXPECT_EQ(p.ReadString("Fonts", "FaceName", "-"), "-");
  EXPECT_EQ(p.ReadString("Font", "Face", "-"), "-");

  // Folding the trail byte 'a' of ヂ would make it ア.
  EXPECT_EQ(p.ReadString(kSettei, kA, "-"), "one");
  EXPECT_EQ(p.ReadString(kSettei, kDi, "-"), "two");

  // The ']' trail byte of ‐ does not end the section name.
  EXPECT_EQ(p.ReadString("a\x81\x5d" "B", "key", "-"), "dash");
  EXPECT_FALSE(p.SectionExists("a\x81"));
  EXPECT_TRUE(p.SectionExists("A\x81\x5d" "B"));
}

TEST_F(ProfileTest, HeadingsOfTheSameNameAreOneSection) {
  Put("[FONT]\r\nSize=12\r\n\r\n[Other]\r\nSize=99\r\nName=Other\r\n"
      "[Font]\r\nName=Gothic\r\nsize=14\r\nBold=1\r\n");
  kest::ProfileFile p(path_);

  EXPECT_EQ(p.ReadString("font", "Size", "-"), "12");  // the first one wins
  EXPECT_EQ(p.ReadString("Font", "Name", "-"), "Gothic");
  EXPECT_EQ(p.ReadInteger("FONT", "Bold", 0), 1);
  EXPECT_EQ(p.ReadSectionKeys("fOnT"), (std::vector<std::string>{"Size", "Name", "Bold"}));
  EXPECT_EQ(p.ReadSectionKeys("Other"), (std::vector<std::string>{"Size", "Name"}));
  EXPECT_TRUE(p.ReadSectionKeys("None").empty());
  EXPECT_FALSE(p.SectionExists("None"));

  // A write goes where the read found the key; a new key to the first heading.
  p.WriteInteger("Font", "SIZE", 16);
  p.WriteString("font", "name", "Mincho");
  p.WriteBool("Font", "Italic", true);
  EXPECT_EQ(Get(),
            "[FONT]\r\nSIZE=16\r\nItalic=1\r\n\r\n[Other]\r\nSize=99\r\nName=Other\r\n"
            "[Font]\r\nname=Mincho\r\nsize=14\r\nBold=1\r\n");
}

TEST_F(ProfileTest, ValuesAreTrimmedAndUnquotedAndOnlyKeyLinesAreKeys) {
  Put("Loose=before any heading\r\n"
      "[S]\r\n"
      " \tSpaced \t=  \t value with  inner  blanks \t \r\n"
      "Dq=\"  kept blanks  \"\r\n"
      "Sq='single'\r\n"
      "Mixed=\"one'\r\n"
      "Lone=\"\r\n"
      "Twice=\"\"x\"\"\r\n"
      "Empty=\r\n"
      "; Comment=not a key\r\n"
      "  ;Indented=not a key either\r\n"
      "just some text\r\n"
      "=no name\r\n"
      "Eq=a=b\r\n");
  kest::ProfileFile p(path_);

  EXPECT_EQ(p.ReadString("S", "Spaced", "-"), "value with  inner  blanks");
  EXPECT_EQ(p.ReadString("S", "Dq", "-"), "  kept blanks  ");
  EXPECT_EQ(p.ReadString("S", "Sq", "-"), "single");
  EXPECT_EQ(p.ReadString("S", "Mixed", "-"), "\"one'");
  EXPECT_EQ(p.ReadString("S", "Lone", "-"), "\"");
  EXPECT_EQ(p.ReadString("S", "Twice", "-"), "\"x\"");
  EXPECT_EQ(p.ReadString("S", "Empty", "-"), "");  // present but empty is not missing
  EXPECT_EQ(p.ReadString("S", "Eq", "-"), "a=b");
  EXPECT_EQ(p.ReadString("S", "; Comment", "-"), "-");
  EXPECT_EQ(p.ReadString("S", "Loose", "-"), "-");
  EXPECT_EQ(p.ReadSectionKeys("S"), (std::vector<std::string>{
                                        "Spaced", "Dq", "Sq", "Mixed", "Lone", "Twice",
                                        "Empty", "Eq"}));
}

TEST_F(ProfileTest, MissingFileReadsAsDefaultsAndTheFirstWriteCreatesIt) {
  kest::ProfileFile p(path_);
  EXPECT_EQ(p.ReadString("S", "K", "def"), "def");
  EXPECT_EQ(p.ReadInteger("S", "K", -5), -5);
  EXPECT_TRUE(p.ReadBool("S", "K", true));
  EXPECT_TRUE(p.ReadSectionKeys("S").empty());
  EXPECT_FALSE(fs::exists(path_));

  p.WriteString("Window", "Left", "10");
  EXPECT_EQ(Get(), "[Window]\r\nLeft=10\r\n");
}

// --- numbers ---------------------------------------------------------------

TEST_F(ProfileTest, IntegersAcceptDecimalAndThreeHexPrefixes) {
  struct Case {
    const char* value;
    std::int32_t expected;  // -7 is the default, given back for non-numbers
  };
  const Case cases[] = {
      {"0x2", 2},        {"0X10", 16},       {"$8", 8},
      {"$ff", 255},      {"0x80000008", -2147483640},
      {"-12", -12},      {"+12", 12},        {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"2147483648", -7}, {"0x100000000", -7}, {"abc", -7}, {"12abc", -7},
      {"0x", -7},        {"0xZZ", -7},       {"x10", -7},  {"", -7}, {"1 2", -7},
  };
  std::string file = "[N]\r\n";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    file += "K" + std::to_string(i) + "=" + cases[i].value + "\r\n";
  }
  Put(file);
  kest::ProfileFile p(path_);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(p.ReadInteger("N", "K" + std::to_string(i), -7), cases[i].expected)
        << "value \"" << cases[i].value << "\"";
  }
  EXPECT_EQ(p.ReadInteger("N", "Missing", -7), -7);
}

TEST_F(ProfileTest, BoolsAreNonZeroIntegersAndNonNumbersGiveTheDefault) {
  Put("[B]\r\nTwo=2\r\nZero=0\r\nHexZero=0x0\r\nNeg=-1\r\nWord=yes\r\nT=true\r\n");
  kest::ProfileFile p(path_);
  EXPECT_TRUE(p.ReadBool("B", "Two", false));
  EXPECT_TRUE(p.ReadBool("B", "Neg", false));
  EXPECT_FALSE(p.ReadBool("B", "Zero", true));
  EXPECT_FALSE(p.ReadBool("B", "HexZero", true));
  for (const char* key : {"Word", "T", "Missing"}) {
    EXPECT_TRUE(p.ReadBool("B", key, true)) << key;
    EXPECT_FALSE(p.ReadBool("B", key, false)) << key;
  }
}

TEST_F(ProfileTest, NumbersAndBoolsAreWrittenPlain) {
  kest::ProfileFile p(path_);
  p.WriteInteger("N", "Hex", -2147483640);
  p.WriteInteger("N", "Min", std::numeric_limits<std::int32_t>::min());
  p.WriteInteger("N", "Zero", 0);
  p.WriteBool("N", "On", true);
  p.WriteBool("N", "Off", false);
  EXPECT_EQ(Get(), "[N]\r\nHex=-2147483640\r\nMin=-2147483648\r\nZero=0\r\nOn=1\r\nOff=0\r\n");
  EXPECT_EQ(p.ReadInteger("N", "Min", 1), std::numeric_limits<std::int32_t>::min());
  EXPECT_FALSE(p.ReadBool("N", "Off", true));
}

// --- rewriting -------------------------------------------------------------

TEST_F(ProfileTest, ChangingOneKeyKeepsEveryOtherLineOfAHandWrittenFile) {
  const std::vector<std::string> lines = {
      "; Kest32 settings, edited by hand",
      "",
      "[Window]",
      "  Left = 10   ; not a comment, part of the value",
      "Top\t=\t20",
      "free text line",
      "; Width=old",
      "Width=640",
      "Height=\"480\"",
      "",
      "[Bookmarks]",
      "Z=last",
      "A=first",
      "[Font]",
      "Name=Gothic",
  };
  std::string original;
  for (const auto& l : lines) original += l + "\r\n";
  Put(original);

  kest::ProfileFile p(path_);
  p.WriteString("window", "width", "800");

  std::string expected;
  for (const auto& l : lines) expected += (l == "Width=640" ? "width=800" : l) + "\r\n";
  EXPECT_EQ(Get(), expected);
  EXPECT_EQ(p.ReadSectionKeys("Bookmarks"), (std::vector<std::string>{"Z", "A"}));
  EXPECT_EQ(p.ReadString("Window", "Left", "-"), "10   ; not a comment, part of the value");
}

TEST_F(ProfileTest, NewKeysJoinTheirSectionAndNewSectionsGoToTheEnd) {
  Put("[A]\r\nOne=1\r\nTwo=2\r\n; trailing comment\r\n\r\n"
      "[Empty]\r\n; nothing yet\r\n"
      "[Last]\r\nX=1");  // no line end after the last line
  kest::ProfileFile p(path_);
  p.WriteString("a", "Three", "3");
  p.WriteString("EMPTY", "First", "f");
  p.WriteString("Last", "Y", "2");
  p.WriteString("New", "K", "v");
  EXPECT_EQ(Get(),
            "[A]\r\nOne=1\r\nTwo=2\r\nThree=3\r\n; trailing comment\r\n\r\n"
            "[Empty]\r\nFirst=f\r\n; nothing yet\r\n"
            "[Last]\r\nX=1\r\nY=2\r\n"
            "[New]\r\nK=v\r\n");
}

TEST_F(ProfileTest, LfAndCrLfFilesAreReadAndCrLfIsWritten) {
  Put("top line\n[Unix]\nKey=lf\nOther=x\n[Dos]\r\nKey=crlf\r\n[Mixed]\nA=1\r\nB=2\n");
  kest::ProfileFile p(path_);
  EXPECT_EQ(p.ReadString("Unix", "Key", "-"), "lf");
  EXPECT_EQ(p.ReadString("Dos", "Key", "-"), "crlf");  // no CR left on the value
  EXPECT_EQ(p.ReadString("Mixed", "A", "-"), "1");
  EXPECT_EQ(p.ReadSectionKeys("Mixed"), (std::vector<std::string>{"A", "B"}));

  p.WriteString("Unix", "Other", "y");
  EXPECT_EQ(Get(),
            "top line\r\n[Unix]\r\nKey=lf\r\nOther=y\r\n[Dos]\r\nKey=crlf\r\n"
            "[Mixed]\r\nA=1\r\nB=2\r\n");
}

TEST_F(ProfileTest, ALineBreakInAValueDoesNotAddLines) {
  kest::ProfileFile p(path_);
  p.WriteString("S", "K", "first\r\n[Injected]\r\nX=1");
  EXPECT_EQ(Get(), "[S]\r\nK=first\r\n");
  EXPECT_FALSE(p.SectionExists("Injected"));
}

TEST_F(ProfileTest, ShiftJisNamesAndLongValuesRoundTripUncut) {
  // 1,200 bytes of ソ and 表, whose trail bytes are '\'.
  std::string longValue;
  for (int i = 0; i < 300; ++i) longValue += "\x83\x5c\x95\x5c";
  const std::string key = std::string("\x83\x74\x83\x40\x83\x43\x83\x8b") + kA;  // ファイルア

  kest::ProfileFile p(path_);
  p.WriteString(kSettei, key, longValue);
  p.WriteString(kSettei, kDi, "\x92\x6c");  // 値
  EXPECT_EQ(p.ReadString(kSettei, key, "-"), longValue);
  EXPECT_EQ(p.ReadString(kSettei, kDi, "-"), "\x92\x6c");
  EXPECT_EQ(p.ReadString(kSettei, kA, "-"), "-");
  EXPECT_EQ(Get(), std::string("[") + kSettei + "]\r\n" + key + "=" + longValue + "\r\n" + kDi +
                       "=\x92\x6c\r\n");

  // Far more than 8,192 bytes of key names: every one is listed, in order.
  std::vector<std::string> keys;
  std::string file = "[Bookmarks]\r\n";
  std::size_t total = 0;
  for (int i = 0; total <= 3 * 8192; ++i) {
    keys.push_back(std::string("\x83\x75\x83\x62\x83\x4e") + std::to_string(i));  // ブック
    total += keys.back().size() + 1;
    file += keys.back() + "=" + std::to_string(i) + "\r\n";
  }
  Put(file);
  EXPECT_EQ(p.ReadSectionKeys("bookmarks"), keys);
  EXPECT_EQ(p.ReadInteger("Bookmarks", keys.back(), -1), static_cast<int>(keys.size()) - 1);
}

TEST_F(ProfileTest, EraseSectionRemovesEveryHeadingOfThatName) {
  Put("; head\r\n[Hist]\r\nA=1\r\n; about hist\r\n[Keep]\r\nK=1\r\n"
      "[HIST]\r\nB=2\r\n\r\n[Tail]\r\nT=1\r\n");
  kest::ProfileFile p(path_);
  p.EraseSection("hist");
  EXPECT_EQ(Get(), "; head\r\n[Keep]\r\nK=1\r\n[Tail]\r\nT=1\r\n");
  EXPECT_FALSE(p.SectionExists("Hist"));
  EXPECT_EQ(p.ReadString("HIST", "A", "-"), "-");

  // A write after the erase starts the section anew at the end.
  p.WriteString("Hist", "C", "3");
  EXPECT_EQ(Get(), "; head\r\n[Keep]\r\nK=1\r\n[Tail]\r\nT=1\r\n[Hist]\r\nC=3\r\n");
}

TEST_F(ProfileTest, ErasingAMissingSectionWritesNothing) {
  kest::ProfileFile missing(path_);
  missing.EraseSection("None");
  EXPECT_FALSE(fs::exists(path_));

  // Not even where a write would fail.
  kest::ProfileFile gone(dir_ / "no-such-dir" / "Kest.INI");
  EXPECT_NO_THROW(gone.EraseSection("None"));
}

// --- writing safely --------------------------------------------------------

TEST_F(ProfileTest, AnEditMadeOnDiskBetweenWritesIsKept) {
  kest::ProfileFile p(path_);
  p.WriteString("S", "A", "1");
  // Same size and (very likely) the same timestamp tick as our own write.
  Put("[S]\r\nA=9\r\n");
  EXPECT_EQ(p.ReadString("S", "A", "-"), "9");
  Put(Get() + "; added by hand\r\n[Hand]\r\nH=1\r\n");
  p.WriteString("S", "B", "2");
  EXPECT_EQ(Get(), "[S]\r\nA=9\r\nB=2\r\n; added by hand\r\n[Hand]\r\nH=1\r\n");
}

TEST_F(ProfileTest, PermissionBitsAreKeptAndNewFilesFollowTheUmask) {
  const mode_t oldMask = ::umask(022);
  kest::ProfileFile p(path_);
  p.WriteString("S", "A", "1");
  EXPECT_EQ(fs::status(path_).permissions(), fs::perms(0644));

  fs::permissions(path_, fs::perms(0640));
  p.WriteString("S", "A", "2");
  EXPECT_EQ(fs::status(path_).permissions(), fs::perms(0640));
  ::umask(oldMask);
}

// A failed write must throw ProfileWriteError naming the path, and leave the
// file, and what is read from it, exactly as before, with no temporary file.
void ExpectWriteError(kest::ProfileFile& p, const std::function<void()>& write) {
  try {
    write();
    ADD_FAILURE() << "no ProfileWriteError";
  } catch (const kest::ProfileWriteError& e) {
    EXPECT_EQ(std::string(e.what()), p.Path().string() + " に書き込めません");
  }
}

TEST_F(ProfileTest, AWriteIntoAReadOnlyFolderFailsAndChangesNothing) {
  const std::string original = "; mine\n[S]\nA=1\n";
  Put(original);
  fs::permissions(dir_, fs::perms(0555));
  if (::access(dir_.c_str(), W_OK) == 0) {
    GTEST_SKIP() << "running with rights that ignore folder permissions";
  }
  kest::ProfileFile p(path_);
  ExpectWriteError(p, [&] { p.WriteString("S", "A", "2"); });
  ExpectWriteError(p, [&] { p.EraseSection("s"); });
  EXPECT_EQ(Get(), original);
  EXPECT_EQ(p.ReadString("S", "A", "-"), "1");
  EXPECT_EQ(DirEntries(dir_), std::vector<std::string>{"Kest.INI"});
}

TEST_F(ProfileTest, AWriteIntoAVanishedFolderFails) {
  const fs::path sub = dir_ / "sub";
  fs::create_directory(sub);
  kest::ProfileFile p(sub / "Kest.INI");
  p.WriteString("S", "A", "1");
  fs::remove_all(sub);

  ExpectWriteError(p, [&] { p.WriteString("S", "A", "2"); });
  EXPECT_FALSE(fs::exists(sub));
  EXPECT_EQ(p.ReadString("S", "A", "-"), "-");
}

TEST_F(ProfileTest, AWriteThatRunsOutOfSpaceLeavesTheOldFile) {
  // A file size limit makes the temporary file's write fail part way, as a
  // full disk would; it works whatever rights the test runs with.
  std::string original = "[S]\r\nA=1\r\n";
  for (int i = 0; i < 100; ++i) original += "K" + std::to_string(i) + "=some value\r\n";
  Put(original);
  kest::ProfileFile p(path_);

  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 512;
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  ExpectWriteError(p, [&] { p.WriteString("S", "A", "2"); });
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(Get(), original);
  EXPECT_EQ(p.ReadString("S", "A", "-"), "1");
  EXPECT_EQ(DirEntries(dir_), std::vector<std::string>{"Kest.INI"});
  p.WriteString("S", "A", "3");  // and the next write works again
  EXPECT_EQ(p.ReadString("S", "A", "-"), "3");
}

TEST_F(ProfileTest, AFileThatCannotBeReadIsNotOverwritten) {
  fs::create_directory(path_);  // a folder where the file should be
  kest::ProfileFile p(path_);
  EXPECT_EQ(p.ReadString("S", "A", "-"), "-");
  ExpectWriteError(p, [&] { p.WriteString("S", "A", "1"); });
  EXPECT_TRUE(fs::is_directory(path_));
  EXPECT_EQ(DirEntries(dir_), std::vector<std::string>{"Kest.INI"});
}

}  // namespace
