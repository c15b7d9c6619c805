// The state of one open log and every rule about it, without a window: the
// remark index and how the file is read, the title list's lines in the order
// in force (with the folds of content order (2)), the selected line, the
// remark the status bar and the pane show, the searches, the recent files and
// the view options, and which commands can run. The window renders this
// state and turns the user's input into these operations; tests drive them
// directly.
//
// Operations never show a box: what they have to tell the user (a remark
// that could not be read, a file that is not a log) waits in Notices() for
// the window to show.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/LogLocation.h"
#include "log/Logunit1.h"
#include "log/NativeCopy.h"
#include "log/RemarkHeader.h"
#include "log/TitleLines.h"
#include "session/CommandStates.h"
#include "session/KeyTable.h"
#include "settings/RecentFiles.h"
#include "settings/Settings.h"

namespace kest {

// Told what changes while an operation runs: the title list's lines (a list
// view must follow them at once) and the selected line, when the session
// moves it itself.
class SessionObserver : public FoldObserver {
 public:
  virtual void BeginReset() {}
  virtual void EndReset() {}
  virtual void ColumnsChanged() {}  // every line's text
  virtual void LineSelected(ListLine line) {}

  void BeginInsert(ListLine first, ListLine last) override {}
  void EndInsert() override {}
  void BeginRemove(ListLine first, ListLine last) override {}
  void EndRemove() override {}
  void LineChanged(ListLine line) override {}
};

// The remark the status bar names and the pane shows.
struct ShownRemark {
  // Its header; nothing until a remark has been shown, and after a load that
  // found no remark or failed. A new order or a line that cannot be shown
  // leaves it as it was: the status bar goes on naming that remark.
  std::optional<RemarkHeader> header;
  IndexPos position{-1};  // where the remark stood in the order of the time
  ByteOffset start{-1};   // its StartPos: the same in every order
  // The line whose remark the pane shows, read whole; -1 when none (its text
  // could not be read whole, or its line went in a fold or a new order). A
  // click on any other line shows that line's remark.
  ListLine line{-1};
  // The lines the pane shows (Shift-JIS).
  std::vector<std::string> lines;
  // The lines are the remark's whole text, read from the file as it was
  // when the index was made: it may be printed or exported as it stands.
  bool whole = false;
  // Counts every time the pane is cleared or filled anew.
  std::uint64_t generation = 0;
};

// The state of the text and speaker searches.
struct SearchState {
  std::string SearchKey;        // the text (upper-cased when IgnoreCase) or the 8-byte ID
  std::uint8_t SearchKind = 0;  // 1 text, 0 speaker
  bool IgnoreCase = false;
  bool Searched = false;  // 前へ検索 and 次へ検索 have a search to repeat
  bool SpeakerListStale = false;
  std::uint8_t SpeakerDirection = 0;  // 0 downward, 1 upward
};

struct Notice {
  enum class Kind {
    Info,
    Error,
    // The log has changed on disk since its index was made: the window
    // offers to read it again (ReloadNumber says which remark to select).
    Changed,
  };
  Kind kind = Kind::Info;
  std::string text;    // UTF-8: what happened
  std::string path;    // the file it concerns (UTF-8); empty when none
  std::string advice;  // what the user can do; may be empty
};

// What a failure to open or read a log file tells the user: a refusal
// (no such file, no regular file) as information, anything else as an
// error, a changed file as Changed.
Notice NoticeOf(const LogFileError& e);

// What opening a name takes.
struct OpenPlan {
  // Why it cannot be opened; the rest is then empty.
  std::optional<Notice> refusal;
  // The log: a file of its own, or the member of an archive.
  LogLocation where;
  // An archive of several logs (or of no log but several members): its
  // members, for the user to choose one.
  std::optional<ArchiveListing> choose;
};

// How a search through the log ended.
enum class SearchOutcome {
  Found,  // the match's line is selected
  NotFound,
  Silent,  // the match lies under a line the walk could not reach: no message
  Failed,  // the file could not be read: a notice says why
};

class LogSession {
 public:
  LogSession();
  ~LogSession();
  LogSession(const LogSession&) = delete;
  LogSession& operator=(const LogSession&) = delete;

  void AddObserver(SessionObserver* observer);
  void RemoveObserver(SessionObserver* observer);

