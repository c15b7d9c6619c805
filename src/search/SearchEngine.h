// The text search over a log file: which remarks hold a key within one of
// their lines.
//
// The rule is the remark test of KeyMatcher exactly (RemarkHolds): lines are
// read from the remark's StartPos as the line reader gives them (a line ends
// at CR or at a 0x1A byte, after which only empty lines follow), each line
// counts its length + 2 towards the remark's length, at least one line is
// read, and the key matches within one line starting on a character boundary,
// with the ANSI case rule when case is ignored.
//
// The engine gets the same answers without reading each remark on its own:
// the remarks are read in file order in large sequential blocks (pread, never
// a mapping, so a file cut short cannot fault the process), and a fast byte
// search finds where the key may be. Where the remark's lines up to such a
// place all end with CR LF and hold no 0x1A byte (in every remark of a log as
// the format has it), the place is judged from itself outward: the line that
// holds it starts after the last CR before it, and the character boundary is
// found walking back from it, so the remark's lines are not walked one by
// one. Other remarks are. A key found in few places is first looked for
// in one pass over the whole file, and only the remarks that may hold one of
// those places are tested. The order of the list does not change what a
// search costs, and a key found nowhere costs one pass.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "log/Logunit1.h"
#include "log/KeyMatcher.h"

namespace kest {

class SearchEngine {
 public:
  // Percentages 0..100 of the remarks tested so far; also called now and then
  // while a long search runs, so a window can keep painting.
  using Progress = std::function<void(int percent)>;

  // Opens the log. `key` is compared as it stands (a caller that ignores case
  // passes it upper-cased). Throws LogFileError when the file cannot be
  // opened or has become shorter than it was when it was scanned.
  SearchEngine(const std::filesystem::path& path, const TLogCtrl& index, std::string key, bool ignoreCase);
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

  // The test for the records of the given ids (TLogBase::IdAt), in rising
  // order: result[k] is true when the record ids[k] matches. Reads nothing of
  // the index but those records' spans, so another thread may rearrange the
  // order meanwhile.
  std::vector<bool> MatchIds(std::span<const std::uint32_t> ids);

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

  // Tests the spans, which are in file order, and sets hit[slot] of each.
  void TestSpans(const std::vector<Span>& spans, std::vector<bool>& hit);
  // Tests the positions in `todo` (any order; they are sorted into file
  // order) and sets their entries of `hit`.
  void TestPositions(std::vector<std::int32_t>& todo, std::vector<bool>& hit);
  // Tests the records of `ids` (rising: file order) and sets hit[k] for
  // ids[k], or hit[position] when `posOfId` gives the positions; the whole
  // file is looked through first then, and only records that may match are
  // tested.
  void TestIds(std::span<const std::uint32_t> ids, const std::vector<std::int32_t>* posOfId,
               std::vector<bool>& hit);
  void Load(std::int64_t from, std::int64_t to);
  bool TestSpan(const Span& s);
  bool FromTheCandidates(const Span& s);
  bool FindCandidate(std::int64_t from, std::int64_t to);
  // One pass over the whole file that notes where the key may be; false when
  // it is in too many places to be worth it.
  bool Prefilter();
  // False when no line the remark test reads can hold an occurrence noted.
  bool MayMatch(const TLogData& r) const;
  void CheckSize() const;
  void Report();

  std::filesystem::path path_;
  const TLogCtrl& index_;
  KeyMatcher key_;
  std::unique_ptr<Blocks> blocks_;
  std::unique_ptr<LineReader> oddReader_;  // remarks the fast path does not take
  std::int64_t occAt_ = -1;                // a candidate at or after occFrom_ (or kNone: none in the block)
  std::int64_t occFrom_ = -1;
  int prefilter_ = 0;                // 0 not run, 1 done, -1 too many occurrences
  std::vector<std::int64_t> occ_;    // offsets of the occurrences, ascending
  std::vector<std::int64_t> occCr_;  // the last CR before each (-1: none)
  std::size_t occLimit_ = 1 << 16;
  Progress progress_;
  std::int64_t block_ = 1 << 20;  // bytes read at once
  std::int64_t gap_ = 64 << 10;   // remarks closer than this are read together
  std::int64_t total_ = 0, done_ = 0;
  int lastPercent_ = -1;
};

// The test of many records shared out among threads: every thread that calls
// Work takes parts of the records, one after another, and tests them with a
// search engine of its own, until no part is left. Reads nothing of the index
// but the records' spans, so one thread may rearrange the order and then
// join in.
class SharedSearch {
 public:
  // `ids` are record ids (TLogBase::IdAt), rising.
  SharedSearch(const std::filesystem::path& path, const TLogCtrl& index, std::string key, bool ignoreCase,
               std::vector<std::uint32_t> ids);
  void Work();
  // Once every Work has returned: result[id] is true when the record `id`
  // matches. Throws what a thread met (LogFileError, as the engine does).
  std::vector<bool> Result() const;

 private:
  static constexpr std::size_t kPart = 1 << 15;  // records
  std::filesystem::path path_;
  const TLogCtrl& index_;
  std::string key_;
  bool ignoreCase_;
  std::vector<std::uint32_t> ids_;
  std::vector<std::uint8_t> hit_;  // per id of ids_, each written by one thread
  std::size_t parts_;
  std::atomic<std::size_t> next_{0};
  std::mutex mutex_;
  std::exception_ptr failure_;
};

// Whether `key` may occur anywhere in the file's bytes (with `ignoreCase`,
// with every a-z of both taken as A-Z). Every line of every remark lies in the
// file, so a key that occurs nowhere matches no remark, whatever the index:
// `kest32 --grep` then needs neither the scan nor an order. True also for an
// empty key and for a file that cannot be read (the full search then says
// why). One sequential pass in large blocks, like the engine's.
bool KeyOccursInFile(const std::filesystem::path& path, const std::string& key, bool ignoreCase);

}  // namespace kest
