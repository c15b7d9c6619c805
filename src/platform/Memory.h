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

#include <algorithm>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace kest {

// The size of a large page, and the bytes from which a stretch is worth one.
inline constexpr std::size_t kLargePage = std::size_t{2} << 20;

// Backs the pages wholly inside [p, p + bytes), in large pages where whole
// ones fit (a hint: a kernel without the calls leaves them to faults).
void BackAtOnce(const void* p, std::size_t bytes);

// Asks for large pages for the whole large pages inside [p, p + bytes),
// when they are first touched (a hint, as above).
void PreferLargePages(const void* p, std::size_t bytes);

// A mapping of fresh zeroed memory that starts on a large page, or nullptr
// when none can be had; `large` asks for large pages in it. Given back with
// ::munmap.
char* MapAligned(std::size_t bytes, bool large);
void Unmap(void* p, std::size_t bytes);

// A working array of n values of a trivial type, in a mapping of its own: it
// starts zeroed (so a zero fill costs nothing), is in large pages when
// large, and is given back whole when it goes, never left behind in the heap
// between smaller blocks.
template <class T>
class FreshArray {
  static_assert(std::is_trivially_destructible_v<T>);

 public:
  FreshArray() = default;
  // Backed at once, or, with back false, a page at a time as it is used.
  explicit FreshArray(std::size_t n, bool back = true) : n_(n) {
    if (n_ == 0) return;
    data_ = reinterpret_cast<T*>(MapAligned(n_ * sizeof(T), n_ * sizeof(T) >= kLargePage));
    if (!data_) throw std::bad_alloc();
    if (back) BackAtOnce(data_, n_ * sizeof(T));
  }
  FreshArray(std::size_t n, const T& value) : FreshArray(n) { std::fill(data_, data_ + n_, value); }
  FreshArray(FreshArray&& o) noexcept : data_(std::exchange(o.data_, nullptr)), n_(std::exchange(o.n_, 0)) {}
  FreshArray& operator=(FreshArray&& o) noexcept {
    swap(o);
    return *this;
  }
  ~FreshArray() {
    if (data_) Unmap(data_, n_ * sizeof(T));
  }
  void swap(FreshArray& o) noexcept {
    std::swap(data_, o.data_);
    std::swap(n_, o.n_);
  }
  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return n_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }

 private:
  T* data_ = nullptr;
  std::size_t n_ = 0;
};

}  // namespace kest
