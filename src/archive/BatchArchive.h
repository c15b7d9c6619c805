// The batch side's archives: `kest32 --members ARCHIVE`, and a FILE that is
// an archive, with --member or without.
#pragma once

#include <iosfwd>
#include <string>

#include "log/NativeCopy.h"

namespace kest {

// Lists the archive's members to `out`, one a line: size, date, method and
// name (UTF-8, or Shift-JIS with `shiftJis`). The exit status: 0, or 1 when
// the file is no archive, cannot be read, or is damaged (the members before
// the damage are listed).
int PrintMembers(const std::string& archive, bool shiftJis, std::ostream& out, std::ostream& err);

// The file the batch side reads for FILE: FILE itself or its native copy;
// for an archive, the member that `member` names (ChooseMember), extracted.
// Throws LogFileError: the message names the archive and, when no member or
// several fit, lists them.
NativeLog OpenBatchLog(const std::string& file, const std::string& member, const NativeCopyOptions& options);

}  // namespace kest
