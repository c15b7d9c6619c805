// A member of an archive as the scanner reads it: extracted once into the
// cache folder of native copies (log/NativeCopy.h), converted on the way
// when it is in EUC-JP or UTF-8 or has other line ends, and reused while the
// archive stays as it is. The archive is only ever read, and nothing is ever
// written but into the cache folder, under names of ours.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "archive/LogLocation.h"
#include "log/NativeCopy.h"

namespace kest {

// A member is refused as a zip bomb, before anything is written, when it
// would unpack to more than the cache folder's bound (NativeCopyOptions::
// maxBytes), or to more than kMaxPackRatio times the bytes it takes in the
// archive once it passes kPackRatioFloor; and its extraction stops, and
// what was written goes, as soon as it passes either, or the size its header
// gave.
constexpr std::uint64_t kMaxPackRatio = 1000;
constexpr std::uint64_t kPackRatioFloor = std::uint64_t(1) << 20;

// The member's native copy in the cache, made (with progress in
// options.progress, stopped through options.cancel) or reused. The key of
// the copy names the archive's path, size, modification time and inode and
// the member's name. Throws LogFileError with a Japanese message naming the
// archive or the member: no such member, a member that is encrypted, packed
// with a method no library here reads, named to lead out of its folder, too
// large, damaged (a CRC error, a truncated archive), an archive that keeps
// changing while it is read, a cache folder that cannot be written or a full
// disk; CopyCancelled when cancelled. No part of a failed copy is left.
NativeLog ExtractMember(const std::filesystem::path& archive, std::string_view member,
                        const NativeCopyOptions& options = {});

// The file the scanner reads for a log however it is named: the log's own
// file (or its native copy), or the extracted member.
NativeLog OpenLocation(const LogLocation& where, const NativeCopyOptions& options = {});

}  // namespace kest
