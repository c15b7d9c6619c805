// Logs packed in archives: LHA (.lzh) and ZIP files, as the members of
// PC-communication services kept their logs. An archive is only ever read.
//
// Reading goes through libarchive, with the names of Shift-JIS (CP932)
// headers converted to UTF-8, and ZIP names flagged as UTF-8 kept as they
// are. LHA members packed with methods that libarchive lists but cannot
// unpack (-lh1-, -lz5- and the other methods of the oldest LHarc and LArc
// archives) are read through liblhasa, and so is a whole LHA archive whose
// first header libarchive refuses (-lz5- at header level 1, or a level 1 to
// 3 header without the attribute byte it expects).
//
// A member's name (UTF-8, folders separated by '/') is its key: in a
// LogLocation (archive/LogLocation.h), in the cache of extracted logs
// (archive/MemberCopy.h), and on the batch side's --member.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

enum class ArchiveKind { None, Lzh, Zip };

// What the file is by its first bytes (an LHA header, a ZIP signature);
// None for anything else, and for a file that cannot be read (opening it as
// a log reports that). An empty file named *.lzh, *.lha or *.zip is an empty
// archive of that kind.
ArchiveKind ArchiveKindOf(const std::filesystem::path& path);

// The name ends in .lzh, .lha or .zip (letter case aside): what the open
// dialog's archive filter offers.
bool HasArchiveExtension(std::string_view fileName);

struct ArchiveMember {
  std::string name;           // UTF-8, '/' between folders: the member's key
  std::string sjisName;       // the same in Shift-JIS, '?' for a character without a form
  std::uint64_t size = 0;     // unpacked bytes, as the header gives them
  std::uint64_t packed = 0;   // bytes it takes in the archive, its header included
  std::int64_t mtime = 0;     // seconds since 1970; 0 when the header has none
  std::string method;         // "-lh5-", "-lh1-", "deflate", "stored", ...
  bool looksLikeLog = false;  // text with a remark header among its first lines
  bool encrypted = false;     // a ZIP member with a password
  bool unsupported = false;   // packed with a method neither library unpacks
  // Why the member cannot be opened (Japanese, UTF-8), or empty: encrypted,
  // packed with a method neither library reads, or named to lead out of its
  // folder ("../", "/..."). Such a member is listed, never extracted.
  std::string problem;

  // Where the member is found again (internal to the reading).
  std::int64_t entry = -1;     // its place among the archive's entries
  std::int64_t headerAt = -1;  // the offset of its header, when known
  bool viaLhasa = false;       // unpacked by liblhasa
  bool lhasaListed = false;    // the whole archive was listed by liblhasa
};

struct ArchiveListing {
  ArchiveKind kind = ArchiveKind::None;
  // In archive order; folders are left out, and a name that comes again is
  // listed once (the first).
  std::vector<ArchiveMember> members;
  // Set when the archive could not be read to its end (a truncated or
  // damaged archive): what went wrong, in Japanese. The members before the
  // damage are listed.
  std::string damage;
  // The names were read as UTF-8 bytes, not as Shift-JIS (internal to the
  // reading).
  bool withoutCharset = false;

  // The positions of the members in the order a member dialog shows them:
  // logs first, then every other member, each part in archive order.
  std::vector<std::size_t> LogsFirst() const;
  // The members that look like logs and can be opened.
  std::size_t LogCount() const;
  // The member of that name, or nullptr.
  const ArchiveMember* Find(std::string_view name) const;
};

struct ListOptions {
  // Reads the first bytes of each member to tell logs from other files;
  // without it, looksLikeLog stays false and only the headers are read.
  bool detectLogs = true;
};

// The members of an archive. Throws LogFileError (a Japanese message naming
// the archive) when it cannot be opened or holds no readable header at all.
ArchiveListing ListArchive(const std::filesystem::path& archive, const ListOptions& options = {});

// Which member opening an archive gives.
struct MemberChoice {
  enum Result {
    kChosen,        // `member` is it
    kEmpty,         // the archive holds no member at all
    kNoLog,         // no pattern, and several members, none of them a log
    kSeveralLogs,   // no pattern, and several logs: `candidates`
    kNoMatch,       // no member fits the pattern
    kSeveralMatch,  // several members fit the pattern: `candidates`
  };
  Result result = kEmpty;
  const ArchiveMember* member = nullptr;
  std::vector<const ArchiveMember*> candidates;
};

// The member that `pattern` names: a member's exact name (UTF-8, or its
// Shift-JIS bytes), else a glob ('*', '?', "[...]"; '*' also matches '/')
// that fits one member only. With no pattern: the only log of the archive,
// or the only member of an archive of one member, whatever it holds.
MemberChoice ChooseMember(const ArchiveListing& listing, std::string_view pattern = {});

// A member's date for lists: "1996-03-01 21:00" in local time, as the
// archiving program took it; "" for none.
std::string FormatMemberDate(std::int64_t mtime);

}  // namespace kest
