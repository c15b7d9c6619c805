#include "settings/Settings.h"

#include <unistd.h>

#include <algorithm>
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

ViewOptions ReadViewOptions(const ProfileText& ini) {
  ViewOptions v;
  v.SortType = static_cast<SortOrder>(ini.ReadInteger(kOption, "SortType", 1));
  v.Columns.ShowNumber = ini.ReadBool(kOption, "Numb", true);
  v.Columns.ShowSpeaker = ini.ReadBool(kOption, "Name", true);
  v.Columns.ShowDate = ini.ReadBool(kOption, "Date", false);
  return v;
}

WindowSettings ReadWindowSettings(const ProfileText& ini) {
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

ViewOptions ReadViewOptions(const ProfileFile& ini) { return ReadViewOptions(ini.Read()); }

WindowSettings ReadWindowSettings(const ProfileFile& ini) { return ReadWindowSettings(ini.Read()); }

namespace {

void WriteAll(ProfileText& t, const WindowSettings& s) {
  t.WriteInteger(kOption, "SortType", static_cast<std::int32_t>(s.View.SortType));
  t.WriteBool(kOption, "Numb", s.View.Columns.ShowNumber);
  t.WriteBool(kOption, "Name", s.View.Columns.ShowSpeaker);
  t.WriteBool(kOption, "Date", s.View.Columns.ShowDate);
  t.WriteString(kOption, "OpenFolder", PathToProfile(s.OpenFolder));
  t.WriteString(kFont, "FontName", s.Look.FontName);
  t.WriteInteger(kFont, "FontSize", s.Look.FontSize);
  t.WriteInteger(kFont, "Color", s.Look.TextColor);
  t.WriteInteger(kOption, "Color", s.Look.BackColor);
  t.WriteInteger(kFONT, "FontStyle", s.Look.FontStyle);
  s.Recent.Write(t);
  t.WriteInteger(kOption, "Top", s.Bounds.Top);
  t.WriteInteger(kOption, "Left", s.Bounds.Left);
  t.WriteInteger(kOption, "Height", s.Bounds.Height);
  t.WriteInteger(kOption, "Width", s.Bounds.Width);
}

// What this window changed since `base`, over what the file holds now.
template <class T>
void Keep(T& now, const T& mine, const T& base) {
  if (!(mine == base)) now = mine;
}

}  // namespace

void WriteWindowSettings(ProfileFile& ini, const WindowSettings& s, const std::optional<WindowSettings>& base) {
  ini.Update([&](ProfileText& t) { WriteWindowSettings(t, s, base); });
}

void WriteWindowSettings(ProfileText& t, const WindowSettings& s, const std::optional<WindowSettings>& base) {
  if (!base) {
    WriteAll(t, s);
    return;
  }
  // Every key is written, in the form the table gives it; a value this
  // window did not change is the one the file holds now, which another
  // window may have written.
  WindowSettings merged = ReadWindowSettings(t);
  Keep(merged.View.SortType, s.View.SortType, base->View.SortType);
  Keep(merged.View.Columns.ShowNumber, s.View.Columns.ShowNumber, base->View.Columns.ShowNumber);
  Keep(merged.View.Columns.ShowSpeaker, s.View.Columns.ShowSpeaker, base->View.Columns.ShowSpeaker);
  Keep(merged.View.Columns.ShowDate, s.View.Columns.ShowDate, base->View.Columns.ShowDate);
  Keep(merged.OpenFolder, s.OpenFolder, base->OpenFolder);
  Keep(merged.Look.FontName, s.Look.FontName, base->Look.FontName);
  Keep(merged.Look.FontSize, s.Look.FontSize, base->Look.FontSize);
  Keep(merged.Look.FontStyle, s.Look.FontStyle, base->Look.FontStyle);
  Keep(merged.Look.TextColor, s.Look.TextColor, base->Look.TextColor);
  Keep(merged.Look.BackColor, s.Look.BackColor, base->Look.BackColor);
  Keep(merged.Bounds.Top, s.Bounds.Top, base->Bounds.Top);
  Keep(merged.Bounds.Left, s.Bounds.Left, base->Bounds.Left);
  Keep(merged.Bounds.Height, s.Bounds.Height, base->Bounds.Height);
  Keep(merged.Bounds.Width, s.Bounds.Width, base->Bounds.Width);
  // The files this window opened since base, in turn, to the head of the
  // list as the file holds it now.
  const std::vector<std::string>& pushed = s.Recent.Pushed();
  for (std::size_t i = std::min(base->Recent.Pushed().size(), pushed.size()); i < pushed.size(); ++i) {
    merged.Recent.Push(pushed[i]);
  }
  WriteAll(t, merged);
}

}  // namespace kest
