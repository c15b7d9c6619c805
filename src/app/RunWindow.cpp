// The program entry's window side: the application object, Qt's own Japanese
// texts, the face names of the old forms, the last net for exceptions, and
// the main window.
#include "app/RunWindow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "app/MainWindow.h"
#include "app/SessionEnd.h"
#include "platform/Interaction.h"
#include "ui/Kest2.h"

namespace kest {
namespace {

// Every command handler catches its own exceptions (RunGuarded); this is
// the net under everything else that runs from the event loop. An exception
// ends in the error box with its message, never in a crash.
class KestApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      Ui().Error(activeWindow(), QString::fromUtf8(e.what()));
    } catch (...) {
      Ui().Error(activeWindow(), QStringLiteral("予期しないエラーが発生しました"));
    }
    return false;
  }
};

bool HasDisplay() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (!platform.isEmpty()) return true;  // offscreen, vnc, wayland, ...
  return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

// With KEST_READY_FD set (by the benchmark, which times the whole process
// from outside), a line goes to that descriptor once the window is up with
// its caption and first remark painted, and the descriptor is closed.
void TellReady(QWidget& window) {
  const char* fd = std::getenv("KEST_READY_FD");
  if (!fd || !*fd) return;
  char* end = nullptr;
  const long n = std::strtol(fd, &end, 10);
  if (*end != '\0' || n < 3) return;  // never the standard streams
  QTimer::singleShot(0, &window, [n, &window] {
    window.repaint();  // what the show put on the queue, painted now
    static const char kReady[] = "ready\n";
    [[maybe_unused]] const ssize_t w = ::write(static_cast<int>(n), kReady, sizeof kReady - 1);
    ::close(static_cast<int>(n));
  });
}

}  // namespace

int RunWindow(int argc, char** argv) {
  if (!HasDisplay()) {
    std::fputs(
        "kest32: no display (DISPLAY is not set).\n"
        "  Start it on a desktop, or headless with a virtual display:\n"
        "    Xvfb :1 -screen 0 1024x768x24 &  DISPLAY=:1 kest32 LOGFILE\n"
        "  or without any display: QT_QPA_PLATFORM=offscreen kest32 LOGFILE\n",
        stderr);
    return 2;
  }
  KestApplication app(argc, argv);
  // The application title. No display name: the platform would append it to
  // every caption ("Kest32-title — Kest32").
  QApplication::setApplicationName(QStringLiteral("Kest32"));
  QApplication::setApplicationVersion(QStringLiteral("1.50"));
  // The installed menu entry kest32.desktop: the desktop matches the window
  // to it (its icon, its name) by this, on Wayland too.
  QGuiApplication::setDesktopFileName(QStringLiteral("kest32"));

  // Qt's standard dialogs in Japanese, when the translations are installed.
  const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  QTranslator qtbase;
  QTranslator qt;
  if (qtbase.load(QStringLiteral("qtbase_ja"), dir)) QApplication::installTranslator(&qtbase);
  if (qt.load(QStringLiteral("qt_ja"), dir)) QApplication::installTranslator(&qt);

  InstallFontSubstitutions();

  const std::unique_ptr<TKestForm> form = CreateMainWindow(QApplication::arguments().mid(1));
  // A logout, SIGTERM or SIGHUP writes the settings as a close does.
  new SessionEnd(*form);
  form->show();
  TellReady(*form);
  return QApplication::exec();
}

}  // namespace kest
