// Distinct types for the four kinds of integer the viewer juggles: an index
// position (valid only for the order in force), a remark number (the stable
// key), a title-list line and a byte offset in the log file. Mixing them up
// is a compile error, not a silent wrong remark.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>

namespace kest {

template <class Tag, class Rep>
struct Strong {
  Rep v{};
  constexpr Strong() = default;
  constexpr explicit Strong(Rep value) : v(value) {}
  constexpr auto operator<=>(const Strong&) const = default;
  constexpr Strong& operator++() { ++v; return *this; }
  constexpr Strong& operator--() { --v; return *this; }
  constexpr Strong operator+(Rep d) const { return Strong(v + d); }
  constexpr Strong operator-(Rep d) const { return Strong(v - d); }
};

using IndexPos = Strong<struct IndexPosTag, std::int32_t>;    // position in TLogBase::Items
using RemarkNo = Strong<struct RemarkNoTag, std::int32_t>;    // TLogData::Number
using ListLine = Strong<struct ListLineTag, std::int32_t>;    // line of the title list
using ByteOffset = Strong<struct ByteOffsetTag, std::int64_t>; // offset in the log file

constexpr std::int64_t operator-(ByteOffset a, ByteOffset b) { return a.v - b.v; }

}  // namespace kest
