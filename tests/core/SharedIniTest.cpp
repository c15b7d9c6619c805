// One Kest.INI shared by two windows or two processes: every write changes
// only what its writer changed, on the file as it is at the write, under a
// lock that keeps writers from interleaving and never holds anyone up for
// ever; and a write that fails says why.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "core/LogFixture.h"
#include "platform/Profile.h"
#include "settings/Settings.h"

namespace kest {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;

class SharedIniTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetProfileLockWaitForTesting(kProfileLockWaitMs);
    SetProfileWriteForTesting(nullptr);
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_.Path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  ProfileWriteError::Problem ProblemOf(const std::function<void()>& write) {
    try {
      write();
    } catch (const ProfileWriteError& e) {
      EXPECT_EQ(std::string(e.what()), e.path().string() + " に書き込めません");
      EXPECT_FALSE(e.Reason().empty());
      return e.problem();
    }
    ADD_FAILURE() << "no ProfileWriteError";
    return ProfileWriteError::Problem::Other;
  }

  TempDir dir_;
  fs::path path_ = dir_.Path() / "Kest.INI";
};

// --- The lock --------------------------------------------------------------------

TEST_F(SharedIniTest, WritersInManyProcessesLoseNothing) {
  constexpr int kWriters = 3, kKeys = 25;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ProfileFile ini(path_);
      for (int k = 0; k < kKeys; ++k) {
        ini.WriteString("W" + std::to_string(w), "K" + std::to_string(k), std::to_string(k));
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const ProfileText text = ProfileFile(path_).Read();
  for (int w = 0; w < kWriters; ++w) {
    EXPECT_EQ(text.ReadSectionKeys("W" + std::to_string(w)).size(), static_cast<std::size_t>(kKeys)) << w;
  }
  EXPECT_EQ(Entries(), std::vector<std::string>{"Kest.INI"});  // no lock file left behind
}

TEST_F(SharedIniTest, AWriteWaitsForTheHolderAndNeverForEver) {
  ProfileFile ini(path_);
  const std::string lockPath = path_.string() + ".lock";
  const int held = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  // Let go of after a while: the write waits for it.
  std::thread holder([held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::flock(held, LOCK_UN);
  });
  auto start = std::chrono::steady_clock::now();
  ini.WriteString("S", "A", "1");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  holder.join();
  ::close(held);
  EXPECT_EQ(ini.ReadString("S", "A", "-"), "1");

  // A holder that hangs is waited for only so long.
  SetProfileLockWaitForTesting(200);
  const int hung = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(hung, LOCK_EX), 0);
  start = std::chrono::steady_clock::now();
  ini.WriteString("S", "A", "2");
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(150));
  EXPECT_LT(waited, std::chrono::seconds(3));
  EXPECT_EQ(ini.ReadString("S", "A", "-"), "2");
  ::close(hung);

  // A lock file left by a program that crashed holds no one up.
  ::close(::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600));
  SetProfileLockWaitForTesting(kProfileLockWaitMs);
  start = std::chrono::steady_clock::now();
  ini.WriteString("S", "A", "3");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  EXPECT_EQ(Entries(), std::vector<std::string>{"Kest.INI"});
}

TEST_F(SharedIniTest, AnEditThatThrowsOrChangesNothingWritesNothing) {
  ProfileFile ini(path_);
  ini.WriteString("S", "A", "1");
  const auto before = fs::last_write_time(path_);
  EXPECT_THROW(ini.Update([](ProfileText& t) {
    t.WriteString("S", "A", "2");
    throw std::runtime_error("no");
  }),
               std::runtime_error);
  EXPECT_EQ(ini.ReadString("S", "A", "-"), "1");
  ini.WriteString("S", "A", "1");  // as it stands
  EXPECT_EQ(fs::last_write_time(path_), before);
  EXPECT_EQ(ini.FailedWrites(), 0);
}

// --- Why a write failed ---------------------------------------------------------

