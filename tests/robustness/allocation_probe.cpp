#include "tests/robustness/allocation_probe.h"

#include <cstdlib>
#include <new>

namespace {

// Per thread, so tests running other threads do not disturb a measure.
thread_local bool tProbing = false;
thread_local size_t tLargest = 0;

}  // namespace

// The test program's operator new: the same blocks as the default one (the
// sanitizers still see every malloc and free), with the largest request noted.
void* operator new(size_t size) {
  if (tProbing && size > tLargest) tLargest = size;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

// The nothrow forms too (std::stable_sort's buffer comes from them): every
// block the deletes below free must come from malloc.
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  if (tProbing && size > tLargest) tLargest = size;
  return std::malloc(size == 0 ? 1 : size);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}

void operator delete(void* block) noexcept {
  std::free(block);
}

void operator delete(void* block, size_t) noexcept {
  std::free(block);
}

namespace lumbra::test {

TAllocationProbe::TAllocationProbe() {
  tProbing = true;
  tLargest = 0;
}

TAllocationProbe::~TAllocationProbe() {
  tProbing = false;
}

size_t TAllocationProbe::Largest() const {
  return tLargest;
}

}  // namespace lumbra::test
