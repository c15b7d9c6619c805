// The rule by which a search key matches the text of a remark, in one place
// for every search: the window's text searches and its text pane,
// `kest32 --grep`, and anything that checks single remarks.
//
// A key matches where its bytes occur within one line, as the line reader
// gives lines (a line ends at CR or at a 0x1A byte), starting on a character
// boundary of that line. A line begins on a boundary; a single-byte character
// (half-width kana 0xA1-0xDF among them) is one character, and so is a lead
// byte with the byte after it. So "A" is not found in "ア" (0x83 0x41), nor a
// two-byte key across the halves of two characters; a match of whole
// characters ends on a boundary too, and a key whose last byte is a lone lead
// byte matches only where a line ends with one. With case ignored, the text's
// single-byte letters a-z count as A-Z (the ANSI rule: both bytes of a
// double-byte character stay as they are); the key is compared as it
// stands, so a caller that ignores case passes it upper-cased.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "log/LineReader.h"
#include "log/Types.h"

namespace kest {

class KeyMatcher {
 public:
  static constexpr std::size_t npos = std::string_view::npos;

  KeyMatcher(std::string key, bool ignoreCase);

  const std::string& Key() const { return key_; }
  std::size_t Size() const { return key_.size(); }
  bool IgnoreCase() const { return ignoreCase_; }
  // No line can hold the key: it has a CR or a 0x1A byte.
  bool Impossible() const { return impossible_; }

  // The first match in `line` (a whole line as the line reader gives it)
  // that starts at or after byte `from`; npos when none. An empty key is
  // found on the first character boundary from `from` on.
  std::size_t FindInLine(std::string_view line, std::size_t from = 0) const;
  bool InLine(std::string_view line) const { return FindInLine(line) != npos; }

  // The same in several lines, each ended by CR and an LF after it, as the
  // text pane holds them: the first match at or after byte `from`.
  std::size_t FindInLines(std::string_view text, std::size_t from) const;

  // For searches through large blocks of the file. The first place in
  // [p, p + n) where the bytes equal the key, with every a-z taken as A-Z
  // when case is ignored: every match starts at such a place, and MatchesAt
  // tells which of them are matches.
  const char* Candidate(const char* p, std::size_t n) const;
  // Whether the candidate at `at` is a match of the line that holds it.
  // `floor` is a character boundary of that line at or before `at` (the
  // line's start will do); it is moved on towards `at`, so that the
  // candidates of one line, taken in turn, look at each byte once. The key's
  // bytes lie before `end`, and a CR or 0x1A at `at + Size()` or reaching
  // `end` there ends the line.
  bool MatchesAt(const char*& floor, const char* at, const char* end) const;

 private:
  bool SameBytes(const char* at) const;

  std::string key_;
  std::string folded_;       // a-z as A-Z throughout: what Candidate looks for
  std::vector<bool> exact_;  // the key's bytes of double-byte characters
  bool ignoreCase_;
  bool foldSearch_ = false;  // Candidate folds (case ignored and the key holds letters)
  bool impossible_ = false;
  bool cutAtEnd_ = false;  // the last byte is a lead byte on its own
};

// Whether `at`, before the end of its line, is a character boundary of that
// line, given a boundary `floor` of the line at or before it.
bool OnCharBoundary(const char* floor, const char* at);

// The remark test of the text searches: does the key match within one of the
// lines read from the remark's StartPos? Lines are read as the line reader
// gives them while their lengths + 2, added up, stay below the span
// (EndPos - StartPos), one line at least; text after a 0x1A byte is not read.
bool RemarkHolds(LineReader& reader, ByteOffset start, ByteOffset end, const KeyMatcher& key);
// The same, opening the log file for it.
bool RemarkHolds(const std::filesystem::path& log, ByteOffset start, ByteOffset end, const KeyMatcher& key);
// The same on a remark's bytes in memory: `text` holds the file from the
// remark's StartPos on, its `span` bytes (and more where its last line goes on
// past them); where `text` stops, the file is taken to end.
bool RemarkHolds(std::string_view text, std::int64_t span, const KeyMatcher& key);

}  // namespace kest
