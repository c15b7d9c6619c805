// Opening a log file, and telling whether it is still the file an index was
// made from.
//
// Only a regular file is a log. A pipe, a device (/dev/zero, /dev/urandom),
// a socket, a folder or a chain of links that never ends is refused at once,
// by its kind, before anything is read; opening never waits for a writer.
//
// An index holds byte offsets into the file as it was scanned. Before the
// text of a remark is read again, the file is checked cheaply against what it
// was then (FileIdentity): its device and inode, its size, its modification
// time to the nanosecond and a digest of a few KiB at its start and end. A
// file rewritten in place, cut short, grown or replaced is caught, and no text
// is read through a stale index.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kest {

// An input/output failure on a log file. The message is Japanese (UTF-8):
// what happened, and, when the failure concerns one file, that file's path
// and what the user can do about it. what() gives them on one line,
// "<text>: <path>", for the batch side and the error box.
class LogFileError : public std::runtime_error {
 public:
  // Why a file could not be opened or read.
  enum class Reason {
    Other,
    Missing,     // no such file (or folder on its way)
    Folder,      // a folder, not a file
    NotRegular,  // a pipe, a device or a socket
    LinkLoop,    // symbolic links that lead round in a circle
    Unreadable,  // no permission, an input/output error
    Changed,     // changed since its index was made
  };

  explicit LogFileError(const std::string& message);
  LogFileError(Reason reason, std::string text, std::filesystem::path path, std::string advice = {});

  Reason reason() const { return reason_; }
  // What happened, without the path.
  const std::string& text() const { return text_; }
  const std::filesystem::path& path() const { return path_; }
  // What the user can do; may be empty.
  const std::string& advice() const { return advice_; }

 private:
  Reason reason_ = Reason::Other;
  std::string text_;
  std::filesystem::path path_;
  std::string advice_;
};

// Opens a regular file for reading (links followed) and gives its
// descriptor, which the caller closes. Anything else is refused with a
// LogFileError that names the path and what it is; nothing blocks.
int OpenLogFile(const std::filesystem::path& path);

// FNV-1a over `bytes`, continuing from `hash`.
std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash = 0xcbf29ce484222325ull);

// One state of a file.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtimeSeconds = 0;
  std::int64_t mtimeNanoseconds = 0;
  std::uint64_t digest = 0;  // of the first and the last kDigestBytes

  static constexpr std::size_t kDigestBytes = 4096;
  bool operator==(const FileIdentity&) const = default;
};

// The file as it is now. Throws LogFileError as OpenLogFile does.
FileIdentity IdentifyFile(const std::filesystem::path& path);

enum class FileChange {
  None,
  Changed,  // rewritten, grown or replaced
  Shorter,  // cut short
  Gone,     // no longer there (or no longer a readable regular file)
};

// How the file at `path` differs from `then`.
FileChange CompareFile(const FileIdentity& then, const std::filesystem::path& path);

// The error for a file found changed; `during` when it changed while it was
// being read (a scan), else since it was read.
LogFileError ChangedFileError(FileChange change, const std::filesystem::path& path, bool during = false);

}  // namespace kest
