// TColorGrid: the 16-colour grid as a focusable widget. The rules live in
// ColorGridState; this paints the cells and marks, forwards mouse and key
// events and tells assistive technology what each cell is.
#pragma once

#include <QString>
#include <QWidget>

#include "settings/ColorGrd.h"

namespace kest {

class TColorGrid : public QWidget {
  Q_OBJECT

 public:
  explicit TColorGrid(QWidget* parent = nullptr);

  ColorGridState& State() { return state_; }
  const ColorGridState& State() const { return state_; }

  int ForegroundIndex() const { return state_.ForegroundIndex(); }
  int BackgroundIndex() const { return state_.BackgroundIndex(); }
  void SetForegroundIndex(int i) { state_.SetForegroundIndex(i); }
  void SetBackgroundIndex(int i) { state_.SetBackgroundIndex(i); }
  int Selection() const { return state_.Selection(); }
  void SetGridOrdering(GridOrdering ordering);

  // What the FG and BG marks stand for, for the cells' accessible names
  // (the colour dialog: "背景色" and "文字色").
  void SetMarkMeanings(const QString& foreground, const QString& background);
  // The Japanese name of table colour i ("白", "黒", ...).
  static QString ColorName(int cell);
  // Cell i as a screen reader reads it: its colour, then what its marks make
  // it ("白、背景色").
  QString CellAccessibleName(int cell) const;
  // Cell i's rectangle in widget coordinates.
  QRect CellRectangle(int cell) const;

  QSize sizeHint() const override { return {100, 100}; }

 signals:
  // ForegroundIndex or BackgroundIndex changed.
  void changed();
  // The F or B key was pressed, or a left click ended on the grid.
  void clicked();
  void mousePressed(Qt::MouseButton button);
  void mouseReleased(Qt::MouseButton button);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void NotifySelection();
  int GridWidth() const { return state_.SnapWidth(width()); }
  int GridHeight() const { return state_.SnapHeight(height()); }

  ColorGridState state_;
  QString fgMeaning_ = QStringLiteral("FG");
  QString bgMeaning_ = QStringLiteral("BG");
  int notifiedSelection_ = -1;
};

}  // namespace kest
