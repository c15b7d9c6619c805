#include "platform/Codec.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace kest {
namespace {

// One converter per direction and thread; iconv_open is far too slow to run
// for every title-list line.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("文字コード変換を開けません: ") + from + " -> " + to);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `in`; on an input sequence it cannot take, appends `replacement`
  // and skips `skip(in, offset)` bytes.
  template <class Skip>
  std::string Run(std::string_view in, std::string_view replacement, Skip skip, bool* ok) {
    std::string out;
    if (ok) *ok = true;
    Append(in, replacement, skip, ok, out);
    return out;
  }

  // The same, appending to `out`; *ok (when given) is cleared on a
  // replacement and never set.
  template <class Skip>
  void Append(std::string_view in, std::string_view replacement, Skip skip, bool* ok, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    const size_t start = out.size();
    out.resize(start + in.size() * 3 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data() + start;
    size_t dstLeft = out.size() - start;
    while (srcLeft > 0) {
      size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      if (r != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) {
        size_t used = static_cast<size_t>(dst - out.data());
        out.resize(out.size() * 2 + 16);
        dst = out.data() + used;
        dstLeft = out.size() - used;
        continue;
      }
      // EILSEQ or EINVAL (a sequence cut short at the end): replace and skip.
      if (ok) *ok = false;
      size_t used = static_cast<size_t>(dst - out.data());
      if (dstLeft < replacement.size()) {
        out.resize(out.size() + replacement.size() + 16);
        dst = out.data() + used;
        dstLeft = out.size() - used;
      }
      std::memcpy(dst, replacement.data(), replacement.size());
      dst += replacement.size();
      dstLeft -= replacement.size();
      size_t n = skip(std::string_view(src, srcLeft));
      src += n;
      srcLeft -= n;
    }
    out.resize(static_cast<size_t>(dst - out.data()));
  }

 private:
  iconv_t cd_;
};

size_t SkipSjis(std::string_view rest) {
  // A lead byte followed by a byte that is no valid trail: drop only the lead,
  // so the following character still shows.
  return 1;
  (void)rest;
}

size_t SkipUtf8(std::string_view rest) {
  unsigned char c = static_cast<unsigned char>(rest[0]);
  size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  size_t i = 1;
  while (i < n && i < rest.size() &&
         (static_cast<unsigned char>(rest[i]) & 0xC0) == 0x80) {
    ++i;
  }
  return i;
}

// The length of the run of bytes below 0x80 that `s` starts with, eight
// bytes at a time: title-list lines are mostly ASCII blanks and digits.
std::size_t AsciiRunLength(const char* s, std::size_t n) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    std::uint64_t w[4];
    std::memcpy(w, s + i, sizeof w);
    if ((w[0] | w[1] | w[2] | w[3]) & kHigh) break;
  }
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, s + i, sizeof w);
    if (w & kHigh) break;
  }
  while (i < n && static_cast<unsigned char>(s[i]) < 0x80) ++i;
  return i;
}

bool IsAscii(std::string_view s) { return AsciiRunLength(s.data(), s.size()) == s.size(); }

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || (n > 1 && c < 0xC2) || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

}  // namespace

void AppendSjisAsUtf8(std::string_view sjis, std::string& out) {
  // CP932 keeps 0x00-0x7F as they are, so long runs of them are copied and
  // only the rest goes through iconv. A byte below 0x80 never starts a
  // double-byte character, so the conversion of the whole text is at a
  // character boundary just after any such byte, whatever came before it (a
  // trail byte in 0x40-0x7E, or an invalid byte that was replaced). A part
  // given to iconv therefore starts at a byte from 0x80 up and ends just after
  // a byte below 0x80 (or at the end): it is cut into the same characters, and
  // converts, replacements included, exactly as within the whole text. Short
  // runs of ASCII between double-byte text stay in the part: a call to iconv
  // costs more than converting a few bytes.
  constexpr std::size_t kCopiedRun = 32;
  const char* s = sjis.data();
  const std::size_t n = sjis.size();
  std::size_t i = 0;
  std::size_t ascii = AsciiRunLength(s, n);
  for (;;) {
    out.append(s + i, ascii);
    i += ascii;
    if (i == n) break;
    std::size_t end = i + 1;
    for (;;) {
      while (end < n && static_cast<unsigned char>(s[end]) >= 0x80) ++end;
      if (end == n) {
        ascii = 0;
        break;
      }
      ++end;  // the byte after them, which may be their trail byte
      ascii = AsciiRunLength(s + end, n - end);
      if (end + ascii == n || ascii >= kCopiedRun) break;
      end += ascii;
    }
    thread_local Converter conv("UTF-8", "CP932");
    conv.Append(std::string_view(s + i, end - i), "\xEF\xBF\xBD", SkipSjis, nullptr, out);
    i = end;
  }
}

