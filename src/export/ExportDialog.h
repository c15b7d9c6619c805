// TExportDlg: what to export, in which form, to which file. The file name
// follows the choices until the user types or picks one of their own.
#pragma once

#include <QDialog>
#include <functional>

#include "export/Export.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kest {

class TExportDlg : public QDialog {
  Q_OBJECT

 public:
  // `suggest` gives the file name to offer for a scope and options.
  TExportDlg(QWidget* parent, std::function<QString(ExportScope, const ExportOptions&)> suggest);

  // Prepares the dialog for a showing: `scope` chosen, the scopes of the
  // shown remark offered only when `remarkShown`.
  void Prepare(ExportScope scope, bool remarkShown);

  ExportScope Scope() const;
  ExportOptions Options() const;
  QString FileName() const;
  void SetFileName(const QString& name);

  QRadioButton *RemarkBtn = nullptr, *ThreadBtn = nullptr, *ListBtn = nullptr, *LogBtn = nullptr;
  QRadioButton *TextBtn = nullptr, *HtmlBtn = nullptr;
  QCheckBox* SjisBox = nullptr;
  QLineEdit* FileEdit = nullptr;
  QPushButton* BrowseBtn = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 private:
  void Follow();  // the name follows the choices
  void BrowseClick();

  std::function<QString(ExportScope, const ExportOptions&)> suggest_;
  QButtonGroup* scopes_ = nullptr;
  bool nameChosen_ = false;  // the user typed or picked the name
  bool following_ = false;
};

}  // namespace kest
