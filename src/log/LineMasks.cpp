#include "log/LineMasks.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kest {
namespace {

// Any processor: a byte at a time, for the tail and where no vector unit is known.
void MasksPlain(const char* data, std::size_t bytes, std::size_t word, const LineMaskWords& out) {
  for (std::size_t base = word * 64; base < bytes; base += 64, ++word) {
    std::uint64_t cr = 0, sub = 0, digit = 0;
    const std::size_t end = bytes - base < 64 ? bytes - base : 64;
    for (std::size_t k = 0; k < end; ++k) {
      const unsigned char c = static_cast<unsigned char>(data[base + k]);
      cr |= std::uint64_t{c == '\r'} << k;
      sub |= std::uint64_t{c == 0x1A} << k;
      digit |= std::uint64_t{c >= '0' && c <= '9'} << k;
    }
    out.cr[word] = cr;
    out.sub[word] = sub;
    out.digit[word] = digit;
  }
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) inline std::uint64_t Mask(__m256i v) {
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(v)));
}

// Whole words with AVX2; returns how many it did.
__attribute__((target("avx2"))) std::size_t MasksAvx2(const char* data, std::size_t bytes,
                                                       const LineMaskWords& out) {
  const __m256i cr = _mm256_set1_epi8('\r');
  const __m256i sub = _mm256_set1_epi8(0x1A);
  const __m256i belowZero = _mm256_set1_epi8('0' - 1);
  const __m256i aboveNine = _mm256_set1_epi8('9' + 1);
  std::size_t w = 0;
  for (; 64 * w + 64 <= bytes; ++w) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 64 * w));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 64 * w + 32));
    out.cr[w] = Mask(_mm256_cmpeq_epi8(a, cr)) | Mask(_mm256_cmpeq_epi8(b, cr)) << 32;
    out.sub[w] = Mask(_mm256_cmpeq_epi8(a, sub)) | Mask(_mm256_cmpeq_epi8(b, sub)) << 32;
    // Signed compares: bytes from 0x80 up count as negative, so never digits.
    const __m256i da = _mm256_and_si256(_mm256_cmpgt_epi8(a, belowZero), _mm256_cmpgt_epi8(aboveNine, a));
    const __m256i db = _mm256_and_si256(_mm256_cmpgt_epi8(b, belowZero), _mm256_cmpgt_epi8(aboveNine, b));
    out.digit[w] = Mask(da) | Mask(db) << 32;
  }
  return w;
}

// Whole words with SSE2, which every x86-64 processor has.
std::size_t MasksSse2(const char* data, std::size_t bytes, const LineMaskWords& out) {
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i sub = _mm_set1_epi8(0x1A);
  const __m128i belowZero = _mm_set1_epi8('0' - 1);
  const __m128i aboveNine = _mm_set1_epi8('9' + 1);
  std::size_t w = 0;
  for (; 64 * w + 64 <= bytes; ++w) {
    std::uint64_t c = 0, s = 0, d = 0;
    for (int q = 0; q < 4; ++q) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 64 * w + 16 * q));
      const int shift = 16 * q;
      c |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr))) << shift;
      s |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, sub))) << shift;
      d |= static_cast<std::uint64_t>(
               _mm_movemask_epi8(_mm_and_si128(_mm_cmpgt_epi8(v, belowZero), _mm_cmpgt_epi8(aboveNine, v))))
           << shift;
    }
    out.cr[w] = c;
    out.sub[w] = s;
    out.digit[w] = d;
  }
  return w;
}

const bool kHasAvx2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}();
#endif

}  // namespace

void BuildLineMasksWith(MaskUnit unit, const char* data, std::size_t bytes, const LineMaskWords& out) {
  std::size_t done = 0;
#if defined(__x86_64__)
  if (unit == MaskUnit::Avx2 && kHasAvx2) done = MasksAvx2(data, bytes, out);
  else if (unit != MaskUnit::Plain) done = MasksSse2(data, bytes, out);
#endif
  MasksPlain(data, bytes, done, out);
}

void BuildLineMasks(const char* data, std::size_t bytes, const LineMaskWords& out) {
  BuildLineMasksWith(MaskUnit::Avx2, data, bytes, out);
}

}  // namespace kest