std::string SjisToUtf8(std::string_view sjis) {
  std::string out;
  out.reserve(sjis.size());
  AppendSjisAsUtf8(sjis, out);
  return out;
}

std::string Utf8ToSjis(std::string_view utf8, bool* ok) {
  if (IsAscii(utf8)) {
    if (ok) *ok = true;
    return std::string(utf8);
  }
  thread_local Converter conv("CP932", "UTF-8");
  return conv.Run(utf8, "?", SkipUtf8, ok);
}

std::string LocaleToSjis(std::string_view text, bool* ok) {
  const char* codeset = nl_langinfo(CODESET);
  std::string cs = codeset ? codeset : "";
  if (cs.empty() || cs == "ANSI_X3.4-1968" || cs == "ASCII" || cs == "UTF-8" || cs == "utf8") {
    // Bytes that are no UTF-8 at all came from a Shift-JIS terminal or
    // script: they are the key as it stands.
    if (!IsValidUtf8(text)) {
      if (ok) *ok = true;
      return std::string(text);
    }
    return Utf8ToSjis(text, ok);
  }
  if (cs == "SHIFT_JIS" || cs == "SJIS" || cs == "CP932" || cs == "WINDOWS-31J") {
    if (ok) *ok = true;
    return std::string(text);
  }
  Converter conv("CP932", cs.c_str());
  return conv.Run(text, "?", [](std::string_view) -> size_t { return 1; }, ok);
}

void AnsiUpperInPlace(char* data, std::size_t len) {
  for (std::size_t i = 0; i < len; ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    if (IsSjisLead(c)) {
      ++i;  // the trail byte stays as it is
    } else if (c >= 'a' && c <= 'z') {
      data[i] = static_cast<char>(c - 'a' + 'A');
    }
  }
}

std::string AnsiUpper(std::string_view sjis) {
  std::string s(sjis);
  AnsiUpperInPlace(s.data(), s.size());
  return s;
}

namespace {

// Calls `f` with each byte as AnsiUpper would give it.
template <class F>
void EachUpperByte(std::string_view s, F f) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (IsSjisLead(c)) {
      f(c);
      if (++i < s.size()) f(static_cast<unsigned char>(s[i]));
    } else {
      f(c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c);
    }
  }
}

}  // namespace

std::size_t AnsiKeyHash::operator()(std::string_view sjis) const {
  std::uint64_t h = 0xcbf29ce484222325ull;
  EachUpperByte(sjis, [&](unsigned char c) { h = (h ^ c) * 0x100000001b3ull; });
  return static_cast<std::size_t>(h);
}

bool AnsiKeyEqual::operator()(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  // Lead bytes sit at the same places in both only when the characters
  // before agree, which the comparison checks as it goes.
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (IsSjisLead(x)) {
      if (x != y || (i + 1 < a.size() && a[i + 1] != b[i + 1])) return false;
      ++i;
      continue;
    }
    const auto ux = x >= 'a' && x <= 'z' ? x - 'a' + 'A' : x;
    const auto uy = y >= 'a' && y <= 'z' ? y - 'a' + 'A' : y;
    if (ux != uy) return false;
  }
  return true;
}

std::size_t SjisStepBack(std::string_view sjis, std::size_t pos) {
  if (pos == 0) return 0;
  if (pos > sjis.size()) pos = sjis.size();
  // Trail bytes share values with lead bytes, so the boundaries are found by
  // walking from the start.
  std::size_t i = 0;
  std::size_t last = 0;
  while (i < pos) {
    last = i;
    i += (IsSjisLead(static_cast<unsigned char>(sjis[i])) && i + 1 < sjis.size()) ? 2 : 1;
  }
  return last;
}

}  // namespace kest
