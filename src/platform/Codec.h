// Shift-JIS (CP932) is the one text encoding of logs, settings and the title
// list. Conversion to Unicode happens only here, at the display and file-name
// boundary; everything else works on the bytes as they stand.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace kest {

// True for a byte that starts a double-byte Shift-JIS character.
constexpr bool IsSjisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// CP932 bytes to UTF-8. Bytes that do not form a character become U+FFFD;
// the conversion never fails.
std::string SjisToUtf8(std::string_view sjis);
// The same, appended to `out`.
void AppendSjisAsUtf8(std::string_view sjis, std::string& out);

// The same conversion for a text that comes in pieces (read in blocks): a
// double-byte character cut between two pieces is joined again. Each byte
// that forms no character becomes `replacement` (up to 4 bytes are kept).
class SjisDecoder {
 public:
  explicit SjisDecoder(std::string_view replacement = "\xEF\xBF\xBD")
      : replacementLength_(std::min<std::size_t>(replacement.size(), sizeof replacement_)) {
    replacement.copy(replacement_, replacementLength_);
  }
  void Append(std::string_view sjis, std::string& out);
  // The end of the text: a lead byte left without its trail byte is replaced.
  void Finish(std::string& out);

  // The same into memory of the caller's, which must hold MaxDecoded(size)
  // bytes; each gives back the end of what it wrote.
  static constexpr std::size_t MaxDecoded(std::size_t sjisBytes) { return 4 * sjisBytes + 4; }
  char* Decode(std::string_view sjis, char* out);
  char* Finish(char* out);

 private:
  char* Replace(char* out) const;

  char replacement_[4] = {};
  std::size_t replacementLength_;
  int pending_ = -1;  // a lead byte at the end of the last piece
};

// UTF-8 to CP932. Characters without a CP932 form become '?'; *ok (when
// given) tells whether every character converted.
std::string Utf8ToSjis(std::string_view utf8, bool* ok = nullptr);

// Text in the locale's character set (as arguments and the terminal give it)
// to CP932. A plain ASCII ("C") locale is taken as UTF-8; in a UTF-8 locale,
// bytes that are not UTF-8 at all are taken as Shift-JIS already.
std::string LocaleToSjis(std::string_view text, bool* ok = nullptr);

// A fixed Japanese text of the program, as Shift-JIS bytes, converted once.
// Byte-exact lengths (the 8-byte "発言者: ") come from here, never by hand.
#define KEST_SJIS(utf8)                                            \
  ([]() -> const std::string& {                                    \
    static const std::string converted = ::kest::Utf8ToSjis(utf8); \
    return converted;                                              \
  }())

// The ANSI upper-casing of the old platform: single-byte a-z become A-Z,
// both bytes of every double-byte character stay untouched.
std::string AnsiUpper(std::string_view sjis);
void AnsiUpperInPlace(char* data, std::size_t len);

// Keys compared as AnsiUpper compares them, without making upper-cased
// copies: for hash sets of many names.
struct AnsiKeyHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view sjis) const;
};
struct AnsiKeyEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

// The offset of the character that ends just before `pos` (stepping back over
// one whole Shift-JIS character). 0 stays 0.
std::size_t SjisStepBack(std::string_view sjis, std::size_t pos);

}  // namespace kest
