#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bookmarks/BookStore.h"
#include "bookmarks/MenuTree.h"
#include "bookmarks/Organizer.h"
#include "platform/Profile.h"

namespace fs = std::filesystem;
using namespace kest;

namespace {

class BookmarksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "kest-book-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    path_ = dir_ / "Kest.INI";
  }
  void TearDown() override {
    SetProfileReadForTesting(nullptr);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void Put(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }
  std::string Get() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  BookSections Read() const { return ReadBookSections(ProfileFile(path_)); }

  fs::path dir_;
  fs::path path_;
};

// A compact picture of a menu level: "[name](...)" for a group, "name:number" for a bookmark.
std::string Show(const std::vector<BookMenuItem>& items) {
  std::string s;
  for (const BookMenuItem& i : items) {
    if (!s.empty()) s += " ";
    if (i.isGroup) {
      s += "[" + i.caption + "](" + Show(i.children) + ")";
    } else {
      s += i.caption + ":" + std::to_string(i.number);
    }
  }
  return s;
}

BookSections Sections(std::vector<std::pair<std::string, std::string>> dir,
                      std::vector<std::pair<std::string, std::string>> marks) {
  BookSections s;
  for (auto& [k, v] : dir) s.groups.push_back(ParseBookGroup(k, v));
  for (auto& [k, v] : marks) s.marks.push_back(ParseBookMark(k, v));
  return s;
}

// --- The two forms of a value -------------------------------------------------

TEST(BookValue, GroupedAndShortFormsOfOneBookmarkAreEqual) {
  const BookMark grouped = ParseBookMark("a", "0|15|/log/F1.LOG");
  const BookMark shortForm = ParseBookMark("b", "15|/log/F1.LOG");
  for (const BookMark& m : {grouped, shortForm}) {
    EXPECT_TRUE(m.readable);
    EXPECT_EQ(m.groupId, "0");
    EXPECT_EQ(m.number, 15);
    EXPECT_EQ(m.storedPath, "/log/F1.LOG");
  }
  const BookMark inGroup = ParseBookMark("c", "A12|7|/x|y.log");
  EXPECT_EQ(inGroup.groupId, "A12");
  EXPECT_EQ(inGroup.number, 7);
  EXPECT_EQ(inGroup.storedPath, "/x|y.log");  // the path is all after the last split
}

TEST(BookValue, EntriesThatFitNeitherFormAreUnreadableButKept) {
  for (const char* v : {"", "15", "A1|15", "0|/no/number", "x|/p", "A1|1x|/p", "0|path"}) {
    const BookMark m = ParseBookMark("n", v);
    EXPECT_FALSE(m.readable) << v;
    EXPECT_EQ(m.value, v);
  }
}

TEST(BookValue, RemarkZeroIsWrittenSoThatItReadsBack) {
  EXPECT_EQ(AddedBookMarkValue(15, "/p"), "15|/p");
  EXPECT_EQ(AddedBookMarkValue(0, "/p"), "0|0|/p");
  const BookMark m = ParseBookMark("n", AddedBookMarkValue(0, "/p"));
  EXPECT_TRUE(m.readable);
  EXPECT_EQ(m.number, 0);
  EXPECT_EQ(m.storedPath, "/p");
  EXPECT_EQ(ParseBookMark("n", AddedBookMarkValue(-3, "/p")).number, -3);
}

TEST(BookValue, GroupValues) {
  const BookGroup g = ParseBookGroup("News", "A0|0");
  EXPECT_EQ(g.id, "A0");
  EXPECT_EQ(g.parent, "0");
  const BookGroup bare = ParseBookGroup("x", "A4");
  EXPECT_EQ(bare.id, "A4");
  EXPECT_EQ(bare.parent, "");
}

TEST(BookNames, KeysTheFileCannotHoldAreRefused) {
  EXPECT_EQ(KeyProblem(""), NameProblem::kEmpty);
  for (const char* bad : {"[Admin] hello", "a=b", "line\nbreak", "cr\rx", ";comment", "tab\tin"}) {
    EXPECT_EQ(KeyProblem(bad), NameProblem::kNotAKey) << bad;
  }
  EXPECT_FALSE(KeyProblem("x [Admin]"));
  EXPECT_FALSE(KeyProblem("\x83\x5b\x83\x5d"));  // ー and ] as trail bytes are fine
  EXPECT_EQ(TrimName("  title \t"), "title");
  EXPECT_TRUE(NameTaken("news", {"a", "NEWS"}));
  EXPECT_FALSE(NameTaken("new", {"a", "NEWS"}));
}

