// The text pane's colours and font: the colour dialog with its grid and
// preview, the font command, and what Kest.INI keeps of them. The dialogs run
// through a fake that drives them and says how they ended.
#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "core/LogFixture.h"
#include "platform/Codec.h"
#include "platform/Interaction.h"
#include "platform/Profile.h"
#include "platform/QtColors.h"
#include "settings/ColUnit.h"
#include "settings/ColorGrdWidget.h"
#include "settings/FontSize.h"
#include "ui/ExMemo.h"
#include "ui/FormFixture.h"
#include "ui/Kest2.h"
#include "ui/RecordingUi.h"

using namespace kest;
using namespace kest::test;

namespace {

// Runs `onShow` when a dialog of the program's own is shown modally;
// `accept` says how the dialog ends (with OK or cancelled).
class FakeUi : public test::RecordingUi {
 public:
  std::function<void(QDialog&)> onShow;
  bool accept = false;
  bool RunModal(QDialog& dialog) override {
    ++modals;
    if (onShow) onShow(dialog);
    return accept;
  }
};

constexpr std::int32_t kWhite = 0xFFFFFF;
constexpr std::int32_t kBlack = 0x000000;

}  // namespace

class ColoursTest : public FormTest<FakeUi> {
  Q_OBJECT

 private:
  static QColor PreviewBack(TColorDlg& d) { return d.Label1->palette().color(QPalette::Window); }
  static QColor PreviewText(TColorDlg& d) { return d.Label1->palette().color(QPalette::WindowText); }
  // Clicks a grid cell with a mouse button.
  static void ClickCell(TColorGrid* g, int cell, Qt::MouseButton b) {
    QTest::mouseClick(g, b, {}, g->CellRectangle(cell).center());
  }

 private slots:
  void init() { InitForm(); }
  void cleanup() {
    const bool noErrors = ui_->errors.isEmpty();
    QVERIFY(CleanupForm());
    QVERIFY(noErrors);
  }

  // First show with the system colours: the marks go to white (FG) and black
  // (BG), the FG mark moves off cell 0 so the preview takes the table's
  // colours, and OK gives the pane 0xFFFFFF and 0x000000.
  void firstShowTakesTableWhiteAndBlack() {
    auto f = MakeForm();
    ui_->accept = true;
    ui_->onShow = [&](QDialog& d) {
      auto& dlg = static_cast<TColorDlg&>(d);
      QCOMPARE(dlg.windowTitle(), QStringLiteral("表示色の設定"));
      QCOMPARE(dlg.ColorGrid1->ForegroundIndex(), 15);
      QCOMPARE(dlg.ColorGrid1->BackgroundIndex(), 0);
      QCOMPARE(dlg.PreviewBackColor(), kWhite);
      QCOMPARE(dlg.PreviewTextColor(), kBlack);
      QCOMPARE(PreviewBack(dlg), QColor(255, 255, 255));
      QCOMPARE(PreviewText(dlg), QColor(0, 0, 0));
      QCOMPARE(dlg.Label1->text(), QStringLiteral("表示文字"));
    };
    Trigger(*f, "K1");
    QCOMPARE(ui_->modals, 1);
    QCOMPARE(f->Look().BackColor, kWhite);
    QCOMPARE(f->Look().TextColor, kBlack);
    QCOMPARE(Memo(*f)->palette().color(QPalette::Base), QColor(255, 255, 255));
  }

