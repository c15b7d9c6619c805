// A long task's percentage in a progress bar, while the task holds the
// thread: the bar takes every value, but is painted at most every 40 ms, as a
// paint costs about as much as a percent of a fast scan.
#pragma once

#include <QElapsedTimer>
#include <QProgressBar>

namespace kest {

class BarProgress {
 public:
  explicit BarProgress(QProgressBar* bar) : bar_(bar) {}

  // True when the bar was painted.
  bool operator()(int percent) {
    if (!bar_->isVisible()) bar_->show();
    bar_->setValue(percent);
    if (clock_.isValid() && clock_.elapsed() < 40) return false;
    bar_->repaint();
    clock_.start();
    return true;
  }

 private:
  QProgressBar* bar_;
  QElapsedTimer clock_;  // since the last paint; invalid before the first
};

}  // namespace kest
