#include "library/RemarkCheck.h"

namespace kest {
namespace {

// Calls f(line) for the lines the search reads of [start, end) until f
// returns true; lines after a 0x1A byte are empty and not given.
template <class F>
void EachLine(LineReader& reader, ByteOffset start, ByteOffset end, F f) {
  reader.Seek(start);
  const std::int64_t span = end - start;
  std::int64_t count = 0;
  do {
    const LineReader::Line l = reader.ReadLine();
    // After a 0x1A byte or at the end of the file every further line is
    // empty: nothing more can match.
    if (f(l.text) || l.stop != LineReader::Stop::CR) return;
    count += l.length + 2;
  } while (count < span);
}

}  // namespace

void AppendSearchedLines(LineReader& reader, ByteOffset start, ByteOffset end, std::string& out) {
  EachLine(reader, start, end, [&out](std::string_view line) {
    out.append(line);
    out.push_back('\r');
    return false;
  });
}

bool RemarkHoldsKey(LineReader& reader, ByteOffset start, ByteOffset end, const KeyMatcher& key) {
  return RemarkHolds(reader, start, end, key);
}

std::optional<MatchContext> FindMatchContext(LineReader& reader, ByteOffset start, ByteOffset end,
                                             const KeyMatcher& key) {
  std::optional<MatchContext> found;
  EachLine(reader, start, end, [&found, &key](std::string_view line) {
    const std::size_t at = key.FindInLine(line);
    if (at == KeyMatcher::npos) return false;
    found = MatchContext{std::string(line), at};
    return true;
  });
  return found;
}

}  // namespace kest
