// The search window's frame and columns in Kest.INI: read back as written,
// damaged values taken for the defaults, and a write that leaves what
// another window wrote where this one changed nothing.
#include <gtest/gtest.h>

#include "library/LibraryLayout.h"

namespace kest {
namespace {

ProfileText Ini(std::vector<std::string> lines) { return ProfileText(std::move(lines)); }

LibraryWindowLayout Moved() {
  LibraryWindowLayout l;
  l.Left = -20;
  l.Top = 30;
  l.Width = 640;
  l.Height = 480;
  l.Column(LibraryColumn::Date) = 120;
  l.Column(LibraryColumn::File) = 77;
  return l;
}

TEST(LibraryLayout, WrittenAndReadBack) {
  const LibraryWindowLayout none = ReadLibraryWindowLayout(Ini({"[Option]", "Left=5", "Top=6"}));
  EXPECT_EQ(none, LibraryWindowLayout{});
  EXPECT_FALSE(none.Left || none.Top || none.Width || none.Height);

  ProfileText ini = Ini({"[Option]", "Top=40"});
  WriteLibraryWindowLayout(ini, Moved());
  EXPECT_EQ(ini.Lines(), (std::vector<std::string>{"[Option]", "Top=40", "[Library]", "Left=-20", "Top=30",
                                                   "Width=640", "Height=480", "DateWidth=120", "ForumWidth=150",
                                                   "NumberWidth=50", "PosterWidth=150", "TitleWidth=170",
                                                   "FileWidth=77"}));
  EXPECT_EQ(ReadLibraryWindowLayout(ini), Moved());

  // Never placed: no corner and no size written.
  ProfileText fresh;
  WriteLibraryWindowLayout(fresh, LibraryWindowLayout{});
  EXPECT_FALSE(fresh.HasKey("Library", "Left") || fresh.HasKey("Library", "Width"));
  EXPECT_EQ(fresh.ReadInteger("Library", "NumberWidth", 0), 50);
}

TEST(LibraryLayout, DamagedValuesAreTheDefaults) {
  const LibraryWindowLayout l = ReadLibraryWindowLayout(
      Ini({"[library]", "Left=abc", "Top=10", "Width=99", "Height=0x7FFFFFFF", "DateWidth=0", "ForumWidth=10001",
           "NumberWidth=", "PosterWidth=16", "TitleWidth=10000", "FileWidth=15"}));
  EXPECT_FALSE(l.Left || l.Top);      // half a corner is none
  EXPECT_FALSE(l.Width || l.Height);  // too narrow
  EXPECT_EQ(l.Columns, (std::array<std::int32_t, kLibraryColumns>{90, 150, 50, 16, 10000, 150}));

  // The extremes of a number are numbers; a size larger than any screen is
  // kept for the window to shrink.
  const LibraryWindowLayout far = ReadLibraryWindowLayout(
      Ini({"[Library]", "Left=-2147483648", "Top=2147483647", "Width=100", "Height=$7FFFFFFF"}));
  EXPECT_EQ(far.Left, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(far.Top, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(far.Width, 100);
  EXPECT_EQ(far.Height, std::numeric_limits<std::int32_t>::max());
  EXPECT_FALSE(ReadLibraryWindowLayout(Ini({"[Library]", "Left=1", "Top=1", "Width=100", "Height=-500"})).Width);
}

// Another window wrote its layout after this one read it: what this one
// changed goes in, the corner and the size each whole; the rest stays.
TEST(LibraryLayout, AWriteKeepsWhatAnotherWindowWrote) {
  const LibraryWindowLayout base = Moved();
  ProfileText ini = Ini({"[Library]", "Left=700", "Top=800", "Width=900", "Height=1000", "DateWidth=60",
                         "ForumWidth=61", "NumberWidth=62", "PosterWidth=63", "TitleWidth=64", "FileWidth=65"});

  LibraryWindowLayout mine = base;
  WriteLibraryWindowLayout(ini, mine, base);
  EXPECT_FALSE(ini.Changed());  // nothing of this window's changed

  mine.Top = 31;
  mine.Height = 481;
  mine.Column(LibraryColumn::Title) = 99;
  WriteLibraryWindowLayout(ini, mine, base);
  const LibraryWindowLayout now = ReadLibraryWindowLayout(ini);
  EXPECT_EQ(now.Left, -20);
  EXPECT_EQ(now.Top, 31);
  EXPECT_EQ(now.Width, 640);
  EXPECT_EQ(now.Height, 481);
  EXPECT_EQ(now.Columns, (std::array<std::int32_t, kLibraryColumns>{60, 61, 62, 63, 99, 65}));

  // Without a base every value is this window's.
  WriteLibraryWindowLayout(ini, base);
  EXPECT_EQ(ReadLibraryWindowLayout(ini), base);
}

}  // namespace
}  // namespace kest
