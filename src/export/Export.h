// Export of remarks to files that any reader of today opens: plain text in
// UTF-8 (or the log's own Shift-JIS with CR LF), or one self-contained HTML
// page with the threads as nested lists.
//
// An export is made in two steps. SelectRemarks decides which remarks, in
// which order (cheap: the index only, unless a thread is asked of an index
// that is not in content order); ExportToFile (or WriteExport, to any sink)
// then streams them out, reading each remark's text from the log, in
// bounded memory, with progress and cancel. Both run on the caller's
// thread; neither changes the caller's index, order or folded list.
//
//   ExportSource source{logPath, readPath, title, index, SortType, &folded};
//   ExportSelection sel = SelectRemarks(source, ExportScope::Thread, shownPos);
//   ExportToFile(source, sel, {ExportFormat::Html}, target, [](int percent) { ...; return !cancelled; });
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "export/ExportFile.h"
#include "log/Logunit1.h"
#include "log/TitleLines.h"

namespace kest {

// What is exported.
enum class ExportScope {
  Remark,  // the shown remark
  Thread,  // the shown remark's thread: its first remark and every reply under it, in content order
  List,    // the title list as it stands: every line, and the replies under a folded line with it
  Log,     // every remark, in the order in force
};

enum class ExportFormat { Text, Html };

struct ExportOptions {
  ExportFormat format = ExportFormat::Html;
  // Text only: Shift-JIS with CR LF line ends, each remark's text byte for
  // byte as the log holds it (the 0x1A end-of-file mark left out). Without
  // it: UTF-8 with LF, each remark's lines as the text pane shows them.
  bool shiftJis = false;
};

// The log as its holder (the window, the batch side) has it.
struct ExportSource {
  std::filesystem::path logPath;   // the log as the user named it
  std::filesystem::path readPath;  // the file scanned into `index`: the log itself or its native copy
  std::string title;               // the log's title (Shift-JIS), as ScanLog gave it
  const TLogCtrl* index = nullptr;
  SortOrder order = SortOrder::ContentFolded;  // how `index` is arranged now
  // Content order (2): the title list's lines. Without it every thread
  // counts as folded, which selects the same remarks.
  const FoldedList* folded = nullptr;
};

// The remarks an export writes, in the order it writes them.
class ExportSelection {
 public:
  ExportScope Scope() const { return scope_; }
  // The index the positions are of: the source's, or for a thread asked of
  // an index not in content order, an index of the selection's own.
  const TLogCtrl& Index() const { return *index_; }
  const std::vector<IndexPos>& Positions() const { return positions_; }
  std::int32_t Count() const { return static_cast<std::int32_t>(positions_.size()); }
  // The remarks nest as threads (a content order): the records' levels give
  // the depth.
  bool Tree() const { return tree_; }

 private:
  friend ExportSelection SelectRemarks(const ExportSource&, ExportScope, IndexPos, const ScanProgress&);
  ExportScope scope_ = ExportScope::Log;
  const TLogCtrl* index_ = nullptr;
  std::unique_ptr<TLogCtrl> own_;
  std::vector<IndexPos> positions_;
  bool tree_ = false;
};

// Selects the remarks of `scope`; `remark` is the shown remark's position in
// the source's index (for Remark and Thread). A thread is taken from the
// source's index when that is in a content order; otherwise the log is
// scanned again into an index of the selection's own, put in content order
// there, with `progress` told how the scan goes. Throws ExportError when
// `remark` is no position of the index, LogFileError when a needed scan
// cannot read the log.
ExportSelection SelectRemarks(const ExportSource& source, ExportScope scope, IndexPos remark = IndexPos(-1),
                              const ScanProgress& progress = {});

// Told the share of the export done, 0 to 100, every megabyte written or
// so; returns false to cancel.
using ExportProgress = std::function<bool(int percent)>;

struct ExportResult {
  std::int64_t remarks = 0;  // remarks written
  std::int64_t bytes = 0;    // bytes written
  bool cancelled = false;    // stopped by the progress callback
};

// Writes the selection to `sink`. Throws LogFileError when the log cannot be
// read or has become shorter since it was scanned, ExportError when the
// sink cannot be written.
ExportResult WriteExport(const ExportSource& source, const ExportSelection& selection,
                         const ExportOptions& options, ExportSink& sink, const ExportProgress& progress = {});

// Writes the selection to the file `target`, which is replaced only when the
// export has been written whole (see ExportFile); a cancelled or failed
// export leaves it as it was. Refuses (ExportError) a target that is the log
// itself or its native copy. Asking before an existing file is replaced is
// the caller's.
ExportResult ExportToFile(const ExportSource& source, const ExportSelection& selection,
                          const ExportOptions& options, const std::filesystem::path& target,
                          const ExportProgress& progress = {});

// A file name for the export, to offer in a save dialog: the log's name with
// what was selected and the format's extension, e.g. "forum.html",
// "forum-thread-00301.html", "forum-00301.txt", "forum-list.txt".
std::filesystem::path SuggestedExportName(const ExportSource& source, const ExportSelection& selection,
                                          const ExportOptions& options);
// The same before the remarks are selected: `first` is the number of the
// remark (Remark) or of the thread's first remark (Thread).
std::filesystem::path SuggestedExportName(const ExportSource& source, ExportScope scope, RemarkNo first,
                                          const ExportOptions& options);

// Given a remark's StartPos, its position in `index` (whatever the order),
// or -1. StartPos tells remarks apart also where numbers repeat, and stays
// the same in every order and in every scan of the same file.
IndexPos FindStart(const TLogBase& index, ByteOffset start);

}  // namespace kest
