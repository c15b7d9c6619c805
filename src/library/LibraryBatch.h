// The batch side of the library: kest32 --library-add, --library-remove,
// --library-update, --library-list and --library-search.
#pragma once

#include <iosfwd>

#include "library/LogFiles.h"

namespace kest {

// The lines of the usage text that tell of the library (UTF-8), a literal
// for the batch side's usage text to take in.
#define KEST_LIBRARY_USAGE                                                                                \
  "  kest32 --library-add DIR...             フォルダをライブラリに加えて索引を作る\n" \
  "  kest32 --library-remove DIR             フォルダをライブラリから外す\n"                \
  "  kest32 --library-update                 ライブラリの索引を新しくする\n"                \
  "  kest32 --library-list                   ライブラリのログを表示する\n"                   \
  "  kest32 --library-search TEXT [--ignore-case] [--speaker=ID|NAME]\n"                                  \
  "         [--from=YYYY-MM-DD] [--to=YYYY-MM-DD] [--limit=N]\n"                                          \
  "                                          ライブラリ全体から TEXT を含む発言を探す\n" \
  "  --library=FILE                          ライブラリのファイル (既定: $KEST_LIBRARY、\n"  \
  "                                          なければ ~/.local/share/kest32/library.db)\n"

// True when the arguments hold a library command.
bool IsLibraryInvocation(int argc, char** argv);

// Runs the library command. --library-search exits as grep does: 0 when a
// remark was found, 1 when none, 2 on an error (also when a log could not be
// checked); the other commands 0, or 2 on an error. `hook` reads archives.
int RunLibraryBatch(int argc, char** argv, std::ostream& out, std::ostream& err,
                    const ArchiveHook& hook = {});

}  // namespace kest
