#include "ui/Interaction.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

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

bool Interaction::RunModal(QDialog&) { return false; }

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

std::optional<QString> QtInteraction::Input(QWidget* parent, const QString& caption,
                                            const QString& prompt, const QString& initial) {
  QInputDialog dlg(parent);
  dlg.setWindowTitle(caption);
  dlg.setLabelText(prompt);
  dlg.setTextValue(initial);
  dlg.setOkButtonText(QStringLiteral("OK"));
  dlg.setCancelButtonText(QStringLiteral("ｷｬﾝｾﾙ"));
  if (dlg.exec() != QDialog::Accepted) return std::nullopt;
  return dlg.textValue();
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

std::optional<QFont> QtInteraction::ChooseFont(QWidget* parent, const QFont& initial) {
  bool ok = false;
  QFont f = QFontDialog::getFont(&ok, initial, parent, QString(), QFontDialog::DontUseNativeDialog);
  if (!ok) return std::nullopt;
  return f;
}

bool QtInteraction::RunModal(QDialog& dialog) { return dialog.exec() == QDialog::Accepted; }

void QtInteraction::Beep() { QApplication::beep(); }

void QtInteraction::BeginWait() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void QtInteraction::EndWait() { QApplication::restoreOverrideCursor(); }

}  // namespace kest
