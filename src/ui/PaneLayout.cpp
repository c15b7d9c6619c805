#include "ui/PaneLayout.h"

#include <algorithm>

namespace kest {

int MaximizeTextHeight() { return 1; }

int MaximizeListHeight(const PaneGeometry& g) {
  return std::max(1, g.statusTop - g.listTop - 4);
}

int SplitEvenHeight(const PaneGeometry& g) {
  return std::max(1, (g.listHeight + g.memoHeight) / 2);
}

int ResizedListHeight(int listHeight, int iconHeight, int statusHeight, int clientHeight) {
  if (listHeight + statusHeight + iconHeight < clientHeight) return listHeight;
  return std::max(1, clientHeight - iconHeight - statusHeight - 7);
}

void SplitterDrag::Press(int y, const PaneGeometry& g) {
  lineTop_ = g.borderTop - 1;
  dragY_ = y;
  dragging_ = true;
}

bool SplitterDrag::Move(int y, const PaneGeometry& g) {
  if (!dragging_) return false;
  if (!moved_) {
    moved_ = true;
    return false;
  }
  const int p = g.borderTop + y;
  const int highest = g.listTop + 1;
  const int lowest = g.memoTop + g.memoHeight - 4;
  if (p <= highest) {
    lineTop_ = highest;
  } else if (p >= lowest) {
    lineTop_ = lowest;
  } else {
    lineTop_ = p;
  }
  dragY_ = y;
  return true;
}

int SplitterDrag::Release(const PaneGeometry& g) {
  if (!dragging_) return -1;
  dragging_ = false;
  moved_ = false;
  const int q = g.borderTop + dragY_;
  if (q >= g.statusTop - 4) return MaximizeListHeight(g);
  if (q <= g.listTop + 1) return 1;
  return std::max(1, g.listHeight + dragY_);
}

void LongPress::Press(std::int64_t ms) {
  pressed_ = true;
  at_ = ms;
}

bool LongPress::Release(std::int64_t ms) {
  const bool longEnough = pressed_ && ms - at_ > 500;
  pressed_ = false;
  return longEnough;
}

namespace {

// Distance between [a, a + na) and [b, b + nb) on one axis.
std::int64_t Gap(std::int64_t a, std::int64_t na, std::int64_t b, std::int64_t nb) {
  if (a + na <= b) return b - (a + na);
  if (b + nb <= a) return a - (b + nb);
  return 0;
}

// The start of a span of length n moved the least into [b, b + nb).
std::int64_t Fit(std::int64_t a, std::int64_t n, std::int64_t b, std::int64_t nb) {
  if (a + n > b + nb) a = b + nb - n;
  if (a < b) a = b;
  return a;
}

}  // namespace

std::int64_t DistanceTo(const ScreenRect& r, const ScreenRect& s) {
  return Gap(r.left, r.width, s.left, s.width) + Gap(r.top, r.height, s.top, s.height);
}

ScreenRect FitOnScreen(const ScreenRect& r, const ScreenRect& s) {
  ScreenRect out = r;
  out.width = std::clamp<std::int64_t>(r.width, 1, std::max<std::int64_t>(s.width, 1));
  out.height = std::clamp<std::int64_t>(r.height, 1, std::max<std::int64_t>(s.height, 1));
  out.left = Fit(r.left, out.width, s.left, s.width);
  out.top = Fit(r.top, out.height, s.top, s.height);
  return out;
}

ScreenRect PlaceOnScreens(const ScreenRect& r, const std::vector<ScreenRect>& screens) {
  const ScreenRect* nearest = nullptr;
  std::int64_t best = 0;
  for (const ScreenRect& s : screens) {
    const std::int64_t d = DistanceTo(r, s);
    if (!nearest || d < best) {
      nearest = &s;
      best = d;
    }
  }
  return nearest ? FitOnScreen(r, *nearest) : r;
}

}  // namespace kest
