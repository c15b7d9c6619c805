#include "ui/TAboutBox.h"

#include <algorithm>

#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace kest {
namespace {

QLabel* FixedLabel(QWidget* parent, const char* name, const QString& text, const QFont& font,
                   const QPoint& at) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setTextFormat(Qt::PlainText);
  l->setFont(font);
  l->adjustSize();
  // The faces of the design are substituted here and may run wider: keep the
  // label inside its panel.
  l->move(std::min(at.x(), parent->width() - l->width() - 4), at.y());
  return l;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("バージョン情報"));
  setAccessibleName(QStringLiteral("バージョン情報"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(349, 125);
  QFont base(QStringLiteral("ＭＳ ゴシック"));
  base.setPixelSize(16);
  setFont(base);

  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setGeometry(3, 3, 342, 86);

  QFont product = base;
  product.setPixelSize(24);
  product.setBold(true);
  FixedLabel(panel, "ProductName", QStringLiteral("Kest32"), product, QPoint(8, 6));

  auto* picture = new QLabel(panel);
  picture->setObjectName(QStringLiteral("ProgramIcon"));
  picture->setAccessibleName(QStringLiteral("Kest32"));
  picture->setGeometry(8, 40, 32, 32);
  picture->setPixmap(QIcon(QStringLiteral(":/icons/kest32.svg")).pixmap(32, 32));

  QFont system(QStringLiteral("System"));
  system.setPixelSize(19);
  FixedLabel(panel, "Version", QStringLiteral("Version 1.50"), system, QPoint(246, 39));
  QFont times(QStringLiteral("Times New Roman"));
  times.setPixelSize(19);
  FixedLabel(panel, "Comments", QStringLiteral("for Windws95"), times, QPoint(224, 16));

  OKButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton),
                             QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setAccessibleName(QStringLiteral("OK"));
  OKButton->setGeometry(130, 94, 87, 27);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Centred on the screen, with the focus on OK.
  if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
    QRect r = frameGeometry();
    r.moveCenter(screen->availableGeometry().center());
    move(r.topLeft());
  }
  OKButton->setFocus();
}

}  // namespace kest
