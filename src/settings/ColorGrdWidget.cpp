#include "settings/ColorGrdWidget.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QtWidgets/qdrawutil.h>
#include <array>

#include "platform/QtColors.h"

namespace kest {

namespace {

GridButton ToGridButton(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return GridButton::Left;
    case Qt::RightButton: return GridButton::Right;
    default: return GridButton::Middle;
  }
}

GridKey ToGridKey(const QKeyEvent& e) {
  switch (e.key()) {
    case Qt::Key_Right: return GridKey::Right;
    case Qt::Key_Space: return GridKey::Space;
    case Qt::Key_Left: return GridKey::Left;
    case Qt::Key_Up: return GridKey::Up;
    case Qt::Key_Down: return GridKey::Down;
    case Qt::Key_Home: return GridKey::Home;
    case Qt::Key_End: return GridKey::End;
    case Qt::Key_F: return GridKey::F;
    case Qt::Key_B: return GridKey::B;
    default: return GridKey::Other;
  }
}

// One cell of the grid as assistive technology sees it.
class ColorCellAccessible : public QAccessibleInterface {
 public:
  ColorCellAccessible(TColorGrid* grid, int cell) : grid_(grid), cell_(cell) {}
  bool isValid() const override { return grid_ != nullptr; }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return nullptr; }
  QAccessibleInterface* parent() const override {
    return QAccessible::queryAccessibleInterface(grid_);
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QString text(QAccessible::Text t) const override {
    return t == QAccessible::Name ? grid_->CellAccessibleName(cell_) : QString();
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    const QRect r = grid_->CellRectangle(cell_);
    return QRect(grid_->mapToGlobal(r.topLeft()), r.size());
  }
  QAccessible::Role role() const override { return QAccessible::ListItem; }
  QAccessible::State state() const override {
    QAccessible::State s;
    s.focusable = true;
    s.selectable = true;
    s.selected = grid_->Selection() == cell_;
    s.focused = s.selected && grid_->hasFocus();
    return s;
  }

 private:
  QPointer<TColorGrid> grid_;
  int cell_;
};

// The grid as a list of its 16 cells.
class ColorGridAccessible : public QAccessibleWidget {
 public:
  explicit ColorGridAccessible(TColorGrid* grid) : QAccessibleWidget(grid, QAccessible::List) {
    for (int i = 0; i < kGridColors; ++i) {
      auto* cell = new ColorCellAccessible(grid, i);
      ids_[static_cast<std::size_t>(i)] = QAccessible::registerAccessibleInterface(cell);
    }
  }
  ~ColorGridAccessible() override {
    for (const auto id : ids_) QAccessible::deleteAccessibleInterface(id);
  }
  int childCount() const override { return kGridColors; }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= kGridColors) return nullptr;
    return QAccessible::accessibleInterface(ids_[static_cast<std::size_t>(index)]);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (int i = 0; i < kGridColors; ++i) {
      if (QAccessible::accessibleInterface(ids_[static_cast<std::size_t>(i)]) == child) return i;
    }
    return -1;
  }
  QAccessibleInterface* focusChild() const override {
    auto* g = static_cast<TColorGrid*>(widget());
    return g->hasFocus() ? child(g->Selection()) : nullptr;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    auto* g = static_cast<TColorGrid*>(widget());
    const QPoint p = g->mapFromGlobal(QPoint(x, y));
    if (!g->rect().contains(p)) return nullptr;
    for (int i = 0; i < kGridColors; ++i) {
      if (g->CellRectangle(i).contains(p)) return child(i);
    }
    return nullptr;
  }

 private:
  std::array<QAccessible::Id, kGridColors> ids_{};
};

QAccessibleInterface* GridAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("kest::TColorGrid") && object && object->isWidgetType()) {
    return new ColorGridAccessible(static_cast<TColorGrid*>(object));
  }
  return nullptr;
}

}  // namespace

TColorGrid::TColorGrid(QWidget* parent) : QWidget(parent) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(GridAccessibleFactory);
    return true;
  }();
  (void)factoryInstalled;
  setFocusPolicy(Qt::StrongFocus);
  setAccessibleName(QStringLiteral("色の選択"));
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  state_.OnChange = [this] {
    if (QAccessible::isActive()) {
      QAccessibleEvent e(this, QAccessible::NameChanged);
      QAccessible::updateAccessibility(&e);
    }
    emit changed();
  };
  state_.OnClick = [this] { emit clicked(); };
  state_.OnRepaint = [this] { update(); };
}