// --- The menu tree ------------------------------------------------------------

TEST(BookMenu, TheExampleOfTwoGroupsAndTwoForms) {
  const BookMenuTree t = BuildBookMenuTree(Sections(
      {{"News", "A0|0"}, {"Old", "A1|A0"}},
      {{"First reply", "A1|15|C:\\LOG\\FORUM1.LOG"}, {"Start", "3|C:\\LOG\\FORUM2.LOG"}}));
  EXPECT_TRUE(t.anyKey);
  EXPECT_EQ(Show(t.top), "[News]([Old](First reply:15)) Start:3");
  EXPECT_EQ(t.top[0].children[0].children[0].storedPath, "C:\\LOG\\FORUM1.LOG");
}

TEST(BookMenu, EmptySectionsGiveNoEntries) {
  const BookMenuTree t = BuildBookMenuTree({});
  EXPECT_FALSE(t.anyKey);
  EXPECT_TRUE(t.top.empty());
  // Only unreadable entries: nothing shown, but there is something to organise.
  const BookMenuTree u = BuildBookMenuTree(Sections({}, {{"bad", ""}}));
  EXPECT_TRUE(u.anyKey);
  EXPECT_TRUE(u.top.empty());
}

TEST(BookMenu, GroupsComeBeforeBookmarksAtEveryLevel) {
  const BookMenuTree t = BuildBookMenuTree(Sections(
      {{"G1", "A0|0"}, {"S1", "A1|A0"}, {"G2", "A2|0"}, {"S2", "A3|A0"}},
      {{"root0", "0|1|/a"}, {"inG1", "A0|2|/a"}, {"short", "3|/a"}, {"inS2", "A3|4|/a"},
       {"inG1b", "A0|5|/a"}}));
  EXPECT_EQ(Show(t.top), "[G1]([S1]() [S2](inS2:4) inG1:2 inG1b:5) [G2]() root0:1 short:3");
}

TEST(BookMenu, MissingGroupsAndParentsStoredLate) {
  // "Late" names A5 as its parent, which is stored after it: it is left out
  // with its sub-group, and their bookmarks go to the top level.
  const BookMenuTree t = BuildBookMenuTree(Sections(
      {{"Late", "A6|A5"}, {"LateChild", "A7|A6"}, {"Parent", "A5|0"}, {"Orphan", "A8|A99"}},
      {{"inLate", "A6|1|/a"}, {"inLateChild", "A7|2|/a"}, {"nowhere", "A42|3|/a"},
       {"inParent", "A5|4|/a"}}));
  EXPECT_EQ(Show(t.top), "[Parent](inParent:4) inLate:1 inLateChild:2 nowhere:3");
}

TEST(BookMenu, DirectSubGroupsAreSearchedBeforeDescending) {
  // Two groups carry the ID A9 (a hand edit); the one found first wins:
  // the direct sub-group of the first top-level group, not the deeper one.
  const BookMenuTree t = BuildBookMenuTree(Sections(
      {{"T", "A0|0"}, {"Mid", "A1|A0"}, {"Deep", "A9|A1"}, {"Direct", "A9|A0"}},
      {{"m", "A9|1|/a"}}));
  EXPECT_EQ(Show(t.top), "[T]([Mid]([Deep]()) [Direct](m:1))");
}

TEST(BookMenu, RemarkZeroIsABookmarkAndSkippedEntriesDoNotStopTheRest) {
  const BookMenuTree t = BuildBookMenuTree(Sections(
      {{"G", "A0|0"}, {"H", "A1|A0"}},
      {{"zero", "A0|0|/a"}, {"bad", "A0|x|/a"}, {"empty", ""}, {"inH", "A1|7|/a"},
       {"after", "9|/a"}}));
  EXPECT_EQ(Show(t.top), "[G]([H](inH:7) zero:0) after:9");
  EXPECT_FALSE(t.top[0].children[1].isGroup);
}

TEST(BookMenu, AShortFormIsTopLevelEvenBesideAGroupWithIdZero) {
  const BookMenuTree t =
      BuildBookMenuTree(Sections({{"Odd", "0|0"}}, {{"s", "5|/a"}, {"g", "0|6|/a"}}));
  EXPECT_EQ(Show(t.top), "[Odd](g:6) s:5");
}

// --- The organizer's edits -------------------------------------------------------

