// Colour codes as the settings file keeps them: a signed 32-bit value,
// 0x00BBGGRR for a colour of its own, 0x80000000 plus n for the system colour
// n of the old platform.
#pragma once

#include <cstdint>

namespace kest {

inline constexpr std::int32_t kSystemColorBit = static_cast<std::int32_t>(0x80000000u);
inline constexpr std::int32_t kClWindow = static_cast<std::int32_t>(0x80000005u);      // -2147483643
inline constexpr std::int32_t kClWindowText = static_cast<std::int32_t>(0x80000008u);  // -2147483640

constexpr bool IsSystemColor(std::int32_t code) { return (code & kSystemColorBit) != 0; }

}  // namespace kest
