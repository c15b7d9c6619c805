#include "platform/FindDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/Codec.h"

namespace kest {

TFindDialog::TFindDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FindDialog1"));
  setWindowTitle(QStringLiteral("検索"));
  setAccessibleName(QStringLiteral("検索"));
  setModal(false);

  auto* label = new QLabel(QStringLiteral("検索する文字列(&N):"), this);
  FindEdit = new QLineEdit(this);
  FindEdit->setObjectName(QStringLiteral("FindEdit"));
  FindEdit->setAccessibleName(QStringLiteral("検索する文字列"));
  FindEdit->setMinimumWidth(220);
  label->setBuddy(FindEdit);

  MatchCaseBox = new QCheckBox(QStringLiteral("大文字と小文字を区別する(&C)"), this);
  MatchCaseBox->setObjectName(QStringLiteral("MatchCaseBox"));
  MatchCaseBox->setAccessibleName(QStringLiteral("大文字と小文字を区別する"));

  auto* direction = new QGroupBox(QStringLiteral("検索する方向"), this);
  direction->setAccessibleName(QStringLiteral("検索する方向"));
  UpButton = new QRadioButton(QStringLiteral("上へ(&U)"), direction);
  UpButton->setObjectName(QStringLiteral("UpButton"));
  UpButton->setAccessibleName(QStringLiteral("上へ"));
  DownButton = new QRadioButton(QStringLiteral("下へ(&D)"), direction);
  DownButton->setObjectName(QStringLiteral("DownButton"));
  DownButton->setAccessibleName(QStringLiteral("下へ"));
  DownButton->setChecked(true);
  auto* dirLayout = new QHBoxLayout(direction);
  dirLayout->addWidget(UpButton);
  dirLayout->addWidget(DownButton);

  FindButton = new QPushButton(QStringLiteral("次を検索(&F)"), this);
  FindButton->setObjectName(QStringLiteral("FindButton"));
  FindButton->setAccessibleName(QStringLiteral("次を検索"));
  FindButton->setDefault(true);
  CancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setAccessibleName(QStringLiteral("キャンセル"));

  auto* left = new QVBoxLayout;
  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(FindEdit, 1);
  left->addLayout(row);
  auto* lower = new QHBoxLayout;
  lower->addWidget(MatchCaseBox, 0, Qt::AlignBottom);
  lower->addWidget(direction);
  left->addLayout(lower);
  auto* right = new QVBoxLayout;
  right->addWidget(FindButton);
  right->addWidget(CancelButton);
  right->addStretch();
  auto* top = new QHBoxLayout(this);
  top->addLayout(left, 1);
  top->addLayout(right);

  connect(FindEdit, &QLineEdit::textChanged, this, [this] {
    LimitLength();
    UpdateFindButton();
  });
  connect(FindButton, &QPushButton::clicked, this, [this] {
    if (!FindEdit->text().isEmpty()) emit findRequested();
  });
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::close);
  UpdateFindButton();
}

void TFindDialog::Execute() {
  if (!isVisible()) show();
  raise();
  activateWindow();
  FindEdit->setFocus();
  FindEdit->selectAll();
}

QString TFindDialog::FindText() const { return FindEdit->text(); }

std::string TFindDialog::FindTextSjis(bool* ok) const {
  return Utf8ToSjis(FindEdit->text().toStdString(), ok);
}

bool TFindDialog::MatchCase() const { return MatchCaseBox->isChecked(); }
bool TFindDialog::Down() const { return DownButton->isChecked(); }
void TFindDialog::SetFindText(const QString& text) { FindEdit->setText(text); }
void TFindDialog::SetMatchCase(bool on) { MatchCaseBox->setChecked(on); }
void TFindDialog::SetDown(bool down) { (down ? DownButton : UpButton)->setChecked(true); }

void TFindDialog::LimitLength() {
  // Whole characters are dropped from the end until the Shift-JIS form fits.
  QString text = FindEdit->text();
  if (Utf8ToSjis(text.toStdString()).size() <= static_cast<std::size_t>(kMaxBytes)) return;
  while (!text.isEmpty() && Utf8ToSjis(text.toStdString()).size() > static_cast<std::size_t>(kMaxBytes)) {
    text.chop(text.size() >= 2 && text.at(text.size() - 1).isLowSurrogate() ? 2 : 1);
  }
  const QSignalBlocker block(FindEdit);
  FindEdit->setText(text);
}

void TFindDialog::UpdateFindButton() { FindButton->setEnabled(!FindEdit->text().isEmpty()); }

}  // namespace kest
