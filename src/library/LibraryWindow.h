// The library's search window (ﾗｲﾌﾞﾗﾘ検索): modeless, one for the main
// window. The key, the case rule, a poster, a range of dates and the order
// are asked; the search runs on a thread of its own and its hits come into
// the list as they are checked. Enter or a double-click on a hit opens its
// log in the main window at the remark, with the match selected in the pane.
// Its frame and the widths of its columns are kept in Kest.INI when it
// closes and with the main window's settings, and come back next time.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "library/LibraryLayout.h"
#include "library/LibrarySearch.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace kest {

class FramePlacer;
class KestHost;

// The hits as the list shows them: 日付, ﾌｫｰﾗﾑ, 番号, 発言者, ﾀｲﾄﾙ, 内容
// and the log's file (the archive » the member), as logs of one forum bear
// one title.
// Every cell says what it is to a screen reader; the first cell of a row
// reads the whole hit.
class TLibraryHitModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kDate, kForum, kNumber, kPoster, kTitle, kContext, kFile, kColumns };
  // Where the match stands in the 内容 cell: its first character and length.
  static constexpr int kMatchStartRole = Qt::UserRole + 1;
  static constexpr int kMatchLengthRole = Qt::UserRole + 2;

  using QAbstractTableModel::QAbstractTableModel;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Empties the list for a search of a key of so many bytes.
  void Clear(std::size_t keyBytes);
  void Append(std::vector<LibraryHit> hits);
  const LibraryHit& Hit(int row) const { return hits_[static_cast<std::size_t>(row)]; }

 private:
  QString Text(const LibraryHit& h, int column) const;
  std::vector<LibraryHit> hits_;
  std::size_t keyBytes_ = 0;
};

class TLibrarySearchWnd : public QWidget {
  Q_OBJECT

 public:
  TLibrarySearchWnd(KestHost& host, std::function<std::filesystem::path()> file, QWidget* parent);
  ~TLibrarySearchWnd() override;

  // Shows the window (or brings it to the front) with the key selected.
  void Present();
  // Whether the library is being updated: the search answers from what is
  // indexed so far, and says so.
  void SetUpdating(bool updating);

  // Starts the search of what the fields ask (the 検索 button).
  void StartSearch();
  // Whether a search is running.
  bool Searching() const { return worker_.joinable(); }
  // Opens the hit of that row in the main window.
  void OpenHit(int row);
  TLibraryHitModel& Model() { return model_; }
  // The frame and the columns as they stand, as Kest.INI keeps them.
  LibraryWindowLayout Layout() const;

 signals:
  // A search has ended and all its hits are in the list.
  void searchFinished();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Writes the layout into Kest.INI as the window closes.
  void SaveLayout();
  void StopSearch();
  // Takes the hits the search has found so far into the list.
  void TakeHits();
  void Finished(const SearchReport& report, const std::string& error);
  void ShowStatus();

  KestHost& host_;
  std::function<std::filesystem::path()> file_;
  TLibraryHitModel model_;

  QLineEdit* KeyEdit;
  QCheckBox* MatchCaseBox;
  QLineEdit* PosterEdit;
  QLineEdit* FromEdit;
  QLineEdit* ToEdit;
  QComboBox* OrderBox;
  QPushButton* SearchButton;
  QPushButton* StopButton;
  QTreeView* ResultList;
  QLabel* StatusLabel;
  QLabel* ProblemLabel;

  // The search of the moment.
  LibraryQuery query_;  // as it was asked (the key in Shift-JIS)
  std::thread worker_;
  std::atomic<bool> cancel_{false};
  int generation_ = 0;  // of the search of the moment; 0: none yet
  std::mutex mutex_;
  std::vector<LibraryHit> pending_;  // found, not yet in the list (under mutex_)
  std::int64_t found_ = 0;           // hits taken into the list
  bool done_ = true;
  bool truncated_ = false;
  bool updating_ = false;
  bool partial_ = false;  // the search ran while the library was being updated
  std::vector<std::string> problems_;
  QString error_;

  LibraryWindowLayout read_;                  // as Kest.INI gave it
  std::optional<LibraryWindowLayout> saved_;  // as read or written last
  // Puts the frame where Kest.INI says (or leaves it where the desktop put
  // the window), moved and shrunk onto the nearest screen when it does not
  // lie wholly on one.
  FramePlacer* placer_ = nullptr;
};

}  // namespace kest
