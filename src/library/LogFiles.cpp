#include "library/LogFiles.h"

#include <sys/stat.h>

#include <utility>

namespace kest {

std::optional<FileStamp> StampOf(const std::filesystem::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return std::nullopt;
  FileStamp s;
  s.size = static_cast<std::int64_t>(st.st_size);
  s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  s.inode = static_cast<std::int64_t>(st.st_ino);
  return s;
}

OpenedLog::OpenedLog(const std::filesystem::path& file, const std::string& member, const ArchiveHook& hook,
                     bool knownNative) {
  if (member.empty() && knownNative) {
    read_ = file;
    return;
  }
  if (!member.empty()) {
    std::optional<std::vector<ArchiveMemberLog>> members = hook ? hook(file) : std::nullopt;
    const ArchiveMemberLog* found = nullptr;
    if (members) {
      for (const ArchiveMemberLog& m : *members) {
        if (m.name == member) found = &m;
      }
    }
    if (!found) throw LogFileError("書庫にこのログがありません: " + file.string() + " » " + member);
    native_ = found->extract();
  } else {
    native_ = OpenNativeLog(file);
  }
  read_ = native_->ReadPath();
}

OpenedLog::OpenedLog(NativeLog extracted) : native_(std::move(extracted)), read_(native_->ReadPath()) {}

}  // namespace kest
