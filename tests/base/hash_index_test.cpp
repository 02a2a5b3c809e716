#include "base/hash_index.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumbra {
namespace {

// Hashes chosen to collide and to crowd the table's end, where probes wrap
// around to its start; the table is checked against the list it indexes.
TEST(HashIndex, FindsEveryReferenceThroughCollisionsGrowthAndWrapAround) {
  THashIndex index;
  std::vector<uint32_t> hashes;
  const auto find = [&](uint32_t reference) {
    return index.Find(hashes[reference], [reference](uint32_t r) { return r == reference; });
  };
  for (uint32_t i = 0; i < 5000; ++i) {
    const uint32_t hash = i % 3 == 0 ? 0xFFFFFFFFu - i % 7 : i % 3 == 1 ? 42u : i * 2654435761u;
    hashes.push_back(hash);
    ASSERT_EQ(find(i), THashIndex::kNone);
    index.Insert(hash, i);
  }
  EXPECT_EQ(index.Count(), 5000u);
  for (uint32_t i = 0; i < 5000; ++i)
    ASSERT_EQ(find(i), i);
  EXPECT_EQ(index.Peek(hashes[2]), 2u);  // alone at its home slot
  EXPECT_EQ(index.Find(7, [](uint32_t) { return true; }), THashIndex::kNone);

  index.Clear();
  EXPECT_EQ(index.Count(), 0u);
  EXPECT_EQ(find(1), THashIndex::kNone);
  index.Insert(42, 1);
  EXPECT_EQ(find(1), 1u);
}

}  // namespace
}  // namespace lumbra
