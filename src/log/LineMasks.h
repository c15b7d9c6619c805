// Bitmaps of the bytes of a block that the scan looks for: CR (where lines
// end), the header starts (a digit two bytes after a CR: where a header line
// may begin) and, when the block has any, 0x1A bytes. Bit k of word w stands
// for byte 64 * w + k. Built in one vectorised pass, so that the scan can step
// over the body lines of a remark without looking at them byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kest {

struct LineMaskWords {
  std::uint64_t* cr;
  std::uint64_t* head;  // a digit two bytes after a CR
  std::uint64_t* sub;   // 0x1A; filled only when the bytes hold one
};

struct LineMaskInfo {
  bool sub = false;    // the bytes hold a 0x1A, and its bitmap is filled
  bool plain = false;  // no 0x1A and no CR directly after a CR: every CR ends
                       // a line, and the next line starts two bytes after it
};

// Fills (bytes + 63) / 64 words of the bitmaps for bytes[0, bytes); the bits
// past the end of the bytes are zero. The widest vector unit the processor
// has does the whole words.
LineMaskInfo BuildLineMasks(const char* data, std::size_t bytes, const LineMaskWords& out);

// The same with a chosen unit, so that each can be checked on any processor
// (a unit the processor lacks falls back to the next narrower one).
enum class MaskUnit { Avx2, Sse2, Plain };
LineMaskInfo BuildLineMasksWith(MaskUnit unit, const char* data, std::size_t bytes, const LineMaskWords& out);

}  // namespace kest
