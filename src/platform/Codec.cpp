#include "platform/Codec.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
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

namespace {

// CP932 as glibc's iconv decodes it, in two tables made from iconv once:
// what every byte is alone, and for the bytes that are no character alone
// (the lead bytes, and bytes that are nothing) what every pair starting with
// them is. CP932 is a stateless double-byte code whose lead bytes are told by
// their value alone, so iconv's decoding of a whole text, an invalid byte
// replaced and skipped alone, is exactly this: a byte that is a character
// alone is one; else the byte and the next form a character when the pair
// table says so; else the byte is replaced and the next one starts afresh.
struct Utf8Cell {
  char bytes[3];
  std::uint8_t length;  // 0: no character
};

class Cp932Table {
 public:
  Cp932Table() : pair_(new Utf8Cell[256 * 256]()) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error("文字コード変換を開けません: CP932 -> UTF-8");
    }
    auto decode = [cd](const unsigned char* in, std::size_t n, Utf8Cell& cell) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      char* src = reinterpret_cast<char*>(const_cast<unsigned char*>(in));
      std::size_t srcLeft = n;
      char out[8];
      char* dst = out;
      std::size_t dstLeft = sizeof out;
      const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
      const std::size_t made = sizeof out - dstLeft;
      // One character of at most three bytes (CP932 lies within the BMP).
      if (r == static_cast<std::size_t>(-1) || srcLeft != 0 || made == 0 || made > 3) return;
      std::memcpy(cell.bytes, out, made);
      cell.length = static_cast<std::uint8_t>(made);
    };
    for (int b = 0; b < 256; ++b) {
      const unsigned char one[1] = {static_cast<unsigned char>(b)};
      decode(one, 1, single_[b]);
      if (single_[b].length != 0) continue;
      for (int t = 0; t < 256; ++t) {
        const unsigned char two[2] = {static_cast<unsigned char>(b), static_cast<unsigned char>(t)};
        // The first byte is no character alone, so what decodes is one
        // character of both bytes.
        decode(two, 2, pair_[b * 256 + t]);
      }
    }
    iconv_close(cd);
  }

  const Utf8Cell& Single(unsigned char b) const { return single_[b]; }
  const Utf8Cell& Pair(unsigned char lead, unsigned char trail) const { return pair_[lead * 256 + trail]; }

 private:
  Utf8Cell single_[256] = {};
  std::unique_ptr<Utf8Cell[]> pair_;
};

const Cp932Table& Table() {
  static const Cp932Table table;
  return table;
}

}  // namespace

char* SjisDecoder::Decode(std::string_view sjis, char* out) {
  const Cp932Table& table = Table();
  const char* s = sjis.data();
  const std::size_t n = sjis.size();
  // A cell's four bytes are stored whole and the end moved by its length:
  // one store per character, the byte after it overwritten by the next.
  auto put = [&out](const Utf8Cell& c) {
    std::memcpy(out, &c, sizeof c);
    out += c.length;
  };
  std::size_t i = 0;
  if (pending_ >= 0 && n > 0) {
    // A lead byte left at the end of the piece before, with its trail byte here.
    const Utf8Cell& c = table.Pair(static_cast<unsigned char>(pending_), static_cast<unsigned char>(s[0]));
    if (c.length != 0) {
      put(c);
      i = 1;
    } else {
      out = Replace(out);
    }
    pending_ = -1;
  }
  while (i < n) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      // CP932 keeps 0x00-0x7F as they are: a run of them is copied.
      const std::size_t run = AsciiRunLength(s + i, n - i);
      std::memcpy(out, s + i, run);
      out += run;
      i += run;
      continue;
    }
    const Utf8Cell& one = table.Single(b);
    if (one.length != 0) {
      put(one);
      ++i;
    } else if (i + 1 == n) {
      pending_ = b;  // its trail byte, if any, comes with the next piece
      ++i;
    } else if (const Utf8Cell& two = table.Pair(b, static_cast<unsigned char>(s[i + 1])); two.length != 0) {
      put(two);
      i += 2;
    } else {
      out = Replace(out);
      ++i;
    }
  }
  return out;
}

char* SjisDecoder::Replace(char* out) const {
  std::memcpy(out, replacement_, replacementLength_);
  return out + replacementLength_;
}

char* SjisDecoder::Finish(char* out) {
  if (pending_ >= 0) out = Replace(out);
  pending_ = -1;
  return out;
}

void SjisDecoder::Append(std::string_view sjis, std::string& out) {
  const std::size_t start = out.size();
  out.resize(start + MaxDecoded(sjis.size()));
  out.resize(static_cast<std::size_t>(Decode(sjis, out.data() + start) - out.data()));
}

void SjisDecoder::Finish(std::string& out) {
  const std::size_t start = out.size();
  out.resize(start + MaxDecoded(0));
  out.resize(static_cast<std::size_t>(Finish(out.data() + start) - out.data()));
}

void AppendSjisAsUtf8(std::string_view sjis, std::string& out) {
  SjisDecoder decoder;
  decoder.Append(sjis, out);
  decoder.Finish(out);
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
