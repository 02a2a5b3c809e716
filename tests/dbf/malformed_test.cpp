// Damaged and odd tables: what the engine refuses, with which message, and
// what it still shows. Each case breaks a good built table at an offset of
// the header layout in dbf/FORMAT.md section 2.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbf/dbf_error.h"
#include "dbf/file_io.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/read_back.h"

namespace lumbra::test {
namespace {

// dBase III, NAME C(3), three records "abc", "def", "ghi".
TTableShape ThreeRecords() {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"NAME", 'C', 3}};
  spec.Rows = {{Text("abc")}, {Text("def")}, {Text("ghi")}};
  return spec;
}
constexpr size_t kHeaderLength = 65;  // 32 + one descriptor + the terminator

std::string Good() {
  return BuildTableBytes(ThreeRecords()).Table;
}

// The message of the error that opening bytes as "mem.dbf" raises.
std::string OpenError(const std::string& bytes) {
  try {
    OpenBytes(bytes);
  } catch (const EDbfError& e) {
    return e.Message();
  }
  return "(opened)";
}

TEST(Malformed, RejectsFilesThatHoldNoHeader) {
  struct TCase {
    const char* Name;
    std::string Bytes;
    const char* Message;
  };
  std::string shortHeaderLength = Good();
  PutLe16(shortHeaderLength, 8, 32);
  std::string zeroRecordLength = Good();
  PutLe16(zeroRecordLength, 10, 0);
  std::string headerPastTheEnd = Good();
  PutLe16(headerPastTheEnd, 8, 4000);
  const TCase cases[] = {
      {"empty file", "", "Table 'mem.dbf': not a table: the file is empty"},
      {"truncated header", Good().substr(0, 20),
       "Table 'mem.dbf': truncated header: the file has 20 bytes, fewer than the 32 of a table "
       "header"},
      {"header length below 33", shortHeaderLength,
       "Table 'mem.dbf': invalid header length 32 (at least 33 expected)"},
      {"record length 0", zeroRecordLength, "Table 'mem.dbf': invalid record length 0"},
      {"header length past the end", headerPastTheEnd,
       "Table 'mem.dbf': truncated header: the header length is 4000 bytes but the file has only "
       "78"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(OpenError(c.Bytes), c.Message) << c.Name;
}

TEST(Malformed, RejectsDescriptorsWithoutTerminator) {
  TTableShape spec = ThreeRecords();
  spec.Fields.push_back({"MORE", 'C', 1});
  for (auto& row : spec.Rows)
    row.push_back(Text("x"));
  std::string bytes = BuildTableBytes(spec).Table;
  // The header length now ends inside the second descriptor.
  PutLe16(bytes, 8, 80);
  EXPECT_EQ(OpenError(bytes),
            "Table 'mem.dbf': field descriptors without their terminator (no 0x0D before byte "
            "80)");
}

TEST(Malformed, RejectsDescriptorWithAnUnprintableType) {
  std::string bytes = Good();
  bytes[32 + 11] = 0x01;
  EXPECT_EQ(OpenError(bytes), "Table 'mem.dbf': field descriptor 1 has an invalid type byte 0x01");
}

TEST(Malformed, RejectsRecordLengthShorterThanTheFields) {
  std::string bytes = Good();
  PutLe16(bytes, 10, 3);
  EXPECT_EQ(OpenError(bytes),
            "Table 'mem.dbf': record length 3 disagrees with the fields (1 + their widths = 4 "
            "bytes)");
}

TEST(Malformed, RejectsUnknownVersionByNameWhenItsLayoutFails) {
  std::string bytes = Good();
  bytes[0] = static_cast<char>(0x99);
  PutLe16(bytes, 10, 3);
  EXPECT_EQ(OpenError(bytes),
            "Table 'mem.dbf': not a dBase or FoxPro table: unknown version byte 0x99 (record "
            "length 3 disagrees with the fields (1 + their widths = 4 bytes))");
}

TEST(Malformed, AcceptsUnknownVersionWhoseLayoutValidates) {
  std::string bytes = Good();
  bytes[0] = static_cast<char>(0x99);
  const auto table = OpenBytes(bytes);
  EXPECT_EQ(table->Header().Format, TDbfFormat::dBase3);
  EXPECT_EQ(ShowColumn(*table, 0), (std::vector<std::string>{"'abc'", "'def'", "'ghi'"}));
}

TEST(Malformed, RejectsEncryptedDBaseTable) {
  std::string bytes = Good();
  bytes[15] = 0x01;
  EXPECT_EQ(OpenError(bytes), "Table 'mem.dbf': the records are encrypted and cannot be read");
}

TEST(Malformed, IgnoresByte15OfVisualFoxProTables) {
  TTableShape spec = ThreeRecords();
  spec.Version = 0x30;
  std::string bytes = BuildTableBytes(spec).Table;
  bytes[15] = 0x01;
  EXPECT_EQ(OpenBytes(bytes)->RecordCount(), 3u);
}

TEST(Malformed, ShowsTheCompleteRecordsOfATruncatedFile) {
  std::string bytes = Good();
  // Two whole records and half of the third.
  bytes.resize(kHeaderLength + 2 * 4 + 2);
  const auto table = OpenBytes(bytes);
  EXPECT_EQ(table->RecordCount(), 2u);
  EXPECT_TRUE(table->IsTruncated());
  EXPECT_EQ(ShowColumn(*table, 0), (std::vector<std::string>{"'abc'", "'def'"}));
}

TEST(Malformed, HugeClaimedRecordCountAllocatesNothing) {
  std::string bytes = Good();
  PutLe32(bytes, 4, 0xFFFFFFFF);
  const auto table = OpenBytes(bytes);
  EXPECT_EQ(table->RecordCount(), 3u);
  EXPECT_TRUE(table->IsTruncated());
}

TEST(Malformed, ShowsOnlyTheClaimedRecordsWhenMoreFollow) {
  std::string bytes = Good();
  PutLe32(bytes, 4, 2);
  const auto table = OpenBytes(bytes);
  EXPECT_EQ(table->RecordCount(), 2u);
  EXPECT_FALSE(table->IsTruncated());
}

TEST(Malformed, EndOfFileMarkerIsOptionalAndNeverData) {
  TTableShape spec = ThreeRecords();
  spec.EndOfFileMarker = false;
  EXPECT_EQ(OpenBuilt(spec)->RecordCount(), 3u);
  // Garbage after the marker, shorter than a record, is no record either.
  EXPECT_EQ(OpenBytes(Good() + "zz")->RecordCount(), 3u);
}

TEST(Malformed, OnlyAnAsteriskMarksARecordDeleted) {
  std::string bytes = Good();
  bytes[kHeaderLength] = '\0';     // a third-party writer's live flag
  bytes[kHeaderLength + 4] = '*';  // deleted
  bytes[kHeaderLength + 8] = 'D';  // anything else is live
  const auto table = OpenBytes(bytes);
  EXPECT_FALSE(TDbfTable::IsDeleted(table->RecordAt(0)));
  EXPECT_TRUE(TDbfTable::IsDeleted(table->RecordAt(1)));
  EXPECT_FALSE(TDbfTable::IsDeleted(table->RecordAt(2)));
}

TEST(Malformed, FileShortenedAfterOpeningFailsTheReadNotTheProcess) {
  auto file = std::make_unique<MemoryFileIo>("mem.dbf", Good());
  MemoryFileIo& bytes = *file;
  TDbfTable table(std::move(file), nullptr);
  bytes.Bytes().resize(kHeaderLength + 4);
  EXPECT_THROW(table.RecordAt(2), EDbfError);
}

// Any single damaged byte of a header or memo header is refused with an
// EDbfError or opens into values that all decode; nothing else may happen.
TEST(Malformed, NoDamagedHeaderByteCrashesOpeningOrDecoding) {
  TTableShape spec;
  spec.Version = 0x32;
  spec.Fields = {{"NAME", 'C', 4},      {"NOTE", 'V', 6, 0, kFlagNullable},
                 {"AMOUNT", 'N', 6, 2}, {"DAY", 'D', 8},
                 {"WHEN", 'T', 8},      {"MEMO", 'M', 4}};
  spec.Rows = {{Text("ab"), Text("xy"), Dbl(1.5), Date(2024, 1, 2), DateTime(2024, 1, 2, 3, 4, 5),
                Memo("text")},
               {Null(), Null(), Null(), Null(), Null(), Memo("")}};
  const TBuiltTable good = BuildTableBytes(spec);
  auto exercise = [](const std::string& table, const std::string& memo) {
    try {
      TDbfTable t(std::make_unique<MemoryFileIo>("mem.dbf", table),
                  std::make_unique<MemoryFileIo>("mem.fpt", memo));
      Variant value;
      for (uint32_t r = 0; r < t.RecordCount(); ++r) {
        for (size_t f = 0; f < t.Fields().size(); ++f)
          t.DecodeField(t.RecordAt(r), f, value);
      }
    } catch (const EDbfError&) {
    }
  };
  const size_t headerLength = 32 + 7 * 32 + 1 + 263;
  for (const char damage : {'\x00', '\xFF', '\x0D', '\x80'}) {
    for (size_t at = 0; at < headerLength + 8; ++at) {
      std::string table = good.Table;
      table[at] = damage;
      exercise(table, good.Memo);
    }
    for (size_t at = 0; at < 8; ++at) {
      std::string memo = good.Memo;
      memo[at] = damage;
      memo[512 + at] = damage;
      exercise(good.Table, memo);
    }
  }
}

}  // namespace
}  // namespace lumbra::test
