// The five most recent files of the file menu, most recent first, and how
// Kest.INI keeps them ("File_0" ... "File_4" of "FileName"). Names are full
// paths in UTF-8, compared byte for byte (letter case included).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

class ProfileFile;
class ProfileText;

class RecentFiles {
 public:
  static constexpr std::size_t kCount = 5;

  // The name at place i (0 the most recent); empty when there is none.
  const std::string& At(std::size_t i) const { return names_.at(i); }
  void Set(std::size_t i, std::string name) { names_.at(i) = std::move(name); }

  // Moves a name to the head: a name already listed moves up from its place,
  // the others moving down one to make room; a new name pushes every name
  // down and the fifth drops off. False when the name was at the head
  // already (nothing changed).
  bool Push(std::string_view name);

  // Every name pushed, in the order of the pushes: the files this window
  // opened, which a later write puts at the head of another window's list.
  const std::vector<std::string>& Pushed() const { return pushed_; }

  // The names only.
  bool SameNames(const RecentFiles& other) const { return names_ == other.names_; }

  // Through the path layer, so any file name reads back exactly. Reading
  // forgets the pushes.
  void Read(const ProfileText& ini);
  void Read(const ProfileFile& ini);
  void Write(ProfileText& ini) const;
  void Write(ProfileFile& ini) const;

 private:
  std::array<std::string, kCount> names_;
  std::vector<std::string> pushed_;
};

// A caption shortened in the middle to at most `columns` columns (a wide
// character counts two), with "…" where the middle was; the end of a path (the
// file name) keeps the larger share. Valid UTF-8 stays valid: no character is
// cut.
std::string ElideMiddle(std::string_view utf8, int columns);

}  // namespace kest
