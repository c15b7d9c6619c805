#include "platform/Paths.h"

#include <algorithm>

#include "platform/Codec.h"

namespace kest {
namespace {

constexpr std::string_view kUtf8Mark = "utf-8:";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string PathToProfile(std::string_view utf8Path) {
  bool ok = false;
  std::string sjis = Utf8ToSjis(utf8Path, &ok);
  // The round trip, not only the forward conversion: CP932 maps some
  // characters (e.g. U+2225 and U+2016) onto one code, and the path must
  // come back to the very same name.
  // A control character (a line break) would end the value in the file; the
  // file's reader drops blanks at both ends of a value and a pair of quotes
  // around it (an archive member's name, kept last, may end in a blank).
  const bool quoted = utf8Path.size() >= 2 && (utf8Path.front() == '"' || utf8Path.front() == '\'') &&
                      utf8Path.back() == utf8Path.front();
  const bool plain = std::none_of(utf8Path.begin(), utf8Path.end(),
                                  [](unsigned char c) { return c < 0x20 || c == 0x7F; }) &&
                     !quoted && !utf8Path.starts_with(' ') && !utf8Path.ends_with(' ');
  if (ok && plain && SjisToUtf8(sjis) == utf8Path && !sjis.starts_with(kUtf8Mark)) return sjis;

  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out(kUtf8Mark);
  for (unsigned char c : utf8Path) {
    if (c > 0x20 && c < 0x7F && c != '%') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::string PathFromProfile(std::string_view stored) {
  if (!stored.starts_with(kUtf8Mark)) return SjisToUtf8(stored);
  stored.remove_prefix(kUtf8Mark.size());
  std::string out;
  out.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == '%' && i + 2 < stored.size() && HexValue(stored[i + 1]) >= 0 &&
        HexValue(stored[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(stored[i + 1]) * 16 + HexValue(stored[i + 2]));
      i += 2;
    } else {
      out += stored[i];
    }
  }
  return out;
}

}  // namespace kest
