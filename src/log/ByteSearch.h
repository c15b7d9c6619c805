// The byte searches under the text search, vectorised with the widest unit
// the processor has: where a key's bytes may be, and where the lines of a
// block are not plain CR LF lines.
#pragma once

#include <cstddef>
#include <string_view>

namespace kest {

// The first place in hay[0, n) where `key` occurs; with `fold`, where the
// bytes with a-z taken as A-Z equal the key (which then holds no a-z).
// nullptr when there is none; `hay` for an empty key.
const char* FindBytes(const char* hay, std::size_t n, std::string_view key, bool fold);

// The offset of the first byte of p[0, n) where the lines are not plain
// CR LF lines: a 0x1A, or a CR that no LF follows; n when there is none. The
// byte p[n] is read too (it tells whether a CR at n - 1 ends a plain line), so
// it must be there.
std::size_t FirstIrregular(const char* p, std::size_t n);

// The same with the vector unit left out, so that each way can be checked on
// any processor.
enum class ByteSearchUnit { Widest, Sse2, Plain };
const char* FindBytesWith(ByteSearchUnit unit, const char* hay, std::size_t n, std::string_view key,
                          bool fold);
std::size_t FirstIrregularWith(ByteSearchUnit unit, const char* p, std::size_t n);

}  // namespace kest
