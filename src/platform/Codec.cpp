#include "platform/Codec.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
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
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    std::string out;
    out.resize(in.size() * 3 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    if (ok) *ok = true;
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
    return out;
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

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

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

std::string SjisToUtf8(std::string_view sjis) {
  if (IsAscii(sjis)) return std::string(sjis);
  thread_local Converter conv("UTF-8", "CP932");
  return conv.Run(sjis, "\xEF\xBF\xBD", SkipSjis, nullptr);
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
