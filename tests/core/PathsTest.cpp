#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Codec.h"

namespace kest {
namespace {

TEST(Paths, ShiftJisPathsAreStoredAsTheirBytes) {
  const std::string path = "/home/太郎/ログ/ﾊﾟｿｺﾝ 1996.log";
  const std::string stored = PathToProfile(path);
  EXPECT_EQ(stored, Utf8ToSjis(path));
  EXPECT_EQ(PathFromProfile(stored), path);
  // A value an older program wrote reads as before.
  EXPECT_EQ(PathFromProfile(Utf8ToSjis("/tmp/会議室.LOG")), "/tmp/会議室.LOG");
}

TEST(Paths, NamesWithoutAShiftJisFormReadBackExactly) {
  for (const std::string& path : std::initializer_list<std::string>{
           "/home/u/한국어.log",            // no CP932 form at all
           "/home/u/emoji 😀 %41.log",      // four-byte UTF-8 and a literal '%'
           "/home/u/\u2016\u2225.log",      // CP932 folds some pairs onto one code
           "/home/u/line\nbreak=x|y.log",  // control characters, '=' and '|'
           std::string("/home/u/") + std::string(300, 'a') + "\xC3\xA9.log",
       }) {
    const std::string stored = PathToProfile(path);
    EXPECT_EQ(PathFromProfile(stored), path) << stored;
    for (unsigned char c : stored) EXPECT_TRUE(c > 0x20 && c < 0x7F) << stored;
  }
  EXPECT_EQ(PathToProfile("/x/한.log"), "utf-8:/x/%ED%95%9C.log");
}

TEST(Paths, TheMarkCannotBeForgedByAPlainName) {
  // A relative name that happens to begin with the mark still comes back.
  EXPECT_EQ(PathFromProfile(PathToProfile("utf-8:%41")), "utf-8:%41");
  // A malformed escape is kept as it stands.
  EXPECT_EQ(PathFromProfile("utf-8:/a%4/b%"), "/a%4/b%");
}

}  // namespace
}  // namespace kest
