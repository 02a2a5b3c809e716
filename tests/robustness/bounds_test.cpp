// What no input may make the engine do: allocate more than a fixed multiple
// of its files' size (whatever a header or a memo block claims), loop without
// end, or recurse without bound. Each damaged table gives an error naming
// the problem or the part of the table that can be read; each long filter or
// sort text compiles or fails once with a short message. Damaged headers the
// malformed-table tests already refuse are not repeated here.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "analysis/distinct_texts.h"
#include "base/variant.h"
#include "dbf/cursor.h"
#include "dbf/dbf_error.h"
#include "dbf/file_io.h"
#include "dbf/filter_expression.h"
#include "dbf/sort_order.h"
#include "dbf/table.h"
#include "tests/robustness/allocation_probe.h"
#include "tests/robustness/every_format.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/read_back.h"

namespace lumbra::test {
namespace {

// Memory a read may take beyond its input: the engine's fixed windows and
// caches (64 KB each) and the code page tables.
constexpr size_t kFixedBytes = 256 * 1024;
// A value may be held in the file's bytes, as UTF-8 (up to three bytes a
// character) and in the string it grows in.
constexpr size_t kBytesPerInputByte = 4;

struct TOutcome {
  std::string Error;                // empty when the table opened
  std::vector<std::string> Values;  // every field of every record, record by record
  size_t Largest = 0;               // the largest block asked for
};

// Opens table (and memo, when not empty) from memory and reads every value.
TOutcome OpenAndRead(const std::string& table, const std::string& memo = "") {
  TOutcome outcome;
  // The files' own bytes are the input, not what the engine takes.
  auto tableFile = std::make_unique<MemoryFileIo>("mem.dbf", table);
  std::unique_ptr<IFileIo> memoFile;
  if (!memo.empty()) memoFile = std::make_unique<MemoryFileIo>("mem.memo", memo);
  TAllocationProbe probe;
  try {
    TDbfTable t(std::move(tableFile), std::move(memoFile));
    Variant value;
    for (uint32_t r = 0; r < t.RecordCount(); ++r) {
      for (size_t f = 0; f < t.Fields().size(); ++f) {
        t.DecodeField(t.RecordAt(r), f, value);
        outcome.Values.push_back(Show(value));
      }
    }
  } catch (const EDbfError& e) {
    outcome.Error = e.Message();
  }
  outcome.Largest = probe.Largest();
  return outcome;
}

size_t Bound(const std::string& table, const std::string& memo = "") {
  return kBytesPerInputByte * (table.size() + memo.size()) + kFixedBytes;
}

// dBase III, NAME C(3), three records.
std::string ThreeRecords() {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"NAME", 'C', 3}};
  spec.Rows = {{Text("abc")}, {Text("def")}, {Text("ghi")}};
  return BuildTableBytes(spec).Table;
}

// A dBase III header with count one-byte character fields and two records;
// terminated says whether a 0x0D follows the descriptors.
std::string ManyFields(size_t count, bool terminated, uint16_t headerLength) {
  std::string bytes(32, '\0');
  bytes[0] = 0x03;
  PutLe32(bytes, 4, 2);
  PutLe16(bytes, 8, headerLength);
  PutLe16(bytes, 10, static_cast<uint16_t>(count + 1));
  for (size_t i = 0; i < count; ++i) {
    std::string descriptor(32, '\0');
    const std::string name = "F" + std::to_string(i);
    descriptor.replace(0, name.size(), name);
    descriptor[11] = 'C';
    descriptor[16] = 1;
    bytes += descriptor;
  }
  if (terminated) bytes.push_back('\x0D');
  bytes.resize(std::max<size_t>(bytes.size(), headerLength), '\0');
  for (int record = 0; record < 2; ++record)
    bytes += ' ' + std::string(count, 'x');
  return bytes;
}

