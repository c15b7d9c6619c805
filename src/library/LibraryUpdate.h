// Bringing the library up to date with its folders: logs that are new or have
// changed (size, modification time or inode) are read and indexed, logs that
// are gone leave it, the others are not read at all. Each log is written in a
// transaction of its own, so an update that is cancelled or dies leaves every
// log either as it was or as it is now, and searches go on meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "library/LibraryStore.h"
#include "library/LogFiles.h"

namespace kest {

struct UpdateProgress {
  std::int64_t doneBytes = 0, totalBytes = 0;  // of the files read (none while folders are taken out)
  std::int32_t doneFiles = 0, totalFiles = 0;
  std::string current;      // the file being read or dropped (UTF-8), empty between files
  bool compacting = false;  // the index is being rebuilt
  bool removing = false;    // folders are being taken out, with their files
};

struct UpdateReport {
  std::int32_t added = 0, changed = 0, removed = 0, unchanged = 0;
  std::int32_t notLogs = 0;  // files tried that hold no remark
  std::int64_t bytesRead = 0;
  bool compacted = false;
  bool cancelled = false;
  // What could not be read, and why (Japanese, UTF-8); the update went on.
  std::vector<std::string> problems;
};

// Only one update of a library runs at a time: the lock is a file beside the
// database ("library.db.lock"), held with flock, so it goes with a process
// that dies.
class UpdateLock {
 public:
  // Throws LibraryError when another update holds it, or when it cannot be
  // made (a read-only folder).
  explicit UpdateLock(const std::filesystem::path& libraryFile);
  ~UpdateLock();
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;

 private:
  int fd_ = -1;
};

using UpdateProgressFn = std::function<void(const UpdateProgress&)>;

// Brings `library` up to date (the caller holds the UpdateLock). Failures of
// single files are reported and skipped; a failure of the database (a full
// disk, a damaged file) throws LibraryError after the log being written has
// been rolled back. `cancel` ends the update after the current log's
// transaction has been rolled back.
UpdateReport UpdateLibrary(Library& library, const ArchiveHook& hook, const UpdateProgressFn& progress = {},
                           const std::atomic<bool>* cancel = nullptr);

// Takes folders out of `library` (the caller holds the UpdateLock), with
// the logs no folder left covers, in one transaction, telling `progress` of
// each file that goes. `cancel`, looked at before each file, rolls it all
// back: the library stays as it was, and the report says so. The report
// counts the logs that went in `removed`.
UpdateReport RemoveLibraryFolders(Library& library, const std::vector<std::filesystem::path>& folders,
                                  const UpdateProgressFn& progress = {},
                                  const std::atomic<bool>* cancel = nullptr);

// The share of dead entries past which the index is rebuilt: when they
// outnumber half the remarks.
bool NeedsCompaction(std::int64_t dead, std::int64_t live);

}  // namespace kest