TEST_F(SharedIniTest, AFailedWriteSaysWhy) {
  using P = ProfileWriteError::Problem;
  ProfileFile ini(path_);
  ini.WriteString("S", "A", "1");
  fs::permissions(path_, fs::perms(0444));
  EXPECT_EQ(ProblemOf([&] { ini.WriteString("S", "A", "2"); }), P::ReadOnly);
  fs::permissions(path_, fs::perms(0644));

  // A write that makes no progress is a full disk, not a loop.
  SetProfileWriteForTesting([](int, const void*, std::size_t) -> long { return 0; });
  EXPECT_EQ(ProblemOf([&] { ini.WriteString("S", "A", "3"); }), P::DiskFull);
  SetProfileWriteForTesting(nullptr);
  EXPECT_EQ(ini.ReadString("S", "A", "-"), "1");
  EXPECT_EQ(ini.FailedWrites(), 2);

  const fs::path folder = dir_.Path() / "folder.INI";
  fs::create_directory(folder);
  ProfileFile inPlace(folder);
  EXPECT_EQ(ProblemOf([&] { inPlace.WriteString("S", "A", "1"); }), P::FolderInPlace);
  ProfileFile noFolder(dir_.Path() / "gone" / "Kest.INI");
  EXPECT_EQ(ProblemOf([&] { noFolder.WriteString("S", "A", "1"); }), P::NoFolder);

  // A pipe in the file's place is never opened, read or written.
  const fs::path fifo = dir_.Path() / "fifo.INI";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ProfileFile pipe(fifo);
  EXPECT_EQ(pipe.ReadString("S", "A", "-"), "-");
  EXPECT_EQ(ProblemOf([&] { pipe.WriteString("S", "A", "1"); }), P::Unreadable);

  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 16;
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const P full = ProblemOf([&] { ini.WriteString("S", "Long", std::string(100, 'x')); });
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(full, P::DiskFull);
}

// --- Window settings of two windows ----------------------------------------------

TEST_F(SharedIniTest, EachWindowWritesOnlyWhatItChanged) {
  ProfileFile ini(path_);
  ini.WriteString("Option", "SortType", "0x2");  // as written by hand
  const WindowSettings baseA = ReadWindowSettings(ini);
  const WindowSettings baseB = ReadWindowSettings(ini);

  // Window B changes the order and the columns, opens a log and closes.
  WindowSettings b = baseB;
  b.View.SortType = SortOrder::Remark;
  b.View.Columns.ShowDate = true;
  b.Recent.Push("/logs/b.log");
  WriteWindowSettings(ini, b, baseB);

  // Window A changed its size and opened another log: it closes later.
  WindowSettings a = baseA;
  a.Bounds.Width = 800;
  a.Recent.Push("/logs/a.log");
  WriteWindowSettings(ini, a, baseA);

  const WindowSettings now = ReadWindowSettings(ini);
  EXPECT_EQ(now.View.SortType, SortOrder::Remark);  // B's change stays
  EXPECT_TRUE(now.View.Columns.ShowDate);
  EXPECT_EQ(now.Bounds.Width, 800);
  EXPECT_EQ(now.Recent.At(0), "/logs/a.log");  // the later open first
  EXPECT_EQ(now.Recent.At(1), "/logs/b.log");

  // Every key is in the file after the first close; a key no one changed
  // keeps the form it was written in.
  const ProfileText text = ini.Read();
  for (const char* key : {"Numb", "Name", "Date", "OpenFolder", "Color", "Top", "Left", "Height", "Width"}) {
    EXPECT_TRUE(text.HasKey("Option", key)) << key;
  }
  EXPECT_TRUE(text.HasKey("FileName", "File_4"));
  EXPECT_TRUE(text.HasKey("FONT", "FontStyle"));

  // A later write of the same window carries only what changed since.
  WindowSettings again = a;
  ini.WriteString("Option", "Width", "900");  // another window, meanwhile
  again.Recent.Push("/logs/c.log");
  WriteWindowSettings(ini, again, a);
  const WindowSettings last = ReadWindowSettings(ini);
  EXPECT_EQ(last.Bounds.Width, 900);
  EXPECT_EQ(last.Recent.At(0), "/logs/c.log");
  EXPECT_EQ(last.Recent.At(1), "/logs/a.log");
  EXPECT_EQ(last.Recent.At(2), "/logs/b.log");
}

TEST_F(SharedIniTest, ASettingKeptByHandIsNotRewritten) {
  ProfileFile ini(path_);
  test::TempDir other;
  std::ofstream(path_, std::ios::binary) << "[Option]\r\nSortType=0x2\r\n";
  const WindowSettings base = ReadWindowSettings(ini);
  WriteWindowSettings(ini, base, base);
  EXPECT_NE(ReadFile(path_).find("SortType=0x2\r\n"), std::string::npos);
  // Without a base every key is written as it stands.
  WriteWindowSettings(ini, base);
  EXPECT_NE(ReadFile(path_).find("SortType=2\r\n"), std::string::npos);
}

}  // namespace
}  // namespace kest
