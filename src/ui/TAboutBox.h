// TAboutBox: the version box of "ﾊﾞｰｼﾞｮﾝ情報(&A)".
#pragma once

#include <QDialog>

class QPushButton;

namespace kest {

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  QPushButton* OKButton = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace kest
