#include "library/Bigrams.h"

#include <iconv.h>

#include <array>
#include <cstring>
#include <memory>

#include "platform/Codec.h"

namespace kest {
namespace {

constexpr std::uint32_t kOwnCodes = 0xF0000;  // plane 15: characters CP932 does not define

// The codes of every single byte and every lead byte with any byte after it,
// found once through the one CP932 converter of the system.
class CodeTable {
 public:
  CodeTable() : pairs_(new std::uint32_t[0x10000]) {
    iconv_t cd = iconv_open("UTF-32LE", "CP932");
    auto convert = [cd](const char* bytes, std::size_t n, std::uint32_t fallback) {
      if (cd == reinterpret_cast<iconv_t>(-1)) return fallback;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      char* in = const_cast<char*>(bytes);
      std::size_t inLeft = n;
      unsigned char out[8];
      char* dst = reinterpret_cast<char*>(out);
      std::size_t outLeft = sizeof out;
      // A character must take all the bytes and give exactly one code point.
      if (iconv(cd, &in, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0 ||
          outLeft != sizeof out - 4) {
        return fallback;
      }
      return static_cast<std::uint32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
    };
    for (unsigned b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      singles_[b] = IsSjisLead(static_cast<unsigned char>(b)) ? kOwnCodes + b : convert(&c, 1, kOwnCodes + b);
      if (b >= 'A' && b <= 'Z') singles_[b] = b - 'A' + 'a';
    }
    for (unsigned b = 0; b < 0x10000; ++b) {
      const unsigned lead = b >> 8;
      if (!IsSjisLead(static_cast<unsigned char>(lead))) {
        pairs_[b] = 0;
        continue;
      }
      const char two[2] = {static_cast<char>(lead), static_cast<char>(b & 0xFF)};
      pairs_[b] = convert(two, 2, kOwnCodes + b);
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }

  std::uint32_t Single(unsigned char c) const { return singles_[c]; }
  std::uint32_t Pair(unsigned char lead, unsigned char trail) const { return pairs_[lead << 8 | trail]; }

 private:
  std::array<std::uint32_t, 256> singles_{};
  std::unique_ptr<std::uint32_t[]> pairs_;
};

const CodeTable& Codes() {
  static const CodeTable table;
  return table;
}

constexpr std::uint64_t kPairBit = std::uint64_t(1) << 42;

// Calls f(token) for the tokens of one line, repeats kept; a token is the
// first code in bits 21-41 and, for a pair, kPairBit and the second code.
template <class F>
void LineTokens(const CodeTable& codes, const unsigned char* p, std::size_t n, F f) {
  std::uint64_t prev = 0;
  bool have = false;
  for (std::size_t i = 0; i < n;) {
    std::uint32_t code;
    if (IsSjisLead(p[i]) && i + 1 < n) {
      code = codes.Pair(p[i], p[i + 1]);
      i += 2;
    } else {
      code = codes.Single(p[i]);
      i += 1;
    }
    if (have) f(kPairBit | prev << 21 | code);
    prev = code;
    have = true;
  }
  if (have) f(prev << 21);
}

// A code as three bytes of seven bits each, the high bit set (no NUL byte
// can end a token early), its bits first spread by an odd multiplier (a
// one-to-one map of 21-bit codes). SQLite keeps the index's pending tokens
// in a hash table whose hash mixes the low bits of each byte only a little;
// codes of neighbouring characters, as UTF-8 gives them, fall into the same
// slots, and indexing took a third longer.
void AppendCodeBytes(std::uint32_t code, std::string& out) {
  const std::uint32_t c = (code * 0x9E3779B1u) & 0x1FFFFF;
  out.push_back(static_cast<char>(0x80 | (c & 0x7F)));
  out.push_back(static_cast<char>(0x80 | ((c >> 7) & 0x7F)));
  out.push_back(static_cast<char>(0x80 | (c >> 14)));
}

void AppendToken(std::uint64_t token, std::string& out) {
  AppendCodeBytes(static_cast<std::uint32_t>(token >> 21) & 0x1FFFFF, out);
  if (token & kPairBit) AppendCodeBytes(static_cast<std::uint32_t>(token) & 0x1FFFFF, out);
}

}  // namespace

std::uint32_t CharCode(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() == 2 && IsSjisLead(p[0])) return Codes().Pair(p[0], p[1]);
  return bytes.empty() ? 0 : Codes().Single(p[0]);
}

std::vector<std::string_view> SplitChars(std::string_view line) {
  std::vector<std::string_view> chars;
  for (std::size_t i = 0; i < line.size();) {
    const std::size_t n = IsSjisLead(static_cast<unsigned char>(line[i])) && i + 1 < line.size() ? 2 : 1;
    chars.push_back(line.substr(i, n));
    i += n;
  }
  return chars;
}

std::string PairToken(std::uint32_t first, std::uint32_t second) {
  std::string t;
  AppendCodeBytes(first, t);
  AppendCodeBytes(second, t);
  return t;
}

std::string CharToken(std::uint32_t code) {
  std::string t;
  AppendCodeBytes(code, t);
  return t;
}

std::vector<std::string> BigramTokens::OfLine(std::string_view line) {
  std::vector<std::string> tokens;
  LineTokens(Codes(), reinterpret_cast<const unsigned char*>(line.data()), line.size(), [&](std::uint64_t t) {
    tokens.emplace_back();
    AppendToken(t, tokens.back());
  });
  return tokens;
}

void BigramTokens::Add(std::uint64_t token) {
  // Keep the table at most half full.
  if ((used_ + 1) * 2 > slots_.size()) {
    std::vector<std::uint64_t> old(std::max<std::size_t>(slots_.size() * 2, 1024), 0);
    old.swap(slots_);
    used_ = 0;
    for (std::uint64_t s : old) {
      if (s == 0) continue;
      std::size_t i = static_cast<std::size_t>((s - 1) * 0x9E3779B97F4A7C15ull >> 20) & (slots_.size() - 1);
      while (slots_[i] != 0) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = s;
      ++used_;
    }
  }
  std::size_t i = static_cast<std::size_t>(token * 0x9E3779B97F4A7C15ull >> 20) & (slots_.size() - 1);
  while (slots_[i] != 0) {
    if (slots_[i] == token + 1) return;
    i = (i + 1) & (slots_.size() - 1);
  }
  slots_[i] = token + 1;
  ++used_;
  if (tokens_.size() < used_) tokens_.emplace_back();
  std::string& out = tokens_[used_ - 1];
  out.clear();
  AppendToken(token, out);
}

const std::vector<std::string>& BigramTokens::Distinct(std::string_view text) {
  std::fill(slots_.begin(), slots_.end(), 0);
  used_ = 0;
  const CodeTable& codes = Codes();
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t start = 0; start <= n;) {
    const void* cr = std::memchr(p + start, '\r', n - start);
    const std::size_t end = cr ? static_cast<std::size_t>(static_cast<const unsigned char*>(cr) - p) : n;
    LineTokens(codes, p + start, end - start, [this](std::uint64_t t) { Add(t); });
    if (!cr) break;
    start = end + 1;
  }
  tokens_.resize(used_);
  return tokens_;
}

}  // namespace kest
