// TNameDlg: the speaker dialog. One entry per distinct poster of the log (ID,
// a blank, speaker name, as the index keeps them), the move buttons and the
// direction of the search.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QToolButton;

namespace kest {

class TLogCtrl;

// The entries of a remark index: "ID speaker" for every record, in byte
// order, each distinct entry once.
std::vector<std::string> SpeakerEntries(const TLogCtrl& index);

class TNameDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TNameDlg(QWidget* parent = nullptr);

  // Fills the list when `stale` or after a text search (`searchKind` 1) or
  // for another index, preselects the entry of `shownId` (else the first),
  // presets the direction from `speakerDirection` (0 downward, 1 upward),
  // beeps and runs the dialog through the interaction seam. True after OK;
  // SpeakerDirection() then holds the direction chosen.
  bool ShowSpeakers(const TLogCtrl& index, bool stale, int searchKind, std::string_view shownId,
                    std::uint8_t speakerDirection);
  // ShowSpeakers up to the point where the dialog is shown.
  void Prepare(const TLogCtrl& index, bool stale, int searchKind, std::string_view shownId,
               std::uint8_t speakerDirection);

  void UpdateMoveButtons();
  // The selected entry's bytes; empty when none is selected.
  std::string SelectedEntry() const;
  const std::vector<std::string>& Entries() const { return entries_; }
  // 0 downward, 1 upward: set when the dialog ends with OK.
  std::uint8_t SpeakerDirection() const { return direction_; }
  int SearchSelIndex() const;

  QListWidget* ListBox1 = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
  QToolButton* UpButton = nullptr;
  QToolButton* DownButton = nullptr;
  QLabel* Label1 = nullptr;
  QGroupBox* SearchSel = nullptr;
  QButtonGroup* SearchSelGroup = nullptr;  // 0 "上を検索", 1 "下を検索"

 public slots:
  void UpButtonClick();
  void DownButtonClick();
  void OKBtnClick();

 private:
  void Fill(const TLogCtrl& index);

  const TLogCtrl* filledFrom_ = nullptr;
  std::vector<std::string> entries_;
  std::uint8_t direction_ = 0;
};

}  // namespace kest
