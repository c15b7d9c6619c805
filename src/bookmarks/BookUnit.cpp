#include "bookmarks/BookUnit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Interaction.h"

namespace kest {

TBookDlg::TBookDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("BookDlg"));
  setWindowTitle(QStringLiteral("しおりの追加"));
  setAccessibleName(QStringLiteral("しおりの追加"));

  Label1 = new QLabel(QStringLiteral("この発言をしおりに追加します"), this);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setAccessibleName(QStringLiteral("しおりの名前"));
  Edit1->setMinimumWidth(320);
  Label1->setBuddy(Edit1);
  OKBtn = new QPushButton(QStringLiteral("追加"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* column = new QVBoxLayout(this);
  column->addWidget(Label1);
  column->addWidget(Edit1);
  column->addLayout(buttons);
  column->setSizeConstraint(QLayout::SetFixedSize);  // a fixed border

  setTabOrder(OKBtn, CancelBtn);
  setTabOrder(CancelBtn, Edit1);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<QString> TBookDlg::ShowForRemark(const QString& proposed) {
  Edit1->setText(proposed);
  OKBtn->setFocus();
  if (!Ui().RunModal(*this)) return std::nullopt;
  return Edit1->text();
}

}  // namespace kest
