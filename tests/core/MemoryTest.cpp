// Fresh memory: aligned mappings of the size asked for, and hints that never
// change what memory holds.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstdint>
#include <vector>

#include "platform/Memory.h"

namespace kest {
namespace {

TEST(Memory, AlignedMappingsHoldEveryByteAskedForZeroedAndWritable) {
  for (const std::size_t bytes : {std::size_t{2}, std::size_t{4096}, kLargePage, 3 * kLargePage + 5}) {
    for (const bool large : {false, true}) {
      char* p = MapAligned(bytes, large);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % kLargePage, 0u);
      EXPECT_EQ(p[0], 0);
      EXPECT_EQ(p[bytes - 1], 0);
      p[0] = 1;
      p[bytes - 1] = 2;  // the last byte is mapped (it is in no other mapping's way)
      EXPECT_EQ(p[0] + p[bytes - 1], 3);
      ::munmap(p, bytes);
    }
  }
}

TEST(Memory, BackingAStretchLeavesWhatItHoldsAsItWas) {
  // Unaligned stretches across page and large-page bounds, of memory already
  // written: the hints keep every byte.
  std::vector<unsigned char> v(3 * kLargePage + 777);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<unsigned char>(i * 7 + 3);
  BackAtOnce(v.data() + 13, v.size() - 100);
  PreferLargePages(v.data() + 1, v.size() - 1);
  BackAtOnce(v.data(), 10);  // within one page: nothing to do
  for (std::size_t i = 0; i < v.size(); ++i) ASSERT_EQ(v[i], static_cast<unsigned char>(i * 7 + 3)) << i;
  FreshArray<char> room(kLargePage + 1);
  room[kLargePage] = 'x';
  EXPECT_EQ(room[kLargePage], 'x');
}

TEST(Memory, FreshArraysStartZeroedOrFilledAndMoveTheirMemory) {
  FreshArray<std::int32_t> zero(kLargePage);  // large: in large pages
  FreshArray<std::int32_t> filled(1000, -1);
  FreshArray<std::uint8_t> lazy(5000, false);
  EXPECT_EQ(zero[0] + zero[kLargePage - 1] + lazy[4999], 0);
  for (std::size_t i = 0; i < filled.size(); ++i) ASSERT_EQ(filled[i], -1) << i;
  FreshArray<std::int32_t> taken(std::move(filled));
  EXPECT_EQ(filled.size(), 0u);
  EXPECT_EQ(filled.data(), nullptr);
  EXPECT_EQ(taken.size(), 1000u);
  EXPECT_EQ(taken[999], -1);
  taken.swap(zero);
  EXPECT_EQ(taken.size(), kLargePage);
  EXPECT_EQ(zero[999], -1);
  EXPECT_EQ(FreshArray<char>(0).data(), nullptr);
}

}  // namespace
}  // namespace kest
