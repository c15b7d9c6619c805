#include "library/LibraryArchives.h"

#include "archive/Archive.h"
#include "archive/MemberCopy.h"
#include "library/LogWalk.h"

namespace kest {

ArchiveHook LibraryArchiveHook() {
  return [](const std::filesystem::path& file) -> std::optional<std::vector<ArchiveMemberLog>> {
    if (ArchiveKindOf(file) == ArchiveKind::None) return std::nullopt;
    const ArchiveListing listing = ListArchive(file);
    std::vector<ArchiveMemberLog> logs;
    for (const ArchiveMember& m : listing.members) {
      if (!m.looksLikeLog && !LogLikeName(m.name)) continue;
      ArchiveMemberLog log;
      log.name = m.name;
      if (!m.problem.empty()) {
        const std::string why = file.string() + " » " + m.name + ": " + m.problem;
        log.extract = [why]() -> NativeLog { throw LogFileError(why); };
      } else {
        log.extract = [file, name = m.name] { return ExtractMember(file, name); };
      }
      logs.push_back(std::move(log));
    }
    return logs;
  };
}

}  // namespace kest
