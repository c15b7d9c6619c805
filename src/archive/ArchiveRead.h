// Inside the archive folder: listing an archive that is open, and reading
// one member's bytes from it, through libarchive or liblhasa.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "archive/Archive.h"

namespace kest::archive_read {

// The first bytes read of each member to tell a log: the title and the first
// remarks of any log lie well within them.
constexpr std::size_t kSampleSize = 8 * 1024;

// The bytes of one member from its start. Read gives 0 only at the end, and
// throws LogFileError (naming the member) when the data is damaged: a
// truncated archive, a CRC that does not match.
class MemberReader {
 public:
  virtual ~MemberReader() = default;
  virtual std::size_t Read(char* data, std::size_t size) = 0;
};

// The listing of the archive open as `fd` (read from its start; the
// position of `fd` is not kept). `path` names it in messages.
ArchiveListing List(int fd, const std::filesystem::path& path, const ListOptions& options);

// Reads `member`, as `listing` of the same open archive found it.
std::unique_ptr<MemberReader> OpenMember(int fd, const ArchiveListing& listing, const ArchiveMember& member);

// liblhasa's side (Lhasa.cpp).
namespace lhasa {

// liblhasa has a decoder for the method ("-lh1-").
bool Knows(std::string_view method);

// Lists the whole archive through liblhasa, the names taken from the raw
// headers. Gives no member when liblhasa finds no header.
void List(int fd, const ListOptions& options, ArchiveListing& listing);

// Fills looksLikeLog of a member that libarchive listed and liblhasa unpacks.
void Sample(int fd, ArchiveMember& member);

std::unique_ptr<MemberReader> Open(int fd, const ArchiveMember& member);

// The name of an LHA header (levels 0 to 3) as its raw bytes give it, folders
// separated by '/': a 0x5C byte that is the second byte of a Shift-JIS
// character stays what it is. Empty when the header holds no name.
std::string RawHeaderName(const unsigned char* header, std::size_t size);

// The CRC-16 of LHA (the ARC polynomial), continued from `crc`.
std::uint16_t Crc16(std::uint16_t crc, const unsigned char* data, std::size_t size);

}  // namespace lhasa

// Common to both sides (Archive.cpp).

// A name's bytes as UTF-8: as CP932 when they are that, else as UTF-8 when
// they are that, else as CP932 with U+FFFD for what does not convert.
std::string NameToUtf8(std::string_view raw);

// Whether the first bytes read of a member (all of it when fewer than
// kSampleSize) look like a log.
bool SampleLooksLikeLog(std::string_view sample);

// Fills the parts of a member that follow from its name and flags: the
// Shift-JIS name and the problem; a member with a problem is no log.
void FinishMember(ArchiveMember& member);

// The messages naming a member (UTF-8).
std::string DamagedMessage(const ArchiveMember& member, std::string_view detail);
std::string MethodMessage(std::string_view name, std::string_view method);

}  // namespace kest::archive_read
