#include "settings/ColUnit.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "platform/QtColors.h"
#include "settings/ColorGrdWidget.h"
#include "platform/Interaction.h"

namespace kest {

namespace {

constexpr std::int32_t kNavy = 0x800000;
constexpr std::int32_t kWhite = 0xFFFFFF;
constexpr std::int32_t kBlack = 0x000000;

void Fill(QWidget* w, std::int32_t back, std::int32_t text = kBlack) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, ColorFromCode(back));
  p.setColor(QPalette::WindowText, ColorFromCode(text));
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& at) {
  auto* l = new QLabel(text, parent);
  l->setGeometry(at);
  return l;
}

}  // namespace

TColorDlg::TColorDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ColorDlg"));
  setWindowTitle(QStringLiteral("表示色の設定"));
  setAccessibleName(QStringLiteral("表示色の設定"));
  setFixedSize(375, 224);

  // The preview.
  Panel1 = new QFrame(this);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(2);
  Panel1->setGeometry(8, 8, 153, 180);
  Label1 = new QLabel(QStringLiteral("表示文字"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setGeometry(2, 2, 149, 176);
  Label1->setAccessibleName(QStringLiteral("見本"));

  // The mouse picture, its legend and the grid.
  auto* frame = new QGroupBox(this);
  frame->setGeometry(168, 4, 199, 184);
  Shape1 = new QFrame(frame);
  Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
  Shape1->setGeometry(16, 12, 40, 65);
  Fill(Shape1, kWhite);
  LMouse = new QFrame(Shape1);
  LMouse->setFrameStyle(QFrame::Box | QFrame::Plain);
  LMouse->setGeometry(0, 0, 20, 33);
  RMouse = new QFrame(Shape1);
  RMouse->setFrameStyle(QFrame::Box | QFrame::Plain);
  RMouse->setGeometry(20, 0, 20, 33);
  LLMouse = MakeLabel(LMouse, QStringLiteral("FG"), QRect(2, 8, 16, 16));
  LRMouse = MakeLabel(RMouse, QStringLiteral("BG"), QRect(2, 8, 16, 16));
  for (QLabel* l : {LLMouse, LRMouse}) {
    QFont small = l->font();
    small.setPixelSize(9);
    l->setFont(small);
    l->setAlignment(Qt::AlignCenter);
  }
  PaintMouseButton(LMouse, LLMouse, false);
  PaintMouseButton(RMouse, LRMouse, false);
  Label4 = MakeLabel(Shape1, QStringLiteral("マウス"), QRect(1, 40, 38, 18));
  {
    QFont small = Label4->font();
    small.setPixelSize(10);
    Label4->setFont(small);
    Label4->setAlignment(Qt::AlignCenter);
  }
  Label2 = MakeLabel(frame, QStringLiteral("FG: 背景色"), QRect(72, 20, 120, 18));
  Label3 = MakeLabel(frame, QStringLiteral("BG: 文字色"), QRect(72, 44, 120, 18));
  ColorGrid1 = new TColorGrid(frame);
  ColorGrid1->setObjectName(QStringLiteral("ColorGrid1"));
  ColorGrid1->setGeometry(16, 80, 100, 100);
  ColorGrid1->SetMarkMeanings(QStringLiteral("背景色"), QStringLiteral("文字色"));
  ColorGrid1->setAccessibleName(QStringLiteral("表示色"));
  ColorGrid1->setAccessibleDescription(
      QStringLiteral("左ボタンまたはFキーで背景色、右ボタンまたはBキーで文字色を選びます"));

  BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
  BitBtn2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
  Button1 = new QPushButton(QStringLiteral("ﾌｫﾝﾄの変更"), this);
  Button2 = new QPushButton(QStringLiteral("ﾃﾞﾌｫﾙﾄ"), this);
  BitBtn1->setGeometry(8, 194, 72, 25);
  BitBtn2->setGeometry(88, 194, 72, 25);
  Button1->setGeometry(176, 194, 96, 25);
  Button2->setGeometry(280, 194, 87, 25);
  BitBtn1->setDefault(true);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
  Button1->setObjectName(QStringLiteral("Button1"));
  Button2->setObjectName(QStringLiteral("Button2"));

  // Keyboard order: the grid first, then the buttons.
  setTabOrder(ColorGrid1, BitBtn1);
  setTabOrder(BitBtn1, BitBtn2);
  setTabOrder(BitBtn2, Button1);
  setTabOrder(Button1, Button2);

  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(ColorGrid1, &TColorGrid::changed, this, [this] { ColorGrid1Click(); });
  connect(ColorGrid1, &TColorGrid::clicked, this, [this] { ColorGrid1Click(); });
  connect(ColorGrid1, &TColorGrid::mousePressed, this,
          [this](Qt::MouseButton b) { ColorGrid1MouseDown(b); });
  connect(ColorGrid1, &TColorGrid::mouseReleased, this,
          [this](Qt::MouseButton b) { ColorGrid1MouseUp(b); });
}

bool TColorDlg::Execute(std::int32_t textCode, std::int32_t backCode, const QFont& font) {
  FormShow(textCode, backCode, font);
  ColorGrid1->setFocus();
  return Ui().RunModal(*this);
}

void TColorDlg::FormShow(std::int32_t textCode, std::int32_t backCode, const QFont& font) {
  backCode_ = backCode;
  textCode_ = textCode;
  font_ = font;
  fontChosen_ = false;
  ShowPreview();
  int f = ColorToIndex(backCode_);
  if (f == kGridColors) f = 15;  // white
  int b = ColorToIndex(textCode_);
  if (b == kGridColors) b = 0;  // black
  // Each of these that moves its mark updates the preview from the grid.
  ColorGrid1->SetForegroundIndex(f);
  ColorGrid1->SetBackgroundIndex(b);
}

void TColorDlg::ColorGrid1Click() {
  backCode_ = IndexToColor(ColorGrid1->ForegroundIndex());
  textCode_ = IndexToColor(ColorGrid1->BackgroundIndex());
  ShowPreview();
}

void TColorDlg::Button1Click() {
  // The font dialog has no colour; the preview's text colour stays.
  if (const auto chosen = Ui().ChooseFont(this, font_)) {
    font_ = *chosen;
    fontChosen_ = true;
    ShowPreview();
  }
}

void TColorDlg::Button2Click() {
  backCode_ = kClWindow;
  textCode_ = kClWindowText;
  ShowPreview();
}

void TColorDlg::ColorGrid1MouseDown(Qt::MouseButton button) {
  if (button == Qt::LeftButton) PaintMouseButton(LMouse, LLMouse, true);
  if (button == Qt::RightButton) PaintMouseButton(RMouse, LRMouse, true);
}

void TColorDlg::ColorGrid1MouseUp(Qt::MouseButton button) {
  if (button == Qt::LeftButton) PaintMouseButton(LMouse, LLMouse, false);
  if (button == Qt::RightButton) PaintMouseButton(RMouse, LRMouse, false);
}

void TColorDlg::PaintMouseButton(QFrame* shape, QLabel* label, bool pressed) {
  Fill(shape, pressed ? kNavy : kWhite);
  Fill(label, pressed ? kNavy : kWhite, pressed ? kWhite : kBlack);
}

void TColorDlg::ShowPreview() {
  Label1->setFont(font_);
  Fill(Label1, backCode_, textCode_);
}

}  // namespace kest
