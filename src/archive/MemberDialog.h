// TMemberDlg: the members of an archive of several logs, for the user to
// choose the one to open: name, size and date, the logs first, other files
// greyed, members that cannot be opened listed with the reason.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "archive/Archive.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace kest {

class TMemberDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TMemberDlg(QWidget* parent = nullptr);

  // Fills the list from `listing` of `archive` and selects the first log.
  void Prepare(const ArchiveListing& listing, const std::string& archive);
  // Prepare, then the dialog through the interaction seam: the chosen
  // member's name, or nothing when cancelled.
  std::optional<std::string> Choose(const ArchiveListing& listing, const std::string& archive);
  // The selected member's name; nothing when no member that can be opened is
  // selected.
  std::optional<std::string> Selected() const;

  QLabel* Label1 = nullptr;
  QTreeWidget* MemberList = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 private:
  void UpdateOK();
};

}  // namespace kest
