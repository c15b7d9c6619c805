// Bitmaps of the bytes of a block that the scan looks for: CR and 0x1A (where
// lines end) and ASCII digits (where a header line may start). Bit k of word
// w stands for byte 64 * w + k. Built in one vectorised pass, so that the scan
// can step over the body lines of a remark without looking at them byte by
// byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kest {

struct LineMaskWords {
  std::uint64_t* cr;
  std::uint64_t* sub;    // 0x1A
  std::uint64_t* digit;  // '0'..'9'
};

// Fills (bytes + 63) / 64 words of each bitmap for bytes[0, bytes); the bits
// past the end of the bytes are zero. The widest vector unit the processor
// has does the whole words.
void BuildLineMasks(const char* data, std::size_t bytes, const LineMaskWords& out);

// The same with a chosen unit, so that each can be checked on any processor
// (a unit the processor lacks falls back to the next narrower one).
enum class MaskUnit { Avx2, Sse2, Plain };
void BuildLineMasksWith(MaskUnit unit, const char* data, std::size_t bytes, const LineMaskWords& out);

}  // namespace kest
