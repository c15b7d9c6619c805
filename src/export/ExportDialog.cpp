#include "export/ExportDialog.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "platform/Interaction.h"

namespace kest {

TExportDlg::TExportDlg(QWidget* parent, std::function<QString(ExportScope, const ExportOptions&)> suggest)
    : QDialog(parent), suggest_(std::move(suggest)) {
  setObjectName(QStringLiteral("ExportDlg"));
  setWindowTitle(QStringLiteral("ｴｸｽﾎﾟｰﾄ"));
  setAccessibleName(windowTitle());
  auto* column = new QVBoxLayout(this);

  auto radio = [](QWidget* parent, const char* name, const QString& text) {
    auto* b = new QRadioButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(QString(text).remove(QLatin1Char('&')));
    return b;
  };

  auto* what = new QGroupBox(QStringLiteral("範囲"), this);
  what->setObjectName(QStringLiteral("ScopeBox"));
  what->setAccessibleName(QStringLiteral("範囲"));
  auto* whatColumn = new QVBoxLayout(what);
  RemarkBtn = radio(what, "RemarkBtn", QStringLiteral("表示中の発言(&R)"));
  ThreadBtn = radio(what, "ThreadBtn", QStringLiteral("表示中の発言のスレッド(&T)"));
  ListBtn = radio(what, "ListBtn", QStringLiteral("タイトルリストの発言すべて(&L)"));
  LogBtn = radio(what, "LogBtn", QStringLiteral("ログ全体(&A)"));
  scopes_ = new QButtonGroup(this);
  int id = 0;
  for (QRadioButton* b : {RemarkBtn, ThreadBtn, ListBtn, LogBtn}) {
    scopes_->addButton(b, id++);
    whatColumn->addWidget(b);
  }
  column->addWidget(what);

  auto* form = new QGroupBox(QStringLiteral("形式"), this);
  form->setObjectName(QStringLiteral("FormatBox"));
  form->setAccessibleName(QStringLiteral("形式"));
  auto* formColumn = new QVBoxLayout(form);
  HtmlBtn = radio(form, "HtmlBtn", QStringLiteral("&HTML (スレッドを入れ子の一覧で)"));
  TextBtn = radio(form, "TextBtn", QStringLiteral("テキスト (UTF-8・LF)(&X)"));
  SjisBox = new QCheckBox(QStringLiteral("ログのまま Shift-JIS・CR LF で(&S)"), form);
  SjisBox->setObjectName(QStringLiteral("SjisBox"));
  SjisBox->setAccessibleName(QStringLiteral("ログのまま Shift-JIS・CR LF で"));
  HtmlBtn->setChecked(true);
  formColumn->addWidget(HtmlBtn);
  formColumn->addWidget(TextBtn);
  formColumn->addWidget(SjisBox);
  column->addWidget(form);

  auto* fileRow = new QHBoxLayout;
  auto* fileLabel = new QLabel(QStringLiteral("ファイル(&F):"), this);
  FileEdit = new QLineEdit(this);
  FileEdit->setObjectName(QStringLiteral("FileEdit"));
  FileEdit->setAccessibleName(QStringLiteral("書き出すファイル"));
  FileEdit->setMinimumWidth(320);
  fileLabel->setBuddy(FileEdit);
  BrowseBtn = new QPushButton(QStringLiteral("参照(&B)..."), this);
  BrowseBtn->setObjectName(QStringLiteral("BrowseBtn"));
  BrowseBtn->setAccessibleName(QStringLiteral("参照"));
  fileRow->addWidget(fileLabel);
  fileRow->addWidget(FileEdit, 1);
  fileRow->addWidget(BrowseBtn);
  column->addLayout(fileRow);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  column->addLayout(buttons);

  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(BrowseBtn, &QPushButton::clicked, this, [this] { BrowseClick(); });
  connect(scopes_, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (on) Follow();
  });
  connect(HtmlBtn, &QRadioButton::toggled, this, [this] { Follow(); });
  connect(SjisBox, &QCheckBox::toggled, this, [this] { Follow(); });
  connect(FileEdit, &QLineEdit::textEdited, this, [this] { nameChosen_ = true; });
  connect(FileEdit, &QLineEdit::textChanged, this,
          [this](const QString& text) { OKBtn->setEnabled(!text.trimmed().isEmpty()); });
}

void TExportDlg::Prepare(ExportScope scope, bool remarkShown) {
  RemarkBtn->setEnabled(remarkShown);
  ThreadBtn->setEnabled(remarkShown);
  if (!remarkShown && (scope == ExportScope::Remark || scope == ExportScope::Thread))
    scope = ExportScope::Log;
  nameChosen_ = false;
  scopes_->button(static_cast<int>(scope))->setChecked(true);
  Follow();
  FileEdit->setFocus();
}

ExportScope TExportDlg::Scope() const { return static_cast<ExportScope>(std::max(scopes_->checkedId(), 0)); }

ExportOptions TExportDlg::Options() const {
  ExportOptions o;
  o.format = HtmlBtn->isChecked() ? ExportFormat::Html : ExportFormat::Text;
  o.shiftJis = o.format == ExportFormat::Text && SjisBox->isChecked();
  return o;
}

QString TExportDlg::FileName() const { return FileEdit->text().trimmed(); }

void TExportDlg::SetFileName(const QString& name) {
  FileEdit->setText(name);
  nameChosen_ = true;
}

void TExportDlg::Follow() {
  SjisBox->setEnabled(TextBtn->isChecked());
  if (nameChosen_ || !suggest_) return;
  FileEdit->setText(suggest_(Scope(), Options()));
}

void TExportDlg::BrowseClick() {
  const bool html = HtmlBtn->isChecked();
  const std::optional<QString> chosen =
      Ui().SaveFileName(this, QStringLiteral("ｴｸｽﾎﾟｰﾄ先"), FileName(),
                        {html ? QStringLiteral("HTML ﾌｧｲﾙ(*.html *.htm)") : QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ(*.txt)"),
                         QStringLiteral("全てのﾌｧｲﾙ(*)")});
  if (chosen) SetFileName(*chosen);
}

}  // namespace kest
