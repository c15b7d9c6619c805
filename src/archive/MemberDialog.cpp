#include "archive/MemberDialog.h"

#include <QBoxLayout>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "platform/Interaction.h"

namespace kest {
namespace {

enum Column { kName, kSize, kDate, kMethod };
constexpr int kNameRole = Qt::UserRole;  // the member's key, for an item that can be opened

}  // namespace

TMemberDlg::TMemberDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("MemberDlg"));
  setWindowTitle(QStringLiteral("書庫のメンバー"));
  setAccessibleName(windowTitle());
  resize(560, 360);
  auto* column = new QVBoxLayout(this);
  Label1 = new QLabel(this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setWordWrap(true);
  column->addWidget(Label1);

  MemberList = new QTreeWidget(this);
  MemberList->setObjectName(QStringLiteral("MemberList"));
  MemberList->setAccessibleName(QStringLiteral("メンバーの一覧"));
  MemberList->setRootIsDecorated(false);
  MemberList->setUniformRowHeights(true);
  MemberList->setAllColumnsShowFocus(true);
  MemberList->setHeaderLabels({QStringLiteral("名前"), QStringLiteral("大きさ"), QStringLiteral("日付"),
                               QStringLiteral("圧縮方式")});
  MemberList->header()->setSectionResizeMode(kName, QHeaderView::Stretch);
  MemberList->header()->setStretchLastSection(false);
  Label1->setBuddy(MemberList);
  column->addWidget(MemberList, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  OKBtn = new QPushButton(QStringLiteral("開く(&O)"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  column->addLayout(buttons);

  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(MemberList, &QTreeWidget::currentItemChanged, this, [this] { UpdateOK(); });
  connect(MemberList, &QTreeWidget::itemActivated, this, [this] {
    if (Selected()) accept();
  });
}

void TMemberDlg::Prepare(const ArchiveListing& listing, const std::string& archive) {
  MemberList->clear();
  const QString name = QFileInfo(QString::fromStdString(archive)).fileName();
  QString text = QStringLiteral("書庫 %1 には %2 個のメンバーがあります（ログ %3 個）。開くメンバーを選んでください。")
                     .arg(name)
                     .arg(listing.members.size())
                     .arg(listing.LogCount());
  if (!listing.damage.empty()) text += QLatin1Char('\n') + QString::fromStdString(listing.damage);
  Label1->setText(text);
  Label1->setToolTip(QString::fromStdString(archive));

  // Made in one go: an archive of ten thousand members opens at once.
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(listing.members.size()));
  QTreeWidgetItem* firstLog = nullptr;
  const QBrush grey = palette().brush(QPalette::Disabled, QPalette::Text);
  for (std::size_t i : listing.LogsFirst()) {
    const ArchiveMember& m = listing.members[i];
    auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(m.name), QString::number(m.size),
                                                 QString::fromStdString(FormatMemberDate(m.mtime)),
                                                 QString::fromStdString(m.method)});
    item->setTextAlignment(kSize, Qt::AlignRight | Qt::AlignVCenter);
    item->setToolTip(kName, QString::fromStdString(m.problem.empty() ? m.name : m.problem));
    if (!m.problem.empty()) {
      item->setFlags(Qt::NoItemFlags);  // listed, never opened
    } else {
      item->setData(kName, kNameRole, QString::fromStdString(m.name));
      if (!firstLog && m.looksLikeLog) firstLog = item;
    }
    if (!m.looksLikeLog || !m.problem.empty()) {
      for (int c = kName; c <= kMethod; ++c) item->setForeground(c, grey);
    }
    items.push_back(item);
  }
  MemberList->addTopLevelItems(items);
  MemberList->resizeColumnToContents(kSize);
  MemberList->resizeColumnToContents(kDate);
  MemberList->resizeColumnToContents(kMethod);
  if (firstLog) MemberList->setCurrentItem(firstLog);
  MemberList->setFocus();
  UpdateOK();
}

std::optional<std::string> TMemberDlg::Choose(const ArchiveListing& listing, const std::string& archive) {
  Prepare(listing, archive);
  if (!Ui().RunModal(*this)) return std::nullopt;
  return Selected();
}

std::optional<std::string> TMemberDlg::Selected() const {
  const QTreeWidgetItem* item = MemberList->currentItem();
  if (!item) return std::nullopt;
  const QVariant name = item->data(kName, kNameRole);
  if (!name.isValid()) return std::nullopt;
  return name.toString().toStdString();
}

void TMemberDlg::UpdateOK() { OKBtn->setEnabled(Selected().has_value()); }

}  // namespace kest
