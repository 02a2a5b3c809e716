// Memory for large working sets (file caches, counting tables) in large pages
// where the system offers them. Memory comes from the system a page at a time
// as it is first written, and with small pages each 4 KiB costs a fault that
// takes longer than filling the page: hundreds of megabytes cost a second.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace lumbra {

// The large page size on x86-64 and on most ARM systems.
inline constexpr size_t kLargePageBytes = 2 << 20;

// bytes of memory, not cleared; throws std::bad_alloc; freed with std::free.
// Plain heap memory, unless large: then from half a large page on it is
// rounded up to whole large pages, aligned to one and offered to the system
// for large pages. A large page is taken whole once any byte of it is
// written, so large suits memory that will be filled.
void* AllocateMemory(size_t bytes, bool large);

struct TFreeMemory {
  void operator()(void* memory) const noexcept { std::free(memory); }
};

// count objects of a trivial type T, not initialised, from AllocateMemory.
template <class T>
std::unique_ptr<T[], TFreeMemory> AllocateArray(size_t count, bool large) {
  return std::unique_ptr<T[], TFreeMemory>(
      static_cast<T*>(AllocateMemory(count * sizeof(T), large)));
}

// A standard allocator of large memory, for containers that grow large and
// fill what they take.
template <class T>
struct TLargePageAllocator {
  using value_type = T;
  TLargePageAllocator() = default;
  template <class U>
  TLargePageAllocator(const TLargePageAllocator<U>&) {}  // NOLINT: converts as allocators do
  T* allocate(size_t count) { return static_cast<T*>(AllocateMemory(count * sizeof(T), true)); }
  void deallocate(T* memory, size_t) noexcept { std::free(memory); }
  friend bool operator==(const TLargePageAllocator&, const TLargePageAllocator&) { return true; }
};

}  // namespace lumbra
