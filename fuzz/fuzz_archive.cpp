// Any bytes as an archive: listing it, and extracting its members into a
// cache folder of its own, must neither crash, hang, nor write anywhere but
// that folder; a bad archive is a LogFileError. The raw LHA header parser
// takes the same bytes as a header.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/Archive.h"
#include "archive/ArchiveRead.h"
#include "archive/MemberCopy.h"

namespace {

// The cache folder of the run, removed when the fuzzer exits.
std::filesystem::path cache;

void RemoveCache() {
  std::error_code ec;
  std::filesystem::remove_all(cache, ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (cache.empty()) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kest-fuzz-archive-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return 0;
    cache = tmpl;
    std::atexit(RemoveCache);
  }
  kest::archive_read::lhasa::RawHeaderName(data, size);
  int fd = ::memfd_create("fuzz.lzh", 0);
  if (fd < 0) return 0;
  if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
    ::close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  try {
    const kest::ArchiveListing listing = kest::ListArchive(path);
    kest::ChooseMember(listing, "*.log");
    kest::NativeCopyOptions options;
    options.cacheDir = cache;
    options.maxBytes = 1 << 20;
    options.maxCopies = 4;
    for (std::size_t i = 0; i < listing.members.size() && i < 4; ++i) {
      try {
        kest::ExtractMember(path, listing.members[i].name, options);
      } catch (const kest::LogFileError&) {
      }
    }
  } catch (const kest::LogFileError&) {
  }
  ::close(fd);
  return 0;
}
