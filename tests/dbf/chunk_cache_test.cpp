// The chunk cache: what a walk in file order and a scattered one cost in reads.
#include "dbf/chunk_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace lumbra::test {
namespace {

// A file in memory whose byte at offset k is k % 251, counting its reads.
class TCountingFile : public IFileIo {
 public:
  explicit TCountingFile(uint64_t size) : FSize(size) {}
  const std::string& Name() const override { return FName; }
  uint64_t Size() override { return FSize; }
  size_t ReadAt(uint64_t offset, void* buffer, size_t length) override {
    ++Reads;
    const size_t n =
        offset >= FSize ? 0 : static_cast<size_t>(std::min<uint64_t>(length, FSize - offset));
    for (size_t k = 0; k < n; ++k)
      static_cast<char*>(buffer)[k] = static_cast<char>((offset + k) % 251);
    return n;
  }
  int Reads = 0;

 private:
  std::string FName = "counted";
  uint64_t FSize;
};

constexpr size_t kChunk = 100;
constexpr uint64_t kChunks = 300;

TEST(ChunkCache, AWalkInFileOrderReadsEachChunkOnce) {
  TCountingFile file(kChunks * kChunk - 30);
  TChunkCache cache(file, 0, file.Size(), kChunk, false);
  for (uint64_t n = 0; n < kChunks; ++n) {
    const std::string_view chunk = cache.Chunk(n);
    ASSERT_EQ(chunk.size(), n + 1 < kChunks ? kChunk : kChunk - 30);
    EXPECT_EQ(static_cast<unsigned char>(chunk[0]), n * kChunk % 251);
  }
  EXPECT_EQ(file.Reads, static_cast<int>(kChunks));
  // The generation of the lent bytes moves with reads only, never with hits.
  EXPECT_EQ(cache.Loads(), kChunks);
  cache.Chunk(kChunks - 1);
  EXPECT_EQ(cache.Loads(), kChunks);
}

TEST(ChunkCache, AScatteredWalkReadsEachChunkAboutOnce) {
  // Three walks in random orders, as a sorted walk or a grid jumping around
  // visits a file: the slots grow early enough that few chunks are read again.
  TCountingFile file(kChunks * kChunk);
  TChunkCache cache(file, 0, file.Size(), kChunk, false);
  std::vector<uint64_t> order(kChunks);
  std::iota(order.begin(), order.end(), 0);
  std::mt19937 random(5);
  for (int walk = 0; walk < 3; ++walk) {
    std::shuffle(order.begin(), order.end(), random);
    for (const uint64_t n : order)
      ASSERT_EQ(static_cast<unsigned char>(cache.Chunk(n)[7]), (n * kChunk + 7) % 251);
  }
  EXPECT_LE(file.Reads, static_cast<int>(kChunks + kChunks / 4));
}

TEST(ChunkCache, AScatteredWalkOfAFileLargerThanTheCacheReadsWhatItNeeds) {
  TCountingFile file(kChunks * kChunk);
  TChunkCache cache(file, 0, file.Size(), kChunk, false, 8 * kChunk);
  std::vector<uint64_t> order(kChunks);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(9));
  int alone = 0;
  for (const uint64_t n : order) {
    const uint64_t loads = cache.Loads();
    if (!cache.IsFull(n)) {
      ASSERT_EQ(static_cast<unsigned char>(cache.Chunk(n)[7]), (n * kChunk + 7) % 251);
      continue;
    }
    ++alone;
    const std::string_view bytes = cache.ReadAlone(n * kChunk + 7, 3);
    ASSERT_EQ(bytes.size(), 3u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[2]), (n * kChunk + 9) % 251);
    EXPECT_EQ(cache.Loads(), loads + 1) << "a new generation of lent bytes";
  }
  EXPECT_GT(alone, static_cast<int>(kChunks / 2));
  EXPECT_EQ(cache.ReadAlone(kChunks * kChunk - 2, 10).size(), 2u) << "short at the end";
}

TEST(ChunkCache, ChunksPastTheEndAreEmptyAmongTheOthers) {
  // Damaged memo pointers ask for chunks the file does not have: they take
  // frames beyond those the file's own chunks need, and no chunk is mixed up.
  TCountingFile file(kChunks * kChunk);
  TChunkCache cache(file, 0, file.Size(), kChunk, false);
  std::vector<uint64_t> order(2 * kChunks);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(3));
  for (int walk = 0; walk < 2; ++walk) {
    for (const uint64_t n : order) {
      const std::string_view chunk = cache.Chunk(n);
      if (n >= kChunks) {
        ASSERT_TRUE(chunk.empty()) << n;
      } else {
        ASSERT_EQ(static_cast<unsigned char>(chunk[kChunk - 1]), (n * kChunk + kChunk - 1) % 251);
      }
    }
  }
}

}  // namespace
}  // namespace lumbra::test
