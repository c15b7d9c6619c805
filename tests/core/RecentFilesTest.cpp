#include "settings/RecentFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Profile.h"

namespace fs = std::filesystem;
using namespace kest;

namespace {

std::string List(const RecentFiles& r) {
  std::string s;
  for (std::size_t i = 0; i < RecentFiles::kCount; ++i) s += (i ? "," : "") + r.At(i);
  return s;
}

RecentFiles Abcde() {
  RecentFiles r;
  for (std::size_t i = 0; i < 5; ++i) r.Set(i, std::string(1, static_cast<char>('A' + i)));
  return r;
}

struct TempDir {
  fs::path path;
  TempDir() {
    std::string t = (fs::temp_directory_path() / "kest-recent-XXXXXX").string();
    path = ::mkdtemp(t.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

// The rotations: C moves up from the middle, E from the end, a new F drops
// E, and the head stays where it is.
TEST(RecentFiles, Rotations) {
  RecentFiles r = Abcde();
  EXPECT_TRUE(r.Push("C"));
  EXPECT_EQ(List(r), "C,A,B,D,E");
  r = Abcde();
  EXPECT_TRUE(r.Push("E"));
  EXPECT_EQ(List(r), "E,A,B,C,D");
  r = Abcde();
  EXPECT_TRUE(r.Push("F"));
  EXPECT_EQ(List(r), "F,A,B,C,D");
  r = Abcde();
  EXPECT_FALSE(r.Push("A"));
  EXPECT_EQ(List(r), "A,B,C,D,E");
  r = Abcde();
  EXPECT_TRUE(r.Push("B"));
  EXPECT_EQ(List(r), "B,A,C,D,E");
  r = Abcde();
  EXPECT_TRUE(r.Push("D"));
  EXPECT_EQ(List(r), "D,A,B,C,E");
}

TEST(RecentFiles, FillsFromEmptyAndComparesCase) {
  RecentFiles r;
  EXPECT_TRUE(r.Push("/LOG/A.LOG"));
  EXPECT_EQ(List(r), "/LOG/A.LOG,,,,");
  EXPECT_TRUE(r.Push("/log/a.log"));
  EXPECT_EQ(List(r), "/log/a.log,/LOG/A.LOG,,,");
  EXPECT_TRUE(r.Push("/LOG/A.LOG"));
  EXPECT_EQ(List(r), "/LOG/A.LOG,/log/a.log,,,");
}

// Shift-JIS paths stay plain Shift-JIS in the file (as older files hold
// them); a name outside Shift-JIS, or with a line break, reads back exactly.
TEST(RecentFiles, EveryNameReadsBackFromTheProfile) {
  TempDir dir;
  ProfileFile ini(dir.path / "Kest.INI");
  RecentFiles r;
  const std::string japanese = "/home/u/ログ/会議室.log";
  const std::string outside = "/home/u/한국어/Ωmega 😀.log";
  const std::string control = "/tmp/a\nb.log";
  const std::string longName = "/" + std::string(600, 'x') + ".log";
  r.Set(0, japanese);
  r.Set(1, outside);
  r.Set(2, control);
  r.Set(3, longName);
  r.Write(ini);
  EXPECT_EQ(ini.ReadString("FileName", "File_0", "?"),
            "/home/u/\x83\x8D\x83\x4F/\x89\xEF\x8B\x63\x8E\xBA.log");
  EXPECT_EQ(ini.ReadString("FileName", "File_4", "?"), "");
  RecentFiles back;
  back.Read(ini);
  EXPECT_EQ(List(back), List(r));
}

// A settings file the user may not write is never replaced, even where the
// folder would allow the rename (and even for the superuser).
TEST(RecentFiles, AReadOnlySettingsFileStaysAsItWas) {
  TempDir dir;
  const fs::path path = dir.path / "Kest.INI";
  std::ofstream(path, std::ios::binary) << "[FileName]\r\nFile_0=/old.log\r\n";
  ::chmod(path.c_str(), 0444);
  ProfileFile ini(path);
  RecentFiles r;
  r.Set(0, "/new.log");
  EXPECT_THROW(r.Write(ini), ProfileWriteError);
  EXPECT_EQ(Slurp(path), "[FileName]\r\nFile_0=/old.log\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
  // Writable again: written.
  ::chmod(path.c_str(), 0644);
  r.Write(ini);
  EXPECT_EQ(ini.ReadString("FileName", "File_0", "?"), "/new.log");
}

TEST(RecentFiles, ElideMiddle) {
  EXPECT_EQ(ElideMiddle("/short/path.log", 60), "/short/path.log");
  const std::string ten = "0123456789";
  EXPECT_EQ(ElideMiddle(ten, 10), ten);
  EXPECT_EQ(ElideMiddle(ten, 7), "01…6789");  // 2 + 1 + 4 columns
  const std::string path = "/home/user/" + std::string(200, 'd') + "/会議室ログ.log";
  const std::string e = ElideMiddle(path, 40);
  EXPECT_TRUE(e.starts_with("/home/user/d"));
  EXPECT_TRUE(e.ends_with("/会議室ログ.log"));
  EXPECT_NE(e.find("…"), std::string::npos);
  // Wide characters count two columns and are never cut in half.
  const std::string wide = "あいうえおかきくけこさしすせそ";  // 15 characters, 30 columns
  const std::string w = ElideMiddle(wide, 11);
  EXPECT_EQ(w, "あい…すせそ");  // 4 + 1 + 6
  // Two-byte characters (Greek, accented letters) are narrow and whole.
  EXPECT_EQ(ElideMiddle("ΩΩΩΩΩΩΩΩΩΩ", 7), "ΩΩ…ΩΩΩΩ");
  EXPECT_EQ(ElideMiddle("éa😀bcdefghi", 6), "é…fghi");
  // Half-width katakana are narrow.
  EXPECT_EQ(ElideMiddle("ﾛｸﾞﾌｧｲﾙ", 8), "ﾛｸﾞﾌｧｲﾙ");
  // A byte that is no UTF-8 is one column and kept as it is.
  EXPECT_EQ(ElideMiddle(std::string("ab\xFF"
                                    "cdefgh"),
                        6),
            std::string("a…efgh"));
}
