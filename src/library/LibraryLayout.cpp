#include "library/LibraryLayout.h"

#include <limits>

namespace kest {
namespace {

constexpr const char* kColumnKeys[kLibraryColumns] = {"DateWidth",   "ForumWidth", "NumberWidth",
                                                      "PosterWidth", "TitleWidth", "FileWidth"};

// The key's value when it is a number; none when it is missing or not one.
std::optional<std::int32_t> Number(const ProfileText& ini, const char* key) {
  // A value that reads as a number gives itself whatever the default; one
  // that does not gives the default, so two defaults tell them apart.
  const std::int32_t low = ini.ReadInteger(kLibrarySection, key, std::numeric_limits<std::int32_t>::min());
  const std::int32_t high = ini.ReadInteger(kLibrarySection, key, std::numeric_limits<std::int32_t>::max());
  if (low != high) return std::nullopt;
  return low;
}

std::optional<std::int32_t> Side(const ProfileText& ini, const char* key) {
  const std::optional<std::int32_t> v = Number(ini, key);
  if (v && *v < kLibraryMinSide) return std::nullopt;
  return v;
}

void Put(ProfileText& ini, const char* key, const std::optional<std::int32_t>& v) {
  if (v) ini.WriteInteger(kLibrarySection, key, *v);
}

}  // namespace

LibraryWindowLayout ReadLibraryWindowLayout(const ProfileText& ini) {
  LibraryWindowLayout l;
  // A corner or a size of which one half is missing is none at all.
  l.Left = Number(ini, "Left");
  l.Top = Number(ini, "Top");
  if (!l.Left || !l.Top) l.Left = l.Top = std::nullopt;
  l.Width = Side(ini, "Width");
  l.Height = Side(ini, "Height");
  if (!l.Width || !l.Height) l.Width = l.Height = std::nullopt;
  for (int c = 0; c < kLibraryColumns; ++c) {
    const std::optional<std::int32_t> w = Number(ini, kColumnKeys[c]);
    if (w && *w >= kLibraryMinColumn && *w <= kLibraryMaxColumn) l.Columns[static_cast<std::size_t>(c)] = *w;
  }
  return l;
}

void WriteLibraryWindowLayout(ProfileText& ini, const LibraryWindowLayout& layout,
                              const std::optional<LibraryWindowLayout>& base) {
  LibraryWindowLayout out = layout;
  if (base) {
    out = ReadLibraryWindowLayout(ini);
    // The corner and the size each as one: never this window's Left with
    // another's Top.
    if (layout.Left != base->Left || layout.Top != base->Top) {
      out.Left = layout.Left;
      out.Top = layout.Top;
    }
    if (layout.Width != base->Width || layout.Height != base->Height) {
      out.Width = layout.Width;
      out.Height = layout.Height;
    }
    for (std::size_t c = 0; c < out.Columns.size(); ++c) {
      if (layout.Columns[c] != base->Columns[c]) out.Columns[c] = layout.Columns[c];
    }
  }
  Put(ini, "Left", out.Left);
  Put(ini, "Top", out.Top);
  Put(ini, "Width", out.Width);
  Put(ini, "Height", out.Height);
  for (int c = 0; c < kLibraryColumns; ++c) {
    ini.WriteInteger(kLibrarySection, kColumnKeys[c], out.Columns[static_cast<std::size_t>(c)]);
  }
}

}  // namespace kest
