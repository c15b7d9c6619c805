#include "ui/PaneLayout.h"

#include <gtest/gtest.h>

#include <limits>

using namespace kest;

namespace {

// The design window: a client area 457 pixels high, tool bar 31, splitter
// bar 3, status bar 22, with the list `list` pixels high.
PaneGeometry Design(int list = 152, int client = 457) {
  PaneGeometry g;
  g.listTop = 31;
  g.listHeight = list;
  g.borderTop = g.listTop + list;
  g.memoTop = g.borderTop + 3;
  g.statusTop = client - 22;
  g.memoHeight = g.statusTop - g.memoTop;
  return g;
}

}  // namespace

TEST(PaneLayout, TheThreeLayouts) {
  const PaneGeometry g = Design();
  EXPECT_EQ(g.memoHeight, 249);
  EXPECT_EQ(MaximizeListHeight(g), 400);
  EXPECT_EQ(Design(400).memoHeight, 1);  // the text pane keeps one pixel
  EXPECT_EQ(MaximizeTextHeight(), 1);
  EXPECT_EQ(SplitEvenHeight(g), 200);
  EXPECT_EQ(SplitEvenHeight(Design(1)), 200);  // (1 + 400) / 2
  EXPECT_EQ(SplitEvenHeight(Design(400)), 200);
  // A window too low for any text pane still leaves the list a pixel.
  EXPECT_EQ(MaximizeListHeight(Design(1, 50)), 1);
}

TEST(PaneLayout, ResizeKeepsTheSplitterVisible) {
  EXPECT_EQ(ResizedListHeight(152, 31, 22, 457), 152);
  EXPECT_EQ(ResizedListHeight(152, 31, 22, 206), 152);  // 205 < 206: fits
  EXPECT_EQ(ResizedListHeight(152, 31, 22, 205), 145);  // 205 - 31 - 22 - 7
  EXPECT_EQ(ResizedListHeight(152, 31, 22, 100), 40);
  EXPECT_EQ(ResizedListHeight(40, 31, 22, 800), 40);   // taller never grows it
  EXPECT_EQ(ResizedListHeight(152, 31, 22, 10), 1);
}

// A drag moves only the guide line, clamped between the list's top and the
// bottom of the text pane; the release applies where the last counted move
// left it.
TEST(PaneLayout, DragInsideTheWindow) {
  const PaneGeometry g = Design();
  SplitterDrag d;
  d.Press(1, g);
  EXPECT_TRUE(d.Dragging());
  EXPECT_EQ(d.LineTop(), g.borderTop - 1);
  EXPECT_FALSE(d.Move(30, g));  // the first move is only noted
  EXPECT_EQ(d.LineTop(), g.borderTop - 1);
  EXPECT_EQ(d.DragY(), 1);
  EXPECT_TRUE(d.Move(50, g));
  EXPECT_EQ(d.LineTop(), g.borderTop + 50);
  EXPECT_TRUE(d.Move(-40, g));
  EXPECT_EQ(d.LineTop(), g.borderTop - 40);
  EXPECT_EQ(d.Release(g), 152 - 40);
  EXPECT_FALSE(d.Dragging());
  EXPECT_EQ(d.Release(g), -1);     // no drag going on
  EXPECT_FALSE(d.Move(10, g));

  // The next drag starts afresh: its first move is only noted again.
  d.Press(0, g);
  EXPECT_FALSE(d.Move(10, g));
  EXPECT_TRUE(d.Move(10, g));
  EXPECT_EQ(d.Release(g), 162);
}