TEST(BookOrganizerTest, EmptyFileHoldsOnlyTheRoot) {
  BookOrganizer o;
  o.Load({});
  EXPECT_EQ(o.NodeCount(), 1);
  EXPECT_EQ(o.NodeAt(0).name, kRootGroupName);
  EXPECT_EQ(o.NodeAt(0).id, "0");
  EXPECT_TRUE(o.MarksOf(0).empty());
  EXPECT_TRUE(o.TreeOrder().empty());
}

TEST(BookOrganizerTest, NewGroupIdsFillTheGaps) {
  BookOrganizer o;
  o.Load(Sections({{"a", "A0|0"}, {"c", "A2|0"}}, {}));
  int n1 = -1, n2 = -1;
  ASSERT_EQ(o.AddGroup(0, "b", &n1), BookOrganizer::Edit::kDone);
  EXPECT_EQ(o.NodeAt(n1).id, "A1");
  ASSERT_EQ(o.AddGroup(n1, "d", &n2), BookOrganizer::Edit::kDone);
  EXPECT_EQ(o.NodeAt(n2).id, "A3");
  // A child group is written after its parent with the parent's ID.
  const BookSections r = o.Result();
  ASSERT_EQ(r.groups.size(), 4u);
  EXPECT_EQ(r.groups[2].name, "b");
  EXPECT_EQ(r.groups[3].name, "d");
  EXPECT_EQ(r.groups[3].parent, "A1");
}

TEST(BookOrganizerTest, NamesAreCheckedAgainstEveryGroupAndBookmark) {
  BookOrganizer o;
  o.Load(Sections({{"News", "A0|0"}, {"Old", "A1|A0"}}, {{"Deep", "A1|1|/a"}, {"Top", "2|/a"}}));
  using E = BookOrganizer::Edit;
  EXPECT_EQ(o.AddGroup(0, "old"), E::kDuplicate);  // a sub-group, other letter case
  EXPECT_EQ(o.AddGroup(0, "Deep"), E::kDuplicate);  // a bookmark inside a group
  EXPECT_EQ(o.AddGroup(0, kRootGroupName), E::kDuplicate);
  EXPECT_EQ(o.AddGroup(0, "  "), E::kEmpty);
  EXPECT_EQ(o.AddGroup(0, "[x]"), E::kNotAKey);
  EXPECT_EQ(o.RenameMark(1, "deep"), E::kDuplicate);
  EXPECT_EQ(o.RenameMark(1, "News"), E::kDuplicate);
  EXPECT_EQ(o.RenameMark(1, ""), E::kEmpty);
  EXPECT_EQ(o.RenameMark(1, "Top"), E::kUnchanged);
  EXPECT_EQ(o.RenameMark(1, "a=b"), E::kNotAKey);
  EXPECT_EQ(o.RenameMark(1, "TOP"), E::kDone);  // only its own letter case
  EXPECT_EQ(o.RenameGroup(1, "Top"), E::kDuplicate);
  EXPECT_EQ(o.RenameGroup(0, "x"), E::kUnchanged);  // the root keeps its name
  EXPECT_EQ(o.Marks()[1].name, "TOP");
  EXPECT_EQ(o.NodeAt(1).name, "News");
}

TEST(BookOrganizerTest, DeletingAGroupTakesSubGroupsAndTheirBookmarks) {
  BookOrganizer o;
  o.Load(Sections({{"G", "A0|0"}, {"S", "A1|A0"}, {"SS", "A2|A1"}, {"Other", "A3|0"}},
                  {{"g", "A0|1|/a"}, {"s", "A1|2|/a"}, {"ss", "A2|3|/a"}, {"o", "A3|4|/a"},
                   {"r", "5|/a"}, {"bad", "A1|x|/a"}}));
  o.DeleteGroup(0);  // never the root
  EXPECT_EQ(o.TreeOrder().size(), 4u);
  o.DeleteGroup(1);
  const BookSections r = o.Result();
  ASSERT_EQ(r.groups.size(), 1u);
  EXPECT_EQ(r.groups[0].name, "Other");
  std::vector<std::string> names;
  for (const auto& m : r.marks) names.push_back(m.name);
  EXPECT_EQ(names, (std::vector<std::string>{"o", "r", "bad"}));
}

