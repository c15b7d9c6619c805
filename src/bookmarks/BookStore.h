// The bookmarks as Kest.INI keeps them, in two sections:
//
//   [Book Dir]            one line per group, parents before children
//   News=A0|0             name = group ID | parent's group ID ("0": the root)
//   [Book Mark]           one line per bookmark
//   First reply=A1|15|/home/u/LOG/FORUM1.LOG   name = group | number | path
//   Start=3|/home/u/LOG/FORUM2.LOG             short form: a bookmark of the root
//
// A value starting with "0" or "A" is of the grouped form, any other of the
// short form. Names are the keys, so they are unique over all groups (and
// group names over the whole tree); the profile layer compares keys without
// regard to letter case.
//
// Bookmarks are the users' own data, so nothing here drops one: an entry that
// fits neither form is kept as it stands (unreadable, never shown) and written
// back unchanged; paths are kept exactly as the file holds them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

class ProfileFile;
class ProfileText;

inline constexpr std::string_view kBookDirSection = "Book Dir";
inline constexpr std::string_view kBookMarkSection = "Book Mark";
inline constexpr std::string_view kRootGroupId = "0";

// A "Book Dir" entry. The ID is the text before the first "|" (the whole
// value when it has none), the parent's ID the text after it.
struct BookGroup {
  std::string name;
  std::string id;
  std::string parent;
};

// A "Book Mark" entry.
struct BookMark {
  std::string name;
  std::string value;       // unreadable only: as read, written back unchanged
  bool readable = false;   // fits one of the two forms, with a valid number
  std::string groupId;     // "0" for the root and for the short form
  bool shortForm = false;  // "number|path": always a bookmark of the top level
  std::int32_t number = 0;
  std::string storedPath;  // the path as the file holds it (see PathFromProfile)
};

struct BookSections {
  std::vector<BookGroup> groups;
  std::vector<BookMark> marks;
};

BookGroup ParseBookGroup(std::string name, std::string_view value);
BookMark ParseBookMark(std::string name, std::string_view value);

// The value the add command writes: the short form "number|path", except for
// remark 0, whose short form "0|path" would read back as the grouped form;
// it is written "0|0|path".
std::string AddedBookMarkValue(std::int32_t number, std::string_view storedPath);
// The grouped form "group|number|path".
std::string GroupedBookMarkValue(std::string_view groupId, std::int32_t number, std::string_view storedPath);

// Both sections, in file order.
BookSections ReadBookSections(const ProfileText& ini);
// The same from one reading of the file.
BookSections ReadBookSections(const ProfileFile& ini);

// Rewrites both sections whole: the groups as given (the caller keeps tree
// order), every readable bookmark in the grouped form, every unreadable one
// with its value unchanged. Into the file: in one atomic write.
void WriteBookSections(ProfileText& ini, const BookSections& sections);
void WriteBookSections(ProfileFile& ini, const BookSections& sections);

// Why a name cannot be a bookmark's or a group's name, or nothing when it can.
enum class NameProblem {
  kEmpty,      // nothing but blanks
  kNotAKey,    // "=", a control character (a line break), or a leading "[" or ";":
               // it would read back as another key, a heading or a comment
  kDuplicate,  // already the name of a bookmark or of a group
};

// The name as a key can hold it: blanks and tabs at both ends are dropped
// (the file's reader drops them too).
std::string TrimName(std::string_view name);

// Checks a (trimmed) name as a key only.
std::optional<NameProblem> KeyProblem(std::string_view name);

// True when `name` equals one of `names` as keys compare (letter case aside).
bool NameTaken(std::string_view name, const std::vector<std::string>& names);

// Every name a new bookmark or group must not take: the bookmarks' (readable
// or not) and the groups'.
std::vector<std::string> UsedNames(const BookSections& sections);

}  // namespace kest
