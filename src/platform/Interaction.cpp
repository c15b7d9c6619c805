#include "platform/Interaction.h"

#include <QApplication>
#include <QDialog>
#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <algorithm>

namespace kest {
namespace {

Interaction* installed = nullptr;

QtInteraction& QtDefault() {
  static QtInteraction qt;
  return qt;
}

}  // namespace

Interaction& Ui() { return installed ? *installed : QtDefault(); }

void SetUi(Interaction* ui) { installed = ui; }


void QtInteraction::Info(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("情報"), text, QMessageBox::NoButton,
                  parent);
  box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.exec();
}

bool QtInteraction::Confirm(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("警告"), text, QMessageBox::NoButton,
                  parent);
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.addButton(QStringLiteral("ｷｬﾝｾﾙ"), QMessageBox::RejectRole);
  box.setDefaultButton(ok);
  box.exec();
  return box.clickedButton() == ok;
}

void QtInteraction::Error(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text,
                  QMessageBox::NoButton, parent);
  box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.exec();
}

void Interaction::Tell(QWidget* parent, Box box, const QString& text, const QString&) {
  if (box == Box::Error) {
    Error(parent, text);
  } else {
    Info(parent, text);
  }
}

int Interaction::Ask(QWidget* parent, const QString& text, const QString&, const QStringList& buttons) {
  // Without a box of its own: the first choice when confirmed.
  return Confirm(parent, text) && !buttons.isEmpty() ? 0 : -1;
}

void QtInteraction::Tell(QWidget* parent, Box box, const QString& text, const QString& details) {
  QMessageBox msg(box == Box::Error ? QMessageBox::Critical : QMessageBox::Information,
                  box == Box::Error ? QApplication::applicationDisplayName() : QStringLiteral("情報"), text,
                  QMessageBox::NoButton, parent);
  msg.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  if (!details.isEmpty()) msg.setDetailedText(details);
  msg.exec();
}

int QtInteraction::Ask(QWidget* parent, const QString& text, const QString& details, const QStringList& buttons) {
  QMessageBox msg(QMessageBox::Question, QStringLiteral("確認"), text, QMessageBox::NoButton, parent);
  QList<QAbstractButton*> added;
  for (const QString& b : buttons) added << msg.addButton(b, QMessageBox::ActionRole);
  if (!added.isEmpty()) {
    msg.setDefaultButton(static_cast<QPushButton*>(added.first()));
    msg.setEscapeButton(added.last());
  }
  if (!details.isEmpty()) msg.setDetailedText(details);
  msg.exec();
  return static_cast<int>(added.indexOf(msg.clickedButton()));
}

std::unique_ptr<QInputDialog> MakeInputDialog(QWidget* parent, const QString& caption, const QString& prompt,
                                              const QString& initial) {
  auto dlg = std::make_unique<QInputDialog>(parent);
  dlg->setWindowTitle(caption);
  dlg->setLabelText(prompt);
  dlg->setTextValue(initial);
  dlg->setOkButtonText(QStringLiteral("OK"));
  dlg->setCancelButtonText(QStringLiteral("ｷｬﾝｾﾙ"));
  // The title bar cuts a caption wider than the box ("グループ… 規作成"):
  // the box is made as wide as the caption and the title bar's buttons need.
  // The dialog's layout fixes its size from its contents, so the width is
  // asked of the input field, not of the dialog.
  const QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
  const int captionWidth = QFontMetrics(titleFont).horizontalAdvance(caption);
  const int promptWidth = dlg->fontMetrics().horizontalAdvance(prompt);
  if (auto* edit = dlg->findChild<QLineEdit*>()) {
    edit->setMinimumWidth(std::max({edit->minimumSizeHint().width(), captionWidth + 140, promptWidth + 20}));
  }
  return dlg;
}

std::optional<QString> QtInteraction::Input(QWidget* parent, const QString& caption,
                                            const QString& prompt, const QString& initial) {
  const std::unique_ptr<QInputDialog> dlg = MakeInputDialog(parent, caption, prompt, initial);
  if (dlg->exec() != QDialog::Accepted) return std::nullopt;
  return dlg->textValue();
}

std::optional<QString> QtInteraction::OpenFileName(QWidget* parent, const QString& folder,
                                                   const QString& name,
                                                   const QStringList& filters) {
  QFileDialog dlg(parent);
  dlg.setFileMode(QFileDialog::AnyFile);  // the load itself checks that the name exists
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setNameFilters(filters);
  // "*.log" finds "A.LOG" too, as users of these logs expect.
  dlg.setFilter(dlg.filter() & ~QDir::CaseSensitive);
  if (!folder.isEmpty()) dlg.setDirectory(folder);
  if (!name.isEmpty()) dlg.selectFile(name);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return dlg.selectedFiles().constFirst();
}

std::optional<QString> QtInteraction::SaveFileName(QWidget* parent, const QString& caption, const QString& path,
                                                   const QStringList& filters) {
  QFileDialog dlg(parent, caption);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setOption(QFileDialog::DontConfirmOverwrite);
  dlg.setNameFilters(filters);
  dlg.selectFile(path);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return dlg.selectedFiles().constFirst();
}

std::optional<QFont> QtInteraction::ChooseFont(QWidget* parent, const QFont& initial) {
  // Name, style and size only: the effects (underline, strike-out) are not
  // offered, and the font keeps those of the initial font.
  // A face name from the settings file that only stands for another one
  // ("FixedSys") is offered as the face that is really shown.
  QFont start = initial;
  if (!QFontDatabase::families().contains(initial.family())) {
    start.setFamily(QFontInfo(initial).family());
  }
  QFontDialog dialog(start, parent);
  dialog.setOption(QFontDialog::DontUseNativeDialog);
  dialog.setWindowTitle(QStringLiteral("フォント"));
  dialog.setAccessibleName(QStringLiteral("フォント"));
  for (QGroupBox* box : dialog.findChildren<QGroupBox*>()) {
    if (!box->findChildren<QCheckBox*>().isEmpty()) box->hide();
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  QFont f = dialog.selectedFont();
  f.setUnderline(initial.underline());
  f.setStrikeOut(initial.strikeOut());
  return f;
}

bool QtInteraction::ChoosePrinter(QWidget* parent, QPrinter& printer) {
  QPrintDialog dialog(&printer, parent);
  dialog.setWindowTitle(QStringLiteral("印刷"));
  dialog.setAccessibleName(QStringLiteral("印刷"));
  return dialog.exec() == QDialog::Accepted;
}

bool QtInteraction::RunModal(QDialog& dialog) { return dialog.exec() == QDialog::Accepted; }

void QtInteraction::Beep() { QApplication::beep(); }

void QtInteraction::BeginWait() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void QtInteraction::EndWait() { QApplication::restoreOverrideCursor(); }

void RunGuarded(QWidget* parent, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    Ui().Error(parent, QString::fromUtf8(e.what()));
  } catch (...) {
    Ui().Error(parent, QStringLiteral("予期しないエラーが発生しました"));
  }
}

}  // namespace kest
