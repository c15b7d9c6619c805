#include "export/ExportCommands.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QMenu>
#include <QProgressDialog>

#include "export/ExportDialog.h"
#include "platform/Interaction.h"
#include "session/LogSession.h"
#include "ui/KestHost.h"

namespace kest {
namespace {

std::filesystem::path FsPath(const QString& name) {
  return std::filesystem::path(QFile::encodeName(name).toStdString());
}

}  // namespace

TExportCommands::TExportCommands(KestHost& host, QObject* parent) : QObject(parent), host_(host) {
  setObjectName(QStringLiteral("ExportCommands"));
  // ﾌｧｲﾙ: after 印刷.
  QMenu& file = host_.Menu(HostMenu::File);
  auto* entry = new QAction(QStringLiteral("ｴｸｽﾎﾟｰﾄ(&E)..."), this);
  entry->setObjectName(QStringLiteral("Export_M"));
  QAction* before = nullptr;
  for (QAction* a : file.actions()) {
    if (a->objectName() == QLatin1String("N1")) before = a;
  }
  file.insertAction(before, entry);
  host_.AddCommand(Command::Export, entry, [this] { ExportClick(lastScope_); });
  host_.AddCommand(
      Command::ExportThread,
      AddEntry(host_.Menu(HostMenu::Popup), this, "ExportThread_P", QStringLiteral("このｽﾚｯﾄﾞをｴｸｽﾎﾟｰﾄ")),
      [this] { ExportClick(ExportScope::Thread); });
}

ExportSource TExportCommands::Source() const {
  const LogSession& s = host_.Session();
  ExportSource source;
  source.logPath = std::filesystem::path(s.LogFileName());
  source.readPath = s.LogReadPath();
  source.title = s.Title().value_or(std::string());
  source.index = s.Log();
  source.order = s.Sort();
  source.folded = s.Folded();
  return source;
}

RemarkNo TExportCommands::FirstNumber(ExportScope scope) const {
  const LogSession& s = host_.Session();
  const std::optional<RemarkHeader>& shown = s.Shown().header;
  if (!shown || !s.Log()) return RemarkNo(0);
  if (scope != ExportScope::Thread) return shown->Number;
  const ChainList chain = s.Log()->CommentChain(shown->Number);
  return chain.empty() ? shown->Number : chain.back();
}

std::filesystem::path TExportCommands::Target(const QString& name) const {
  std::filesystem::path target = FsPath(name);
  if (target.is_relative()) target = std::filesystem::path(host_.Session().OpenFolder()) / target;
  return target;
}

void TExportCommands::ExportClick(ExportScope scope) {
  LogSession& s = host_.Session();
  if (!s.LogLoaded() || !s.Log()) return;
  // Nothing is read through an index the file no longer matches, and no
  // remark goes out with its header alone: the notice says why and offers
  // to read the log again.
  if (!s.ShownReadyForOutput("ｴｸｽﾎﾟｰﾄ")) return;
  QWidget* parent = host_.DialogParent();
  if (!ExportDlg) {
    ExportDlg = new TExportDlg(parent, [this](ExportScope sc, const ExportOptions& o) {
      return QString::fromStdString(SuggestedExportName(Source(), sc, FirstNumber(sc), o).string());
    });
  }
  ExportDlg->Prepare(scope, s.Shown().header.has_value());
  std::filesystem::path target;
  for (;;) {
    if (!Ui().RunModal(*ExportDlg)) return;
    target = Target(ExportDlg->FileName());
    std::error_code ec;
    if (!std::filesystem::is_regular_file(target, ec)) break;
    // Only a file the user agreed to give up is replaced.
    if (Ui().Confirm(parent, QStringLiteral("%1 は既にあります。\n置き換えますか？")
                                 .arg(QString::fromStdString(target.string())))) {
      break;
    }
  }
  lastScope_ = ExportDlg->Scope();
  Run(lastScope_, ExportDlg->Options(), target);
}

void TExportCommands::Run(ExportScope scope, const ExportOptions& options,
                          const std::filesystem::path& target) {
  LogSession& s = host_.Session();
  QWidget* parent = host_.DialogParent();
  // The file may have changed while the dialog was open.
  if (!s.ShownReadyForOutput("ｴｸｽﾎﾟｰﾄ")) return;
  const ExportSource source = Source();
  QProgressDialog progress(QStringLiteral("ｴｸｽﾎﾟｰﾄしています..."), QStringLiteral("中止"), 0, 100, parent);
  progress.setObjectName(QStringLiteral("ExportProgress"));
  progress.setWindowTitle(QStringLiteral("ｴｸｽﾎﾟｰﾄ"));
  progress.setAccessibleName(QStringLiteral("ｴｸｽﾎﾟｰﾄの進み具合"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);  // a short export shows nothing
  progress.setAutoReset(false);
  auto step = [&progress](int percent) {
    progress.setValue(percent);
    QCoreApplication::processEvents();
    return !progress.wasCanceled();
  };
  try {
    WaitCursor wait;
    IndexPos shown(-1);
    if (s.Shown().header) shown = FindStart(*s.Log(), s.Shown().start);
    // A thread asked of remark order reads the log again first: a quarter
    // of the bar.
    const ExportSelection selection =
        SelectRemarks(source, scope, shown, [&step](int percent) { step(percent / 4); });
    ExportToFile(source, selection, options, target,
                 [&step](int percent) { return step(25 + percent * 3 / 4); });
  } catch (const std::exception& e) {
    Ui().Error(parent, QString::fromUtf8(e.what()));
  }
}

}  // namespace kest
