// The find dialog: a small modeless dialog with the find text, the
// match-case box and the up/down direction. It keeps its text and options
// between uses; asking for it while it is open brings it to the front.
// "次を検索" (or Enter) emits findRequested(); the window reads the text and
// options and closes the dialog itself.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kest {

class TFindDialog : public QDialog {
  Q_OBJECT

 public:
  // The longest find text, in Shift-JIS bytes.
  static constexpr int kMaxBytes = 255;

  explicit TFindDialog(QWidget* parent = nullptr);

  // Shows the dialog, or raises it when it is open already; the text is
  // selected so that typing replaces it.
  void Execute();

  QString FindText() const;
  // The find text in Shift-JIS; *ok is false when a character has no
  // Shift-JIS form.
  std::string FindTextSjis(bool* ok) const;
  bool MatchCase() const;
  bool Down() const;
  void SetFindText(const QString& text);
  void SetMatchCase(bool on);
  void SetDown(bool down);

  QLineEdit* FindEdit = nullptr;
  QCheckBox* MatchCaseBox = nullptr;
  QRadioButton* UpButton = nullptr;
  QRadioButton* DownButton = nullptr;
  QPushButton* FindButton = nullptr;
  QPushButton* CancelButton = nullptr;

 signals:
  void findRequested();

 private:
  void LimitLength();
  void UpdateFindButton();
};

}  // namespace kest
