// Where Kest.INI lives, and what the window keeps in it apart from the
// bookmarks: the view options (which the batch side reads too), the open
// folder, the text pane's font and colours, the recent files and the
// window's bounds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "log/TitleLines.h"
#include "platform/ColorCodes.h"
#include "platform/Profile.h"
#include "settings/RecentFiles.h"

namespace kest {

// The folder of the running program.
std::filesystem::path ProgramDir();

// A program in a folder named "bin" (/usr/bin, /usr/local/bin, ~/.local/bin)
// is an installed one; a program run from its build folder or from a folder
// of its own is not.
bool IsInstalledProgramDir(const std::filesystem::path& programDir);

// Kest.INI: the file named by $KEST_INI; else the one in the program's folder
// when it exists there, or when the folder can be written and the program is
// not an installed one; else $XDG_CONFIG_HOME/kest32/Kest.INI (default
// ~/.config/kest32/Kest.INI).
std::filesystem::path LocateIni(const std::filesystem::path& programDir);

struct ViewOptions {
  SortOrder SortType = SortOrder::ContentFolded;
  ColumnSwitches Columns;
};
ViewOptions ReadViewOptions(const ProfileText& ini);
ViewOptions ReadViewOptions(const ProfileFile& ini);

// The text pane's font and colours as the settings file keeps them.
struct PaneLook {
  std::string FontName = "FixedSys";  // Shift-JIS, at most 255 bytes
  // A positive size is in points; a negative one the character height in
  // pixels, as the old font objects kept it; 0 takes the default.
  std::int32_t FontSize = 14;
  std::int32_t FontStyle = 0;  // 1 bold, 2 italic, 4 underline, 8 strike-out
  std::int32_t TextColor = kClWindowText;
  std::int32_t BackColor = kClWindow;
};

// The window's frame, as the settings file keeps it.
struct WindowBounds {
  std::int32_t Top = 40;
  std::int32_t Left = 88;
  std::int32_t Height = 507;
  std::int32_t Width = 633;
};

// Everything the window reads at start-up and writes when it closes.
struct WindowSettings {
  ViewOptions View;
  std::string OpenFolder;  // UTF-8; ends with '/' when set
  PaneLook Look;
  RecentFiles Recent;
  WindowBounds Bounds;
};

WindowSettings ReadWindowSettings(const ProfileText& ini);
WindowSettings ReadWindowSettings(const ProfileFile& ini);

// Writes every key in one write of the file as it is now, in the order of
// the table, so a new file lists them in that order. With `base` (what this
// window read at start-up, or wrote last), a value changes only where this
// window changed it: every other key is written with the value the file
// holds now (which another window may have written meanwhile), and the
// files this window opened since base go to the head of the recent files
// the file lists now. A failed write throws ProfileWriteError and writes
// nothing.
void WriteWindowSettings(ProfileFile& ini, const WindowSettings& settings,
                         const std::optional<WindowSettings>& base = std::nullopt);
// The same on the file's text, for a write that holds more than these.
void WriteWindowSettings(ProfileText& ini, const WindowSettings& settings,
                         const std::optional<WindowSettings>& base = std::nullopt);

}  // namespace kest