TEST(Bounds, HeaderClaimsAreHeldToTheFile) {
  std::string fourBillionRecords = ThreeRecords();
  PutLe32(fourBillionRecords, 4, 0xFFFFFFFF);
  std::string widestRecords = fourBillionRecords;
  PutLe16(widestRecords, 10, 0xFFFF);  // longer than the fields: the rest is padding
  std::string widestHeader = ThreeRecords();
  PutLe16(widestHeader, 8, 0xFFFF);
  // 100,000 descriptors: more than a 16-bit header length can hold.
  const std::string tooManyFields = ManyFields(100'000, true, 0xFFFF);
  // The most a header holds: 2046 descriptors and the terminator in 65,505 bytes.
  const std::string mostFields = ManyFields(2046, true, 32 + 2046 * 32 + 1);

  const TOutcome four = OpenAndRead(fourBillionRecords);
  EXPECT_EQ(four.Error, "");
  EXPECT_EQ(four.Values, (std::vector<std::string>{"'abc'", "'def'", "'ghi'"}));
  EXPECT_LE(four.Largest, Bound(fourBillionRecords));

  const TOutcome widest = OpenAndRead(widestRecords);
  EXPECT_EQ(widest.Error, "");
  EXPECT_TRUE(widest.Values.empty()) << "no complete record of 65,535 bytes";
  EXPECT_LE(widest.Largest, Bound(widestRecords));

  const TOutcome header = OpenAndRead(widestHeader);
  EXPECT_EQ(header.Error,
            "Table 'mem.dbf': truncated header: the header length is 65535 bytes but the file "
            "has only 78");
  EXPECT_LE(header.Largest, Bound(widestHeader));

  const TOutcome tooMany = OpenAndRead(tooManyFields);
  EXPECT_EQ(tooMany.Error,
            "Table 'mem.dbf': field descriptors without their terminator (no 0x0D before byte "
            "65535)");
  EXPECT_LE(tooMany.Largest, kFixedBytes) << "only the header's bytes are read";

  const TOutcome most = OpenAndRead(mostFields);
  EXPECT_EQ(most.Error, "");
  EXPECT_EQ(most.Values.size(), 2u * 2046u);
  EXPECT_LE(most.Largest, Bound(mostFields));
}

// Stored lengths of 2 GB, 4 GB and just under 2 GB in blocks of a small
// memo file: .fpt and dBase IV .dbt.
TEST(Bounds, MemoLengthsBeyondTheFileGiveNull) {
  TTableShape fpt;
  fpt.Version = 0x30;
  fpt.Fields = {{"NOTES", 'M', 4}};
  fpt.Rows = {{Memo("hello")}};
  TTableShape dbt4 = fpt;
  dbt4.Version = 0x8B;
  dbt4.Fields = {{"NOTES", 'M', 10}};
  for (const uint32_t length : {0x80000000u, 0xFFFFFFFFu, 0x7FFFFFF8u}) {
    SCOPED_TRACE(length);
    TBuiltTable foxPro = BuildTableBytes(fpt);
    for (int i = 0; i < 4; ++i)  // big-endian, after the block type
      foxPro.Memo[512 + 4 + i] = static_cast<char>((length >> (24 - 8 * i)) & 0xFF);
    const TOutcome f = OpenAndRead(foxPro.Table, foxPro.Memo);
    EXPECT_EQ(f.Values, std::vector<std::string>{"null"});
    EXPECT_LE(f.Largest, Bound(foxPro.Table, foxPro.Memo));

    TBuiltTable dBase = BuildTableBytes(dbt4);
    PutLe32(dBase.Memo, 512 + 4, length);  // after the FF FF 08 00 signature
    const TOutcome d = OpenAndRead(dBase.Table, dBase.Memo);
    EXPECT_EQ(d.Values, std::vector<std::string>{"null"});
    EXPECT_LE(d.Largest, Bound(dBase.Table, dBase.Memo));
  }
}

TEST(Bounds, MemoPointersBeyondTheFileGiveNull) {
  TTableShape spec;
  spec.Version = 0x30;
  spec.Fields = {{"NOTES", 'M', 4}};
  spec.Rows = {{Memo("hello")}};
  TBuiltTable built = BuildTableBytes(spec);
  const size_t pointerAt = 32 + 32 + 1 + 263 + 1;
  PutLe32(built.Table, pointerAt, 0xFFFFFFFF);
  const TOutcome outcome = OpenAndRead(built.Table, built.Memo);
  EXPECT_EQ(outcome.Values, std::vector<std::string>{"null"});
  EXPECT_LE(outcome.Largest, Bound(built.Table, built.Memo));
}

TEST(Bounds, UnterminatedDBase3MemoRunsToTheEndOfTheFileOnly) {
  TTableShape spec;
  spec.Version = 0x83;
  spec.Fields = {{"NOTES", 'M', 10}};
  spec.Rows = {{Memo(std::string(300'000, 'm'))}};
  TBuiltTable built = BuildTableBytes(spec);
  built.Memo.resize(built.Memo.size() - 2);  // without its two end markers
  const TOutcome outcome = OpenAndRead(built.Table, built.Memo);
  ASSERT_EQ(outcome.Values.size(), 1u);
  EXPECT_EQ(outcome.Values[0], "'" + std::string(300'000, 'm') + "'");
  EXPECT_LE(outcome.Largest, Bound(built.Table, built.Memo));
}

// A filter's list of records grows with the records it keeps, not with those
// the file has room for; a counter of distinct texts with the texts it meets.
TEST(Bounds, FilterAndDistinctCountersGrowWithWhatTheyMeet) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"N", 'N', 1}};
  spec.Rows.assign(200'000, {Int(1)});
  const auto table = OpenBuilt(spec);
  TFilterExpression filter("N = 2", *table);
  TDbfCursor cursor(*table);
  {
    TAllocationProbe probe;
    ApplyFilter(cursor, filter);
    EXPECT_LE(probe.Largest(), 64u * 1024);  // one chunk of records
  }
  EXPECT_FALSE(cursor.Reaches(0));

  const TCollation& collation = TCollation::ForUser();
  TAllocationProbe probe;
  std::vector<std::unique_ptr<TDistinctTexts>> columns;
  for (int c = 0; c < 100; ++c) {
    columns.push_back(std::make_unique<TDistinctTexts>(collation));
    columns.back()->Add("a text");
    columns.back()->Add("another");
    EXPECT_EQ(columns.back()->Count(), 2);
  }
  EXPECT_LT(probe.Largest(), 16u * 1024);
}

// Texts as long as the filter and sort boxes take.
constexpr size_t kLongestText = 65'535;

std::string Repeated(const std::string& part, const std::string& tail = "") {
  std::string text;
  while (text.size() + part.size() + tail.size() <= kLongestText)
    text += part;
  return text + tail;
}

class LongTexts : public ::testing::Test {
 protected:
  LongTexts() : FTable(OpenBuilt(QueryTable())) {}

  // The records the filter keeps, or its error; the largest block asked for
  // along the way goes to largest.
  std::string Filter(const std::string& text, size_t& largest) {
    TAllocationProbe probe;
    std::string result;
    try {
      TFilterExpression filter(text, *FTable);
      TDbfCursor cursor(*FTable);
      ApplyFilter(cursor, filter);
      result = std::to_string(cursor.Count()) + " records";
    } catch (const EDbfError& e) {
      result = e.Message();
    }
    largest = probe.Largest();
    return result;
  }
  std::string Sort(const std::string& text, size_t& largest) {
    TAllocationProbe probe;
    std::string result;
    try {
      const std::vector<TSortKey> keys = ParseSortText(text, *FTable);
      TDbfCursor cursor(*FTable);
      ApplySort(cursor, keys);
      result = std::to_string(keys.size()) + " keys";
    } catch (const EDbfError& e) {
      result = e.Message();
    }
    largest = probe.Largest();
    return result;
  }

  std::unique_ptr<TDbfTable> FTable;
};

TEST_F(LongTexts, FiltersOf65535CharactersCompileOrFailOnce) {
  struct TCase {
    const char* Name;
    std::string Text;
    std::string Result;
  };
  const std::string depth = "parentheses and NOTs nest more than " +
                            std::to_string(TFilterExpression::kMaxDepth) + " deep";
  const TCase cases[] = {
      {"open parentheses", std::string(kLongestText, '('),
       "Filter error at position 201: " + depth},
      {"nested NOTs", Repeated("NOT ", "ID = 1"), "Filter error at position 801: " + depth},
      {"nested parentheses",
       std::string(kLongestText / 2, '(') + "ID = 1" + std::string(kLongestText / 2 - 6, ')'),
       "Filter error at position 201: " + depth},
      {"OR chain", Repeated("ID = 1 OR ", "ID = 2"), "2 records"},
      {"AND chain of LIKEs", Repeated("NUME LIKE '%a%' AND ", "ID > 0"), "2 records"},
      {"long text", "NUME = '" + std::string(kLongestText - 9, 'x') + "'", "0 records"},
      {"long pattern", "NUME LIKE '" + std::string(kLongestText - 12, '%') + "'", "4 records"},
      {"long name", std::string(kLongestText, 'x'),
       "Filter error at position 1: unknown column '" + std::string(40, 'x') + "...'"},
  };
  for (const TCase& c : cases) {
    ASSERT_LE(c.Text.size(), kLongestText) << c.Name;
    size_t largest = 0;
    EXPECT_EQ(Filter(c.Text, largest), c.Result) << c.Name;
    // Parse trees and answers stay within a small multiple of the text.
    EXPECT_LE(largest, 64 * c.Text.size()) << c.Name;
  }
}

TEST_F(LongTexts, SortsOf65535CharactersParseOrFailOnce) {
  struct TCase {
    const char* Name;
    std::string Text;
    std::string Result;
  };
  const TCase cases[] = {
      {"one column named again and again", Repeated("NUME DESC, ", "ID"), "2 keys"},
      {"open brackets", std::string(kLongestText, '['),
       "Sort error at position 1: the column name in brackets that starts here has no closing "
       "']'"},
      {"commas", std::string(kLongestText, ','),
       "Sort error at position 1: a column name is missing"},
      {"long name", std::string(kLongestText, 'x'),
       "Sort error at position 1: unknown column '" + std::string(40, 'x') + "...'"},
  };
  for (const TCase& c : cases) {
    ASSERT_LE(c.Text.size(), kLongestText) << c.Name;
    size_t largest = 0;
    EXPECT_EQ(Sort(c.Text, largest), c.Result) << c.Name;
    EXPECT_LE(largest, 64 * c.Text.size()) << c.Name;
  }
}

}  // namespace
}  // namespace lumbra::test
