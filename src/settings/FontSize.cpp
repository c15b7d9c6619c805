#include "settings/FontSize.h"

#include <algorithm>

namespace kest {

PaneFontSize ShownFontSize(std::int32_t stored) {
  if (stored > 0) return {false, std::clamp<int>(stored, kMinFontPoints, kMaxFontPoints)};
  if (stored < 0) {
    const std::int64_t pixels = -static_cast<std::int64_t>(stored);  // INT32_MIN included
    return {true, static_cast<int>(std::min<std::int64_t>(
                      std::max<std::int64_t>(pixels, kMinFontPixels), kMaxFontPixels))};
  }
  return {false, kDefaultFontPoints};
}

}  // namespace kest
