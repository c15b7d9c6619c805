#include "platform/QtColors.h"

#include <QGuiApplication>

namespace kest {

QColor ColorFromCode(std::int32_t code, const QPalette& palette) {
  const auto u = static_cast<std::uint32_t>(code);
  if (IsSystemColor(code)) {
    switch (u & 0xFFu) {
      case 1:  return palette.color(QPalette::Dark);                        // desktop
      case 4:  return palette.color(QPalette::Window);                      // menu
      case 5:  return palette.color(QPalette::Base);                        // window
      case 6:  return palette.color(QPalette::Shadow);                      // window frame
      case 7:  return palette.color(QPalette::WindowText);                  // menu text
      case 8:  return palette.color(QPalette::Text);                        // window text
      case 13: return palette.color(QPalette::Highlight);
      case 14: return palette.color(QPalette::HighlightedText);
      case 15: return palette.color(QPalette::Button);                      // button face
      case 16: return palette.color(QPalette::Dark);                        // button shadow
      case 17: return palette.color(QPalette::Disabled, QPalette::Text);    // grey text
      case 18: return palette.color(QPalette::ButtonText);
      case 20: return palette.color(QPalette::Light);                       // button highlight
      case 23: return palette.color(QPalette::ToolTipText);
      case 24: return palette.color(QPalette::ToolTipBase);
      default: return palette.color(QPalette::Text);
    }
  }
  return QColor(static_cast<int>(u & 0xFFu), static_cast<int>((u >> 8) & 0xFFu),
                static_cast<int>((u >> 16) & 0xFFu));
}

QColor ColorFromCode(std::int32_t code) { return ColorFromCode(code, QGuiApplication::palette()); }

std::int32_t CodeFromColor(const QColor& color) {
  const QColor c = color.toRgb();
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(c.red()) |
                                   (static_cast<std::uint32_t>(c.green()) << 8) |
                                   (static_cast<std::uint32_t>(c.blue()) << 16));
}

}  // namespace kest
