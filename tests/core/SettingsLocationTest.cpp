// Where Kest.INI is kept: beside a program run from its own folder, under the
// XDG configuration folder for an installed one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "settings/Settings.h"
#include "core/LogFixture.h"

namespace kest {
namespace {

using test::TempDir;

// Sets or clears an environment variable for one test and puts it back.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~EnvGuard() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class SettingsLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(home_ / ".config");
    std::filesystem::create_directories(prefixBin_);
    std::filesystem::create_directories(buildDir_);
  }

  TempDir dir_;
  std::filesystem::path home_ = dir_.Path() / "home";
  std::filesystem::path prefixBin_ = dir_.Path() / "usr" / "bin";
  std::filesystem::path buildDir_ = dir_.Path() / "build";
  EnvGuard noNamedFile_{"KEST_INI", nullptr};
  EnvGuard home_env_{"HOME", home_.c_str()};
  EnvGuard noXdg_{"XDG_CONFIG_HOME", nullptr};
};

TEST_F(SettingsLocationTest, InstalledProgramKeepsItUnderXdgEvenWhereItsFolderIsWritable) {
  ASSERT_EQ(::access(prefixBin_.c_str(), W_OK), 0);  // as for root in /usr/bin
  EXPECT_EQ(LocateIni(prefixBin_), home_ / ".config" / "kest32" / "Kest.INI");
  EXPECT_TRUE(std::filesystem::is_directory(home_ / ".config" / "kest32"));  // ready for the first write

  std::filesystem::path xdg = dir_.Path() / "xdg";
  EnvGuard set("XDG_CONFIG_HOME", xdg.c_str());
  EXPECT_EQ(LocateIni(prefixBin_), xdg / "kest32" / "Kest.INI");
  EXPECT_EQ(LocateIni(prefixBin_ / ""), xdg / "kest32" / "Kest.INI");  // a trailing slash too
  EXPECT_TRUE(std::filesystem::is_directory(xdg / "kest32"));
}

TEST_F(SettingsLocationTest, ProgramInItsOwnWritableFolderKeepsItBeside) {
  EXPECT_EQ(LocateIni(buildDir_), buildDir_ / "Kest.INI");
  EXPECT_FALSE(std::filesystem::exists(home_ / ".config" / "kest32"));
}

TEST_F(SettingsLocationTest, AFileBesideTheProgramIsUsedWhereverItStands) {
  dir_.Write("usr/bin/Kest.INI", "[Option]\r\nSortType=0\r\n");
  EXPECT_EQ(LocateIni(prefixBin_), prefixBin_ / "Kest.INI");
}

TEST_F(SettingsLocationTest, NamedFileWinsOverEveryFolder) {
  std::filesystem::path named = dir_.Path() / "mine.ini";
  EnvGuard set("KEST_INI", named.c_str());
  EXPECT_EQ(LocateIni(prefixBin_), named);
  EXPECT_EQ(LocateIni(buildDir_), named);
}

TEST_F(SettingsLocationTest, RelativeXdgFolderIsIgnored) {
  EnvGuard set("XDG_CONFIG_HOME", "relative/config");
  EXPECT_EQ(LocateIni(prefixBin_), home_ / ".config" / "kest32" / "Kest.INI");
}

TEST_F(SettingsLocationTest, UnwritableFolderGoesToXdg) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write any folder; the bin-folder case covers root";
  std::filesystem::permissions(buildDir_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_EQ(LocateIni(buildDir_), home_ / ".config" / "kest32" / "Kest.INI");
}

TEST_F(SettingsLocationTest, WithoutHomeOrXdgItStaysBesideTheProgram) {
  EnvGuard noHome("HOME", nullptr);
  EXPECT_EQ(LocateIni(prefixBin_), prefixBin_ / "Kest.INI");
}

TEST(InstalledProgramDir, OnlyAFolderNamedBin) {
  EXPECT_TRUE(IsInstalledProgramDir("/usr/bin"));
  EXPECT_TRUE(IsInstalledProgramDir("/usr/local/bin/"));
  EXPECT_TRUE(IsInstalledProgramDir("/home/u/.local/bin"));
  EXPECT_FALSE(IsInstalledProgramDir("/home/u/src/kest32/build"));
  EXPECT_FALSE(IsInstalledProgramDir("/opt/binary"));
  EXPECT_FALSE(IsInstalledProgramDir("/bin/kest32"));
}

}  // namespace
}  // namespace kest
