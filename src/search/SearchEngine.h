// The text search over a log file: which remarks hold a key within one of
// their lines.
//
// The rule is the remark test of RemarkMatches exactly: lines are read from
// the remark's StartPos as the line reader gives them (a line ends at CR or
// at a 0x1A byte, after which only empty lines follow), each line counts its
// length + 2 towards the remark's length, at least one line is read, and with
// `ignoreCase` every line is upper-cased (ANSI rule) before the comparison.
//
// The engine gets the same answers without reading each remark on its own:
// one pass over the whole file in large sequential blocks (pread, never a
// mapping, so a file cut short cannot fault the process) notes where the key
// occurs, and only the remarks whose lines may hold one of those places are
// tested, in file order, walked line by line where a fast substring search
// finds the key in them. A key that occurs very often skips the pass and
// every remark is tested that way. The order of the list therefore does not
// change what the search costs, and a key found nowhere costs one pass.
#pragma once

#include <cstdint>
#include <memory>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "log/Logunit1.h"

namespace kest {

class SearchEngine {
 public:
  // Percentages 0..100 of the remarks tested so far; also called now and then
  // while a long search runs, so a window can keep painting.
  using Progress = std::function<void(int percent)>;

  // Opens the log. `key` is compared as it stands (a caller that ignores case
  // passes it upper-cased). Throws LogFileError when the file cannot be
  // opened or has become shorter than it was when it was scanned.
  SearchEngine(const std::filesystem::path& path, const TLogCtrl& index, std::string key,
               bool ignoreCase);
  ~SearchEngine();
  SearchEngine(const SearchEngine&) = delete;
  SearchEngine& operator=(const SearchEngine&) = delete;

  void SetProgress(Progress progress) { progress_ = std::move(progress); }
  // The largest read and the widest gap read through (tests use tiny ones
  // to cross block edges often).
  void SetBlockSize(std::int64_t block, std::int64_t gap) {
    block_ = block;
    gap_ = gap;
  }

  // The most occurrences the pass over the whole file keeps before the
  // remarks are searched one by one instead (tests make it small).
  void SetOccurrenceLimit(std::size_t limit) { occLimit_ = limit; }

  // The test for every position of the index: result[i] is true when the
  // record at position i matches.
  std::vector<bool> MatchAll();

  // The first matching position of the walk from, from + step, from + 2 step,
  // ... (step +1 or -1) while it stays within the index; -1 when none. Near
  // matches are found without reading the whole file.
  IndexPos FindFirst(IndexPos from, int step);

  // Thrown (as LogFileError) when the file turns out shorter than at the
  // scan while the search reads it.
  static std::string TruncatedText(const std::filesystem::path& path);

 private:
  struct Span;
  class Blocks;

  // Tests the positions in `todo` (any order; they are sorted into file
  // order) and sets their entries of `hit`.
  void TestPositions(std::vector<std::int32_t>& todo, std::vector<bool>& hit);
  bool TestSpan(const Span& s);
  bool WalkLines(const char* data, std::int64_t span);
  bool FindCandidate(std::int64_t from, std::int64_t to);
  // One pass over the whole file that notes where the key (folded, when
  // case is ignored) occurs; false when it occurs too often to be worth it.
  bool Prefilter();
  // False when no line the remark test reads can hold an occurrence noted.
  bool MayMatch(const TLogData& r) const;
  void Report();

  std::filesystem::path path_;
  const TLogCtrl& index_;
  std::string key_;
  bool ignoreCase_;
  bool impossible_ = false;  // the key holds CR or 0x1A: no line can hold it
  std::unique_ptr<Blocks> blocks_;
  std::unique_ptr<LineReader> oddReader_;  // remarks the fast path does not take
  std::string upper_;                      // one upper-cased line
  std::string folded_;                     // the key with a-z taken as A-Z, for the prefilter
  std::int64_t occAt_ = -1;    // a prefilter hit at or after occFrom_ (or occEnd_: none)
  std::int64_t occFrom_ = -1;
  int prefilter_ = 0;              // 0 not run, 1 done, -1 too many occurrences
  std::vector<std::int64_t> occ_;  // offsets of the occurrences, ascending
  std::vector<std::int64_t> occCr_;  // the last CR before each (-1: none)
  std::size_t occLimit_ = 1 << 16;
  Progress progress_;
  std::int64_t block_ = 1 << 20;  // bytes read at once
  std::int64_t gap_ = 64 << 10;   // remarks closer than this are read together
  std::int64_t total_ = 0, done_ = 0;
  int lastPercent_ = -1;
};

// Whether `key` occurs anywhere in the file's bytes (with `ignoreCase`, with
// every a-z of both taken as A-Z). Every line of every remark lies in the
// file, so a key that occurs nowhere matches no remark, whatever the index:
// `kest32 --grep` then needs neither the scan nor an order. True also for an
// empty key and for a file that cannot be read (the full search then says
// why). One sequential pass in large blocks, like the engine's.
bool KeyOccursInFile(const std::filesystem::path& path, const std::string& key, bool ignoreCase);

}  // namespace kest
