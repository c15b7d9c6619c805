// The library in the window: the menu ﾗｲﾌﾞﾗﾘ(&L) with ﾌｫﾙﾀﾞの追加...,
// ﾌｫﾙﾀﾞの管理..., 更新, 更新の中止 and ﾗｲﾌﾞﾗﾘ検索... (Ctrl+Shift+F). An update,
// and the folders taken out in ﾌｫﾙﾀﾞの管理, run on a thread of their own with
// their progress in the status bar, and can be cancelled; the window and the
// search window stay usable meanwhile. One thing writes the library at a
// time: what is asked while another runs waits for it.
#pragma once

#include <QObject>
#include <atomic>
#include <filesystem>
#include <functional>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "library/LibraryUpdate.h"

namespace kest {

class KestHost;
class TLibrarySearchWnd;

class TLibraryCommands : public QObject {
  Q_OBJECT

 public:
  TLibraryCommands(KestHost& host, QObject* parent);
  ~TLibraryCommands() override;

  // The library's file, as the batch side finds it ($KEST_LIBRARY, else
  // $XDG_DATA_HOME/kest32/library.db).
  std::filesystem::path File() const;
  bool Updating() const { return worker_.joinable(); }

  // Tests: called on the update's thread at every step of its progress (of
  // the folders taken out too); returning false cancels it there.
  void SetUpdateProbe(std::function<bool(const UpdateProgress&)> probe) { probe_ = std::move(probe); }

 signals:
  // An update, or a change of the folders, has ended (cancelled or not) and
  // the window knows it.
  void updateFinished();

 private:
  // What the thread does to the library, in this order.
  struct Work {
    std::vector<std::filesystem::path> remove;  // folders taken out, in one transaction
    std::vector<std::filesystem::path> add;     // folders added
    bool update = false;                        // brought up to date (also when a folder was added)
  };
  struct Outcome {
    bool folders = false;  // the folders were to change, and have not (yet)
    UpdateReport report;
    std::string error;  // UTF-8; the work could not run or broke off
  };

  void AddFolderClick();
  void FoldersClick();
  void SearchClick();
  // Starts an update on its thread (nothing when something runs already).
  void StartUpdate();
  // Starts the work on the thread, or, while something runs there, once
  // that (and what waits before it) has ended.
  void Start(Work work);
  static Outcome Run(const std::filesystem::path& file, const Work& work, const UpdateProgressFn& progress,
                     std::atomic<bool>& cancel);
  void CancelUpdate();
  void ShowProgress(const UpdateProgress& p);
  void Finished(const Outcome& outcome);
  // Says how the work went: its failure, or what it could not read.
  void Tell(const Outcome& outcome);
  void SetUpdating(bool updating);

  KestHost& host_;
  TLibrarySearchWnd* searchWnd_ = nullptr;  // made on first use
  std::thread worker_;
  std::deque<Work> waiting_;  // asked while the thread was busy, in turn
  std::atomic<bool> cancel_{false};
  std::atomic<bool> progressQueued_{false};  // a progress step waits for the window
  std::function<bool(const UpdateProgress&)> probe_;
};

}  // namespace kest