  // "ﾃﾞﾌｫﾙﾄ" then OK gives the system colours back; the next show keeps
  // them in the preview because the marks already stand on white and black.
  void defaultButtonGivesSystemColoursAndTheNextShowKeepsThem() {
    auto f = MakeForm();
    ui_->accept = true;
    ui_->onShow = [](QDialog& d) {
      auto& dlg = static_cast<TColorDlg&>(d);
      ClickCell(dlg.ColorGrid1, 9, Qt::LeftButton);    // red background
      ClickCell(dlg.ColorGrid1, 11, Qt::RightButton);  // yellow text
    };
    Trigger(*f, "K1");
    QCOMPARE(f->Look().BackColor, 0x0000FF);
    QCOMPARE(f->Look().TextColor, 0x00FFFF);

    ui_->accept = true;
    ui_->onShow = [](QDialog& d) {
      auto& dlg = static_cast<TColorDlg&>(d);
      QTest::mouseClick(dlg.Button2, Qt::LeftButton);
      QCOMPARE(dlg.PreviewBackColor(), kClWindow);
      QCOMPARE(dlg.PreviewTextColor(), kClWindowText);
      QCOMPARE(dlg.ColorGrid1->ForegroundIndex(), 9);  // the marks stay
    };
    Trigger(*f, "K1");
    QCOMPARE(f->Look().BackColor, kClWindow);
    QCOMPARE(f->Look().TextColor, kClWindowText);

    // Now the marks move (9 -> 15, 11 -> 0): the table's white and black.
    ui_->accept = true;
    ui_->onShow = [](QDialog& d) {
      auto& dlg = static_cast<TColorDlg&>(d);
      QCOMPARE(dlg.PreviewBackColor(), kWhite);
      QCOMPARE(dlg.PreviewTextColor(), kBlack);
      QTest::mouseClick(dlg.Button2, Qt::LeftButton);
    };
    Trigger(*f, "K1");
    QCOMPARE(f->Look().BackColor, kClWindow);

    // The marks stand on white and black already: nothing fires, the preview
    // keeps the system colours, and OK keeps them.
    ui_->accept = true;
    ui_->onShow = [](QDialog& d) {
      auto& dlg = static_cast<TColorDlg&>(d);
      QCOMPARE(dlg.PreviewBackColor(), kClWindow);
      QCOMPARE(dlg.PreviewTextColor(), kClWindowText);
    };
    Trigger(*f, "K1");
    QCOMPARE(f->Look().BackColor, kClWindow);
    QCOMPARE(f->Look().TextColor, kClWindowText);
  }

  void cancelChangesNothingButTheDialogKeepsItsMarks() {
    auto f = MakeForm();
    FormProbe::SetPaneColors(*f, 0x008000, 0xC0C0C0);  // green on silver
    ui_->accept = false;
    ui_->onShow = [](QDialog& d) {
      auto& dlg = static_cast<TColorDlg&>(d);
      QCOMPARE(dlg.ColorGrid1->ForegroundIndex(), 7);
      QCOMPARE(dlg.ColorGrid1->BackgroundIndex(), 2);
      ClickCell(dlg.ColorGrid1, 4, Qt::LeftButton);
      QCOMPARE(dlg.PreviewBackColor(), 0x800000);
    };
    Trigger(*f, "K1");
    QCOMPARE(f->Look().BackColor, 0xC0C0C0);
    QCOMPARE(f->Look().TextColor, 0x008000);
    QCOMPARE(FormProbe::ColorDialog(*f).ColorGrid1->ForegroundIndex(), 4);
    // The next show refreshes the preview from the pane.
    ui_->accept = false;
    ui_->onShow = [](QDialog& d) {
      auto& dlg = static_cast<TColorDlg&>(d);
      QCOMPARE(dlg.ColorGrid1->ForegroundIndex(), 7);
      QCOMPARE(dlg.PreviewBackColor(), 0xC0C0C0);
    };
    Trigger(*f, "K1");
  }

  // A colour not in the table leaves FG on white and BG on black.
  void colourOutsideTheTableMarksWhiteAndBlack() {
    auto f = MakeForm();
    FormProbe::SetPaneColors(*f, 0x123456, 0x654321);
    ui_->accept = false;
    ui_->onShow = [](QDialog& d) {
      auto& dlg = static_cast<TColorDlg&>(d);
      QCOMPARE(dlg.ColorGrid1->ForegroundIndex(), 15);
      QCOMPARE(dlg.ColorGrid1->BackgroundIndex(), 0);
    };
    Trigger(*f, "K1");
  }