  // --- Settings --------------------------------------------------------------
  // The order, columns, open folder and recent files from the settings read
  // at start-up, and back into the settings written at close.
  void ApplySettings(const WindowSettings& settings);
  void StoreSettings(WindowSettings& settings) const;

  // --- Opening ---------------------------------------------------------------
  // Why `fileName` (UTF-8) cannot be opened as a log; nothing when it can.
  // The shown log stays as it is either way.
  std::optional<Notice> CheckLogFile(const std::string& fileName) const;
  // What opening `name` takes: a name as LogLocation keeps it (an absolute
  // path, or an archive's member), or the path of an archive, whose only log
  // is taken, or whose members the user chooses from.
  OpenPlan PlanOpen(const std::string& name) const;
  // Loads a log: `fileName` is its name as LogLocation keeps it (its
  // absolute path, or an archive's member), `native` how it is read. The old index goes, the file is scanned (with progress), the list
  // is built in the order in force and its first remark shown and selected.
  // A scan that fails half-way leaves an empty index and throws.
  void Load(const std::string& fileName, NativeLog native, const ScanProgress& progress = {});
  // Lets go of the index (the window is closing).
  void Release();

  bool LogLoaded() const { return logLoaded_; }
  TLogCtrl* Log() const { return log_.get(); }
  const NativeLog& Native() const { return native_; }
  // The full path of the log shown; empty until one has been opened.
  const std::string& LogFileName() const { return logFileName_; }
  // The file that is read: LogFileName itself or its native copy.
  // The log's name as the user reads it: its path, or for a member of an
  // archive the archive and the member ("/x/forum.lzh » a.log").
  std::string ShownName() const;
  std::filesystem::path LogReadPath() const;
  // The log's title (Shift-JIS): its first line, or "タイトルなし"; nothing
  // when no log is open.
  const std::optional<std::string>& Title() const { return title_; }
  // The window's caption (UTF-8): "Kest32-" and the title; for a file that
  // holds no remark, whose first line is no title, its file name.
  std::string Caption() const;

  // --- The file behind the index ----------------------------------------------
  // Whether the file is still the one the index was made from (checked
  // cheaply: see FileIdentity). When it is not, a notice says so (Changed,
  // offering to read it again; or that it has gone) and nothing may be read
  // through the index until the log is loaded again. Every read of a
  // remark's text and every search checks it first; printing and export call
  // it before the text goes out, and export again after reading it.
  bool CheckFile();
  // The file is known to have changed since the index was made.
  bool Stale() const { return stale_; }
  // The number of the remark to select again when the log is read anew.
  std::optional<RemarkNo> ReloadNumber() const;
  // Whether the shown remark may go out (printed, exported) as it stands:
  // false, with a notice that says why, when the file has changed or the
  // text was not read whole (the file cut short), so that no remark goes
  // out with its header alone. `action` names what was asked for in the
  // notice ("印刷", UTF-8). With no remark shown there is nothing of a file
  // to go wrong: true.
  bool ShownReadyForOutput(const std::string& action);
  // Where the open dialog starts (ends with '/').
  const std::string& OpenFolder() const { return openFolder_; }

  // --- Recent files ----------------------------------------------------------
  // Moves a name to the head; false when it was there already.
  bool PushRecentFile(const std::string& name) { return recent_.Push(name); }
  const std::string& RecentFile(std::size_t i) const { return recent_.At(i); }

  // --- The title list --------------------------------------------------------
  SortOrder Sort() const { return sort_; }
  const ColumnSwitches& Columns() const { return cols_; }
  std::int32_t LineCount() const;
  bool ValidLine(ListLine line) const { return line.v >= 0 && line.v < LineCount(); }
  // The text of a line (Shift-JIS).
  std::string LineText(ListLine line) const;
  IndexPos PositionOf(ListLine line) const;
  // The line's TLogItem in content order (2); nullptr in the other orders
  // and for a line that does not exist.
  const TLogItem* ItemOf(ListLine line) const;
  // The first line from `from` on whose remark has this number; -1 if none.
  ListLine FindLine(RemarkNo number, ListLine from = ListLine(0)) const;
  // The lines of content order (2), when that is the order built.
  const FoldedList* Folded() const { return built_ == SortOrder::ContentFolded ? &folded_ : nullptr; }

