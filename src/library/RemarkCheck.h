// What the text search of one log reads of a remark, for the library: the
// text its index takes in, and the check that decides whether a remark found
// through the index holds the key. Both read the remark's lines exactly as
// that search does (from StartPos, a line ending at CR or 0x1A, nothing after
// a 0x1A byte, until the lines have used up the remark's length), so the
// library answers for a key exactly what the searches of its logs answer.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "log/LineReader.h"
#include "log/KeyMatcher.h"

namespace kest {

// Appends the lines the search reads of the remark [start, end), each
// followed by a CR, to `out`; lines after a 0x1A byte are left out (they are
// empty to the search).
void AppendSearchedLines(LineReader& reader, ByteOffset start, ByteOffset end, std::string& out);

// The check of one remark by the rule of the search in one log, through the
// one matcher every search uses (log/KeyMatcher.h); the key is upper-cased
// already when case is ignored. This is the only place the library asks the
// rule.
bool RemarkHoldsKey(LineReader& reader, ByteOffset start, ByteOffset end, const KeyMatcher& key);

// Where a remark that holds the key shows it: the first line that holds it,
// and the byte where the key starts in that line, for a list of results.
struct MatchContext {
  std::string line;  // Shift-JIS, as the file has it
  std::size_t at = 0;
};
std::optional<MatchContext> FindMatchContext(LineReader& reader, ByteOffset start, ByteOffset end,
                                             const KeyMatcher& key);

}  // namespace kest