  // Both mouse buttons on one cell: "FB", text and background the same, and
  // the mouse picture shows which button is down.
  void sameCellWithBothButtons() {
    auto f = MakeForm();
    ui_->accept = true;
    ui_->onShow = [](QDialog& d) {
      auto& dlg = static_cast<TColorDlg&>(d);
      TColorGrid* g = dlg.ColorGrid1;
      const QPoint at = g->CellRectangle(12).center();
      QTest::mousePress(g, Qt::LeftButton, {}, at);
      QCOMPARE(dlg.LMouse->palette().color(QPalette::Window), QColor(0, 0, 128));
      QCOMPARE(dlg.LLMouse->palette().color(QPalette::WindowText), QColor(255, 255, 255));
      QCOMPARE(dlg.RMouse->palette().color(QPalette::Window), QColor(255, 255, 255));
      QTest::mouseRelease(g, Qt::LeftButton, {}, at);
      QCOMPARE(dlg.LMouse->palette().color(QPalette::Window), QColor(255, 255, 255));
      QCOMPARE(dlg.LLMouse->palette().color(QPalette::WindowText), QColor(0, 0, 0));
      QTest::mousePress(g, Qt::RightButton, {}, at);
      QCOMPARE(dlg.RMouse->palette().color(QPalette::Window), QColor(0, 0, 128));
      QTest::mouseRelease(g, Qt::RightButton, {}, at);
      QCOMPARE(QString::fromLatin1(g->State().MarkText(12)), QStringLiteral("FB"));
      QCOMPARE(dlg.PreviewBackColor(), 0xFF0000);
      QCOMPARE(dlg.PreviewTextColor(), 0xFF0000);
    };
    Trigger(*f, "K1");
    QCOMPARE(f->Look().BackColor, 0xFF0000);
    QCOMPARE(f->Look().TextColor, 0xFF0000);
  }

  // The grid from the keyboard: arrows move the focus cell, F and B set the
  // marks, and each cell reads as its colour and what it is used for.
  void gridFromTheKeyboard() {
    auto f = MakeForm();
    ui_->accept = true;
    ui_->onShow = [](QDialog& d) {
      auto& dlg = static_cast<TColorDlg&>(d);
      TColorGrid* g = dlg.ColorGrid1;
      g->setFocus();
      QCOMPARE(g->Selection(), 0);
      QTest::keyClick(g, Qt::Key_Left);  // wraps to the last cell
      QCOMPARE(g->Selection(), 15);
      QTest::keyClick(g, Qt::Key_Down);  // and on to cell 0
      QTest::keyClick(g, Qt::Key_Down);
      QTest::keyClick(g, Qt::Key_Right);
      QCOMPARE(g->Selection(), 5);
      QTest::keyClick(g, Qt::Key_F);
      QCOMPARE(dlg.PreviewBackColor(), 0x800080);  // purple background
      QTest::keyClick(g, Qt::Key_End);
      QTest::keyClick(g, Qt::Key_B);
      QCOMPARE(dlg.PreviewTextColor(), kWhite);
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(g);
      if (!a) return;
      if (a->childCount() != 16) return;
      QCOMPARE(a->child(5)->text(QAccessible::Name), QStringLiteral("紫、背景色"));
      QCOMPARE(a->child(15)->text(QAccessible::Name), QStringLiteral("白、文字色"));
      QCOMPARE(a->child(0)->text(QAccessible::Name), QStringLiteral("黒"));
      QVERIFY(a->child(15)->state().selected);
      QCOMPARE(a->indexOfChild(a->child(7)), 7);
    };
    Trigger(*f, "K1");
    QCOMPARE(f->Look().BackColor, 0x800080);
    QCOMPARE(f->Look().TextColor, kWhite);
  }

  // A font chosen in the colour dialog keeps the colours picked in the grid,
  // and OK gives the pane that font.
  void fontInTheColourDialogKeepsTheColours() {
    auto f = MakeForm();
    QFont chosen(QStringLiteral("IPAPGothic"));
    chosen.setPointSize(20);
    chosen.setBold(true);
    ui_->font = chosen;
    ui_->accept = true;
    ui_->onShow = [&](QDialog& d) {
      auto& dlg = static_cast<TColorDlg&>(d);
      ClickCell(dlg.ColorGrid1, 4, Qt::LeftButton);
      ClickCell(dlg.ColorGrid1, 11, Qt::RightButton);
      QTest::mouseClick(dlg.Button1, Qt::LeftButton);
      QCOMPARE(ui_->fontOffered.family(), QStringLiteral("FixedSys"));
      QCOMPARE(dlg.PreviewBackColor(), 0x800000);
      QCOMPARE(dlg.PreviewTextColor(), 0x00FFFF);
      QCOMPARE(dlg.Label1->font().pointSize(), 20);
    };
    Trigger(*f, "K1");
    QCOMPARE(Memo(*f)->font().pointSize(), 20);
    QVERIFY(Memo(*f)->font().bold());
    QCOMPARE(f->Look().BackColor, 0x800000);
    QCOMPARE(f->Look().TextColor, 0x00FFFF);
    QCOMPARE(f->Look().FontSize, 20);
  }

