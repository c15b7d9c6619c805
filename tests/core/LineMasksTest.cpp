// The bitmaps of CR, 0x1A and digit bytes, from every vector unit, against a
// byte-by-byte reading: every length (whole words and a tail), every byte
// value at every bit, and the bits past the end zero.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "log/LineMasks.h"

namespace kest {
namespace {

TEST(LineMasks, EveryUnitMarksExactlyTheCrSubAndDigitBytes) {
  std::mt19937 rng(64);
  for (MaskUnit unit : {MaskUnit::Avx2, MaskUnit::Sse2, MaskUnit::Plain}) {
    for (std::size_t bytes = 0; bytes <= 300; ++bytes) {
      std::vector<char> data(bytes);
      // Mostly the bytes around the ones that count, so each meets its neighbours.
      const unsigned char near[] = {'\r', '\n', 0x1A, 0x19, 0x1B, '0', '9', '/', ':', 0x0C, 0x0E, 0x8D, 0x9A, 0xB0, 0xB9};
      for (char& c : data) c = static_cast<char>(rng() % 3 ? near[rng() % std::size(near)] : rng() % 256);
      const std::size_t words = (bytes + 63) / 64;
      std::vector<std::uint64_t> cr(words + 1, ~0ull), sub(words + 1, ~0ull), digit(words + 1, ~0ull);
      BuildLineMasksWith(unit, data.data(), bytes, LineMaskWords{cr.data(), sub.data(), digit.data()});
      for (std::size_t k = 0; k < 64 * words; ++k) {
        const unsigned char c = k < bytes ? static_cast<unsigned char>(data[k]) : 0;
        const bool inside = k < bytes;
        ASSERT_EQ((cr[k / 64] >> (k % 64)) & 1, inside && c == '\r') << "byte " << k << " of " << bytes;
        ASSERT_EQ((sub[k / 64] >> (k % 64)) & 1, inside && c == 0x1A) << "byte " << k << " of " << bytes;
        ASSERT_EQ((digit[k / 64] >> (k % 64)) & 1, inside && c >= '0' && c <= '9') << "byte " << k << " of " << bytes;
      }
      ASSERT_EQ(cr[words], ~0ull) << "wrote past the words of " << bytes << " bytes";
    }
  }
}

TEST(LineMasks, EveryByteValueAtEveryBit) {
  std::vector<char> data(256 + 64);
  for (std::size_t k = 0; k < data.size(); ++k) data[k] = static_cast<char>(k % 256);
  const std::size_t words = data.size() / 64;
  for (MaskUnit unit : {MaskUnit::Avx2, MaskUnit::Sse2, MaskUnit::Plain}) {
    for (std::size_t shift = 0; shift < 64; ++shift) {
      std::vector<char> shifted(data.begin() + static_cast<std::ptrdiff_t>(shift), data.end());
      std::vector<std::uint64_t> cr(words), sub(words), digit(words);
      BuildLineMasksWith(unit, shifted.data(), shifted.size(), LineMaskWords{cr.data(), sub.data(), digit.data()});
      for (std::size_t k = 0; k < shifted.size(); ++k) {
        const unsigned char c = static_cast<unsigned char>(shifted[k]);
        ASSERT_EQ((digit[k / 64] >> (k % 64)) & 1, c >= '0' && c <= '9') << int(c);
        ASSERT_EQ((cr[k / 64] >> (k % 64)) & 1, c == '\r') << int(c);
        ASSERT_EQ((sub[k / 64] >> (k % 64)) & 1, c == 0x1A) << int(c);
      }
    }
  }
}

}  // namespace
}  // namespace kest
