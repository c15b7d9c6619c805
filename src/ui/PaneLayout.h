// The arithmetic of the window's two panes, in plain integers (pixels of the
// client area, y growing downwards). From the top: the tool bar, the title
// list, the 3-pixel splitter bar, the text pane, the status bar. The layout is
// one number, the height of the title list; the widgets only apply it.
#pragma once

#include <cstdint>
#include <vector>

namespace kest {

// Where the panels stand now (tops and heights in client-area pixels).
struct PaneGeometry {
  int listTop = 31;
  int listHeight = 152;
  int borderTop = 183;   // the splitter bar
  int memoTop = 186;
  int memoHeight = 249;
  int statusTop = 435;
};

// The three fixed layouts: the height each gives the title list.
int MaximizeTextHeight();                         // 1: the text pane takes the room
int MaximizeListHeight(const PaneGeometry& g);    // the text pane keeps one pixel
int SplitEvenHeight(const PaneGeometry& g);       // both halves equal

// A resize of the window: the list's new height, or its height unchanged. A
// window made lower than the list shrinks the list so the splitter bar and a
// strip of the text pane stay visible; a taller window never grows it. The
// list never gets less than one pixel.
int ResizedListHeight(int listHeight, int iconHeight, int statusHeight, int clientHeight);

// The splitter drag. The bar stays where it is while the pointer is down;
// a grey guide line follows the pointer, and the list's height changes once,
// on release, to where the last counted move left the line.
class SplitterDrag {
 public:
  bool Dragging() const { return dragging_; }
  int DragY() const { return dragY_; }
  int LineTop() const { return lineTop_; }

  // Press on the bar, `y` within it: the guide line appears one pixel above
  // the bar.
  void Press(int y, const PaneGeometry& g);
  // A move, `y` relative to the bar (negative above it). The first move after
  // the press is only noted. True when the guide line moved.
  bool Move(int y, const PaneGeometry& g);
  // The release: the list's new height, or -1 when no drag was going on.
  int Release(const PaneGeometry& g);

 private:
  bool dragging_ = false;
  bool moved_ = false;
  int dragY_ = 0;
  int lineTop_ = 0;
};

// A button held on the title list for more than half a second.
class LongPress {
 public:
  void Press(std::int64_t ms);
  // True when the press lasted more than 500 ms; false for a click, or when
  // no press was seen.
  bool Release(std::int64_t ms);

 private:
  bool pressed_ = false;
  std::int64_t at_ = 0;
};

// A rectangle of screen pixels; 64-bit so that any pair of stored values
// (Left=99999, Top=-2147483648, Height=32767) adds up without overflow.
struct ScreenRect {
  std::int64_t left = 0, top = 0, width = 0, height = 0;
  bool operator==(const ScreenRect&) const = default;
};

// How far a rectangle lies from a screen (0 when they overlap): used to pick
// the screen nearest to bounds that lie on none.
std::int64_t DistanceTo(const ScreenRect& r, const ScreenRect& screen);
// The rectangle made to fit the screen: shrunk to the screen's size at most,
// then moved the least distance that puts it wholly on the screen. A
// rectangle that fits already is returned as it is.
ScreenRect FitOnScreen(const ScreenRect& r, const ScreenRect& screen);
// Where a window's stored bounds go among the screens: as they are when
// they lie wholly on the screen nearest to them, else moved and shrunk onto
// it (the first of equally near ones). No screen: as they are.
ScreenRect PlaceOnScreens(const ScreenRect& r, const std::vector<ScreenRect>& screens);

}  // namespace kest
