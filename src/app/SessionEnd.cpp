#include "app/SessionEnd.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include "ui/Kest2.h"

namespace kest {
namespace {

// A signal handler may do next to nothing: it writes one byte into a pair of
// sockets, and the event loop, which watches the other end, does the rest.
int pipeFds[2] = {-1, -1};
struct sigaction oldTerm {}, oldHup {};

void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
  errno = saved;
}

}  // namespace

SessionEnd::SessionEnd(TKestForm& form, std::function<void()> quit) : QObject(&form), form_(form), quit_(std::move(quit)) {
  if (!quit_) quit_ = [] { QCoreApplication::quit(); };
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeFds) == 0) {
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { SignalArrived(); });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, &oldTerm);
    ::sigaction(SIGHUP, &sa, &oldHup);
  }
  // The session manager saves before a logout, which may still be called
  // off: the settings are written, the window stays.
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    connect(
        app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { form_.SaveSettings(true); },
        Qt::DirectConnection);
  }
}

SessionEnd::~SessionEnd() {
  if (!notifier_) return;
  ::sigaction(SIGTERM, &oldTerm, nullptr);
  ::sigaction(SIGHUP, &oldHup, nullptr);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
  pipeFds[0] = pipeFds[1] = -1;
}

void SessionEnd::SignalArrived() {
  char buf[64];
  while (::read(pipeFds[0], buf, sizeof buf) > 0) {
  }
  form_.EndSession();
  quit_();
}

}  // namespace kest
