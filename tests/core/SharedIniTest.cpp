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
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "bookmarks/BookStore.h"
#include "bookmarks/MenuTree.h"
#include "bookmarks/Organizer.h"
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

  // Every key is in the file after the first close.
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

TEST_F(SharedIniTest, AValueNoWindowChangedIsWrittenAsTheFileHoldsIt) {
  ProfileFile ini(path_);
  std::ofstream(path_, std::ios::binary) << "[Option]\r\nSortType=0x2\r\nNumb=abc\r\n";
  const WindowSettings base = ReadWindowSettings(ini);
  ini.WriteString("Option", "Date", "1");  // another window, meanwhile
  WriteWindowSettings(ini, base, base);
  const std::string text = ReadFile(path_);
  EXPECT_NE(text.find("SortType=2\r\n"), std::string::npos) << text;  // the form of the table
  EXPECT_NE(text.find("Numb=1\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Date=1\r\n"), std::string::npos) << text;
  // Without a base this window's own values, every one of them.
  WriteWindowSettings(ini, base);
  EXPECT_NE(ReadFile(path_).find("Date=0\r\n"), std::string::npos);
}

}  // namespace
}  // namespace kest

// --- The organizer of one window, the bookmarks of another --------------------

namespace kest::organizer {

BookSections Sections(std::vector<std::pair<std::string, std::string>> dir,
                      std::vector<std::pair<std::string, std::string>> marks) {
  BookSections s;
  for (auto& [k, v] : dir) s.groups.push_back(ParseBookGroup(k, v));
  for (auto& [k, v] : marks) s.marks.push_back(ParseBookMark(k, v));
  return s;
}

// "name=group|number|path" per bookmark and "name=id|parent" per group.
std::string Show(const BookSections& s) {
  std::string out;
  for (const BookGroup& g : s.groups) out += g.name + "=" + g.id + "|" + g.parent + " ";
  out += "/";
  for (const BookMark& m : s.marks) {
    out +=
        " " + m.name + "=" + (m.readable ? GroupedBookMarkValue(m.groupId, m.number, m.storedPath) : m.value);
  }
  return out;
}

const BookSections kBase = Sections({{"G", "A0|0"}, {"Sub", "A1|A0"}, {"H", "A2|0"}},
                                    {{"x", "A0|1|/a"}, {"y", "2|/a"}, {"z", "A1|3|/a"}, {"bad", ""}});

TEST(OrganizerMergeTest, OkWithoutEditsKeepsWhatAnotherWindowAdded) {
  BookOrganizer a;
  a.Load(kBase);
  BookSections now = kBase;
  now.marks.push_back(ParseBookMark("added by B", "7|/b.log"));
  now.groups.push_back(ParseBookGroup("B's group", "A3|0"));
  EXPECT_EQ(
      Show(a.MergeInto(now)),
      "G=A0|0 Sub=A1|A0 H=A2|0 B's group=A3|0 / x=A0|1|/a y=0|2|/a z=A1|3|/a bad= added by B=0|7|/b.log");
}

TEST(OrganizerMergeTest, WithTheFileUnchangedTheEditsAreWrittenAsTheyStand) {
  BookOrganizer a;
  a.Load(kBase);
  ASSERT_EQ(a.RenameMark(0, "x2"), BookOrganizer::Edit::kDone);
  a.DeleteGroup(2);  // Sub, with z
  int added = -1;
  ASSERT_EQ(a.AddGroup(1, "New", &added), BookOrganizer::Edit::kDone);
  EXPECT_EQ(a.NodeAt(added).id, "A1");  // the ID Sub had
  a.MoveMarks({1}, added);
  ASSERT_EQ(a.RenameGroup(3, "H2"), BookOrganizer::Edit::kDone);
  EXPECT_EQ(Show(a.MergeInto(kBase)), Show(a.Result()));
  EXPECT_EQ(Show(a.Result()), "G=A0|0 New=A1|A0 H2=A2|0 / x2=A0|1|/a y=A1|2|/a bad=");
}

TEST(OrganizerMergeTest, EditsApplyToTheFileAsItIsNow) {
  BookOrganizer a;
  a.Load(kBase);
  ASSERT_EQ(a.RenameMark(0, "x2"), BookOrganizer::Edit::kDone);
  a.DeleteMark(2);      // z
  a.MoveMarks({1}, 3);  // y to H
  int added = -1;
  ASSERT_EQ(a.AddGroup(0, "Mine", &added), BookOrganizer::Edit::kDone);
  EXPECT_EQ(a.NodeAt(added).id, "A3");

  // Meanwhile window B added a group that took A3, and two bookmarks, one
  // under the name A gives x now.
  BookSections now = kBase;
  now.groups.push_back(ParseBookGroup("Theirs", "A3|A2"));
  now.marks.push_back(ParseBookMark("x2", "A3|9|/b"));
  now.marks.push_back(ParseBookMark("w", "8|/b"));
  EXPECT_EQ(
      Show(a.MergeInto(now)),
      "G=A0|0 Sub=A1|A0 H=A2|0 Theirs=A3|A2 Mine=A4|0 / x2 (2)=A0|1|/a y=A2|2|/a bad= x2=A3|9|/b w=0|8|/b");
}

TEST(OrganizerMergeTest, WhereBothChangedOneBookmarkTheLaterWins) {
  BookOrganizer a;
  a.Load(kBase);
  ASSERT_EQ(a.RenameMark(0, "xa"), BookOrganizer::Edit::kDone);  // x
  a.MoveMarks({1}, 3);                                           // y to H
  a.DeleteMark(2);                                               // z
  // B renamed x and z, and deleted y, before A's OK.
  BookSections now = kBase;
  now.marks[0].name = "xb";
  now.marks[2].name = "zb";
  now.marks.erase(now.marks.begin() + 1);
  // x: A's name; y: moved here, so back in H; z: found by what it points
  // to, and deleted.
  EXPECT_EQ(Show(a.MergeInto(now)), "G=A0|0 Sub=A1|A0 H=A2|0 / xa=A0|1|/a bad= y=A2|2|/a");
}

TEST(OrganizerMergeTest, WhatAnotherWindowPutIntoAGroupDeletedHereIsKept) {
  BookOrganizer a;
  a.Load(kBase);
  a.DeleteGroup(1);  // G with Sub, x and z
  BookSections now = kBase;
  now.groups.push_back(ParseBookGroup("Under Sub", "A3|A1"));
  now.marks.push_back(ParseBookMark("in Sub", "A1|5|/b"));
  now.marks.push_back(ParseBookMark("in Under", "A3|6|/b"));
  EXPECT_EQ(Show(a.MergeInto(now)), "H=A2|0 Under Sub=A3|0 / y=0|2|/a bad= in Sub=0|5|/b in Under=A3|6|/b");

  // A group another window deleted, renamed here, comes back; one not
  // touched here stays deleted, and bookmarks moved into it go to its parent.
  BookOrganizer c;
  c.Load(kBase);
  ASSERT_EQ(c.RenameGroup(3, "H renamed"), BookOrganizer::Edit::kDone);
  c.MoveMarks({1}, 2);  // y into Sub
  BookSections gone = kBase;
  gone.groups.erase(gone.groups.begin() + 1, gone.groups.end());  // Sub and H
  EXPECT_EQ(Show(c.MergeInto(gone)), "G=A0|0 H renamed=A2|0 / x=A0|1|/a y=A0|2|/a z=A1|3|/a bad=");
}

TEST(OrganizerMergeTest, NamesSwappedHereNeedNoSuffix) {
  BookOrganizer a;
  a.Load(kBase);
  ASSERT_EQ(a.RenameMark(0, "tmp"), BookOrganizer::Edit::kDone);
  ASSERT_EQ(a.RenameMark(1, "x"), BookOrganizer::Edit::kDone);
  ASSERT_EQ(a.RenameMark(0, "y"), BookOrganizer::Edit::kDone);
  EXPECT_EQ(Show(a.MergeInto(kBase)), "G=A0|0 Sub=A1|A0 H=A2|0 / y=A0|1|/a x=0|2|/a z=A1|3|/a bad=");
}

}  // namespace kest::organizer

