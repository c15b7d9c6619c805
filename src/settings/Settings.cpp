#include "settings/Settings.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "platform/Codec.h"
#include "platform/Paths.h"

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

namespace {

const char* const kOption = "Option";
const char* const kFont = "Font";
const char* const kFONT = "FONT";

}  // namespace

ViewOptions ReadViewOptions(const ProfileFile& ini) {
  ViewOptions v;
  v.SortType = static_cast<SortOrder>(ini.ReadInteger(kOption, "SortType", 1));
  v.Columns.ShowNumber = ini.ReadBool(kOption, "Numb", true);
  v.Columns.ShowSpeaker = ini.ReadBool(kOption, "Name", true);
  v.Columns.ShowDate = ini.ReadBool(kOption, "Date", false);
  return v;
}

WindowSettings ReadWindowSettings(const ProfileFile& ini) {
  WindowSettings s;
  s.View = ReadViewOptions(ini);
  s.OpenFolder = PathFromProfile(ini.ReadString(kOption, "OpenFolder", ""));
  // At most 255 bytes of the face name are used, cut on a character boundary
  // (the character that holds byte 256 starts where the cut goes).
  s.Look.FontName = ini.ReadString(kFont, "FontName", s.Look.FontName);
  if (s.Look.FontName.size() > 255) s.Look.FontName.resize(SjisStepBack(s.Look.FontName, 256));
  s.Look.FontSize = ini.ReadInteger(kFont, "FontSize", s.Look.FontSize);
  s.Look.TextColor = ini.ReadInteger(kFont, "Color", s.Look.TextColor);
  s.Look.BackColor = ini.ReadInteger(kOption, "Color", s.Look.BackColor);
  s.Look.FontStyle = ini.ReadInteger(kFONT, "FontStyle", s.Look.FontStyle);
  s.Recent.Read(ini);
  s.Bounds.Top = ini.ReadInteger(kOption, "Top", s.Bounds.Top);
  s.Bounds.Left = ini.ReadInteger(kOption, "Left", s.Bounds.Left);
  s.Bounds.Height = ini.ReadInteger(kOption, "Height", s.Bounds.Height);
  s.Bounds.Width = ini.ReadInteger(kOption, "Width", s.Bounds.Width);
  return s;
}

void WriteWindowSettings(ProfileFile& ini, const WindowSettings& s) {
  ini.WriteInteger(kOption, "SortType", static_cast<std::int32_t>(s.View.SortType));
  ini.WriteBool(kOption, "Numb", s.View.Columns.ShowNumber);
  ini.WriteBool(kOption, "Name", s.View.Columns.ShowSpeaker);
  ini.WriteBool(kOption, "Date", s.View.Columns.ShowDate);
  ini.WriteString(kOption, "OpenFolder", PathToProfile(s.OpenFolder));
  ini.WriteString(kFont, "FontName", s.Look.FontName);
  ini.WriteInteger(kFont, "FontSize", s.Look.FontSize);
  ini.WriteInteger(kFont, "Color", s.Look.TextColor);
  ini.WriteInteger(kOption, "Color", s.Look.BackColor);
  ini.WriteInteger(kFONT, "FontStyle", s.Look.FontStyle);
  s.Recent.Write(ini);
  ini.WriteInteger(kOption, "Top", s.Bounds.Top);
  ini.WriteInteger(kOption, "Left", s.Bounds.Left);
  ini.WriteInteger(kOption, "Height", s.Bounds.Height);
  ini.WriteInteger(kOption, "Width", s.Bounds.Width);
}

}  // namespace kest
