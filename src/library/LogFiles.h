// The files of the library's logs: where archives come in, how a log that is
// stored in another form is read, and the stamp that tells whether a file
// has changed since it was indexed.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "log/NativeCopy.h"

namespace kest {

// What identifies a file's content for the library: when any of these
// changes, the file is read again.
struct FileStamp {
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;
  std::int64_t inode = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of a file (a symbolic link is followed); nothing when it cannot
// be looked at.
std::optional<FileStamp> StampOf(const std::filesystem::path& file);

// A member of an archive that may be a log: its name (UTF-8, '/' between
// folders) and how to get it as the scanner reads it (its copy in the cache,
// held while the NativeLog lives; throws LogFileError when it cannot be
// extracted).
struct ArchiveMemberLog {
  std::string name;
  std::function<NativeLog()> extract;
};

// The one place where archives come into the library: given a file the walk
// found, its members that may be logs, or nothing when the file is no
// archive. Throws LogFileError when the file is an archive that cannot be
// read. Without it (an empty function) archives are passed over like any
// other file that is not a log.
using ArchiveHook =
    std::function<std::optional<std::vector<ArchiveMemberLog>>(const std::filesystem::path& file)>;

// A log of the library opened for reading: its own file when it is stored in
// the scanner's form (Shift-JIS, CR LF), else its Shift-JIS copy.
class OpenedLog {
 public:
  // `member` empty: the log `file` itself; else that member of the archive
  // `file`. `knownNative`: the file was found in the scanner's form when it
  // was indexed and has not changed since, so its form is not looked at
  // again. Throws LogFileError when it cannot be read.
  OpenedLog(const std::filesystem::path& file, const std::string& member, const ArchiveHook& hook,
            bool knownNative = false);
  // A member the hook has extracted.
  explicit OpenedLog(NativeLog extracted);

  const std::filesystem::path& ReadPath() const { return read_; }
  // Read as it stands (no copy was needed).
  bool Native() const { return !native_ || !native_->Converted(); }

 private:
  std::optional<NativeLog> native_;
  std::filesystem::path read_;
};

}  // namespace kest
