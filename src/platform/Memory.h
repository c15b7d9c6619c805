// Fresh memory made ready in one call rather than a page fault at a time, in
// large pages where it is large.
//
// On the virtual machines this runs on, the host backs guest memory on first
// use, 4 KiB at a time: the first write to each fresh small page costs about
// six microseconds, whether the kernel mapped it by a fault or ahead of time,
// and a page freed is soon handed back. A 1 GiB log's index and the arrays
// made from it take a few hundred megabytes, so small pages would cost a
// third of a second. Large (2 MiB) pages are taken from the host a whole page
// at a time and kept while the guest reuses them; on plain hardware they
// spare the processor's page walks too.
#pragma once

#include <cstddef>
#include <memory>

namespace kest {

// The size of a large page, and the bytes from which a stretch is worth one.
inline constexpr std::size_t kLargePage = std::size_t{2} << 20;

// Backs the pages wholly inside [p, p + bytes), in large pages where whole
// ones fit (a hint: a kernel without the calls leaves them to faults).
void BackAtOnce(const void* p, std::size_t bytes);

// Asks for large pages for the whole large pages inside [p, p + bytes),
// when they are first touched (a hint, as above).
void PreferLargePages(const void* p, std::size_t bytes);

// Room for `bytes` bytes, not cleared, backed at once.
std::unique_ptr<char[]> BackedBytes(std::size_t bytes);

// A mapping of fresh zeroed memory that starts on a large page, or nullptr
// when none can be had; `large` asks for large pages in it. Given back with
// ::munmap.
char* MapAligned(std::size_t bytes, bool large);

}  // namespace kest
