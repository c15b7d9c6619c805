// Where Kest.INI lives, and the view options the batch side and the window
// both read from it.
#pragma once

#include <filesystem>

#include "log/TitleLines.h"
#include "platform/Profile.h"

namespace kest {

// The folder of the running program.
std::filesystem::path ProgramDir();

// Kest.INI: the file named by $KEST_INI; else the one in the program's folder
// when it exists or the folder can be written; else (an installed program)
// $XDG_CONFIG_HOME/kest32/Kest.INI (default ~/.config/kest32/Kest.INI).
std::filesystem::path LocateIni(const std::filesystem::path& programDir);

struct ViewOptions {
  int SortType = kContentFolded;
  ColumnSwitches Columns;
};
ViewOptions ReadViewOptions(const ProfileFile& ini);

}  // namespace kest
