// Finding the library's files: each folder of the library walked through,
// its subfolders too, following symbolic links but never round a loop.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "library/LogFiles.h"

namespace kest {

struct FoundFile {
  std::filesystem::path path;  // as reached from the library's folder
  FileStamp stamp;
};

struct WalkResult {
  // Every file found once (a file reached twice, through a link, counts
  // once), in the order of their paths. Names that start with '.' are left
  // out, folders so named too.
  std::vector<FoundFile> files;
  // What stopped the walk somewhere (Japanese, UTF-8): a folder of the
  // library that is not there, a folder that cannot be read, a symbolic
  // link that leads back into a folder above it.
  std::vector<std::string> problems;
  // The folders whose files could not be seen (missing or unreadable): what
  // the library holds from them stays as it is, so a disk not plugged in or
  // a folder locked for a while loses nothing.
  std::vector<std::filesystem::path> unseen;
};

// Walks the folders. `cancel`, when set, ends the walk early (what was found
// is given).
WalkResult WalkFolders(const std::vector<std::filesystem::path>& folders,
                       const std::atomic<bool>* cancel = nullptr);

// Whether the walk tries a file as a log by its name: *.log, *.txt (any
// letter case) and names without an extension.
bool LogLikeName(const std::filesystem::path& file);

}  // namespace kest
