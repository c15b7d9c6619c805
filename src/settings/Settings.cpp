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

void WriteWindowSettings(ProfileFile& ini, const WindowSettings& s,
                         const std::optional<WindowSettings>& base) {
  ini.Update([&](ProfileText& t) {
    // A value this window changed, or one the file lacks (its first start).
    auto put = [&](const char* section, const char* key, const std::string& now, const std::string& was) {
      if (!base || now != was || !t.HasKey(section, key)) t.WriteString(section, key, now);
    };
    auto integer = [&](const char* section, const char* key, std::int32_t now, std::int32_t was) {
      put(section, key, std::to_string(now), std::to_string(was));
    };
    auto boolean = [&](const char* section, const char* key, bool now, bool was) {
      put(section, key, now ? "1" : "0", was ? "1" : "0");
    };
    const WindowSettings b = base.value_or(WindowSettings{});
    integer(kOption, "SortType", static_cast<std::int32_t>(s.View.SortType),
            static_cast<std::int32_t>(b.View.SortType));
    boolean(kOption, "Numb", s.View.Columns.ShowNumber, b.View.Columns.ShowNumber);
    boolean(kOption, "Name", s.View.Columns.ShowSpeaker, b.View.Columns.ShowSpeaker);
    boolean(kOption, "Date", s.View.Columns.ShowDate, b.View.Columns.ShowDate);
    put(kOption, "OpenFolder", PathToProfile(s.OpenFolder), PathToProfile(b.OpenFolder));
    put(kFont, "FontName", s.Look.FontName, b.Look.FontName);
    integer(kFont, "FontSize", s.Look.FontSize, b.Look.FontSize);
    integer(kFont, "Color", s.Look.TextColor, b.Look.TextColor);
    integer(kOption, "Color", s.Look.BackColor, b.Look.BackColor);
    integer(kFONT, "FontStyle", s.Look.FontStyle, b.Look.FontStyle);
    const std::vector<std::string>& pushed = s.Recent.Pushed();
    const std::size_t since = std::min(b.Recent.Pushed().size(), pushed.size());
    if (!base) {
      s.Recent.Write(t);
    } else if (since < pushed.size()) {
      // The files this window opened since base, in turn, to the head of
      // the list as the file holds it now.
      RecentFiles recent;
      recent.Read(t);
      for (std::size_t i = since; i < pushed.size(); ++i) recent.Push(pushed[i]);
      recent.Write(t);
    } else {
      for (std::size_t i = 0; i < RecentFiles::kCount; ++i) {
        const std::string key = "File_" + std::to_string(i);
        const std::string value = PathToProfile(s.Recent.At(i));
        put("FileName", key.c_str(), value, value);
      }
    }
    integer(kOption, "Top", s.Bounds.Top, b.Bounds.Top);
    integer(kOption, "Left", s.Bounds.Left, b.Bounds.Left);
    integer(kOption, "Height", s.Bounds.Height, b.Bounds.Height);
    integer(kOption, "Width", s.Bounds.Width, b.Bounds.Width);
  });
}

}  // namespace kest
