#include "platform/Memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace kest {

void BackAtOnce(const void* p, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  constexpr std::uintptr_t kPage = 4096;
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t from = (at + kPage - 1) & ~(kPage - 1), to = (at + bytes) & ~(kPage - 1);
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)bytes;
#endif
}

std::unique_ptr<char[]> BackedBytes(std::size_t bytes) {
  auto room = std::make_unique_for_overwrite<char[]>(bytes);
  BackAtOnce(room.get(), bytes);
  return room;
}

}  // namespace kest
