// Searching the library: the remarks of every log whose text holds a key
// (by the rule of the text search in one log), of a poster, in a range of
// dates. The full-text index gives the remarks that can hold the key; each
// of them is then checked against the log file as it is now, so the answer
// is exactly the union of the one-log searches over the library's logs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "library/LibraryStore.h"
#include "library/LogFiles.h"
#include "log/Types.h"

namespace kest {

struct LibraryQuery {
  std::string key;  // Shift-JIS; empty: every remark (that the other fields let through)
  bool ignoreCase = false;
  std::string speaker;  // Shift-JIS: a poster's ID or name, without the blanks around it; empty: anyone
  std::optional<Day> from, to;  // inclusive; a remark without a date is outside any range
  bool newestFirst = false;     // else oldest first
  std::size_t limit = 0;        // 0: every hit
  bool withContext = false;     // each hit carries the line that shows the key
  // How the search goes (tests change it to take every road): it checks
  // the first `walkFirst` remarks one by one, in order, and goes on so while
  // one in `keepWalking` of those walked holds the key (0: never); then it
  // asks the index for the rest.
  std::int64_t walkFirst = 2048;
  std::int64_t keepWalking = 64;
};

struct LibraryHit {
  std::int64_t remarkId = 0;
  std::int64_t logId = 0;
  std::string path;    // the log's file, or the archive holding it
  std::string member;  // empty for a log of its own
  FileStamp stamp;     // of the file as the library read it (and the search found it)
  std::string forum;   // the log's title (Shift-JIS)
  std::int32_t number = 0;
  ByteOffset start, end;
  std::optional<Day> day;
  std::string poster, speaker, title;  // Shift-JIS, without the blanks around them
  // With LibraryQuery::withContext and a key: the first line of the remark
  // that holds it (Shift-JIS, as the file has it now) and the byte where the
  // key starts in it.
  std::string context;
  std::size_t contextAt = 0;
};

struct SearchReport {
  std::int64_t hits = 0;
  std::int64_t candidates = 0;  // remarks checked
  // Logs whose hits could not be checked (gone, changed since the library
  // read them, unreadable), once each, Japanese (UTF-8). Their remarks are
  // left out, never shown with text the file no longer holds.
  std::vector<std::string> problems;
  bool cancelled = false;
};

// Gets every hit, in order: oldest first (remarks without a date before all),
// then by the log's path and member, then by offset; with newestFirst the
// days in the other order. `onHit` returns false to stop.
SearchReport SearchLibrary(Library& library, const LibraryQuery& query, const ArchiveHook& hook,
                           const std::function<bool(const LibraryHit&)>& onHit,
                           const std::atomic<bool>* cancel = nullptr);

}  // namespace kest
