// The settings file (Kest.INI): an INI file of Shift-JIS text read and written
// with the semantics of the old platform's profile functions.
//
// - Section and key names compare without regard to (single-byte) letter case,
//   and two headings with the same name ("FONT" and "Font") are one section:
//   a key is looked up in every heading of that name, the first one wins.
// - Values are read whole, however long (no 1,024-byte value buffer, no
//   8,192-byte key list buffer): cutting would lose long paths and bookmarks.
// - A write changes only its own line; every other section, key, comment and
//   their order stay as they were written by hand.
// - Every write replaces the file atomically (a temporary file in the same
//   folder, then a rename), so a crash or a full disk never leaves a
//   half-written file. A failed write throws ProfileWriteError and leaves the
//   file on disk as it was.
// - The file is written with CR LF line ends; LF-only files are read too.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kest {

class ProfileWriteError : public std::runtime_error {
 public:
  // The message is "<path> に書き込めません" (UTF-8).
  explicit ProfileWriteError(const std::filesystem::path& path);
};

class ProfileFile {
 public:
  explicit ProfileFile(std::filesystem::path path);

  const std::filesystem::path& Path() const { return path_; }

  // The value of a key, or `def` when the file, the section or the key is
  // missing. Blanks around the value are dropped, and one pair of matching
  // quotes around it.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  // Decimal, or hexadecimal with "0x", "0X" or "$"; anything that is not a
  // number gives `def`.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t def) const;
  // An integer; any value other than 0 is true; not a number gives `def`.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  // Every key of the section, in file order (over all headings of that name).
  std::vector<std::string> ReadSectionKeys(std::string_view section) const;
  bool SectionExists(std::string_view section) const;

  // A whole section from one reading of the file: every key with its value
  // (as ReadString gives it), in file order; a key that occurs more than once
  // is listed once, with the value a read finds. Reading a section of
  // thousands of keys this way costs one reading, not one per key.
  using Entries = std::vector<std::pair<std::string, std::string>>;
  Entries ReadSection(std::string_view section) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  // Removes every heading of that name with all its lines.
  void EraseSection(std::string_view section);

  struct Section {
    std::string name;
    Entries entries;
  };
  // Replaces whole sections in one atomic write: every heading of each name
  // goes with all its lines, and each section that has entries is written
  // anew at the end of the file, in the order given. A line break in a key
  // or value ends it.
  void ReplaceSections(const std::vector<Section>& sections);

 private:
  // The lines of the file without their line ends; none when it is missing.
  // The file is read anew for every call: it is small, read a few dozen times
  // at start-up, and an edit made by hand between two writes must not be
  // overwritten by a stale copy. A file that exists but cannot be read gives
  // no lines to a read and throws ProfileWriteError for a write.
  std::vector<std::string> Load(bool forWrite) const;
  void Save(const std::vector<std::string>& lines) const;

  std::filesystem::path path_;
};

// For tests only: the function the settings file is read with in place of
// read(2) (nullptr: read(2) itself), so that a failing disk can be imitated.
using ProfileReadFunction = long (*)(int fd, void* buf, std::size_t count);
void SetProfileReadForTesting(ProfileReadFunction read);

}  // namespace kest
