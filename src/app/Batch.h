// The batch side of kest32: the log core without a window.
#pragma once

#include <iosfwd>

namespace kest {

// True when the arguments ask for a batch command (or for help or the
// version) rather than the window.
bool IsBatchInvocation(int argc, char** argv);

// Runs a batch command; the exit status is 0 on success, 1 when the file or
// the remark does not exist or cannot be read, 2 on a usage error.
int RunBatch(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace kest
