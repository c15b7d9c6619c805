// Where a log is: a file of its own, or a member of an archive. Everything
// that keeps a log's name (the window's current log, the recent files, the
// bookmarks) keeps the one string Format gives, in the place of a path:
//
//   /home/u/logs/forum.log                      a log of its own: its path
//   archive:/home/u/logs/forum.lzh//sub/表示.log  a member: the archive, "//", the member
//
// The member form begins with "archive:/", which no path that Kest.INI ever
// held can begin with: a path kept there is absolute (it begins with '/'),
// and one from the old Windows program begins with a drive ("C:\") or
// "\\"; so no existing value is ever read as a member, and no plain path is
// ever taken for one. The archive's path is kept absolute with no "//" in
// it, so the first "//" ends it, and the member's name, whatever it holds,
// is the rest. Through the path layer (PathToProfile, PathFromProfile) the
// string round-trips exactly, also for names outside Shift-JIS.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kest {

struct LogLocation {
  // The log's own file, or the archive that holds it: an absolute path, UTF-8.
  std::string file;
  // The member's name in the archive (UTF-8, '/' between folders, as the
  // archive listing gives it); empty for a log of its own.
  std::string member;

  // A member of an archive; `archive` is made absolute, its repeated and
  // trailing '/' dropped.
  static LogLocation Member(const std::filesystem::path& archive, std::string member);

  // What Format wrote; any other string is the path of a log of its own.
  static LogLocation Parse(std::string_view name);

  bool InArchive() const { return !member.empty(); }

  // The string kept in the place of a path.
  std::string Format() const;

  // As the user reads it, in a caption, a menu or a tooltip:
  // "/home/u/logs/forum.lzh » sub/表示.log"; the path for a log of its own.
  std::string Display() const;

  // The folder the open dialog starts in after this log: the folder of the
  // log's file or of the archive, with its trailing '/'.
  std::string Folder() const;

  bool operator==(const LogLocation&) const = default;
};

}  // namespace kest
