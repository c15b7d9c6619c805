#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/ColorGrd.h"
#include "settings/FontSize.h"

using namespace kest;

namespace {

constexpr std::int32_t kSysWindow = static_cast<std::int32_t>(0x80000005u);
constexpr std::int32_t kSysText = static_cast<std::int32_t>(0x80000008u);

// A grid that counts its events.
struct Grid {
  ColorGridState s;
  int changes = 0;
  int clicks = 0;
  Grid() {
    s.OnChange = [this] { ++changes; };
    s.OnClick = [this] { ++clicks; };
  }
  // Walks the selection with one key and records every cell it stands on.
  std::vector<int> Walk(GridKey key, int steps) {
    std::vector<int> out;
    for (int i = 0; i < steps; ++i) {
      EXPECT_TRUE(s.KeyPress(key));
      out.push_back(s.Selection());
    }
    return out;
  }
};

}  // namespace

TEST(ColorTable, MapsBothWaysAndLeavesOtherColoursOut) {
  const std::int32_t table[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                  0x808000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                                  0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(IndexToColor(i), table[i]) << i;
    EXPECT_EQ(ColorToIndex(table[i]), i) << i;
  }
  EXPECT_EQ(ColorToIndex(kSysWindow), 16);
  EXPECT_EQ(ColorToIndex(kSysText), 16);
  EXPECT_EQ(ColorToIndex(0x123456), 16);
  EXPECT_EQ(ColorToIndex(0x01FFFFFF), 16);  // white with a stray high byte is not white
  EXPECT_EQ(IndexToColor(16), 0);
  EXPECT_EQ(IndexToColor(-1), 0);
}

TEST(ColorTable, MarkTextContrastsPerByte) {
  EXPECT_EQ(MarkTextColor(0x000000), 0xFFFFFF);  // white on black
  EXPECT_EQ(MarkTextColor(0xFFFFFF), 0x000000);  // black on white
  EXPECT_EQ(MarkTextColor(0x808080), 0x000000);  // 128 counts as light
  EXPECT_EQ(MarkTextColor(0x7F7F7F), 0xFFFFFF);
  EXPECT_EQ(MarkTextColor(0x800000), 0x00FFFF);  // navy: blue byte light, red and green dark
  EXPECT_EQ(MarkTextColor(0x0000FF), 0xFFFF00);  // red
}

TEST(ColorGrid, OrderingsGiveColumnsAndRows) {
  ColorGridState s;
  EXPECT_EQ(s.Ordering(), go4x4);
  const int cols[] = {16, 8, 4, 2, 1};
  for (int o = go16x1; o <= go1x16; ++o) {
    s.SetOrdering(static_cast<GridOrdering>(o));
    EXPECT_EQ(s.Columns(), cols[o]);
    EXPECT_EQ(s.Rows(), 16 / cols[o]);
  }
  s.SetOrdering(static_cast<GridOrdering>(7));  // no such layout: ignored
  EXPECT_EQ(s.Ordering(), go1x16);
  s.SetOrdering(static_cast<GridOrdering>(-1));
  EXPECT_EQ(s.Ordering(), go1x16);
}

TEST(ColorGrid, CellGeometryAndClamping) {
  ColorGridState s;  // 4 x 4
  const CellRect r = s.CellBounds(6, 100, 100);
  EXPECT_EQ(r.x, 50);
  EXPECT_EQ(r.y, 25);
  EXPECT_EQ(r.width, 25);
  EXPECT_EQ(r.height, 25);
  EXPECT_EQ(s.CellAt(0, 0, 100, 100), 0);
  EXPECT_EQ(s.CellAt(99, 99, 100, 100), 15);
  EXPECT_EQ(s.CellAt(25, 24, 100, 100), 1);
  EXPECT_EQ(s.CellAt(-40, 60, 100, 100), 8);     // left of the grid: first column
  EXPECT_EQ(s.CellAt(500, -3, 100, 100), 3);     // right and above: top right cell
  EXPECT_EQ(s.CellAt(500, 500, 100, 100), 15);
  EXPECT_EQ(s.SnapWidth(103), 100);
  EXPECT_EQ(s.SnapHeight(2), 4);  // never smaller than one pixel a cell
  s.SetOrdering(go16x1);
  EXPECT_EQ(s.CellAt(99, 0, 160, 10), 9);
  EXPECT_EQ(s.SnapWidth(100), 96);
}

TEST(ColorGrid, IndexesFireOnChangeOnlyWhenTheyMove) {
  Grid g;
  EXPECT_EQ(g.s.ForegroundIndex(), 0);
  EXPECT_EQ(g.s.BackgroundIndex(), 0);
  g.s.SetForegroundIndex(0);
  g.s.SetBackgroundIndex(0);
  EXPECT_EQ(g.changes, 0);
  g.s.SetForegroundIndex(15);
  EXPECT_EQ(g.changes, 1);
  g.s.SetForegroundIndex(15);
  EXPECT_EQ(g.changes, 1);
  g.s.SetBackgroundIndex(16);  // outside the table: ignored
  g.s.SetForegroundIndex(-1);
  EXPECT_EQ(g.changes, 1);
  EXPECT_EQ(g.s.ForegroundIndex(), 15);
  EXPECT_EQ(g.s.BackgroundIndex(), 0);
}