TEST(PaneLayout, DragPastTheEnds) {
  const PaneGeometry g = Design();
  SplitterDrag up;
  up.Press(1, g);
  up.Move(0, g);
  up.Move(-500, g);
  EXPECT_EQ(up.LineTop(), g.listTop + 1);
  EXPECT_EQ(up.Release(g), 1);

  SplitterDrag down;
  down.Press(1, g);
  down.Move(0, g);
  down.Move(260, g);  // into the status bar
  EXPECT_EQ(down.LineTop(), g.memoTop + g.memoHeight - 4);
  EXPECT_EQ(down.Release(g), 400);

  // Exactly at the limits.
  SplitterDrag top;
  top.Press(0, g);
  top.Move(0, g);
  top.Move(g.listTop + 1 - g.borderTop, g);
  EXPECT_EQ(top.Release(g), 1);
  SplitterDrag bottom;
  bottom.Press(0, g);
  bottom.Move(0, g);
  bottom.Move(g.statusTop - 4 - g.borderTop, g);
  EXPECT_EQ(bottom.Release(g), 400);
  SplitterDrag above;
  above.Press(0, g);
  above.Move(0, g);
  above.Move(g.statusTop - 5 - g.borderTop, g);
  EXPECT_EQ(above.Release(g), 152 + g.statusTop - 5 - g.borderTop);

  // A press and release without a counted move keeps the bar (plus the
  // pointer's place within it).
  SplitterDrag click;
  click.Press(2, g);
  click.Move(100, g);
  EXPECT_EQ(click.Release(g), 154);
}

TEST(PaneLayout, LongPressOnTheList) {
  LongPress p;
  p.Press(1000);
  EXPECT_FALSE(p.Release(1400));  // a click
  p.Press(1000);
  EXPECT_FALSE(p.Release(1500));  // exactly half a second is not more
  p.Press(1000);
  EXPECT_TRUE(p.Release(2000));   // a second
  EXPECT_FALSE(p.Release(9000));  // no press seen
}

TEST(PaneLayout, BoundsBroughtOntoTheScreen) {
  const ScreenRect screen{0, 0, 1024, 768};
  const ScreenRect fine{88, 40, 633, 507};
  EXPECT_EQ(FitOnScreen(fine, screen), fine);
  EXPECT_EQ(DistanceTo(fine, screen), 0);

  EXPECT_EQ(FitOnScreen({99999, 40, 633, 507}, screen), (ScreenRect{391, 40, 633, 507}));
  const std::int64_t minInt = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(FitOnScreen({88, minInt, 633, 32767}, screen), (ScreenRect{88, 0, 633, 768}));
  EXPECT_EQ(FitOnScreen({-5000, -5000, 0, -3}, screen), (ScreenRect{0, 0, 1, 1}));

  // A second screen to the right: the distance picks the nearer.
  const ScreenRect right{1024, 0, 1280, 1024};
  const ScreenRect far{99999, 40, 633, 507};
  EXPECT_LT(DistanceTo(far, right), DistanceTo(far, screen));
  EXPECT_EQ(FitOnScreen(far, right), (ScreenRect{1671, 40, 633, 507}));
  EXPECT_EQ(DistanceTo({0, 800, 10, 10}, screen), 32);

  // Among the screens: bounds wholly on one stay, on the second too; others
  // go onto the nearest, even when they overlap it.
  const std::vector<ScreenRect> both{screen, right};
  EXPECT_EQ(PlaceOnScreens(fine, both), fine);
  const ScreenRect onRight{1100, 300, 633, 507};
  EXPECT_EQ(PlaceOnScreens(onRight, both), onRight);
  EXPECT_EQ(PlaceOnScreens(far, both), (ScreenRect{1671, 40, 633, 507}));
  EXPECT_EQ(PlaceOnScreens({-300, 700, 400, 200}, both), (ScreenRect{0, 568, 400, 200}));
  EXPECT_EQ(PlaceOnScreens({1000, 900, 100, 300}, both), (ScreenRect{1024, 724, 100, 300}));
  EXPECT_EQ(PlaceOnScreens({10, 10, 5000, 5000}, both), (ScreenRect{0, 0, 1024, 768}));
  EXPECT_EQ(PlaceOnScreens(far, {}), far);
}
