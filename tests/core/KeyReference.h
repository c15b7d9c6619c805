// The matching rule of the searches in its plainest form, for the tests to
// check the fast searches against: a line's characters walked one by one from
// its start, and the key compared at each, with the whole line upper-cased
// first when case is ignored; a remark's lines read one by one.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "log/LineReader.h"
#include "log/Logunit0.h"
#include "platform/Codec.h"

namespace kest::test {

// Where the characters of a line start, and its end.
inline std::vector<std::size_t> CharacterStarts(std::string_view line) {
  std::vector<std::size_t> starts;
  std::size_t i = 0;
  while (i < line.size()) {
    starts.push_back(i);
    i += IsSjisLead(static_cast<unsigned char>(line[i])) && i + 1 < line.size() ? 2 : 1;
  }
  starts.push_back(line.size());
  return starts;
}

// The first match in the line that starts at or after `from`, or npos: a
// place where a character starts, the key's bytes follow, and a character
// starts (or the line ends) right after them.
inline std::size_t ReferenceFind(std::string_view line, std::string_view key, bool ignoreCase,
                                 std::size_t from = 0) {
  const std::string text = ignoreCase ? AnsiUpper(line) : std::string(line);
  const std::vector<std::size_t> starts = CharacterStarts(line);
  for (std::size_t s : starts) {
    if (s < from || text.compare(s, key.size(), key) != 0) continue;
    if (std::binary_search(starts.begin(), starts.end(), s + key.size())) return s;
  }
  return std::string_view::npos;
}

// The remark test: the lines from StartPos as the line reader gives them,
// while their lengths + 2 stay below the span, one at least.
inline bool ReferenceRemark(LineReader& reader, const TLogData& rec, std::string_view key, bool ignoreCase) {
  reader.Seek(rec.StartPos);
  const std::int64_t span = rec.EndPos - rec.StartPos;
  std::int64_t count = 0;
  do {
    const LineReader::Line l = reader.ReadLine();
    if (ReferenceFind(l.text, key, ignoreCase) != std::string_view::npos) return true;
    count += l.length + 2;
  } while (count < span);
  return false;
}

}  // namespace kest::test
