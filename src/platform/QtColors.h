// Colour codes as the settings file keeps them: a signed 32-bit value,
// 0x00BBGGRR for a colour of its own, 0x80000000 plus n for the system colour
// n of the old platform. The system colours are taken from the palette when
// they are shown, so a pane left on the defaults follows the desktop's theme.
#pragma once

#include <QColor>
#include <QPalette>
#include <cstdint>

namespace kest {

inline constexpr std::int32_t kSystemColorBit = static_cast<std::int32_t>(0x80000000u);
inline constexpr std::int32_t kClWindow = static_cast<std::int32_t>(0x80000005u);      // -2147483643
inline constexpr std::int32_t kClWindowText = static_cast<std::int32_t>(0x80000008u);  // -2147483640

constexpr bool IsSystemColor(std::int32_t code) { return (code & kSystemColorBit) != 0; }

// The colour a code stands for. System colours: 5 (window) is the palette's
// Base, 8 (window text) its Text; the few others the old forms used map to
// their palette roles; an unknown system colour gives the palette's Text.
QColor ColorFromCode(std::int32_t code, const QPalette& palette);
QColor ColorFromCode(std::int32_t code);  // with the application's palette

// The code of a colour chosen by its red, green and blue (never a system
// colour): 0x00BBGGRR.
std::int32_t CodeFromColor(const QColor& color);

}  // namespace kest
