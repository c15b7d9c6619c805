#include "ui/FramePlacer.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <vector>

namespace kest {
namespace {

// How long after the window appears the desktop's word on its frame is
// waited for; a change of the frame later (the user's) is none of ours.
constexpr qint64 kFrameWaitMs = 5000;

}  // namespace

FramePlacer::FramePlacer(QWidget& window, std::function<Wanted(const QRect& frame)> wanted)
    : QObject(&window), window_(window), wanted_(std::move(wanted)) {
  window_.installEventFilter(this);
}

QSize FramePlacer::FrameExtra() const {
  return probe_ ? probe_() : window_.frameGeometry().size() - window_.geometry().size();
}

void FramePlacer::Place() {
  const QSize extra = FrameExtra();
  const QRect frame(window_.frameGeometry().topLeft(), window_.geometry().size() + extra);
  const Wanted wanted = wanted_(frame);
  std::vector<ScreenRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect a = screen->availableGeometry();
    screens.push_back({a.left(), a.top(), a.width(), a.height()});
  }
  // Moved and shrunk onto the screen only when not wholly on one already.
  const ScreenRect bounds = PlaceOnScreens(wanted.bounds, screens);
  // Before the window's own events: they may come while it is resized.
  placedWithFrame_ = !extra.isNull();
  window_.resize(QSize(static_cast<int>(bounds.width), static_cast<int>(bounds.height)) - extra);
  if (wanted.corner || window_.isVisible()) {
    window_.move(static_cast<int>(bounds.left), static_cast<int>(bounds.top));
  }
}

bool FramePlacer::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &window_) return false;
  if (event->type() == QEvent::Show && !shown_) {
    shown_ = true;
    sinceShown_.start();
    // After the show has been handled: the desktop may know the frame then.
    QTimer::singleShot(0, this, [this] { Place(); });
  } else if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && shown_ &&
             !placedWithFrame_ && sinceShown_.elapsed() < kFrameWaitMs &&
             window_.windowState() == Qt::WindowNoState && !FrameExtra().isNull()) {
    // The desktop has told the frame: placed again by it.
    Place();
  }
  return false;
}

}  // namespace kest
