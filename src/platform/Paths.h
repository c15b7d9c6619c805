// File paths as Kest.INI keeps them (recent files, the open folder,
// bookmarks). The file is Shift-JIS, and older files hold plain Shift-JIS
// paths, so a path that has a Shift-JIS form is stored as exactly those bytes.
// File names here are Unicode, though, and a name with a character that has
// no Shift-JIS form (or one whose conversion would not come back the same, a control
// character such as a line break, or a blank at either end, which the file's
// reader would drop)
// is stored as "utf-8:" followed by its UTF-8 bytes with every byte outside
// printable ASCII, and '%', written as %XX. That form is plain ASCII, so no
// reader of the file can garble it, and it cannot be mistaken for an old
// value: a stored path is absolute and starts with '/'.
#pragma once

#include <string>
#include <string_view>

namespace kest {

// `utf8Path` as Kest.INI should hold it (bytes for the profile layer).
std::string PathToProfile(std::string_view utf8Path);

// The UTF-8 path back from what PathToProfile wrote, or from a plain
// Shift-JIS value of an older file. A malformed %XX is kept as it stands.
std::string PathFromProfile(std::string_view stored);

}  // namespace kest
