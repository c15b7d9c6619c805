#include "settings/Settings.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace kest {

std::filesystem::path ProgramDir() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path(ec);
  return exe.parent_path();
}

bool IsInstalledProgramDir(const std::filesystem::path& programDir) {
  std::filesystem::path dir = programDir;
  if (!dir.has_filename()) dir = dir.parent_path();  // "/usr/bin/"
  return dir.filename() == "bin";
}

std::filesystem::path LocateIni(const std::filesystem::path& programDir) {
  if (const char* named = std::getenv("KEST_INI"); named && *named) return named;
  std::filesystem::path beside = programDir / "Kest.INI";
  std::error_code ec;
  // A file that is there already is the user's, wherever it stands. Otherwise
  // a program in a bin folder is installed: even where that folder can be
  // written (root, a prefix of the user's own) its settings do not belong
  // among the programs.
  if (std::filesystem::exists(beside, ec) ||
      (!IsInstalledProgramDir(programDir) && ::access(programDir.c_str(), W_OK) == 0)) {
    return beside;
  }
  std::filesystem::path config;
  // A relative $XDG_CONFIG_HOME is invalid and ignored, as the base directory
  // rules say: it would put the settings wherever the program was started.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    config = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    config = std::filesystem::path(home) / ".config";
  } else {
    return beside;
  }
  std::filesystem::create_directories(config / "kest32", ec);
  return config / "kest32" / "Kest.INI";
}

ViewOptions ReadViewOptions(const ProfileFile& ini) {
  ViewOptions v;
  v.SortType = static_cast<SortOrder>(ini.ReadInteger("Option", "SortType", 1));
  v.Columns.ShowNumber = ini.ReadBool("Option", "Numb", true);
  v.Columns.ShowSpeaker = ini.ReadBool("Option", "Name", true);
  v.Columns.ShowDate = ini.ReadBool("Option", "Date", false);
  return v;
}

}  // namespace kest