TEST(ColorGrid, MarksShowFgBgOrFbAndHideWhenDisabled) {
  ColorGridState s;
  EXPECT_STREQ(s.MarkText(0), "FB");  // both start on cell 0
  s.SetForegroundIndex(15);
  EXPECT_STREQ(s.MarkText(15), "FG");
  EXPECT_STREQ(s.MarkText(0), "BG");
  EXPECT_STREQ(s.MarkText(5), "");
  s.SetBackgroundEnabled(false);
  EXPECT_STREQ(s.MarkText(0), "");
  s.SetBackgroundIndex(15);
  EXPECT_STREQ(s.MarkText(15), "FG");
  s.SetBackgroundEnabled(true);
  EXPECT_STREQ(s.MarkText(15), "FB");
}

TEST(ColorGrid, LeftButtonMovesFgOtherButtonsBgAndDragFollows) {
  Grid g;
  g.s.MouseDown(GridButton::Left, 60, 30, 100, 100);  // cell 6
  EXPECT_EQ(g.s.ForegroundIndex(), 6);
  EXPECT_EQ(g.s.Selection(), 6);
  EXPECT_EQ(g.changes, 1);
  g.s.MouseMove(80, 30, 100, 100);  // cell 7
  g.s.MouseMove(80, 30, 100, 100);  // same cell: no event
  EXPECT_EQ(g.s.ForegroundIndex(), 7);
  EXPECT_EQ(g.changes, 2);
  g.s.MouseMove(-10, 500, 100, 100);  // dragged off the grid: clamped to cell 12
  EXPECT_EQ(g.s.ForegroundIndex(), 12);
  g.s.MouseUp(GridButton::Left);
  g.s.MouseMove(0, 0, 100, 100);  // after the release nothing follows
  EXPECT_EQ(g.s.ForegroundIndex(), 12);
  EXPECT_EQ(g.s.BackgroundIndex(), 0);

  g.s.MouseDown(GridButton::Right, 99, 99, 100, 100);
  EXPECT_EQ(g.s.BackgroundIndex(), 15);
  g.s.MouseMove(30, 0, 100, 100);
  EXPECT_EQ(g.s.BackgroundIndex(), 1);
  EXPECT_EQ(g.s.ForegroundIndex(), 12);  // the drag moves only its own mark
  g.s.MouseUp(GridButton::Right);
  g.s.MouseDown(GridButton::Middle, 0, 0, 100, 100);
  EXPECT_EQ(g.s.BackgroundIndex(), 0);
}

TEST(ColorGrid, BothButtonsOnOneCellShowFb) {
  ColorGridState s;
  s.MouseDown(GridButton::Left, 30, 80, 100, 100);
  s.MouseUp(GridButton::Left);
  s.MouseDown(GridButton::Right, 30, 80, 100, 100);
  s.MouseUp(GridButton::Right);
  EXPECT_EQ(s.ForegroundIndex(), 13);
  EXPECT_EQ(s.BackgroundIndex(), 13);
  EXPECT_STREQ(s.MarkText(13), "FB");
}

TEST(ColorGrid, DisabledMarkMovesOnlyWhenClickEnablesColor) {
  Grid g;
  g.s.SetForegroundEnabled(false);
  g.s.MouseDown(GridButton::Left, 99, 99, 100, 100);
  EXPECT_EQ(g.s.ForegroundIndex(), 0);
  EXPECT_FALSE(g.s.ForegroundEnabled());
  EXPECT_EQ(g.s.Selection(), 15);  // the cell is still selected
  g.s.MouseMove(50, 50, 100, 100);
  EXPECT_EQ(g.s.ForegroundIndex(), 0);  // no drag began
  g.s.MouseUp(GridButton::Left);
  EXPECT_EQ(g.changes, 0);

  g.s.ClickEnablesColor = true;
  g.s.MouseDown(GridButton::Left, 99, 99, 100, 100);
  EXPECT_TRUE(g.s.ForegroundEnabled());
  EXPECT_EQ(g.s.ForegroundIndex(), 15);
  EXPECT_EQ(g.changes, 1);
}

TEST(ColorGrid, HorizontalKeysWrapAtBothEnds) {
  Grid g;
  EXPECT_EQ(g.Walk(GridKey::Left, 2), (std::vector<int>{15, 14}));
  EXPECT_EQ(g.Walk(GridKey::Right, 3), (std::vector<int>{15, 0, 1}));
  EXPECT_EQ(g.Walk(GridKey::Space, 1), (std::vector<int>{2}));
  g.Walk(GridKey::End, 1);
  EXPECT_EQ(g.s.Selection(), 15);
  g.Walk(GridKey::Home, 1);
  EXPECT_EQ(g.s.Selection(), 0);
  EXPECT_EQ(g.changes, 0);  // the selection is not a mark
  EXPECT_FALSE(g.s.KeyPress(GridKey::Other));
}

