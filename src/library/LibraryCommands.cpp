#include "library/LibraryCommands.h"

#include <algorithm>

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "library/LibraryArchives.h"
#include "library/LibraryWindow.h"
#include "platform/Interaction.h"
#include "session/LogSession.h"
#include "ui/KestHost.h"

namespace kest {
namespace {

QString Utf8(const std::string& s) { return QString::fromStdString(s); }
std::filesystem::path FsPath(const QString& name) { return std::filesystem::path(QFile::encodeName(name).toStdString()); }
QString Shown(const std::filesystem::path& p) { return QFile::decodeName(QByteArray::fromStdString(p.string())); }

// The folder chooser: folders only, run through the interaction seam.
std::optional<std::filesystem::path> ChooseFolder(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("ﾗｲﾌﾞﾗﾘに加えるﾌｫﾙﾀﾞ"));
  dialog.setObjectName(QStringLiteral("LibraryFolderDlg"));
  dialog.setAccessibleName(QStringLiteral("ﾗｲﾌﾞﾗﾘに加えるﾌｫﾙﾀﾞ"));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (!Ui().RunModal(dialog) || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return FsPath(dialog.selectedFiles().first());
}

// ﾌｫﾙﾀﾞの管理: the library's folders, some added, some taken out; the
// library changes when it is closed with OK.
class TLibraryFoldersDlg : public QDialog {
 public:
  TLibraryFoldersDlg(QWidget* parent, const std::vector<std::filesystem::path>& folders) : QDialog(parent) {
    setObjectName(QStringLiteral("LibraryFoldersDlg"));
    setWindowTitle(QStringLiteral("ﾗｲﾌﾞﾗﾘのﾌｫﾙﾀﾞ"));
    setAccessibleName(QStringLiteral("ﾗｲﾌﾞﾗﾘのﾌｫﾙﾀﾞ"));
    auto* label = new QLabel(QStringLiteral("ﾌｫﾙﾀﾞ(&F):"), this);
    List = new QListWidget(this);
    List->setObjectName(QStringLiteral("FolderList"));
    List->setAccessibleName(QStringLiteral("ﾗｲﾌﾞﾗﾘのﾌｫﾙﾀﾞの一覧"));
    label->setBuddy(List);
    for (const std::filesystem::path& f : folders) List->addItem(Shown(f));
    List->setCurrentRow(0);
    AddButton = new QPushButton(QStringLiteral("追加(&A)..."), this);
    AddButton->setObjectName(QStringLiteral("AddFolderButton"));
    AddButton->setAccessibleName(QStringLiteral("ﾌｫﾙﾀﾞを追加"));
    RemoveButton = new QPushButton(QStringLiteral("外す(&R)"), this);
    RemoveButton->setObjectName(QStringLiteral("RemoveFolderButton"));
    RemoveButton->setAccessibleName(QStringLiteral("選んだﾌｫﾙﾀﾞを外す"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(AddButton, &QPushButton::clicked, this, [this] {
      if (std::optional<std::filesystem::path> f = ChooseFolder(this)) {
        const QString name = Shown(LibraryFolderPath(*f));
        if (List->findItems(name, Qt::MatchExactly).isEmpty()) List->addItem(name);
        List->setCurrentRow(List->count() - 1);
      }
    });
    connect(RemoveButton, &QPushButton::clicked, this, [this] { delete List->takeItem(List->currentRow()); });
    auto* side = new QVBoxLayout;
    side->addWidget(AddButton);
    side->addWidget(RemoveButton);
    side->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(List, 1);
    row->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(row);
    layout->addWidget(buttons);
    resize(520, 300);
  }

  std::vector<std::filesystem::path> Folders() const {
    std::vector<std::filesystem::path> folders;
    for (int i = 0; i < List->count(); ++i) folders.push_back(FsPath(List->item(i)->text()));
    return folders;
  }

  QListWidget* List;
  QPushButton* AddButton;
  QPushButton* RemoveButton;
};

}  // namespace

TLibraryCommands::TLibraryCommands(KestHost& host, QObject* parent) : QObject(parent), host_(host) {
  setObjectName(QStringLiteral("LibraryCommands"));
  QMenu& menu = host_.AddMenu(QStringLiteral("LibraryMenu"), QStringLiteral("ﾗｲﾌﾞﾗﾘ(&L)"));
  host_.AddCommand(Command::LibraryAddFolder,
                   AddEntry(menu, this, "LibraryAddFolder", QStringLiteral("ﾌｫﾙﾀﾞの追加(&A)...")),
                   [this] { AddFolderClick(); });
  host_.AddCommand(Command::LibraryFolders,
                   AddEntry(menu, this, "LibraryFolders", QStringLiteral("ﾌｫﾙﾀﾞの管理(&M)...")),
                   [this] { FoldersClick(); });
  AddSeparator(menu, "LibraryN1");
  host_.AddCommand(Command::LibraryUpdate, AddEntry(menu, this, "LibraryUpdate", QStringLiteral("更新(&U)")),
                   [this] { StartUpdate(); });
  host_.AddCommand(Command::LibraryCancel,
                   AddEntry(menu, this, "LibraryCancel", QStringLiteral("更新の中止(&C)")),
                   [this] { CancelUpdate(); });
  AddSeparator(menu, "LibraryN2");
  host_.AddCommand(Command::LibrarySearch,
                   AddEntry(menu, this, "LibrarySearch", QStringLiteral("ﾗｲﾌﾞﾗﾘ検索(&S)..."),
                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)),
                   [this] { SearchClick(); });
}

TLibraryCommands::~TLibraryCommands() {
  // The window closes: the update stops after rolling back the log it was
  // writing, and what it had committed stays.
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

std::filesystem::path TLibraryCommands::File() const { return DefaultLibraryFile(); }

void TLibraryCommands::AddFolderClick() {
  std::optional<std::filesystem::path> folder = ChooseFolder(host_.DialogParent());
  if (!folder) return;
  {
    UpdateLock lock(File());
    Library library(File(), SqlDb::Mode::Write);
    if (!library.AddFolder(LibraryFolderPath(*folder))) {
      Ui().Info(host_.DialogParent(),
                QStringLiteral("このﾌｫﾙﾀﾞはもうﾗｲﾌﾞﾗﾘにあります。\n%1").arg(Shown(LibraryFolderPath(*folder))));
      return;
    }
  }
  StartUpdate();
}

void TLibraryCommands::FoldersClick() {
  std::vector<std::filesystem::path> before;
  std::error_code ec;
  if (std::filesystem::exists(File(), ec)) before = Library(File(), SqlDb::Mode::Read).Folders();
  TLibraryFoldersDlg dialog(host_.DialogParent(), before);
  if (!Ui().RunModal(dialog)) return;
  // Taking a large folder out drops many rows: that runs on the thread, the
  // window usable meanwhile, after an update that may be running.
  Work work;
  work.add = dialog.Folders();
  for (const std::filesystem::path& f : before) {
    if (std::find(work.add.begin(), work.add.end(), f) == work.add.end()) work.remove.push_back(f);
  }
  bool added = false;
  for (const std::filesystem::path& f : work.add) {
    added = added || std::find(before.begin(), before.end(), f) == before.end();
  }
  if (work.remove.empty() && !added) return;
  Start(std::move(work));
}

void TLibraryCommands::SearchClick() {
  if (!searchWnd_) {
    searchWnd_ = new TLibrarySearchWnd(host_, [this] { return File(); }, host_.DialogParent());
    searchWnd_->SetUpdating(Updating());
    connect(this, &TLibraryCommands::updateFinished, searchWnd_, [this] { searchWnd_->SetUpdating(false); });
  }
  searchWnd_->Present();
}

void TLibraryCommands::StartUpdate() {
  if (Updating()) return;
  Work work;
  work.update = true;
  Start(std::move(work));
}

void TLibraryCommands::Start(Work work) {
  if (Updating()) {
    waiting_.push_back(std::move(work));
    return;
  }
  cancel_ = false;
  progressQueued_ = false;
  SetUpdating(true);
  QProgressBar& bar = host_.Progress();
  bar.setRange(0, 1000);
  bar.setValue(0);
  bar.setToolTip(work.remove.empty() ? QStringLiteral("ﾗｲﾌﾞﾗﾘを更新しています")
                                     : QStringLiteral("ﾗｲﾌﾞﾗﾘからﾌｫﾙﾀﾞを外しています"));
  bar.show();
  worker_ = std::thread([this, file = File(), work = std::move(work), probe = probe_] {
    const Outcome out = Run(
        file, work,
        [this, &probe](const UpdateProgress& p) {
          if (probe && !probe(p)) cancel_ = true;
          // One step at a time waits for the window; the others are
          // passed over.
          if (progressQueued_.exchange(true)) return;
          QMetaObject::invokeMethod(
              this,
              [this, p] {
                progressQueued_ = false;
                ShowProgress(p);
              },
              Qt::QueuedConnection);
        },
        cancel_);
    QMetaObject::invokeMethod(this, [this, out] { Finished(out); }, Qt::QueuedConnection);
  });
}

TLibraryCommands::Outcome TLibraryCommands::Run(const std::filesystem::path& file, const Work& work,
                                                const UpdateProgressFn& progress, std::atomic<bool>& cancel) {
  Outcome out;
  out.folders = !work.remove.empty() || !work.add.empty();
  try {
    // Another window or a command that writes the library holds the lock:
    // said, never written by two.
    UpdateLock lock(file);
    Library library(file, SqlDb::Mode::Write);
    if (!work.remove.empty()) {
      out.report = RemoveLibraryFolders(library, work.remove, progress, &cancel);
      if (out.report.cancelled) return out;
    }
    bool added = false;
    for (const std::filesystem::path& f : work.add) added = library.AddFolder(f) || added;
    out.folders = false;
    if (work.update || added) {
      const std::int32_t removed = out.report.removed;
      out.report = UpdateLibrary(library, LibraryArchiveHook(), progress, &cancel);
      out.report.removed += removed;
    }
  } catch (const std::exception& e) {
    out.error = e.what();
  }
  return out;
}

void TLibraryCommands::CancelUpdate() {
  if (!Updating()) return;
  cancel_ = true;
  host_.Progress().setToolTip(QStringLiteral("ﾗｲﾌﾞﾗﾘの更新を中止しています"));
}

void TLibraryCommands::ShowProgress(const UpdateProgress& p) {
  if (!Updating()) return;
  QProgressBar& bar = host_.Progress();
  bar.show();
  bar.setRange(0, 1000);
  int value = 0;
  if (p.totalBytes > 0) {
    value = static_cast<int>(p.doneBytes * 1000 / p.totalBytes);
  } else if (p.totalFiles > 0) {
    value = static_cast<int>(static_cast<std::int64_t>(p.doneFiles) * 1000 / p.totalFiles);
  }
  bar.setValue(value);
  const QString what = p.removing     ? QStringLiteral("ﾗｲﾌﾞﾗﾘからﾌｫﾙﾀﾞを外しています")
                       : p.compacting ? QStringLiteral("ﾗｲﾌﾞﾗﾘの索引を作り直しています")
                                      : QStringLiteral("ﾗｲﾌﾞﾗﾘを更新しています");
  bar.setToolTip(QStringLiteral("%1 (%2/%3)\n%4").arg(what).arg(p.doneFiles).arg(p.totalFiles).arg(Utf8(p.current)));
  bar.setAccessibleName(what);
}

void TLibraryCommands::Finished(const Outcome& outcome) {
  if (worker_.joinable()) worker_.join();
  SetUpdating(false);
  QProgressBar& bar = host_.Progress();
  bar.setValue(0);
  bar.setToolTip(QString());
  bar.hide();
  emit updateFinished();
  Tell(outcome);
  if (!waiting_.empty() && !Updating()) {
    Work next = std::move(waiting_.front());
    waiting_.pop_front();
    Start(std::move(next));
  }
}

void TLibraryCommands::Tell(const Outcome& outcome) {
  QWidget* parent = host_.DialogParent();
  if (!outcome.error.empty()) {
    const QString what = outcome.folders ? QStringLiteral("ﾗｲﾌﾞﾗﾘのﾌｫﾙﾀﾞを変えられませんでした。")
                                         : QStringLiteral("ﾗｲﾌﾞﾗﾘを更新できませんでした。");
    Ui().Error(parent, what + QStringLiteral("\n") + Utf8(outcome.error));
    return;
  }
  const UpdateReport& r = outcome.report;
  if (r.cancelled) return;  // the user knows
  if (!r.problems.empty()) {
    QString text = QStringLiteral("ﾗｲﾌﾞﾗﾘを更新しました。読めなかったものがあります:");
    const std::size_t shown = std::min<std::size_t>(r.problems.size(), 10);
    for (std::size_t i = 0; i < shown; ++i) text += QStringLiteral("\n") + Utf8(r.problems[i]);
    if (r.problems.size() > shown) text += QStringLiteral("\nほか %1 件").arg(r.problems.size() - shown);
    Ui().Info(parent, text);
  }
}

void TLibraryCommands::SetUpdating(bool updating) {
  host_.Session().SetLibraryUpdating(updating);
  if (searchWnd_) searchWnd_->SetUpdating(updating);
  host_.Refresh();
}

}  // namespace kest
