// Where Kest.INI lives, and the view options the batch side and the window
// both read from it.
#pragma once

#include <filesystem>

#include "log/TitleLines.h"
#include "platform/Profile.h"

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
ViewOptions ReadViewOptions(const ProfileFile& ini);

}  // namespace kest
