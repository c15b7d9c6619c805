// What Kest.INI keeps of the library's search window, in the section
// "Library", as the main window keeps its own bounds in "Option": the frame
// (title bar and border included) in Left, Top, Width and Height, and the
// widths of the list's columns in DateWidth, ForumWidth, NumberWidth,
// PosterWidth, TitleWidth and FileWidth (内容 takes what is left).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/Profile.h"

namespace kest {

inline constexpr std::string_view kLibrarySection = "Library";

// The columns kept, in the list's order without 内容.
enum class LibraryColumn { Date, Forum, Number, Poster, Title, File };
inline constexpr int kLibraryColumns = 6;

struct LibraryWindowLayout {
  // A value missing from the file, or one no window could have, is none:
  // the window stands where the desktop puts it, 1000 × 520 pixels. Left
  // and Top are used together, Width and Height too.
  std::optional<std::int32_t> Left, Top, Width, Height;
  std::array<std::int32_t, kLibraryColumns> Columns{90, 150, 50, 150, 170, 150};

  std::int32_t& Column(LibraryColumn c) { return Columns[static_cast<std::size_t>(c)]; }
  bool operator==(const LibraryWindowLayout&) const = default;
};

// The narrowest frame kept, and the widths a column may have; any other
// value is taken for damage and gives the default. A frame larger than the
// screen is kept, and shrunk onto the screen when the window is shown.
inline constexpr std::int32_t kLibraryMinSide = 100;
inline constexpr std::int32_t kLibraryMinColumn = 16;
inline constexpr std::int32_t kLibraryMaxColumn = 10000;

LibraryWindowLayout ReadLibraryWindowLayout(const ProfileText& ini);

// Writes the layout into the file's text. With `base` (what this window
// read, or wrote last), a value goes in only where this window changed it:
// the others stay as the file holds them now, which another window may have
// written meanwhile.
void WriteLibraryWindowLayout(ProfileText& ini, const LibraryWindowLayout& layout,
                              const std::optional<LibraryWindowLayout>& base = std::nullopt);

}  // namespace kest
