#include "settings/ColorGrd.h"

#include <algorithm>

namespace kest {

namespace {

// The old 16-colour palette, 0x00BBGGRR.
constexpr std::int32_t kTable[kGridColors] = {
    0x000000,  // black
    0x000080,  // maroon
    0x008000,  // green
    0x008080,  // olive
    0x800000,  // navy
    0x800080,  // purple
    0x808000,  // teal
    0xC0C0C0,  // silver
    0x808080,  // gray
    0x0000FF,  // red
    0x00FF00,  // lime
    0x00FFFF,  // yellow
    0xFF0000,  // blue
    0xFF00FF,  // fuchsia
    0xFFFF00,  // aqua
    0xFFFFFF,  // white
};

constexpr bool ValidCell(int i) { return i >= 0 && i < kGridColors; }

}  // namespace

std::int32_t IndexToColor(int index) { return ValidCell(index) ? kTable[index] : 0; }

int ColorToIndex(std::int32_t color) {
  for (int i = 0; i < kGridColors; ++i) {
    if (kTable[i] == color) return i;
  }
  return kGridColors;
}

std::int32_t MarkTextColor(std::int32_t cellColor) {
  const auto c = static_cast<std::uint32_t>(cellColor);
  std::uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    if (((c >> shift) & 0xFFu) < 128) out |= 0xFFu << shift;
  }
  return static_cast<std::int32_t>(out);
}

void ColorGridState::SetOrdering(GridOrdering ordering) {
  if (ordering < go16x1 || ordering > go1x16 || ordering == ordering_) return;
  ordering_ = ordering;
  Repaint();
}

bool ColorGridState::MoveMark(bool foreground, int cell) {
  int& mark = foreground ? fg_ : bg_;
  if (!ValidCell(cell) || mark == cell) return false;
  mark = cell;
  Repaint();
  if (OnChange) OnChange();
  return true;
}

void ColorGridState::SetForegroundIndex(int index) { MoveMark(true, index); }
void ColorGridState::SetBackgroundIndex(int index) { MoveMark(false, index); }

void ColorGridState::SetForegroundEnabled(bool on) {
  if (fgEnabled_ == on) return;
  fgEnabled_ = on;
  Repaint();
}

void ColorGridState::SetBackgroundEnabled(bool on) {
  if (bgEnabled_ == on) return;
  bgEnabled_ = on;
  Repaint();
}

void ColorGridState::SetSelection(int index) {
  if (!ValidCell(index) || index == selection_) return;
  selection_ = index;
  Repaint();
}

const char* ColorGridState::MarkText(int cell) const {
  const bool f = fgEnabled_ && cell == fg_;
  const bool b = bgEnabled_ && cell == bg_;
  if (f && b) return "FB";
  if (f) return "FG";
  if (b) return "BG";
  return "";
}

int ColorGridState::SnapWidth(int width) const {
  return std::max(width, Columns()) / Columns() * Columns();
}

int ColorGridState::SnapHeight(int height) const {
  return std::max(height, Rows()) / Rows() * Rows();
}

CellRect ColorGridState::CellBounds(int cell, int width, int height) const {
  const int w = std::max(width / Columns(), 1);
  const int h = std::max(height / Rows(), 1);
  return CellRect{(cell % Columns()) * w, (cell / Columns()) * h, w, h};
}

int ColorGridState::CellAt(int x, int y, int width, int height) const {
  const int w = std::max(width / Columns(), 1);
  const int h = std::max(height / Rows(), 1);
  const int col = std::clamp(x < 0 ? 0 : x / w, 0, Columns() - 1);
  const int row = std::clamp(y < 0 ? 0 : y / h, 0, Rows() - 1);
  return row * Columns() + col;
}

void ColorGridState::MouseDown(GridButton button, int x, int y, int width, int height) {
  const bool foreground = button == GridButton::Left;
  bool& enabled = foreground ? fgEnabled_ : bgEnabled_;
  const int cell = CellAt(x, y, width, height);
  SetSelection(cell);
  if (!enabled) {
    if (!ClickEnablesColor) return;
    enabled = true;
    Repaint();
  }
  dragging_ = true;
  dragForeground_ = foreground;
  MoveMark(foreground, cell);
}

void ColorGridState::MouseMove(int x, int y, int width, int height) {
  if (!dragging_) return;
  const int cell = CellAt(x, y, width, height);
  SetSelection(cell);
  MoveMark(dragForeground_, cell);
}

void ColorGridState::MouseUp(GridButton) { dragging_ = false; }

bool ColorGridState::KeyPress(GridKey key) {
  const int cols = Columns();
  const int rows = Rows();
  const int last = kGridColors - 1;
  const int col = selection_ % cols;
  const int row = selection_ / cols;
  int next = selection_;
  switch (key) {
    case GridKey::Right:
    case GridKey::Space:
      next = selection_ == last ? 0 : selection_ + 1;
      break;
    case GridKey::Left:
      next = selection_ == 0 ? last : selection_ - 1;
      break;
    case GridKey::Up:
      if (row > 0) {
        next = selection_ - cols;
      } else if (selection_ == 0) {
        next = last;
      } else {
        next = (rows - 1) * cols + col - 1;  // bottom of the previous column
      }
      break;
    case GridKey::Down:
      if (row < rows - 1) {
        next = selection_ + cols;
      } else if (selection_ == last) {
        next = 0;
      } else {
        next = col + 1;  // top of the next column
      }
      break;
    case GridKey::Home:
      next = 0;
      break;
    case GridKey::End:
      next = last;
      break;
    case GridKey::F:
    case GridKey::B: {
      const bool foreground = key == GridKey::F;
      bool& enabled = foreground ? fgEnabled_ : bgEnabled_;
      if (!enabled && ClickEnablesColor) {
        enabled = true;
        Repaint();
      }
      if (enabled) MoveMark(foreground, selection_);
      if (OnClick) OnClick();
      return true;
    }
    case GridKey::Other:
      return false;
  }
  SetSelection(next);
  return true;
}

}  // namespace kest
