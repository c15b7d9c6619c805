#include "platform/HelpViewer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace kest {

QString FindHelpFile(const QString& programDir) {
  const QDir dir(programDir);
  for (const QString& candidate :
       {dir.filePath(QStringLiteral("KEST.HLP")), dir.filePath(QStringLiteral("../share/kest32/KEST.HLP"))}) {
    if (QFileInfo(candidate).isFile()) return QDir::cleanPath(candidate);
  }
  return QString();
}

std::vector<std::pair<QString, QString>> HelpKeywords(const QString& html) {
  static const QRegularExpression link(
      QString::fromLatin1(R"re(<a\s+class="kw"\s+href="#([^"]+)"\s*>([^<]+)</a>)re"),
      QRegularExpression::CaseInsensitiveOption);
  std::vector<std::pair<QString, QString>> out;
  for (auto it = link.globalMatch(html); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    out.emplace_back(m.captured(2).trimmed(), m.captured(1));
  }
  return out;
}

HelpViewer::HelpViewer(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("HelpViewer"));
  setWindowTitle(QStringLiteral("Kest32 ヘルプ"));
  setAccessibleName(QStringLiteral("Kest32 ヘルプ"));
  setWindowFlags(Qt::Window);  // modeless, with its own frame buttons
  resize(760, 560);

  auto* splitter = new QSplitter(this);
  splitter->setObjectName(QStringLiteral("HelpSplitter"));

  auto* side = new QWidget(splitter);
  auto* sideLayout = new QVBoxLayout(side);
  sideLayout->setContentsMargins(0, 0, 0, 0);
  auto* label = new QLabel(QStringLiteral("キーワード(&K):"), side);
  KeywordEdit = new QLineEdit(side);
  KeywordEdit->setObjectName(QStringLiteral("KeywordEdit"));
  KeywordEdit->setAccessibleName(QStringLiteral("キーワードの入力"));
  KeywordEdit->setClearButtonEnabled(true);
  label->setBuddy(KeywordEdit);
  KeywordList = new QListWidget(side);
  KeywordList->setObjectName(QStringLiteral("KeywordList"));
  KeywordList->setAccessibleName(QStringLiteral("キーワード一覧"));
  auto* contents = new QPushButton(QStringLiteral("目次(&C)"), side);
  contents->setObjectName(QStringLiteral("ContentsButton"));
  contents->setAccessibleName(QStringLiteral("目次"));
  contents->setAutoDefault(false);
  sideLayout->addWidget(label);
  sideLayout->addWidget(KeywordEdit);
  sideLayout->addWidget(KeywordList, 1);
  sideLayout->addWidget(contents);

  Browser = new QTextBrowser(splitter);
  Browser->setObjectName(QStringLiteral("HelpBrowser"));
  Browser->setAccessibleName(QStringLiteral("ヘルプの本文"));
  Browser->setOpenExternalLinks(false);
  splitter->addWidget(side);
  splitter->addWidget(Browser);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({200, 560});

  auto* close = new QPushButton(QStringLiteral("閉じる"), this);
  close->setObjectName(QStringLiteral("CloseButton"));
  close->setAccessibleName(QStringLiteral("閉じる"));
  close->setAutoDefault(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(splitter, 1);
  layout->addWidget(close, 0, Qt::AlignRight);

  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(contents, &QPushButton::clicked, this, [this] { ShowPage(HelpPage::Contents); });
  connect(KeywordEdit, &QLineEdit::textChanged, this, &HelpViewer::Filter);
  connect(KeywordEdit, &QLineEdit::returnPressed, this, &HelpViewer::GoToKeyword);
  connect(KeywordList, &QListWidget::itemActivated, this, &HelpViewer::GoToKeyword);
  connect(KeywordList, &QListWidget::itemClicked, this, &HelpViewer::GoToKeyword);
}

bool HelpViewer::Open(const QString& fileName) {
  QFile f(fileName);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QString html = QString::fromUtf8(f.readAll());
  file_ = fileName;
  keywords_ = HelpKeywords(html);
  Browser->setSearchPaths({QFileInfo(fileName).absolutePath()});
  Browser->setHtml(html);
  Filter(KeywordEdit->text());
  return true;
}

void HelpViewer::ShowPage(HelpPage page) {
  show();
  raise();
  activateWindow();
  if (page == HelpPage::Contents) {
    Browser->scrollToAnchor(QStringLiteral("contents"));
    Browser->setFocus();
  } else {
    KeywordEdit->clear();
    Browser->scrollToAnchor(QStringLiteral("index"));
    KeywordEdit->setFocus();
  }
}

QStringList HelpViewer::ShownKeywords() const {
  QStringList out;
  for (int i = 0; i < KeywordList->count(); ++i) out << KeywordList->item(i)->text();
  return out;
}

// Keywords that contain the typed text, letter case and the width of kana
// and letters aside (ｷｰ finds キー).
void HelpViewer::Filter(const QString& text) {
  const QString key = text.trimmed().normalized(QString::NormalizationForm_KC);
  KeywordList->clear();
  for (const auto& [keyword, anchor] : keywords_) {
    if (key.isEmpty() ||
        keyword.normalized(QString::NormalizationForm_KC).contains(key, Qt::CaseInsensitive)) {
      auto* item = new QListWidgetItem(keyword, KeywordList);
      item->setData(Qt::UserRole, anchor);
    }
  }
  if (KeywordList->count() > 0) KeywordList->setCurrentRow(0);
}

void HelpViewer::GoToKeyword() {
  const QListWidgetItem* item = KeywordList->currentItem();
  if (!item) return;
  Browser->scrollToAnchor(item->data(Qt::UserRole).toString());
}

}  // namespace kest
