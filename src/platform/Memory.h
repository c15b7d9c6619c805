// Fresh memory backed by the kernel in one call rather than a page fault at a
// time. On a virtual machine whose host backs guest memory on first use a
// fault costs about ten microseconds, so a large log's index and the arrays
// made from it would spend a good part of their time in faults.
#pragma once

#include <cstddef>
#include <memory>

namespace kest {

// Backs the pages wholly inside [p, p + bytes) (a hint: a kernel without the
// call leaves them to be taken by faults as before).
void BackAtOnce(const void* p, std::size_t bytes);

// Room for `bytes` bytes, not cleared, backed at once.
std::unique_ptr<char[]> BackedBytes(std::size_t bytes);

}  // namespace kest
