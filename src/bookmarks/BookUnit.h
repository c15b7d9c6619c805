// TBookDlg: asks for the name of a new bookmark, proposing one.
#pragma once

#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kest {

class TBookDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TBookDlg(QWidget* parent = nullptr);

  // Puts the proposed name into Edit1 and shows the dialog modally; the name
  // when it closed with OK ("追加"). The focus starts on "追加", so Enter
  // takes the proposal.
  std::optional<QString> ShowForRemark(const QString& proposed);

  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
};

}  // namespace kest