  // The selected line; -1 when none.
  ListLine Selected() const { return selected_; }
  // The selected line's TLogItem in content order (2).
  const TLogItem* CurrentItem() const { return ItemOf(selected_); }
  // Selects a line without showing its remark (an invalid line clears the
  // selection); observers hear of it.
  void Select(ListLine line);

  const ShownRemark& Shown() const { return shown_; }

  // --- Operations --------------------------------------------------------------
  // The user selected `line` in the list (or clicked the selected line):
  // its remark is shown unless it is shown already. True when shown anew.
  bool ClickLine(ListLine line);
  // Shows the selected line's remark (status bar and pane), read anew.
  void ShowSelected();
  // The line above or below the selected one, selected and shown; false when
  // there is none.
  bool Prev();
  bool Next();
  // コメント発言へ: unfolds the selected line when folded, then Next.
  bool Comment();
  void First();  // F4
  void Last();   // F5
  // The double-click of content order (2) on the selected line: unfolds one
  // level of replies or folds everything below. False when nothing happened.
  bool ToggleFold();
  // A new order: the list is built anew and the remark shown before is
  // selected again by its number. False when the order is in force already.
  bool SetOrder(SortOrder order);
  // A view toggle: the column switch inverts and every line is rewritten;
  // the selected line's remark is shown anew.
  void ToggleColumn(Command which);
  // Selects the first remark with that number (unfolding its thread in
  // content order (2)) and shows it.
  void SelectRemarkByNumber(RemarkNo number);
  // Selects the remark whose text starts at `start` (its StartPos, as the
  // library keeps it), unfolding its thread in content order (2), and shows
  // it. False when no remark of the log starts there (the log has changed).
  bool SelectRemarkAt(ByteOffset start);

  // --- Searches ---------------------------------------------------------------
  SearchState& Search() { return search_; }
  const SearchState& Search() const { return search_; }
  // The text search from the selected line: the next remark (step +1) or the
  // one before (-1) holding SearchKey within a line, selected when found.
  SearchOutcome FindText(int step, const std::function<void(int)>& progress = {});
  // The speaker search: the next or previous remark by the ID SearchKey.
  // Shown when found; sets the speaker direction as the step goes, unless
  // the match was found in remark order or content order (1).
  SearchOutcome FindSpeaker(int step);

  // --- Commands ---------------------------------------------------------------
  // Whether bookmarks exist (the organizer has something to organize).
  void SetHasBookmarks(bool has) { hasBookmarks_ = has; }
  // Whether the library is being brought up to date (its folders wait, the
  // update can be cancelled).
  void SetLibraryUpdating(bool updating) { libraryUpdating_ = updating; }
  CommandStates Commands() const;
  // What the keys of the pane and the list see.
  PaneState KeyState() const;

  // What operations have to tell the user, oldest first; taking them empties
  // the list.
  std::vector<Notice> TakeNotices();

 private:
  class FoldRelay;

  void BuildList();
  // Clears the pane and shows the remark of `line` (when the line exists).
  void DisplayLine(ListLine line);
  // Names the remark in the status bar and reads its lines; false when its
  // text could not be read whole (a notice says why).
  bool ShowRemark(IndexPos i);
  void ClearPane();
  void ResetShown();
  // Selects the lines of a chain list in content order (2), outermost first,
  // unfolding each folded ancestor; true when the first entry's line was
  // reached and selected.
  bool WalkChain(const ChainList& chain, bool backward, bool showAncestors);
  void Tell(Notice::Kind kind, std::string text);
  void Tell(Notice notice);
  template <class F>
  void Each(F f);

  std::vector<SessionObserver*> observers_;
  std::unique_ptr<FoldRelay> relay_;

  std::unique_ptr<TLogCtrl> log_;
  NativeLog native_;
  // What the file that is read (and the original of a converted log) was
  // when the index was made.
  std::optional<FileIdentity> identity_, originalIdentity_;
  bool stale_ = false;
  bool logLoaded_ = false;
  std::string logFileName_;
  std::optional<std::string> title_;
  std::string openFolder_;
  RecentFiles recent_;

  SortOrder sort_ = SortOrder::ContentFolded;
  ColumnSwitches cols_;
  std::optional<SortOrder> built_;  // the order the lines were built for
  FoldedList folded_;
  ListLine selected_{-1};
  ShownRemark shown_;
  SearchState search_;
  bool hasBookmarks_ = false;
  bool libraryUpdating_ = false;
  std::vector<Notice> notices_;
};

}  // namespace kest
