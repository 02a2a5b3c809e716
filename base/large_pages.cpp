#include "base/large_pages.h"

#include <sys/mman.h>

#include <new>

namespace lumbra {

void* AllocateMemory(size_t bytes, bool large) {
  if (!large || bytes < kLargePageBytes / 2) {
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
  }
  if (bytes > SIZE_MAX - kLargePageBytes) throw std::bad_alloc();
  const size_t size = (bytes + kLargePageBytes - 1) / kLargePageBytes * kLargePageBytes;
  void* memory = std::aligned_alloc(kLargePageBytes, size);
  if (memory == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  // Only advice: without large pages the memory works the same.
  ::madvise(memory, size, MADV_HUGEPAGE);
#endif
  return memory;
}

}  // namespace lumbra