TEST(BookOrganizerTest, MoveAndRenameKeepOrderAndValues) {
  BookOrganizer o;
  o.Load(Sections({{"G", "A0|0"}}, {{"a", "1|/a"}, {"b", "0|2|/b"}, {"c", "3|/c"}, {"d", "A0|4|/d"}}));
  EXPECT_EQ(o.MarksOf(0), (std::vector<std::size_t>{0, 1, 2}));
  o.MoveMarks({0, 2}, 1);
  ASSERT_EQ(o.RenameGroup(1, "Renamed"), BookOrganizer::Edit::kDone);
  EXPECT_EQ(o.MarksOf(1), (std::vector<std::size_t>{0, 2, 3}));
  const BookSections r = o.Result();
  ASSERT_EQ(r.groups.size(), 1u);
  EXPECT_EQ(r.groups[0].name, "Renamed");
  EXPECT_EQ(r.groups[0].id, "A0");
  EXPECT_EQ(r.marks[0].name, "a");
  EXPECT_EQ(r.marks[0].groupId, "A0");
  EXPECT_EQ(r.marks[1].groupId, "0");
  EXPECT_EQ(r.marks[2].groupId, "A0");

  // A destination that is gone, or none at all, moves nothing.
  int added = -1;
  ASSERT_EQ(o.AddGroup(0, "Gone", &added), BookOrganizer::Edit::kDone);
  o.DeleteGroup(added);
  o.MoveMarks({1}, added);
  o.MoveMarks({1}, -1);
  o.MoveMarks({1}, o.NodeCount());
  EXPECT_EQ(o.Result().marks[1].groupId, "0");
}

TEST(BookOrganizerTest, AGroupWhoseParentIsUnknownGoesUnderTheRoot) {
  BookOrganizer o;
  o.Load(Sections({{"Late", "A1|A0"}, {"Early", "A0|0"}, {"Second", "A2|0"}, {"Sub", "A3|A2"}}, {}));
  const BookSections r = o.Result();
  ASSERT_EQ(r.groups.size(), 4u);
  EXPECT_EQ(r.groups[0].name, "Late");
  EXPECT_EQ(r.groups[0].parent, "0");
  // A known parent is found by its ID, not by position.
  EXPECT_EQ(r.groups[3].name, "Sub");
  EXPECT_EQ(r.groups[3].parent, "A2");
  EXPECT_EQ(o.NodeAt(4).parent, 3);
}

// --- Reading and writing the file ----------------------------------------------

TEST_F(BookmarksTest, OkWritesGroupedFormsAndKeepsUnreadableEntriesInPlace) {
  std::string longPath = "/" + std::string(300, 'p') + "/x.log";
  Put("[Option]\r\nSortType=0\r\n[Book Dir]\r\nNews=A0|0\r\n[Book Mark]\r\nshort=3|/s.log\r\n"
      "bad=A0|zz|/b.log\r\nlong=A0|7|" + longPath + "\r\nempty=\r\nzero=0|0|/z.log\r\n"
      "[FileName]\r\nFile_0=/f.log\r\n");
  ProfileFile ini(path_);
  BookOrganizer o;
  o.Load(ReadBookSections(ini));
  WriteBookSections(ini, o.Result());
  EXPECT_EQ(Get(),
            "[Option]\r\nSortType=0\r\n[FileName]\r\nFile_0=/f.log\r\n[Book Dir]\r\nNews=A0|0\r\n"
            "[Book Mark]\r\nshort=0|3|/s.log\r\nbad=A0|zz|/b.log\r\nlong=A0|7|" + longPath +
            "\r\nempty=\r\nzero=0|0|/z.log\r\n");
  const BookSections again = Read();
  ASSERT_EQ(again.marks.size(), 5u);
  EXPECT_EQ(again.marks[2].storedPath, longPath);
}

