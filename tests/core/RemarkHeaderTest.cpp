// The one remark header: the status panels, the printed first line and the
// bookmark name offered are made from the same fields.
#include <gtest/gtest.h>

#include "log/RemarkHeader.h"
#include "platform/Codec.h"

using namespace kest;

namespace {

std::string S(const char* utf8) { return Utf8ToSjis(utf8); }

TEST(RemarkHeaderTest, PanelsAndLineWithAndWithoutARemark) {
  const RemarkHeader h{RemarkNo(301), "ABC00001", S("山田太郎        "), S("ﾀｲﾄﾙ　です "), "96/01/02"};
  const auto panels = PanelTexts(h);
  EXPECT_EQ(panels[0], "301");
  EXPECT_EQ(panels[1], "ID: ABC00001");
  EXPECT_EQ(panels[2], S("発言者: 山田太郎        "));
  EXPECT_EQ(panels[3], S("ﾀｲﾄﾙ: ﾀｲﾄﾙ　です "));
  EXPECT_EQ(HeaderLine(h), panels[0] + "  " + panels[1] + "  " + panels[2] + "  " + panels[3]);

  const auto none = PanelTexts(std::nullopt);
  EXPECT_EQ(none[0], "");
  EXPECT_EQ(none[1], "ID:");
  EXPECT_EQ(none[2], S("発言者:"));
  EXPECT_EQ(none[3], S("ﾀｲﾄﾙ:"));
  EXPECT_EQ(HeaderLine(std::nullopt), S("  ID:  発言者:  ﾀｲﾄﾙ:"));
}

TEST(RemarkHeaderTest, ProposedNameTrimsBlanksOfBothWidthsAsWholeCharacters) {
  RemarkHeader h{RemarkNo(1), "ABC00001", S("　山田 \t"), S("  題名　　"), ""};
  EXPECT_EQ(ProposedBookmarkName(h), S("山田 題名"));
  // 0x81 0x40 is a full-width blank only where 0x81 begins a character: in
  // "\x8A\x81" + "@" the 0x81 is a trail byte and the '@' a character of its own.
  h.Speaker = "\x8A\x81@";
  h.Title = "";
  EXPECT_EQ(ProposedBookmarkName(h), "\x8A\x81@ ");
  EXPECT_EQ(TrimSjisBlanks("   "), "");
  EXPECT_EQ(TrimSjisBlanks(S("　a　b　")), S("a　b"));
}

}  // namespace
