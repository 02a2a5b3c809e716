#include "dbf/cursor.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>
#include <vector>

#include "tests/support/dbf_builder.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

using namespace lumbra::test;

// A table of 300 records with deleted ones alone, in runs, at both ends and
// in a long run, so that answers cross every kind of gap.
class CursorTest : public testing::Test {
 protected:
  void SetUp() override {
    TTableShape spec;
    spec.Version = 0x03;
    spec.Fields = {{"N", 'N', 4, 0}};
    for (int i = 0; i < 300; ++i)
      spec.Rows.push_back({Int(i)});
    std::set<size_t> deleted = {0, 1, 7, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 99, 298, 299};
    for (size_t i = 150; i < 220; ++i)
      deleted.insert(i);
    spec.DeletedRows = deleted;
    for (uint32_t i = 0; i < 300; ++i) {
      if (deleted.count(i) == 0) FLive.push_back(i);
    }
    FTable = TDbfTable::Open(WriteTable(FFolder.Path(), "t", spec).string());
  }

  TTempFolder FFolder;
  std::unique_ptr<TDbfTable> FTable;
  std::vector<uint32_t> FLive;
};

// A walk forward, one backward, and random jumps, each after the deletion
// flags were read only as far as the walk had come, all answer the live
// record at each position.
TEST_F(CursorTest, RecordAtAnswersEveryPositionInAnyOrder) {
  const auto live = static_cast<uint32_t>(FLive.size());
  {
    TDbfCursor cursor(*FTable);
    uint32_t position = 0;
    for (; cursor.Reaches(position); ++position)
      ASSERT_EQ(cursor.RecordAt(position), FLive[position]) << position;
    EXPECT_EQ(position, live);
    for (uint32_t p = live; p-- > 0;)
      ASSERT_EQ(cursor.RecordAt(p), FLive[p]) << p;
  }
  TDbfCursor cursor(*FTable);
  std::mt19937 random(5);
  for (int i = 0; i < 2000; ++i) {
    // Mostly steps of one or two, now and then a jump either way.
    const uint32_t position = i % 5 == 0
                                  ? static_cast<uint32_t>(random() % live)
                                  : std::min<uint32_t>(live - 1, static_cast<uint32_t>(i) / 7);
    ASSERT_TRUE(cursor.Reaches(position));
    ASSERT_EQ(cursor.RecordAt(position), FLive[position]) << position;
  }
  EXPECT_EQ(cursor.Count(), live);
}

}  // namespace
}  // namespace lumbra
