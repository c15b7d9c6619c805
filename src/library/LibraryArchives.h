// Archives in the library: the hook that gives the members of an .lzh or
// .zip archive that may be logs, each extracted as the window opens it.
#pragma once

#include "library/LogFiles.h"

namespace kest {

// The library's archive hook: for a file that is an LHA or ZIP archive (by
// its first bytes), the members that look like logs or are named as logs
// are (*.log, *.txt, no extension); nothing for any other file. A member
// that cannot be opened (encrypted, an unknown method, a name leading out
// of its folder) is given too, and its extraction throws LogFileError with
// the reason, so that the update reports it.
ArchiveHook LibraryArchiveHook();

}  // namespace kest
