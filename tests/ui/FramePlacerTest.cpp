// A window placed by its frame: sized so that the frame, not the client
// area, has the stored size, once more when the desktop tells the frame only
// after the window has appeared (as on X11), and never again after that.
#include <QScreen>
#include <QTest>
#include <QWidget>

#include "ui/FramePlacer.h"

using namespace kest;

class FramePlacerTest : public QObject {
  Q_OBJECT

 private slots:
  void placedAgainWhenTheFrameBecomesKnown() {
    QWidget w;
    QSize frame(0, 0);  // what the desktop has told of the frame so far
    auto* placer = new FramePlacer(w, [](const QRect&) { return FramePlacer::Wanted{{40, 50, 400, 300}}; });
    placer->SetFrameProbe([&frame] { return frame; });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY(placer->Shown() && w.size() == QSize(400, 300));
    QCOMPARE(w.pos(), QPoint(40, 50));

    // The frame is told: the client area shrinks into it.
    frame = QSize(2, 25);
    w.move(41, 50);
    QTRY_COMPARE(w.size(), QSize(398, 275));
    QCOMPARE(w.pos(), QPoint(40, 50));

    // Known once, it is the user's window from then on.
    frame = QSize(8, 40);
    w.resize(500, 350);
    w.move(60, 70);
    QTest::qWait(50);
    QCOMPARE(w.size(), QSize(500, 350));
    QCOMPARE(w.pos(), QPoint(60, 70));
  }

  // Without a corner the window is only sized before it is shown, and kept
  // where it stands after; a frame larger than the screen shrinks onto it.
  void withoutACornerAndLargerThanTheScreen() {
    QWidget w;
    const QRect screen = w.screen()->availableGeometry();
    auto* placer = new FramePlacer(w, [](const QRect& frame) {
      return FramePlacer::Wanted{{frame.left(), frame.top(), 100000, 200}, false};
    });
    placer->Place();
    QVERIFY(!w.testAttribute(Qt::WA_Moved));
    QCOMPARE(w.size(), QSize(screen.width(), 200));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY(placer->Shown());
    QTest::qWait(20);
    QTRY_VERIFY(screen.contains(w.frameGeometry()));
    QCOMPARE(w.frameGeometry().width(), screen.width());
  }
};

QTEST_MAIN(FramePlacerTest)
#include "FramePlacerTest.moc"
