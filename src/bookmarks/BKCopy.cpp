#include "bookmarks/BKCopy.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kest {

TBMCOPYFORM::TBMCOPYFORM(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("BMCOPYFORM"));
  setWindowTitle(QStringLiteral("コピー先"));
  setAccessibleName(QStringLiteral("コピー先"));
  TreeView1 = new QTreeWidget(this);
  TreeView1->setObjectName(QStringLiteral("TreeView1"));
  TreeView1->setAccessibleName(QStringLiteral("移動先のグループ"));
  TreeView1->setHeaderHidden(true);
  TreeView1->setFixedSize(273, 185);
  BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn1->setDefault(true);
  BitBtn2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  buttons->addStretch();
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 8, 8);
  row->addWidget(TreeView1);
  row->addLayout(buttons);
  row->setSizeConstraint(QLayout::SetFixedSize);

  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
  connect(TreeView1, &QTreeWidget::itemActivated, this, &QDialog::accept);
}

void TBMCOPYFORM::FormShow(const QTreeWidget& source) {
  TreeView1->clear();
  for (int i = 0; i < source.topLevelItemCount(); ++i) {
    QTreeWidgetItem* copy = source.topLevelItem(i)->clone();
    TreeView1->addTopLevelItem(copy);
  }
  TreeView1->expandAll();
  TreeView1->clearSelection();
  TreeView1->setCurrentItem(nullptr);
  TreeView1->setFocus();
}

int TBMCOPYFORM::SelectedNode() const {
  const QList<QTreeWidgetItem*> chosen = TreeView1->selectedItems();
  if (chosen.isEmpty()) return -1;
  return chosen.first()->data(0, Qt::UserRole).toInt();
}

}  // namespace kest