namespace kest {
namespace {

// The size of the file a user reported, 200,000 bookmarks in 600 groups:
// read, made into the menu's tree, loaded into the organizer and merged on
// OK, with half of them deleted and a thousand renamed by another window
// meanwhile, in a few seconds of processor time. A path that compares every
// entry with every other (as the key lists once did) takes minutes here.
TEST_F(SharedIniTest, TwoHundredThousandBookmarksTakeSeconds) {
  constexpr int kMarks = 200000;
  std::string file = test::SixHundredBookGroups();
  file += "[Book Mark]\r\n";
  for (int i = 0; i < kMarks; ++i) {
    file += "Mark " + std::to_string(i) + "=A" + std::to_string(i % 600) + "|" + std::to_string(i) +
            "|/home/u/logs/forum" + std::to_string(i % 37) + ".log\r\n";
  }
  std::ofstream(path_, std::ios::binary) << file;

  // Processor time: what other programs on the machine take does not count.
  const std::clock_t start = std::clock();
  const BookSections sections = ReadBookSections(ProfileFile(path_));
  const BookMenuTree tree = BuildBookMenuTree(sections);
  BookOrganizer o;
  o.Load(sections);
  ASSERT_EQ(o.RenameMark(7, "renamed"), BookOrganizer::Edit::kDone);
  BookSections now = sections;
  for (int i = 0; i < 1000; ++i) now.marks[static_cast<std::size_t>(kMarks - 1 - i)].name += " (B)";
  now.marks.erase(now.marks.begin(), now.marks.begin() + kMarks / 2);
  const BookSections merged = o.MergeInto(now);
  const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;

  EXPECT_EQ(tree.top.size(), 100u);
  ASSERT_EQ(merged.marks.size(), static_cast<std::size_t>(kMarks / 2 + 1));  // renamed here: back
  EXPECT_EQ(merged.marks.back().name, "renamed");
  EXPECT_EQ(merged.marks[merged.marks.size() - 2].name, "Mark 199999 (B)");
  EXPECT_LT(seconds, 20.0);
}

}  // namespace
}  // namespace kest