void TColorGrid::SetGridOrdering(GridOrdering ordering) { state_.SetOrdering(ordering); }

void TColorGrid::SetMarkMeanings(const QString& foreground, const QString& background) {
  fgMeaning_ = foreground;
  bgMeaning_ = background;
}

QString TColorGrid::ColorName(int cell) {
  static const std::array<const char*, kGridColors> names = {
      "黒", "栗色", "緑", "オリーブ", "紺", "紫", "青緑", "銀",
      "灰色", "赤", "黄緑", "黄", "青", "赤紫", "水色", "白"};
  if (cell < 0 || cell >= kGridColors) return QString();
  return QString::fromUtf8(names[static_cast<std::size_t>(cell)]);
}

QString TColorGrid::CellAccessibleName(int cell) const {
  QString name = ColorName(cell);
  const bool f = state_.ForegroundEnabled() && state_.ForegroundIndex() == cell;
  const bool b = state_.BackgroundEnabled() && state_.BackgroundIndex() == cell;
  if (f && b) {
    name += QStringLiteral("、") + fgMeaning_ + QStringLiteral("と") + bgMeaning_;
  } else if (f) {
    name += QStringLiteral("、") + fgMeaning_;
  } else if (b) {
    name += QStringLiteral("、") + bgMeaning_;
  }
  return name;
}

QRect TColorGrid::CellRectangle(int cell) const {
  const CellRect r = state_.CellBounds(cell, GridWidth(), GridHeight());
  return QRect(r.x, r.y, r.width, r.height);
}

void TColorGrid::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Button));
  p.setFont(font());
  for (int i = 0; i < kGridColors; ++i) {
    const QRect r = CellRectangle(i);
    const QColor c = ColorFromCode(IndexToColor(i));
    qDrawShadePanel(&p, r, palette(), true, 2, nullptr);
    p.fillRect(r.adjusted(2, 2, -2, -2), c);
    const QString mark = QString::fromLatin1(state_.MarkText(i));
    if (!mark.isEmpty()) {
      p.setPen(ColorFromCode(MarkTextColor(IndexToColor(i))));
      p.drawText(r, Qt::AlignCenter, mark);
    }
    if (hasFocus() && i == state_.Selection()) {
      QStyleOptionFocusRect opt;
      opt.initFrom(this);
      opt.rect = r.adjusted(3, 3, -3, -3);
      opt.backgroundColor = c;
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
      // Some styles draw nothing for a widget of their own; keep a mark.
      p.setPen(QPen(ColorFromCode(MarkTextColor(IndexToColor(i))), 1, Qt::DotLine));
      p.drawRect(r.adjusted(3, 3, -4, -4));
    }
  }
}

void TColorGrid::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (focusPolicy() & Qt::ClickFocus) setFocus(Qt::MouseFocusReason);
  state_.MouseDown(ToGridButton(event->button()), at.x(), at.y(), GridWidth(), GridHeight());
  NotifySelection();
  emit mousePressed(event->button());
}

void TColorGrid::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  state_.MouseMove(at.x(), at.y(), GridWidth(), GridHeight());
  NotifySelection();
}

void TColorGrid::mouseReleaseEvent(QMouseEvent* event) {
  state_.MouseUp(ToGridButton(event->button()));
  emit mouseReleased(event->button());
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit clicked();
  }
}

void TColorGrid::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier) ||
      !state_.KeyPress(ToGridKey(*event))) {
    QWidget::keyPressEvent(event);
    return;
  }
  NotifySelection();
}

void TColorGrid::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  notifiedSelection_ = -1;
  NotifySelection();
  update();
}

void TColorGrid::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

// Tells a screen reader which cell now has the focus.
void TColorGrid::NotifySelection() {
  if (state_.Selection() == notifiedSelection_ || !hasFocus()) return;
  notifiedSelection_ = state_.Selection();
  if (!QAccessible::isActive()) return;
  QAccessibleEvent e(this, QAccessible::Focus);
  e.setChild(state_.Selection());
  QAccessible::updateAccessibility(&e);
}

}  // namespace kest
