// The tokens of the library's full-text index: character bigrams of a
// remark's lines.
//
// A line is cut into characters as the text searches cut it: a lead byte
// (0x81-0x9F, 0xE0-0xFC) and the byte after it are one character, a lead
// byte that ends the line is one on its own, and every other byte (ASCII,
// half-width kana, a stray byte) is one. Each character gets a code: the
// Unicode code point that CP932 gives it, with the ASCII letters folded to
// lower case; a character that CP932 does not define keeps its bytes, as a
// code of its own in plane 15 (U+F0000 + its bytes), so equal bytes always
// give equal codes and no two different byte strings that CP932 does not map
// to the same character share one.
//
// The tokens of a line are the pairs of neighbouring characters and its last
// character alone; a line of one character gives only that. No token spans a
// line end. So every place where a key of two or more characters occurs within
// a line holds all the key's pairs, and every place where a key of one
// character occurs starts a token that begins with that character: the index
// finds every remark that can match, and the exact check of each remark decides.
//
// A token holds its one or two codes in three bytes each (PairToken,
// CharToken), so every pair that starts with a character starts with that
// character's token.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

// The code of the character `bytes` (one byte, or a lead byte and the byte
// after it).
std::uint32_t CharCode(std::string_view bytes);

// The characters of `line` in order, cut as above.
std::vector<std::string_view> SplitChars(std::string_view line);

// The token of two neighbouring characters, and of a character alone.
std::string PairToken(std::uint32_t first, std::uint32_t second);
std::string CharToken(std::uint32_t code);

// Collects the tokens of a text whose lines are separated by a CR each (as
// library/RemarkCheck.h joins them: an LF after it starts the next line).
class BigramTokens {
 public:
  // The tokens of `text`, each distinct one once, in the order first seen:
  // what the index keeps of one remark.
  const std::vector<std::string>& Distinct(std::string_view text);

  // The tokens of `line` (one line: no CR in it) in order, repeats kept.
  static std::vector<std::string> OfLine(std::string_view line);

 private:
  void Add(std::uint64_t pair);

  std::vector<std::string> tokens_;
  std::vector<std::uint64_t> slots_;  // open addressing: 0 empty, else pair + 1
  std::size_t used_ = 0;
};

}  // namespace kest
