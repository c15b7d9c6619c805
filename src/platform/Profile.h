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
// - Every write reads the file as it is at that moment and changes only what
//   it was asked to, under a lock beside the file, so two windows (or two
//   processes) that share the file never undo each other's changes.
// - The file is written with CR LF line ends; LF-only files are read too.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kest {

class ProfileWriteError : public std::runtime_error {
 public:
  // Why the file could not be written.
  enum class Problem {
    Other,          // an input/output error and the like (the errno tells)
    ReadOnly,       // the file may not be written (read-only, or no permission)
    FolderInPlace,  // a folder stands where the file should be
    DiskFull,       // no space left (or over the quota)
    NoFolder,       // the folder it belongs in has gone
    FolderLocked,   // the folder may not be written: no new file can go there
    Unreadable,     // the file cannot be read, and writing would lose what it holds
  };

  // The message is "<path> に書き込めません" (UTF-8).
  explicit ProfileWriteError(const std::filesystem::path& path, Problem problem = Problem::Other,
                             int error = 0);

  const std::filesystem::path& path() const { return path_; }
  Problem problem() const { return problem_; }
  // Why, in Japanese, with what the user can do ("ファイルが読み取り専用です。…").
  std::string Reason() const;

 private:
  std::filesystem::path path_;
  Problem problem_;
  int error_;
};

// The lines of a settings file held in memory, read and changed with the
// semantics above. ProfileFile reads the file into one for every read, and
// changes one for every write; a caller that reads many keys, or must read
// and write as one step, uses one directly (ProfileFile::Read, Update).
class ProfileText {
 public:
  ProfileText() = default;
  explicit ProfileText(std::vector<std::string> lines) : lines_(std::move(lines)) {}

  // The value of a key, or `def` when the section or the key is missing.
  // Blanks around the value are dropped, and one pair of matching quotes
  // around it.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // Decimal, or hexadecimal with "0x", "0X" or "$"; anything that is not a
  // number gives `def`.
  std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const;
  // An integer; any value other than 0 is true; not a number gives `def`.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  // The key is there (with any value).
  bool HasKey(std::string_view section, std::string_view key) const;

  // Every key of the section, in file order (over all headings of that name).
  std::vector<std::string> ReadSectionKeys(std::string_view section) const;
  bool SectionExists(std::string_view section) const;

  // A whole section: every key with its value (as ReadString gives it), in
  // file order; a key that occurs more than once is listed once, with the
  // value a read finds.
  using Entries = std::vector<std::pair<std::string, std::string>>;
  Entries ReadSection(std::string_view section) const;
  // The same, handed to `visit(key, value)` one after another without
  // copies; the views last as long as this text is not changed.
  void ForEachEntry(std::string_view section,
                    const std::function<void(std::string_view key, std::string_view value)>& visit) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  // Removes every heading of that name with all its lines.
  void EraseSection(std::string_view section);
  // Removes the key's lines from every heading of the section.
  void DeleteKey(std::string_view section, std::string_view key);

  struct Section {
    std::string name;
    Entries entries;
  };
  // Replaces whole sections: every heading of each name goes with all its
  // lines, and each section that has entries is written anew at the end, in
  // the order given. A line break in a key or value ends it.
  void ReplaceSections(const std::vector<Section>& sections);

  const std::vector<std::string>& Lines() const { return lines_; }
  // A write or an erase has changed the lines.
  bool Changed() const { return changed_; }

 private:
  std::vector<std::string> lines_;
  bool changed_ = false;
};

class ProfileFile {
 public:
  explicit ProfileFile(std::filesystem::path path);

  const std::filesystem::path& Path() const { return path_; }

  // The file as it is now, in one reading; a missing or unreadable file (or
  // anything but a regular file) reads as an empty one.
  ProfileText Read() const;

  // Each read below is one reading of the file as it is now: it is small,
  // read a few times at start-up, and an edit made by hand between two
  // writes must not be overwritten by a stale copy.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const {
    return Read().ReadString(section, key, def);
  }
  std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const {
    return Read().ReadInteger(section, key, def);
  }
  bool ReadBool(std::string_view section, std::string_view key, bool def) const {
    return Read().ReadBool(section, key, def);
  }
  std::vector<std::string> ReadSectionKeys(std::string_view section) const {
    return Read().ReadSectionKeys(section);
  }
  bool SectionExists(std::string_view section) const { return Read().SectionExists(section); }
  using Entries = ProfileText::Entries;
  Entries ReadSection(std::string_view section) const { return Read().ReadSection(section); }

  // Reads the file as it is now, lets `edit` read and change it, and writes
  // it back when changed: one step under the file's lock, so that what
  // another window (or process) wrote meanwhile stays, and two writers never
  // interleave. A file that exists but cannot be read throws
  // ProfileWriteError rather than be replaced by what `edit` made of
  // nothing. Whatever `edit` throws leaves the file as it was.
  void Update(const std::function<void(ProfileText&)>& edit);

  // One change each, as Update does it.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  // Removes every heading of that name; a file that cannot be read has
  // nothing to remove, and is left alone.
  void EraseSection(std::string_view section);
  using Section = ProfileText::Section;
  void ReplaceSections(const std::vector<Section>& sections);

  // Writes that have failed since this object was made.
  int FailedWrites() const { return failedWrites_; }

 private:
  // The lines of the file without their line ends; none when it is missing.
  // A file that exists but cannot be read gives no lines, or, `forWrite`,
  // throws ProfileWriteError.
  std::vector<std::string> Load(bool forWrite) const;
  void Save(const std::vector<std::string>& lines) const;
  void Change(const std::function<void(ProfileText&)>& edit, bool mustRead);

  std::filesystem::path path_;
  int failedWrites_ = 0;
};

// The lock beside the settings file ("<file>.lock"), taken around every
// read-and-write of it: an advisory lock that the system lets go of when
// its holder ends, so a lock left by a program that crashed never holds
// anyone up. A holder that hangs is waited for at most this long; then the
// write goes ahead without it.
void SetProfileLockWaitForTesting(int milliseconds);
inline constexpr int kProfileLockWaitMs = 3000;

// For tests only: the function the settings file is read with in place of
// read(2) (nullptr: read(2) itself), so that a failing disk can be imitated.
using ProfileReadFunction = long (*)(int fd, void* buf, std::size_t count);
void SetProfileReadForTesting(ProfileReadFunction read);
// The same for write(2), so that a full disk can be imitated.
using ProfileWriteFunction = long (*)(int fd, const void* buf, std::size_t count);
void SetProfileWriteForTesting(ProfileWriteFunction write);

}  // namespace kest