  // The font command never changes the text colour; cancel changes nothing.
  void fontCommandKeepsTheTextColour() {
    auto f = MakeForm();
    FormProbe::SetPaneColors(*f, 0x0000FF, 0xFFFFFF);
    const QFont before = Memo(*f)->font();
    Trigger(*f, "K3");  // cancelled
    QCOMPARE(Memo(*f)->font(), before);
    QFont chosen(QStringLiteral("IPAGothic"));
    chosen.setPointSize(11);
    ui_->font = chosen;
    Trigger(*f, "K3");
    QCOMPARE(Memo(*f)->font().pointSize(), 11);
    QCOMPARE(f->Look().TextColor, 0x0000FF);
    QCOMPARE(Memo(*f)->palette().color(QPalette::Text), QColor(255, 0, 0));
  }

  // What the dialogs chose is in Kest.INI after a restart, in the old
  // colour format.
  void choicesSurviveARestart() {
    {
      auto f = MakeForm();
      ui_->accept = true;
      ui_->onShow = [](QDialog& d) {
        auto& dlg = static_cast<TColorDlg&>(d);
        ClickCell(dlg.ColorGrid1, 6, Qt::LeftButton);    // teal
        ClickCell(dlg.ColorGrid1, 14, Qt::RightButton);  // aqua
      };
      Trigger(*f, "K1");
      QFont chosen(QStringLiteral("IPAGothic"));
      chosen.setPointSize(12);
      chosen.setItalic(true);
      ui_->font = chosen;
      Trigger(*f, "K3");
      f->close();
    }
    ProfileFile ini(ini_);
    QCOMPARE(ini.ReadString("Option", "Color", "?"), std::string("8421376"));  // 0x808000
    QCOMPARE(ini.ReadString("Font", "Color", "?"), std::string("16776960"));   // 0xFFFF00
    QCOMPARE(ini.ReadString("Font", "FontSize", "?"), std::string("12"));
    QCOMPARE(ini.ReadString("FONT", "FontStyle", "?"), std::string("2"));
    auto g = MakeForm();
    QCOMPARE(g->Look().BackColor, 0x808000);
    QCOMPARE(g->Look().TextColor, 0xFFFF00);
    QCOMPARE(Memo(*g)->font().pointSize(), 12);
    QVERIFY(Memo(*g)->font().italic());
    QCOMPARE(Memo(*g)->palette().color(QPalette::Base), QColor(0, 128, 128));
  }

  // A size from a hand-edited Kest.INI that no one could read is shown at
  // the nearest that reads and written back as it stood, until the user
  // picks a font.
  void unreadableFontSizeIsShownReadablyAndKept() {
    WriteIni("[Font]\r\nFontSize=100000\r\n");
    {
      auto f = MakeForm();
      QCOMPARE(Memo(*f)->font().pointSize(), kMaxFontPoints);
      ui_->accept = true;
      ui_->onShow = [](QDialog&) {};  // OK without a font
      Trigger(*f, "K1");
      f->close();
    }
    QCOMPARE(ProfileFile(ini_).ReadString("Font", "FontSize", "?"), std::string("100000"));
    {
      auto f = MakeForm();
      QFont chosen = Memo(*f)->font();
      chosen.setPointSize(16);
      ui_->font = chosen;
      Trigger(*f, "K3");
      f->close();
    }
    QCOMPARE(ProfileFile(ini_).ReadString("Font", "FontSize", "?"), std::string("16"));

    WriteIni("[Font]\r\nFontSize=-5000\r\n");
    auto f = MakeForm();
    QCOMPARE(Memo(*f)->font().pixelSize(), kMaxFontPixels);
    f->close();
    QCOMPARE(ProfileFile(ini_).ReadString("Font", "FontSize", "?"), std::string("-5000"));
  }
};

QTEST_MAIN(ColoursTest)
#include "ColoursTest.moc"
