// The 16-colour grid of the colour dialog, as plain logic: the colour table,
// the layouts, the two marks (FG and BG) and the rules by which the mouse and
// the keyboard move them. The widget (ColorGrdWidget) only paints what this
// says and forwards its events here, so every rule is tested without a
// toolkit.
#pragma once

#include <cstdint>
#include <functional>

namespace kest {

inline constexpr int kGridColors = 16;

// Colour code (0x00BBGGRR) of table entry `index` (0..15). Indexes outside
// the table give black.
std::int32_t IndexToColor(int index);
// Table index of a colour code; 16 for any code not in the table, the
// system colours (0x80000000 + n) included.
int ColorToIndex(std::int32_t color);

// The colour of the FG/BG text drawn on a cell of colour `cellColor`: per
// red, green and blue byte, 0 where the byte is 128 or more, 255 where it is
// less, so the mark stays readable on every cell.
std::int32_t MarkTextColor(std::int32_t cellColor);

// Columns = 16 >> ordering, rows = 1 << ordering.
enum GridOrdering : int { go16x1 = 0, go8x2 = 1, go4x4 = 2, go2x8 = 3, go1x16 = 4 };

// A mouse button as the grid tells them apart: the left one moves the FG
// mark, any other the BG mark.
enum class GridButton { Left, Right, Middle };

// The keys the grid answers; everything else passes on.
enum class GridKey { Right, Space, Left, Up, Down, Home, End, F, B, Other };

struct CellRect {
  int x = 0, y = 0, width = 0, height = 0;
};

class ColorGridState {
 public:
  // Fired whenever ForegroundIndex or BackgroundIndex changes value.
  std::function<void()> OnChange;
  // Fired by the F and B keys after they set their mark.
  std::function<void()> OnClick;
  // A cell's look changed (mark moved, selection moved): the widget repaints.
  std::function<void()> OnRepaint;

  GridOrdering Ordering() const { return ordering_; }
  void SetOrdering(GridOrdering ordering);
  int Columns() const { return kGridColors >> ordering_; }
  int Rows() const { return 1 << ordering_; }

  int ForegroundIndex() const { return fg_; }
  int BackgroundIndex() const { return bg_; }
  // Setting an index to its current value does nothing; a value outside
  // 0..15 is ignored.
  void SetForegroundIndex(int index);
  void SetBackgroundIndex(int index);

  bool ForegroundEnabled() const { return fgEnabled_; }
  bool BackgroundEnabled() const { return bgEnabled_; }
  void SetForegroundEnabled(bool on);
  void SetBackgroundEnabled(bool on);
  bool ClickEnablesColor = false;

  int Selection() const { return selection_; }
  void SetSelection(int index);

  // "FG", "BG", "FB" (both marks on the cell) or "" for cell i; a disabled
  // mark is not shown.
  const char* MarkText(int cell) const;

  // --- Geometry, for a control of `width` x `height` pixels ---------------
  // The control keeps its size at whole multiples of the columns and rows.
  int SnapWidth(int width) const;
  int SnapHeight(int height) const;
  CellRect CellBounds(int cell, int width, int height) const;
  // The cell under (x, y); a point outside the control counts as the nearest
  // edge cell.
  int CellAt(int x, int y, int width, int height) const;

  // --- Mouse ----------------------------------------------------------------
  // A press moves the button's mark to the cell under the pointer and makes
  // it the selection; while the button stays down, moves drag the same mark
  // along; the release ends the drag. A disabled mark does not move unless
  // ClickEnablesColor is set, when the press first enables it.
  void MouseDown(GridButton button, int x, int y, int width, int height);
  void MouseMove(int x, int y, int width, int height);
  void MouseUp(GridButton button);
  bool Dragging() const { return dragging_; }

  // --- Keyboard -------------------------------------------------------------
  // True when the key was taken. Right and Space step forward, Left back,
  // Up and Down by rows (wrapping into the neighbouring column), Home and End
  // to the first and last cell; F and B set their mark to the selection and
  // fire OnClick.
  bool KeyPress(GridKey key);

 private:
  bool MoveMark(bool foreground, int cell);
  void Repaint() const {
    if (OnRepaint) OnRepaint();
  }

  GridOrdering ordering_ = go4x4;
  int fg_ = 0;
  int bg_ = 0;
  bool fgEnabled_ = true;
  bool bgEnabled_ = true;
  int selection_ = 0;
  bool dragging_ = false;
  bool dragForeground_ = true;
};

}  // namespace kest
