#include "log/ByteSearch.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kest {
namespace {

constexpr unsigned char Fold(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// Whether the key's bytes are at `p`, with a-z there taken as A-Z when `fold`.
bool SameFolded(const char* p, std::string_view key, bool fold) {
  if (!fold) return std::memcmp(p, key.data(), key.size()) == 0;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (Fold(static_cast<unsigned char>(p[i])) != static_cast<unsigned char>(key[i])) return false;
  }
  return true;
}

// The places are tried many at once on the key's first and last byte (both
// cases of a letter), and only where both agree are the bytes between
// compared. Each way tests the places from `i` on while a whole vector of them
// fits before `last` (the last place the key can start), and gives back the
// first place it has not tested, or sets `found`.
struct Probe {
  Probe(std::string_view k, bool f) : key(k), fold(f) {
    const unsigned char c0 = static_cast<unsigned char>(key.front());
    const unsigned char c1 = static_cast<unsigned char>(key.back());
    first = static_cast<char>(c0);
    last = static_cast<char>(c1);
    firstOther = static_cast<char>(fold && c0 >= 'A' && c0 <= 'Z' ? c0 | 0x20 : c0);
    lastOther = static_cast<char>(fold && c1 >= 'A' && c1 <= 'Z' ? c1 | 0x20 : c1);
  }
  // Tests the places whose bits are set, from the lowest.
  const char* Check(const char* at, std::uint64_t bits) const {
    for (; bits != 0; bits &= bits - 1) {
      const char* p = at + __builtin_ctzll(bits);
      if (SameFolded(p, key, fold)) return p;
    }
    return nullptr;
  }
  std::string_view key;
  bool fold;
  char first, last, firstOther, lastOther;
};

#if defined(__x86_64__)
const bool kHasAvx2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}();

__attribute__((target("avx2"))) std::size_t PlacesAvx2(const char* hay, std::size_t i, std::size_t last,
                                                       const Probe& k, const char** found) {
  const std::size_t m = k.key.size();
  const __m256i a0 = _mm256_set1_epi8(k.first), b0 = _mm256_set1_epi8(k.firstOther);
  const __m256i a1 = _mm256_set1_epi8(k.last), b1 = _mm256_set1_epi8(k.lastOther);
  for (; i + 32 <= last + 1; i += 32) {
    const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay + i));
    const __m256i e = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay + i + m - 1));
    const __m256i both =
        _mm256_and_si256(_mm256_or_si256(_mm256_cmpeq_epi8(f, a0), _mm256_cmpeq_epi8(f, b0)),
                         _mm256_or_si256(_mm256_cmpeq_epi8(e, a1), _mm256_cmpeq_epi8(e, b1)));
    const auto bits = static_cast<std::uint32_t>(_mm256_movemask_epi8(both));
    if (bits != 0 && (*found = k.Check(hay + i, bits))) return i;
  }
  return i;
}

__attribute__((target("avx2"))) std::size_t IrregularAvx2(const char* p, std::size_t n) {
  const __m256i cr = _mm256_set1_epi8('\r'), lf = _mm256_set1_epi8('\n'), sub = _mm256_set1_epi8(0x1A);
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 1));
    const __m256i odd = _mm256_or_si256(
        _mm256_cmpeq_epi8(a, sub), _mm256_andnot_si256(_mm256_cmpeq_epi8(b, lf), _mm256_cmpeq_epi8(a, cr)));
    const auto bits = static_cast<std::uint32_t>(_mm256_movemask_epi8(odd));
    if (bits != 0) return i + static_cast<std::size_t>(__builtin_ctz(bits));
  }
  return i;
}

std::size_t PlacesSse2(const char* hay, std::size_t i, std::size_t last, const Probe& k, const char** found) {
  const std::size_t m = k.key.size();
  const __m128i a0 = _mm_set1_epi8(k.first), b0 = _mm_set1_epi8(k.firstOther);
  const __m128i a1 = _mm_set1_epi8(k.last), b1 = _mm_set1_epi8(k.lastOther);
  for (; i + 16 <= last + 1; i += 16) {
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
    const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + m - 1));
    const __m128i both = _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(f, a0), _mm_cmpeq_epi8(f, b0)),
                                       _mm_or_si128(_mm_cmpeq_epi8(e, a1), _mm_cmpeq_epi8(e, b1)));
    const auto bits = static_cast<std::uint32_t>(_mm_movemask_epi8(both));
    if (bits != 0 && (*found = k.Check(hay + i, bits))) return i;
  }
  return i;
}

std::size_t IrregularSse2(const char* p, std::size_t n) {
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), sub = _mm_set1_epi8(0x1A);
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
    const __m128i odd =
        _mm_or_si128(_mm_cmpeq_epi8(a, sub), _mm_andnot_si128(_mm_cmpeq_epi8(b, lf), _mm_cmpeq_epi8(a, cr)));
    const auto bits = static_cast<std::uint32_t>(_mm_movemask_epi8(odd));
    if (bits != 0) return i + static_cast<std::size_t>(__builtin_ctz(bits));
  }
  return i;
}
#endif

}  // namespace

const char* FindBytesWith(ByteSearchUnit unit, const char* hay, std::size_t n, std::string_view key,
                          bool fold) {
  const std::size_t m = key.size();
  if (m == 0) return hay;
  if (n < m) return nullptr;
  const std::size_t last = n - m;
  const Probe probe(key, fold);
  std::size_t i = 0;
  const char* found = nullptr;
#if defined(__x86_64__)
  if (unit == ByteSearchUnit::Widest && kHasAvx2) i = PlacesAvx2(hay, i, last, probe, &found);
  if (!found && unit != ByteSearchUnit::Plain) i = PlacesSse2(hay, i, last, probe, &found);
  if (found) return found;
#endif
  for (; i <= last; ++i) {
    if (SameFolded(hay + i, key, fold)) return hay + i;
  }
  return nullptr;
}

const char* FindBytes(const char* hay, std::size_t n, std::string_view key, bool fold) {
  return FindBytesWith(ByteSearchUnit::Widest, hay, n, key, fold);
}

std::size_t FirstIrregularWith(ByteSearchUnit unit, const char* p, std::size_t n) {
  std::size_t i = 0;
#if defined(__x86_64__)
  // A vector way stops at the first irregular byte, or where fewer than a
  // vector's bytes are left.
  if (unit == ByteSearchUnit::Widest && kHasAvx2) i = IrregularAvx2(p, n);
  else if (unit != ByteSearchUnit::Plain) i = IrregularSse2(p, n);
#endif
  for (; i < n; ++i) {
    if (p[i] == 0x1A || (p[i] == '\r' && p[i + 1] != '\n')) return i;
  }
  return n;
}

std::size_t FirstIrregular(const char* p, std::size_t n) {
  return FirstIrregularWith(ByteSearchUnit::Widest, p, n);
}

}  // namespace kest
