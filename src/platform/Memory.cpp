#include "platform/Memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace kest {
namespace {

constexpr std::uintptr_t kPage = 4096;

std::uintptr_t Up(std::uintptr_t a, std::uintptr_t to) { return (a + to - 1) & ~(to - 1); }
std::uintptr_t Down(std::uintptr_t a, std::uintptr_t to) { return a & ~(to - 1); }

}  // namespace

void PreferLargePages(const void* p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t from = Up(at, kLargePage), to = Down(at + bytes, kLargePage);
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

void BackAtOnce(const void* p, std::size_t bytes) {
  PreferLargePages(p, bytes);
#ifdef MADV_POPULATE_WRITE
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t from = Up(at, kPage), to = Down(at + bytes, kPage);
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#endif
}

char* MapAligned(std::size_t bytes, bool large) {
  // Map a large page more and give back what lies before and after the
  // aligned stretch.
  const std::size_t mapped = bytes + kLargePage;
  void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t base = Up(at, kLargePage);
  if (base > at) ::munmap(p, base - at);
  const std::uintptr_t end = base + Up(bytes, kPage), mappedEnd = at + mapped;
  if (mappedEnd > end) ::munmap(reinterpret_cast<void*>(end), mappedEnd - end);
  char* region = reinterpret_cast<char*>(base);
  if (large) PreferLargePages(region, bytes);
  return region;
}

void Unmap(void* p, std::size_t bytes) { ::munmap(p, bytes); }

}  // namespace kest
