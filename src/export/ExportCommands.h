// The window's export: ﾌｧｲﾙ → ｴｸｽﾎﾟｰﾄ... and the pop-up menu's
// このｽﾚｯﾄﾞをｴｸｽﾎﾟｰﾄ, the dialog that asks what, in which form and to
// which file, and the export itself with its progress and a way to stop it.
#pragma once

#include <QObject>

#include "export/Export.h"

namespace kest {

class KestHost;
class TExportDlg;

class TExportCommands : public QObject {
  Q_OBJECT

 public:
  TExportCommands(KestHost& host, QObject* parent);

 private:
  // Asks with the dialog, `scope` chosen first, and exports.
  void ExportClick(ExportScope scope);
  ExportSource Source() const;
  // The number a file name is made from: the shown remark's, or its
  // thread's first remark's.
  RemarkNo FirstNumber(ExportScope scope) const;
  // The chosen name as a file: a name without a folder goes beside the log.
  std::filesystem::path Target(const QString& name) const;
  void Run(ExportScope scope, const ExportOptions& options, const std::filesystem::path& target);

  KestHost& host_;
  TExportDlg* ExportDlg = nullptr;               // made on first use
  ExportScope lastScope_ = ExportScope::Thread;  // what the menu entry offers first
};

}  // namespace kest
