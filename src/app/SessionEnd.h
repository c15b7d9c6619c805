// The end of the desktop session as the window hears of it: SIGTERM and
// SIGHUP (a logout, systemctl, a terminal closed) and the session manager's
// request to save its data. The window's settings are written as a close
// writes them, without a box that would wait for an answer no one gives.
#pragma once

#include <QObject>
#include <functional>

class QSessionManager;
class QSocketNotifier;

namespace kest {

class TKestForm;

class SessionEnd : public QObject {
 public:
  // From now on SIGTERM and SIGHUP end the window (EndSession), then call
  // `quit` (by default the application quits); the session manager's
  // request to save writes the settings and leaves the window open.
  explicit SessionEnd(TKestForm& form, std::function<void()> quit = {});
  // The signals' former handlers come back.
  ~SessionEnd() override;

  SessionEnd(const SessionEnd&) = delete;
  SessionEnd& operator=(const SessionEnd&) = delete;

 private:
  void SignalArrived();

  TKestForm& form_;
  std::function<void()> quit_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kest
