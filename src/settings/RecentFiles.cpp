#include "settings/RecentFiles.h"

#include <algorithm>
#include <vector>

#include "platform/Paths.h"
#include "platform/Profile.h"

namespace kest {

bool RecentFiles::Push(std::string_view name) {
  pushed_.emplace_back(name);
  // Equal to entry 0 to 3: that entry's place is freed; equal to entry 4, or
  // new, entry 4 is dropped.
  std::size_t found = kCount - 1;
  for (std::size_t i = 0; i + 1 < kCount; ++i) {
    if (names_[i] == name) {
      found = i;
      break;
    }
  }
  if (found == 0) return false;
  for (std::size_t i = found; i > 0; --i) names_[i] = std::move(names_[i - 1]);
  names_[0] = std::string(name);
  return true;
}

void RecentFiles::Read(const ProfileText& ini) {
  for (std::size_t i = 0; i < kCount; ++i) {
    names_[i] = PathFromProfile(ini.ReadString("FileName", "File_" + std::to_string(i), ""));
  }
  pushed_.clear();
}

void RecentFiles::Read(const ProfileFile& ini) { Read(ini.Read()); }

void RecentFiles::Write(ProfileText& ini) const {
  for (std::size_t i = 0; i < kCount; ++i) {
    ini.WriteString("FileName", "File_" + std::to_string(i), PathToProfile(names_[i]));
  }
}

void RecentFiles::Write(ProfileFile& ini) const {
  ini.Update([this](ProfileText& t) { Write(t); });
}

namespace {

struct Char {
  std::size_t start, length;
  int columns;
};

// The characters of a UTF-8 string with their widths. A byte that starts no
// valid sequence counts as one character of one column.
std::vector<Char> Characters(std::string_view s) {
  std::vector<Char> out;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (i + n > s.size()) n = 1;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) n = 1;
    }
    char32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    // Half-width katakana (U+FF61..U+FF9F) and everything below U+1100 are
    // narrow; the rest of the CJK range is wide.
    const bool wide = cp >= 0x1100 && !(cp >= 0xFF61 && cp <= 0xFF9F);
    out.push_back({i, n, wide ? 2 : 1});
    i += n;
  }
  return out;
}

}  // namespace

std::string ElideMiddle(std::string_view utf8, int columns) {
  const std::vector<Char> chars = Characters(utf8);
  int total = 0;
  for (const Char& c : chars) total += c.columns;
  if (total <= columns) return std::string(utf8);

  const int room = std::max(columns - 1, 0);  // "…" takes one column
  std::size_t tail = chars.size();            // first character kept at the end
  int tailUsed = 0;
  while (tail > 0 && tailUsed + chars[tail - 1].columns <= room - room / 3) {
    tailUsed += chars[--tail].columns;
  }
  // The front gets what the end left over (a wide character may not fit).
  std::size_t head = 0;  // characters kept from the front
  for (int used = 0; head < tail && used + chars[head].columns <= room - tailUsed; ++head) {
    used += chars[head].columns;
  }
  std::string out(utf8.substr(0, head == 0 ? 0 : chars[head - 1].start + chars[head - 1].length));
  out += "\xE2\x80\xA6";  // …
  if (tail < chars.size()) out += utf8.substr(chars[tail].start);
  return out;
}

}  // namespace kest
