#include "library/RemarkCheck.h"

#include <vector>

#include "log/Logunit1.h"
#include "platform/Codec.h"

namespace kest {
namespace {

// Calls f(line, lineStart) for the lines the search reads of [start, end)
// until f returns true; lines after a 0x1A byte are empty and not given.
template <class F>
bool EachLine(LineReader& reader, ByteOffset start, ByteOffset end, F f) {
  reader.Seek(start);
  const std::int64_t span = end - start;
  std::int64_t count = 0;
  do {
    const std::int64_t at = reader.Tell();
    const LineReader::Line l = reader.ReadLine();
    if (f(l.text, at)) return true;
    // After a 0x1A byte or at the end of the file every further line is
    // empty: nothing more can match.
    if (l.stop != LineReader::Stop::CR) return false;
    count += l.length + 2;
  } while (count < span);
  return false;
}

}  // namespace

void AppendSearchedLines(LineReader& reader, ByteOffset start, ByteOffset end, std::string& out) {
  EachLine(reader, start, end, [&out](std::string_view line, std::int64_t) {
    out.append(line);
    out.push_back('\r');
    return false;
  });
}

bool RemarkHoldsKey(LineReader& reader, ByteOffset start, ByteOffset end, std::string_view key,
                    bool ignoreCase) {
  TLogData rec;
  rec.StartPos = start;
  rec.EndPos = end;
  return RemarkMatches(reader, rec, key, ignoreCase);
}

std::optional<MatchContext> FindMatchContext(LineReader& reader, ByteOffset start, ByteOffset end,
                                             std::string_view key, bool ignoreCase) {
  struct Line {
    std::string text;
    std::int64_t at, length;
  };
  std::vector<Line> lines;
  EachLine(reader, start, end, [&lines](std::string_view line, std::int64_t at) {
    lines.push_back({std::string(line), at, static_cast<std::int64_t>(line.size())});
    return false;
  });
  for (const Line& l : lines) {
    // The first line that the check finds the key in on its own.
    if (!RemarkHoldsKey(reader, ByteOffset(l.at), ByteOffset(l.at + l.length + 2), key, ignoreCase)) continue;
    MatchContext c{l.text, 0};
    // The mark: the first character of the line where the key's bytes stand.
    const std::string folded = ignoreCase ? AnsiUpper(l.text) : l.text;
    for (std::size_t i = 0; i < folded.size();) {
      if (folded.compare(i, key.size(), key) == 0) {
        c.at = i;
        break;
      }
      i += IsSjisLead(static_cast<unsigned char>(folded[i])) && i + 1 < folded.size() ? 2 : 1;
    }
    return c;
  }
  return std::nullopt;
}

}  // namespace kest
