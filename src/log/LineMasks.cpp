#include "log/LineMasks.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kest {
namespace {

// The words from the CR and digit bits of each 64 bytes, carrying the CRs
// of the word before: the header starts, and whether a CR follows a CR.
// Kept in locals by each loop (the bitmaps are words too, and stores to them
// would otherwise have to be taken as possibly changing these).
struct Words {
  std::uint64_t* __restrict cr;
  std::uint64_t* __restrict head;
  std::uint64_t before = 0;  // the CR bits of the word before
  std::uint64_t odd = 0;     // a CR right after a CR somewhere
};

inline void Put(Words& words, std::size_t w, std::uint64_t cr, std::uint64_t digit) {
  words.cr[w] = cr;
  words.head[w] = ((cr << 2) | (words.before >> 62)) & digit;
  words.odd |= cr & ((cr << 1) | (words.before >> 63));
  words.before = cr;
}

// Any processor: a byte at a time, for the tail and where no vector unit is
// known. Returns whether a 0x1A was seen.
bool MasksPlain(const char* data, std::size_t bytes, std::size_t word, Words& out) {
  Words words = out;
  bool sub = false;
  for (std::size_t base = word * 64; base < bytes; base += 64, ++word) {
    std::uint64_t cr = 0, digit = 0;
    const std::size_t end = bytes - base < 64 ? bytes - base : 64;
    for (std::size_t k = 0; k < end; ++k) {
      const unsigned char c = static_cast<unsigned char>(data[base + k]);
      cr |= std::uint64_t{c == '\r'} << k;
      digit |= std::uint64_t{c >= '0' && c <= '9'} << k;
      sub |= c == 0x1A;
    }
    Put(words, word, cr, digit);
  }
  out = words;
  return sub;
}

void SubPlain(const char* data, std::size_t bytes, std::uint64_t* out) {
  for (std::size_t base = 0, word = 0; base < bytes; base += 64, ++word) {
    std::uint64_t sub = 0;
    const std::size_t end = bytes - base < 64 ? bytes - base : 64;
    for (std::size_t k = 0; k < end; ++k) sub |= std::uint64_t{data[base + k] == 0x1A} << k;
    out[word] = sub;
  }
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) inline std::uint64_t Mask(__m256i v) {
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(v)));
}

// Whole words with AVX2; returns how many it did, and in `sub` whether a
// 0x1A was among them.
__attribute__((target("avx2"))) std::size_t MasksAvx2(const char* data, std::size_t bytes, Words& out, bool& sub) {
  Words words = out;
  const __m256i cr = _mm256_set1_epi8('\r');
  const __m256i subByte = _mm256_set1_epi8(0x1A);
  // '0'..'9' moved to the ten smallest signed bytes, -128..-119: one add
  // and one compare tell a digit.
  const __m256i toLowest = _mm256_set1_epi8(static_cast<char>(0x80 - '0'));
  const __m256i aboveDigits = _mm256_set1_epi8(-118);
  __m256i anySub = _mm256_setzero_si256();
  const std::size_t whole = bytes / 64;
  const char* p = data;
  for (std::size_t w = 0; w < whole; ++w, p += 64) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    anySub = _mm256_or_si256(anySub, _mm256_or_si256(_mm256_cmpeq_epi8(a, subByte), _mm256_cmpeq_epi8(b, subByte)));
    const __m256i da = _mm256_cmpgt_epi8(aboveDigits, _mm256_add_epi8(a, toLowest));
    const __m256i db = _mm256_cmpgt_epi8(aboveDigits, _mm256_add_epi8(b, toLowest));
    Put(words, w, Mask(_mm256_cmpeq_epi8(a, cr)) | Mask(_mm256_cmpeq_epi8(b, cr)) << 32, Mask(da) | Mask(db) << 32);
  }
  out = words;
  const std::size_t w = whole;
  sub = !_mm256_testz_si256(anySub, anySub);
  return w;
}

__attribute__((target("avx2"))) std::size_t SubAvx2(const char* data, std::size_t bytes, std::uint64_t* out) {
  const __m256i subByte = _mm256_set1_epi8(0x1A);
  std::size_t w = 0;
  for (; 64 * w + 64 <= bytes; ++w) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 64 * w));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 64 * w + 32));
    out[w] = Mask(_mm256_cmpeq_epi8(a, subByte)) | Mask(_mm256_cmpeq_epi8(b, subByte)) << 32;
  }
  return w;
}

// Whole words with SSE2, which every x86-64 processor has.
std::size_t MasksSse2(const char* data, std::size_t bytes, Words& out, bool& sub) {
  Words words = out;
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i subByte = _mm_set1_epi8(0x1A);
  const __m128i toLowest = _mm_set1_epi8(static_cast<char>(0x80 - '0'));
  const __m128i aboveDigits = _mm_set1_epi8(-118);
  int anySub = 0;
  std::size_t w = 0;
  for (; 64 * w + 64 <= bytes; ++w) {
    std::uint64_t c = 0, d = 0;
    for (int q = 0; q < 4; ++q) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 64 * w + 16 * q));
      const int shift = 16 * q;
      c |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr))) << shift;
      anySub |= _mm_movemask_epi8(_mm_cmpeq_epi8(v, subByte));
      d |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(aboveDigits, _mm_add_epi8(v, toLowest))))
           << shift;
    }
    Put(words, w, c, d);
  }
  out = words;
  sub = anySub != 0;
  return w;
}

const bool kHasAvx2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}();
#endif

}  // namespace

LineMaskInfo BuildLineMasksWith(MaskUnit unit, const char* data, std::size_t bytes, const LineMaskWords& out) {
  Words words{out.cr, out.head};
  std::size_t done = 0;
  bool sub = false;
#if defined(__x86_64__)
  const bool avx2 = unit == MaskUnit::Avx2 && kHasAvx2;
  if (avx2) done = MasksAvx2(data, bytes, words, sub);
  else if (unit != MaskUnit::Plain) done = MasksSse2(data, bytes, words, sub);
#endif
  sub |= MasksPlain(data, bytes, done, words);
  LineMaskInfo info;
  info.sub = sub;
  info.plain = !sub && words.odd == 0;
  if (sub) {
    // Rare (the old end-of-file mark): a second pass for its bitmap.
    std::size_t subDone = 0;
#if defined(__x86_64__)
    if (avx2) subDone = SubAvx2(data, bytes, out.sub);
#endif
    SubPlain(data + 64 * subDone, bytes - 64 * subDone, out.sub + subDone);
  }
  return info;
}

LineMaskInfo BuildLineMasks(const char* data, std::size_t bytes, const LineMaskWords& out) {
  return BuildLineMasksWith(MaskUnit::Avx2, data, bytes, out);
}

}  // namespace kest