TEST(ColorGrid, VerticalKeysWrapIntoTheNeighbouringColumn) {
  Grid g;  // 4 x 4
  g.s.SetSelection(13);
  // Down from the bottom row goes to the top of the next column.
  EXPECT_EQ(g.Walk(GridKey::Down, 5), (std::vector<int>{2, 6, 10, 14, 3}));
  EXPECT_EQ(g.Walk(GridKey::Down, 4), (std::vector<int>{7, 11, 15, 0}));  // last cell to cell 0
  // Up from the top row goes to the bottom of the previous column.
  EXPECT_EQ(g.Walk(GridKey::Up, 1), (std::vector<int>{15}));  // cell 0 to the last cell
  g.s.SetSelection(2);
  EXPECT_EQ(g.Walk(GridKey::Up, 3), (std::vector<int>{13, 9, 5}));

  g.s.SetOrdering(go16x1);  // one row: Up and Down step along it
  g.s.SetSelection(5);
  EXPECT_EQ(g.Walk(GridKey::Up, 1), (std::vector<int>{4}));
  EXPECT_EQ(g.Walk(GridKey::Down, 2), (std::vector<int>{5, 6}));
  g.s.SetOrdering(go1x16);  // one column
  g.s.SetSelection(15);
  EXPECT_EQ(g.Walk(GridKey::Down, 2), (std::vector<int>{0, 1}));
  g.s.SetOrdering(go8x2);
  g.s.SetSelection(9);
  EXPECT_EQ(g.Walk(GridKey::Up, 2), (std::vector<int>{1, 8}));
  EXPECT_EQ(g.Walk(GridKey::Down, 1), (std::vector<int>{1}));
}

TEST(ColorGrid, FAndBSetTheirMarkToTheSelectionAndClick) {
  Grid g;
  g.s.SetSelection(9);
  EXPECT_TRUE(g.s.KeyPress(GridKey::F));
  EXPECT_EQ(g.s.ForegroundIndex(), 9);
  EXPECT_EQ(g.changes, 1);
  EXPECT_EQ(g.clicks, 1);
  EXPECT_TRUE(g.s.KeyPress(GridKey::F));  // same cell: a click, no change
  EXPECT_EQ(g.changes, 1);
  EXPECT_EQ(g.clicks, 2);
  g.s.KeyPress(GridKey::Right);
  g.s.KeyPress(GridKey::B);
  EXPECT_EQ(g.s.BackgroundIndex(), 10);
  EXPECT_EQ(g.s.ForegroundIndex(), 9);
  EXPECT_EQ(g.changes, 2);
  EXPECT_EQ(g.clicks, 3);
}

TEST(ColorGrid, FAndBOnADisabledMarkFollowClickEnablesColor) {
  Grid g;
  g.s.SetForegroundEnabled(false);
  g.s.SetSelection(4);
  g.s.KeyPress(GridKey::F);
  EXPECT_EQ(g.s.ForegroundIndex(), 0);
  EXPECT_FALSE(g.s.ForegroundEnabled());
  EXPECT_EQ(g.changes, 0);
  EXPECT_EQ(g.clicks, 1);  // the click fires all the same
  g.s.ClickEnablesColor = true;
  g.s.KeyPress(GridKey::F);
  EXPECT_TRUE(g.s.ForegroundEnabled());
  EXPECT_EQ(g.s.ForegroundIndex(), 4);
  EXPECT_EQ(g.changes, 1);
}

TEST(PaneFontSize, StoredSizesThatCannotBeReadAreShownAtTheNearestThatCan) {
  EXPECT_EQ(ShownFontSize(14).size, 14);
  EXPECT_FALSE(ShownFontSize(14).pixels);
  EXPECT_EQ(ShownFontSize(0).size, kDefaultFontPoints);
  EXPECT_FALSE(ShownFontSize(0).pixels);
  EXPECT_EQ(ShownFontSize(100000).size, kMaxFontPoints);
  EXPECT_EQ(ShownFontSize(kMaxFontPoints).size, kMaxFontPoints);
  EXPECT_EQ(ShownFontSize(1).size, kMinFontPoints);
  EXPECT_EQ(ShownFontSize(kMinFontPoints).size, kMinFontPoints);
  const PaneFontSize px = ShownFontSize(-13);
  EXPECT_TRUE(px.pixels);
  EXPECT_EQ(px.size, 13);
  EXPECT_EQ(ShownFontSize(-100000).size, kMaxFontPixels);
  EXPECT_EQ(ShownFontSize(INT32_MIN).size, kMaxFontPixels);
  EXPECT_TRUE(ShownFontSize(INT32_MIN).pixels);
  EXPECT_EQ(ShownFontSize(-1).size, kMinFontPixels);
}
