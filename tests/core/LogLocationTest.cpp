// The name that keeps a log in an archive: its one string form, and its
// round trip through Kest.INI, the recent files and the bookmarks.
#include "archive/LogLocation.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "bookmarks/BookStore.h"
#include "core/LogFixture.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "settings/RecentFiles.h"

namespace kest {

void PrintTo(const LogLocation& loc, std::ostream* os) {
  *os << '{' << loc.file << " | " << loc.member << '}';
}

namespace {

// Members whose names hold whatever a name can: folders, the separator of
// the form itself, blanks at the end, characters without a Shift-JIS form,
// the marks of the other stored forms, a line break.
std::vector<LogLocation> Members() {
  return {
      {"/home/u/logs/forum.lzh", "sub/表示.log"},
      {"/home/u/logs/forum.lzh", "ソフト.log"},
      {"/home/u/ログ/過去.zip", "a//b.log"},
      {"/home/u/a.zip", "/etc/passwd"},
      {"/home/u/a.zip", "ends in a blank "},
      {"/home/u/a.zip", " starts with one"},
      {"/home/u/a.zip", "\"quoted\""},
      {"/home/u/a.zip", "😀 emoji.log"},
      {"/home/u/😀.zip", "a.log"},
      {"/home/u/a.zip", "archive:/x.lzh//y.log"},
      {"/home/u/a.zip", "utf-8:/a%20b"},
      {"/home/u/a.zip", "1|2|x=y.log"},
      {"/home/u/a.zip", "line\nbreak"},
  };
}

TEST(LogLocation, FormatAndParseRoundTrip) {
  for (const LogLocation& loc : Members()) {
    SCOPED_TRACE(loc.member);
    const std::string name = loc.Format();
    EXPECT_TRUE(name.starts_with("archive:/")) << name;
    EXPECT_EQ(LogLocation::Parse(name), loc);
  }
  EXPECT_EQ(LogLocation({"/home/u/logs/forum.lzh", "sub/表示.log"}).Format(),
            "archive:/home/u/logs/forum.lzh//sub/表示.log");
  // A log of its own is named by its path, whatever the path holds.
  for (const char* path : {"/home/u/a.log", "/home/u/archive:/x//y.log", "/tmp/a b "}) {
    const LogLocation plain{path, ""};
    EXPECT_EQ(plain.Format(), path);
    EXPECT_EQ(LogLocation::Parse(path), plain);
    EXPECT_FALSE(LogLocation::Parse(path).InArchive());
  }
}

// No value an existing Kest.INI holds is read as a member: a path the
// program kept, one of the Windows program, or anything else but the
// member form itself.
TEST(LogLocation, OldValuesAreNeverMembers) {
  for (const char* value :
       {"/home/u/forum.lzh", "/home/u/archive:/x.lzh//y.log", "C:\\LOG\\FORUM.LOG", "c:/log/a.log",
        "\\\\server\\share\\a.log", "archive:", "archive:/", "archive:relative.lzh//x.log",
        "archive:/only.lzh", "archive:/x.lzh//", "archive://x.log", "ARCHIVE:/x.lzh//y.log",
        " archive:/x.lzh//y.log", "utf-8:/a%20b", "utf-8:/home/archive:/x.lzh//y.log", ""}) {
    for (const std::string& read : {std::string(value), PathFromProfile(value)}) {
      const LogLocation loc = LogLocation::Parse(read);
      EXPECT_FALSE(loc.InArchive()) << read;
      EXPECT_EQ(loc.file, read);
    }
  }
}

TEST(LogLocation, MemberPathsDisplayAndFolder) {
  const LogLocation m = LogLocation::Member("/home//u///logs/forum.lzh/", "sub/表示.log");
  EXPECT_EQ(m.file, "/home/u/logs/forum.lzh");
  EXPECT_EQ(LogLocation::Parse(m.Format()), m);
  const LogLocation rel = LogLocation::Member("forum.lzh", "a.log");
  EXPECT_EQ(rel.file, std::filesystem::current_path().string() + "/forum.lzh");
  EXPECT_EQ(m.Display(), "/home/u/logs/forum.lzh » sub/表示.log");
  EXPECT_EQ(m.Folder(), "/home/u/logs/");
  const LogLocation plain{"/home/u/a.log", ""};
  EXPECT_EQ(plain.Display(), "/home/u/a.log");
  EXPECT_EQ(plain.Folder(), "/home/u/");
}

// Through the settings file as the window keeps names: the recent files,
// the bookmarks in both their forms, and the open folder.
TEST(LogLocation, RoundTripThroughKestIni) {
  test::TempDir dir;
  ProfileFile ini(dir.Path() / "Kest.INI");
  std::vector<LogLocation> all = Members();
  all.push_back({"/home/u/a.log", ""});
  all.push_back({"/tmp/ends in a blank ", ""});

  BookSections sections;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const std::string stored = PathToProfile(all[i].Format());
    // The add command writes the short form at once...
    ini.WriteString(kBookMarkSection, "short" + std::to_string(i), AddedBookMarkValue(int(i) + 1, stored));
    // ...the organizer rewrites the sections in the grouped form.
    sections.marks.push_back(
        ParseBookMark("grouped" + std::to_string(i), GroupedBookMarkValue("0", 7, stored)));
  }
  BookSections read = ReadBookSections(ini);
  ASSERT_EQ(read.marks.size(), all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    ASSERT_TRUE(read.marks[i].readable) << i;
    EXPECT_EQ(read.marks[i].number, int(i) + 1);
    EXPECT_EQ(LogLocation::Parse(PathFromProfile(read.marks[i].storedPath)), all[i]) << i;
  }
  WriteBookSections(ini, sections);
  read = ReadBookSections(ini);
  ASSERT_EQ(read.marks.size(), all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(LogLocation::Parse(PathFromProfile(read.marks[i].storedPath)), all[i]) << i;
  }

  for (std::size_t first = 0; first < all.size(); first += RecentFiles::kCount) {
    const std::size_t n = std::min(all.size() - first, RecentFiles::kCount);
    RecentFiles recent;
    for (std::size_t i = first; i < first + n; ++i) recent.Push(all[i].Format());
    recent.Write(ini);
    RecentFiles again;
    again.Read(ini);
    for (std::size_t k = 0; k < n; ++k) EXPECT_EQ(LogLocation::Parse(again.At(k)), all[first + n - 1 - k]);
  }

  ini.WriteString("Option", "OpenFolder", PathToProfile(all[0].Folder()));
  EXPECT_EQ(PathFromProfile(ini.ReadString("Option", "OpenFolder", "")), "/home/u/logs/");
  // A name in Shift-JIS is kept as readable text.
  EXPECT_EQ(PathToProfile(all[0].Format()), Utf8ToSjis("archive:/home/u/logs/forum.lzh//sub/表示.log"));
}

}  // namespace
}  // namespace kest
