// Colour codes (platform/ColorCodes.h) as Qt colours. The system colours are
// taken from the palette when they are shown, so a pane left on the defaults
// follows the desktop's theme.
#pragma once

#include <QColor>
#include <QPalette>
#include <cstdint>

#include "platform/ColorCodes.h"

namespace kest {

// The colour a code stands for. System colours: 5 (window) is the palette's
// Base, 8 (window text) its Text; the few others the old forms used map to
// their palette roles; an unknown system colour gives the palette's Text.
QColor ColorFromCode(std::int32_t code, const QPalette& palette);
QColor ColorFromCode(std::int32_t code);  // with the application's palette

// The code of a colour chosen by its red, green and blue (never a system
// colour): 0x00BBGGRR.
std::int32_t CodeFromColor(const QColor& color);

}  // namespace kest