// Found by the fuzzer: what the reader gives must read back the same after OK,
// stray CRs inside a line, values that look quoted and values with blanks at
// their ends (inside quotes) included.
TEST_F(BookmarksTest, OddEntriesReadBackTheSameAfterOk) {
  Put("[Book Dir]\r\n|00\r=A1|A0\r\nQ=\"A5|0\"\r\n[Book Mark]\r\nk\rx=\"\"x\"\"\r\n"
      "cr=3|/p\r\r\nq2=''\r\nq3=\"'x \"\r\nq4=\"\t'x'\"\r\n");
  ProfileFile ini(path_);
  const BookSections first = ReadBookSections(ini);
  ASSERT_EQ(first.marks.size(), 5u);
  EXPECT_EQ(first.marks[3].value, "'x ");
  EXPECT_EQ(first.marks[4].value, "\t'x'");
  EXPECT_EQ(first.marks[0].value, "\"x\"");
  BookOrganizer o;
  o.Load(first);
  WriteBookSections(ini, o.Result());
  const BookSections again = ReadBookSections(ini);
  ASSERT_EQ(again.groups.size(), 2u);
  EXPECT_EQ(again.groups[0].name, "|00\r");
  EXPECT_EQ(again.groups[1].id, "A5");
  ASSERT_EQ(again.marks.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    const BookMark &a = again.marks[i], &b = first.marks[i];
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.readable, b.readable);
    EXPECT_EQ(a.readable ? a.groupId + "|" + a.storedPath : a.value,
              b.readable ? b.groupId + "|" + b.storedPath : b.value);
  }
  EXPECT_EQ(again.marks[1].storedPath, "/p\r");
}

TEST_F(BookmarksTest, EmptyResultErasesBothSections) {
  Put("[Book Dir]\r\nG=A0|0\r\n[Book Mark]\r\nm=A0|1|/a\r\n[Option]\r\nTop=1\r\n");
  ProfileFile ini(path_);
  BookOrganizer o;
  o.Load(ReadBookSections(ini));
  o.DeleteGroup(1);
  WriteBookSections(ini, o.Result());
  EXPECT_EQ(Get(), "[Option]\r\nTop=1\r\n");
}

TEST_F(BookmarksTest, ThousandsOfBookmarksSurviveOkWithOneReading) {
  std::string file = "[Book Dir]\r\n";
  for (int g = 0; g < 50; ++g) file += "Group " + std::to_string(g) + "=A" + std::to_string(g) + "|0\r\n";
  file += "[Book Mark]\r\n";
  for (int i = 0; i < 2000; ++i) {
    file += "Bookmark number " + std::to_string(i) + "=A" + std::to_string(i % 50) + "|" +
            std::to_string(i) + "|/home/user/logs/forum" + std::to_string(i % 7) + ".log\r\n";
  }
  Put(file);
  static int reads;  // readings of the whole file: the reads that meet its end
  reads = 0;
  SetProfileReadForTesting([](int fd, void* buf, std::size_t n) -> long {
    const long got = ::read(fd, buf, n);
    if (got == 0) ++reads;
    return got;
  });
  ProfileFile ini(path_);
  const BookSections s = ReadBookSections(ini);
  EXPECT_LE(reads, 2);  // each section from one reading, not one per key
  EXPECT_EQ(BuildBookMenuTree(s).top.size(), 50u);
  BookOrganizer o;
  o.Load(s);
  reads = 0;
  WriteBookSections(ini, o.Result());
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(Get(), file);
}

// A read error before a write must not leave a file of only what is written.
TEST_F(BookmarksTest, AReadErrorBeforeAWriteLeavesTheFileAlone) {
  const std::string before = "[Option]\r\nTop=5\r\n[Book Mark]\r\nm=1|/a\r\n";
  Put(before);
  SetProfileReadForTesting([](int, void*, std::size_t) -> long {
    errno = EIO;
    return -1;
  });
  ProfileFile ini(path_);
  EXPECT_THROW(ini.WriteString("Book Mark", "n", "2|/b"), ProfileWriteError);
  EXPECT_THROW(WriteBookSections(ini, {}), ProfileWriteError);
  ini.EraseSection("Option");
  EXPECT_TRUE(ini.ReadSection("Book Mark").empty());  // reads give nothing, as for a missing file
  SetProfileReadForTesting(nullptr);
  EXPECT_EQ(Get(), before);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"Kest.INI"});
}

TEST_F(BookmarksTest, ReadSectionMatchesTheSingleReads) {
  Put("[book mark]\r\n a = \"q\" \r\nB=1\r\n[Other]\r\nx=1\r\n[BOOK MARK]\r\nb=2\r\nc=3\r\n");
  ProfileFile ini(path_);
  const ProfileFile::Entries e = ini.ReadSection("Book Mark");
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0], (std::pair<std::string, std::string>{"a", "q"}));
  EXPECT_EQ(e[1], (std::pair<std::string, std::string>{"B", "1"}));  // the first "b" wins
  EXPECT_EQ(e[2], (std::pair<std::string, std::string>{"c", "3"}));
  for (const auto& [k, v] : e) EXPECT_EQ(ini.ReadString("Book Mark", k, "?"), v);
}

}  // namespace
