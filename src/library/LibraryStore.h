// The library's database: the folders it covers, its logs (a file of its
// own or a member of an archive), a row per remark and the full-text index
// of the remarks' text, in one SQLite file in WAL mode, so that searches read
// while an update writes.
//
//   folders      path
//   logs         id, path, member ('' for a log of its own), size, mtime,
//                inode, read_at (when it was read), native (read as it
//                stands), title, remarks (0: the file was tried and is no
//                log), first_day, last_day, first_remark
//   remarks      id, log, start (StartPos), length (EndPos - StartPos),
//                number, day, poster (ID), speaker, title; a log's remarks
//                have the ids first_remark, first_remark + 1, ... in file
//                order
//   counts       dead: entries of the index whose remark is gone;
//                next_remark: the id the next remark gets
//   remark_text  the full-text index (FTS5, contentless, detail=none) of
//                each remark's text under the remark's id
//
// The full-text index of SQLite 3.40 cannot forget a row of a contentless
// table. A log that changes or goes loses its rows in `remarks`; its entries
// in the index stay, dead, and a search drops them, since it only takes
// candidates that still have a remark row. Remark ids are never given again
// (next_remark only grows), so a dead entry can never stand for a new
// remark. When
// the dead entries pass half the live ones, the update rebuilds the index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "library/LogFiles.h"
#include "library/RemarkDate.h"
#include "library/Sqlite.h"

namespace kest {

// The library file: $KEST_LIBRARY when set, else
// $XDG_DATA_HOME/kest32/library.db (when that is an absolute path), else
// ~/.local/share/kest32/library.db.
std::filesystem::path DefaultLibraryFile();

// A folder as the library keeps it: absolute, without "." and "..", without a
// trailing '/'.
std::filesystem::path LibraryFolderPath(const std::filesystem::path& folder);

struct LibraryLog {
  std::int64_t id = 0;
  std::string path;    // the log's file, or the archive holding it
  std::string member;  // empty for a log of its own
  FileStamp stamp;
  std::int64_t readAtNs = 0;  // when the file was read (ns since 1970)
  bool native = true;
  std::string title;  // Shift-JIS
  std::int64_t remarks = 0;
  std::optional<Day> firstDay, lastDay;
  std::int64_t firstRemark = 0;  // its remarks' ids run from this one on
};

class Library {
 public:
  // Opens the library in `file`. Reading needs the file to exist (else a
  // LibraryError says the library is empty); writing creates it. A file that
  // is some other database is refused, never written.
  Library(const std::filesystem::path& file, SqlDb::Mode mode);

  SqlDb& Db() { return db_; }
  const std::filesystem::path& File() const { return db_.File(); }

  std::vector<std::filesystem::path> Folders();
  // False when the folder is in the library already.
  bool AddFolder(const std::filesystem::path& folder);
  // False when the folder is not in the library. The logs that no folder of
  // the library covers any more go with it.
  bool RemoveFolder(const std::filesystem::path& folder) { return RemoveFolders({folder}) > 0; }
  // Takes the folders out of the library, with every file (log or not) that
  // no folder left covers, in one transaction: when `dropping` throws, the
  // library is as it was. `dropping` is told of each file before its rows
  // go, with how many went before it and how many go in all. Gives how many
  // of the folders were in the library; the others are passed over.
  using DropFn = std::function<void(const LibraryLog& file, std::size_t done, std::size_t total)>;
  std::size_t RemoveFolders(const std::vector<std::filesystem::path>& folders, const DropFn& dropping = {});

  // The logs (files that hold remarks), by path and member.
  std::vector<LibraryLog> Logs();
  // Every file the library has looked at, logs or not.
  std::vector<LibraryLog> Files();

  std::int64_t RemarkCount();
  std::int64_t DeadEntries();

  // Drops a log's remarks (their index entries go dead) and its row; inside
  // the caller's transaction.
  void DropLog(std::int64_t id);

 private:
  std::vector<LibraryLog> Query(const char* where);

  SqlDb db_;
};

// Whether `path` lies in `folder` (or is it).
bool PathInFolder(const std::string& path, const std::filesystem::path& folder);

}  // namespace kest
