// TColorDlg: "表示色の設定". The user picks the text pane's background colour
// (the FG mark, left mouse button) and text colour (the BG mark, right mouse
// button) from the 16-colour grid, may change the font, and sees the result
// in the preview; OK hands the preview's values to the window. The dialog is
// kept from one show to the next, and with it the grid's marks.
#pragma once

#include <QDialog>
#include <QFont>
#include <cstdint>

class QFrame;
class QLabel;
class QPushButton;

namespace kest {

class TColorGrid;

class TColorDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TColorDlg(QWidget* parent = nullptr);

  // Prepares the show with the pane's values (FormShow) and runs the dialog
  // modally; true for OK, when the preview's values are the result.
  bool Execute(std::int32_t textCode, std::int32_t backCode, const QFont& font);

  // FormShow: the preview takes the pane's values; the grid's marks go to the
  // table cells of those colours (white and black for colours outside the
  // table), and each mark that moves updates the preview from the grid.
  void FormShow(std::int32_t textCode, std::int32_t backCode, const QFont& font);

  // The preview's values (colour codes as the settings file keeps them).
  std::int32_t PreviewTextColor() const { return textCode_; }
  std::int32_t PreviewBackColor() const { return backCode_; }
  const QFont& PreviewFont() const { return font_; }
  // A font was chosen with "ﾌｫﾝﾄの変更" since the last FormShow.
  bool FontChosen() const { return fontChosen_; }

  // Handlers.
  void ColorGrid1Click();
  void Button1Click();  // "ﾌｫﾝﾄの変更"
  void Button2Click();  // "ﾃﾞﾌｫﾙﾄ"
  void ColorGrid1MouseDown(Qt::MouseButton button);
  void ColorGrid1MouseUp(Qt::MouseButton button);

  // Controls, named as the form names them.
  QFrame* Panel1 = nullptr;
  QLabel* Label1 = nullptr;  // the preview "表示文字"
  QFrame* Shape1 = nullptr;  // the mouse's body
  QFrame* LMouse = nullptr;
  QFrame* RMouse = nullptr;
  QLabel* LLMouse = nullptr;  // "FG"
  QLabel* LRMouse = nullptr;  // "BG"
  QLabel* Label4 = nullptr;   // "マウス"
  QLabel* Label2 = nullptr;   // "FG: 背景色"
  QLabel* Label3 = nullptr;   // "BG: 文字色"
  TColorGrid* ColorGrid1 = nullptr;
  QPushButton* BitBtn1 = nullptr;  // OK
  QPushButton* BitBtn2 = nullptr;  // Cancel
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;

 private:
  void ShowPreview();
  void PaintMouseButton(QFrame* shape, QLabel* label, bool pressed);

  std::int32_t textCode_ = 0;
  std::int32_t backCode_ = 0;
  QFont font_;
  bool fontChosen_ = false;
};

}  // namespace kest
