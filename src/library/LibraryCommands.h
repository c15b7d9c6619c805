// The library in the window: the menu ﾗｲﾌﾞﾗﾘ(&L) with ﾌｫﾙﾀﾞの追加...,
// ﾌｫﾙﾀﾞの管理..., 更新, 更新の中止 and ﾗｲﾌﾞﾗﾘ検索... (Ctrl+Shift+F). An update
// runs on a thread of its own with its progress in the status bar, and can
// be cancelled; the window and the search window stay usable meanwhile.
#pragma once

#include <QObject>
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

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

  // Tests: called on the update's thread at every step of its progress;
  // returning false cancels the update there.
  void SetUpdateProbe(std::function<bool(const UpdateProgress&)> probe) { probe_ = std::move(probe); }

 signals:
  // An update has ended (cancelled or not) and the window knows it.
  void updateFinished();

 private:
  struct Outcome {
    UpdateReport report;
    std::string error;  // UTF-8; the update could not run or broke off
  };

  void AddFolderClick();
  void FoldersClick();
  void SearchClick();
  // Starts an update on its thread.
  void StartUpdate();
  void CancelUpdate();
  void ShowProgress(const UpdateProgress& p);
  void Finished(const Outcome& outcome);
  void SetUpdating(bool updating);

  KestHost& host_;
  TLibrarySearchWnd* searchWnd_ = nullptr;  // made on first use
  std::thread worker_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> progressQueued_{false};  // a progress step waits for the window
  std::function<bool(const UpdateProgress&)> probe_;
};

}  // namespace kest
