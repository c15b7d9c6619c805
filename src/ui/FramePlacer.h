// A top-level window placed by its frame (title bar and border included), as
// Kest.INI keeps the bounds of a window, and brought onto the screens.
//
// The frame's size is known only once the desktop has framed the window, and
// on X11 the desktop tells it a moment after the window appears. A window
// sized before that would be as large as its frame inside the frame, and,
// kept so at its close, grow by a title bar at every start. So the window is
// placed when it is first shown, and once more when the frame's size becomes
// known in the seconds after.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QRect>
#include <QSize>
#include <functional>

#include "ui/PaneLayout.h"

class QWidget;

namespace kest {

class FramePlacer : public QObject {
 public:
  struct Wanted {
    ScreenRect bounds;  // the frame
    // The window goes to the frame's corner; else it stays where the desktop
    // put it (and has not been shown yet: it is only sized), unless that
    // lies off the screens.
    bool corner = true;
  };
  // `wanted` gives the frame the window is to have, from the one it has now.
  FramePlacer(QWidget& window, std::function<Wanted(const QRect& frame)> wanted);

  // Places the window now, by what is known of its frame.
  void Place();
  // The window has been shown and placed.
  bool Shown() const { return shown_; }

  // Tests: how much larger than the client area the frame is, as the
  // desktop tells it (unset: as the window knows it).
  void SetFrameProbe(std::function<QSize()> probe) { probe_ = std::move(probe); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QSize FrameExtra() const;

  QWidget& window_;
  std::function<Wanted(const QRect&)> wanted_;
  std::function<QSize()> probe_;
  bool shown_ = false;
  bool placedWithFrame_ = false;  // the last placement knew the frame's size
  QElapsedTimer sinceShown_;
};

}  // namespace kest
