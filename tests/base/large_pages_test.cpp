#include "base/large_pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace lumbra {
namespace {

bool AlignedToLargePage(const void* memory) {
  return reinterpret_cast<uintptr_t>(memory) % kLargePageBytes == 0;
}

// The system backs memory with large pages only where a whole aligned large
// page lies inside it: large memory from half a page on is aligned and whole.
TEST(LargePages, LargeMemoryIsAlignedAndUsableToTheLastByte) {
  for (const size_t bytes :
       {kLargePageBytes / 2, kLargePageBytes - 4096, 3 * kLargePageBytes + 1}) {
    const auto memory = AllocateArray<char>(bytes, true);
    EXPECT_TRUE(AlignedToLargePage(memory.get())) << bytes;
    std::memset(memory.get(), 0x5A, bytes);
    EXPECT_EQ(memory[bytes - 1], 0x5A);
  }
  const auto small = AllocateArray<uint32_t>(10, true);
  small[9] = 7;
  EXPECT_EQ(small[9], 7u);
  const auto plain = AllocateArray<char>(kLargePageBytes, false);
  plain[kLargePageBytes - 1] = 1;
  EXPECT_EQ(plain[kLargePageBytes - 1], 1);

  std::vector<uint64_t, TLargePageAllocator<uint64_t>> grown;
  for (uint64_t i = 0; i < 300'000; ++i)
    grown.push_back(i);
  EXPECT_TRUE(AlignedToLargePage(grown.data()));
  EXPECT_EQ(grown[299'999], 299'999u);
}

}  // namespace
}  // namespace lumbra
