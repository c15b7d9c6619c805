// The bitmaps of CR and 0x1A bytes and of header starts, and whether a block
// is plain, from every vector unit, against a byte-by-byte reading:
// every length (whole words and a tail), every byte value at every bit, and
// the bits past the end zero.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "log/LineMasks.h"

namespace kest {
namespace {

TEST(LineMasks, EveryUnitMarksExactlyTheCrSubAndHeaderStartBytes) {
  std::mt19937 rng(64);
  for (MaskUnit unit : {MaskUnit::Avx2, MaskUnit::Sse2, MaskUnit::Plain}) {
    for (std::size_t bytes = 0; bytes <= 300; ++bytes) {
      std::vector<char> data(bytes);
      // Mostly the bytes around the ones that count, so each meets its neighbours.
      const unsigned char near[] = {'\r', '\n', 0x1A, 0x19, 0x1B, '0', '9', '/', ':', 0x0C, 0x0E, 0x8D, 0x9A, 0xB0, 0xB9};
      for (char& c : data) c = static_cast<char>(rng() % 3 ? near[rng() % std::size(near)] : rng() % 256);
      const std::size_t words = (bytes + 63) / 64;
      // Most rounds plain (no 0x1A, no CR after a CR) but for one byte, or not at all.
      if (bytes % 3 != 0) {
        for (std::size_t k = 0; k < bytes; ++k) {
          if (data[k] == 0x1A || (k > 0 && data[k] == '\r' && data[k - 1] == '\r')) data[k] = 'x';
        }
        if (bytes % 3 == 1 && bytes > 1) {
          const std::size_t k = rng() % (bytes - 1);
          data[k] = '\r';
          data[k + 1] = rng() % 2 ? '\r' : 0x1A;
        }
      }
      std::vector<std::uint64_t> cr(words + 1, ~0ull), head(words + 1, ~0ull), sub(words + 1, ~0ull);
      const LineMaskInfo info =
          BuildLineMasksWith(unit, data.data(), bytes, LineMaskWords{cr.data(), head.data(), sub.data()});
      bool wantPlain = true, wantSub = false;
      for (std::size_t k = 0; k < bytes; ++k) wantSub |= data[k] == 0x1A;
      ASSERT_EQ(info.sub, wantSub) << bytes << " bytes";
      for (std::size_t k = 0; k < 64 * words; ++k) {
        const unsigned char c = k < bytes ? static_cast<unsigned char>(data[k]) : 0;
        const bool inside = k < bytes;
        const bool digitHere = inside && c >= '0' && c <= '9';
        ASSERT_EQ((cr[k / 64] >> (k % 64)) & 1, inside && c == '\r') << "byte " << k << " of " << bytes;
        if (wantSub) {
          ASSERT_EQ((sub[k / 64] >> (k % 64)) & 1, inside && c == 0x1A) << "byte " << k << " of " << bytes;
        }
        ASSERT_EQ((head[k / 64] >> (k % 64)) & 1, digitHere && k >= 2 && data[k - 2] == '\r')
            << "byte " << k << " of " << bytes;
        if (inside && (c == 0x1A || (k > 0 && c == '\r' && data[k - 1] == '\r'))) wantPlain = false;
      }
      ASSERT_EQ(info.plain, wantPlain) << bytes << " bytes";
      ASSERT_EQ(cr[words], ~0ull) << "wrote past the words of " << bytes << " bytes";
      ASSERT_EQ(head[words], ~0ull) << "wrote past the words of " << bytes << " bytes";
      if (wantSub) {
        ASSERT_EQ(sub[words], ~0ull) << "wrote past the words of " << bytes << " bytes";
      }
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
      std::vector<std::uint64_t> cr(words), head(words), sub(words);
      const LineMaskInfo info = BuildLineMasksWith(unit, shifted.data(), shifted.size(),
                                                   LineMaskWords{cr.data(), head.data(), sub.data()});
      ASSERT_TRUE(info.sub);
      for (std::size_t k = 0; k < shifted.size(); ++k) {
        const unsigned char c = static_cast<unsigned char>(shifted[k]);
        const bool digit = c >= '0' && c <= '9';
        ASSERT_EQ((head[k / 64] >> (k % 64)) & 1, digit && k >= 2 && shifted[k - 2] == '\r') << int(c);
        ASSERT_EQ((cr[k / 64] >> (k % 64)) & 1, c == '\r') << int(c);
        ASSERT_EQ((sub[k / 64] >> (k % 64)) & 1, c == 0x1A) << int(c);
      }
    }
  }
}

}  // namespace
}  // namespace kest
