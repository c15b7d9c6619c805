// The integer conversion of the old platform, shared by the log scanner (the
// number and ID fields) and the settings file.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kest {

// Accepts any number of leading blanks (0x20), then either an optional sign
// and at least one decimal digit, or '$' and hexadecimal digits; nothing may
// follow. Decimal values must lie in the 32-bit signed range; hexadecimal ones
// may use all 32 bits ("$80000008" is -2147483640). Anything else fails.
std::optional<std::int32_t> StrToInt(std::string_view s);

}  // namespace kest
