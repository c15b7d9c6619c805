// The text pane's font size as the settings file keeps it ("FontSize" of
// "Font"): a positive value is in points, a negative one the character height
// in pixels (as the old font objects kept it), 0 means the default. A value
// from a hand-edited file can be far too large or too small to read; the pane
// is shown at the nearest size that reads, and the stored value itself is
// kept until the user picks another font.
#pragma once

#include <cstdint>

namespace kest {

inline constexpr int kDefaultFontPoints = 14;
inline constexpr int kMinFontPoints = 6;
inline constexpr int kMaxFontPoints = 144;
inline constexpr int kMinFontPixels = 8;
inline constexpr int kMaxFontPixels = 192;

struct PaneFontSize {
  bool pixels = false;  // `size` is in pixels, not points
  int size = kDefaultFontPoints;
};

// The size at which the pane shows a stored value.
PaneFontSize ShownFontSize(std::int32_t stored);

}  // namespace kest
