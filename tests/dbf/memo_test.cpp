// Memo values from .fpt and both .dbt styles, bad pointers, and tables whose
// memo file is missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dbf/file_io.h"
#include "dbf/table.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/read_back.h"
#include "tests/support/test_files.h"

namespace lumbra::test {
namespace {

using TValues = std::vector<std::string>;

std::unique_ptr<TDbfTable> OpenWithMemo(const std::string& table, const std::string& memo) {
  return std::make_unique<TDbfTable>(std::make_unique<MemoryFileIo>("mem.dbf", table),
                                     std::make_unique<MemoryFileIo>("mem.memo", memo));
}

// A text longer than one block of any size used here.
const std::string kLong = [] {
  std::string text;
  for (int i = 0; i < 120; ++i)
    text += "line " + std::to_string(i) + "\r\n";
  return text;
}();

TTableShape OneMemo(uint8_t version, uint8_t width, std::vector<TCell> memos) {
  TTableShape spec;
  spec.Version = version;
  spec.Fields = {{"NAME", 'C', 2}, {"NOTES", 'M', width}};
  for (TCell& m : memos)
    spec.Rows.push_back({Text("x"), std::move(m)});
  return spec;
}

TEST(FptMemo, ReadsTextInEveryBlockSize) {
  for (const int blockSize : {64, 100, 512, 1}) {
    SCOPED_TRACE(blockSize);
    TTableShape spec = OneMemo(0x30, 4, {Memo("hello"), Memo(kLong), Memo(""), Memo("last")});
    spec.MemoBlockSize = static_cast<uint16_t>(blockSize);
    const auto table = OpenBuilt(spec);
    EXPECT_EQ(table->Header().TableFlags & 0x02, 0x02);
    EXPECT_EQ(ShowColumn(*table, 1), (TValues{"'hello'", "'" + kLong + "'", "''", "'last'"}));
  }
}

TEST(FptMemo, GeneralAndBinaryMemosGiveBytes) {
  TTableShape spec;
  spec.Fields = {{"PICTURE", 'G', 4}, {"DATA", 'M', 4, 0, kFlagBinary}, {"BLOB", 'W', 4}};
  spec.Rows = {{Memo("\x01\x02"), Memo("\xBA\x1A"), Memo("z")}};
  const auto table = OpenBuilt(spec);
  EXPECT_EQ(ShowColumn(*table, 0), TValues{"bytes 0102"});
  EXPECT_EQ(ShowColumn(*table, 1), TValues{"bytes ba1a"});
  EXPECT_EQ(ShowColumn(*table, 2), TValues{"bytes 7a"});
}

TEST(FptMemo, FoxPro2UsesTenWideAsciiPointers) {
  const auto table = OpenBuilt(OneMemo(0xF5, 10, {Memo("first"), Memo(""), Memo("third")}));
  EXPECT_EQ(ShowColumn(*table, 1), (TValues{"'first'", "''", "'third'"}));
}

TEST(FptMemo, NullOnlyThroughNullFlags) {
  TTableShape spec;
  spec.Fields = {{"NOTES", 'M', 4, 0, kFlagNullable}};
  spec.Rows = {{Null()}, {Memo("")}, {Memo("text")}};
  EXPECT_EQ(ShowColumn(*OpenBuilt(spec), 0), (TValues{"null", "''", "'text'"}));
}

TEST(DbtMemo, Level3MemoRunsToTheFirstEndMarkerAcrossBlocks) {
  const auto table = OpenBuilt(OneMemo(0x83, 10, {Memo(kLong + kLong), Memo(""), Memo("b")}));
  EXPECT_EQ(ShowColumn(*table, 1), (TValues{"'" + kLong + kLong + "'", "''", "'b'"}));
}

TEST(DbtMemo, Level4LengthCountsItsBlockHeader) {
  for (const int blockSize : {512, 1024}) {
    SCOPED_TRACE(blockSize);
    // A length, not an end marker, bounds a level-4 memo: 0x1A may be inside.
    TTableShape spec = OneMemo(0x8B, 10,
                               {Memo("a\x1A"
                                     "b"),
                                Memo(kLong), Memo("")});
    spec.MemoBlockSize = static_cast<uint16_t>(blockSize);
    const auto table = OpenBuilt(spec);
    EXPECT_EQ(ShowColumn(*table, 1), (TValues{"'a\x1A"
                                              "b'",
                                              "'" + kLong + "'", "''"}));
  }
}

TEST(DbtMemo, Level4BlocksAreReadWhateverTheVersionByteSays) {
  TTableShape spec = OneMemo(0x83, 10, {Memo("signed block")});
  spec.MemoStyle = TMemoStyle::DbtLevel4;
  EXPECT_EQ(ShowColumn(*OpenBuilt(spec), 1), TValues{"'signed block'"});
}

TEST(DbtMemo, Level7TableReadsLevel4Memos) {
  TTableShape spec = OneMemo(0x8C, 10, {Memo("seven")});
  EXPECT_EQ(ShowColumn(*OpenBuilt(spec), 1), TValues{"'seven'"});
}

// Memos are read through cached chunks of the memo file: memos across two
// chunks, memos longer than a chunk, and memos read in any order (which makes
// the cache grow) come out whole.
TEST(MemoWindow, LongMemosAndAnyReadingOrder) {
  std::string huge;
  while (huge.size() < 200'000)
    huge += kLong;
  for (const uint8_t version : {uint8_t{0x30}, uint8_t{0x83}, uint8_t{0x8B}}) {
    SCOPED_TRACE(version);
    std::vector<TCell> memos;
    TValues expected;
    for (int i = 0; i < 400; ++i) {
      const std::string text = i == 200 ? huge : "memo " + std::to_string(i) + kLong;
      memos.push_back(Memo(text));
      expected.push_back("'" + text + "'");
    }
    memos.push_back(Memo(huge));  // the last memo of the file, running to its end
    expected.push_back("'" + huge + "'");
    const auto table = OpenBuilt(OneMemo(version, version == 0x30 ? 4 : 10, std::move(memos)));
    EXPECT_EQ(ShowColumn(*table, 1), expected);
    Variant value;
    for (uint32_t i = table->RecordCount(); i-- > 0;) {
      table->DecodeField(table->RecordAt(i), 1, value);
      ASSERT_EQ("'" + value.Text() + "'", expected[i]) << i;
    }
  }
}

// Records read in a scattered order (a sorted walk, the grid jumping) come
// from small reads; a walk in file order from large ones. Both give the bytes
// of the record asked for.
TEST(RecordReads, ScatteredAndInOrderReadsGiveTheSameRecords) {
  TTableShape spec;
  spec.Fields = {{"ID", 'C', 6}, {"PAD", 'C', 200}};
  constexpr int kRecords = 3000;  // several 64 KiB chunks
  for (int i = 0; i < kRecords; ++i)
    spec.Rows.push_back(
        {Text(std::to_string(i)), Text(std::string(200, static_cast<char>('a' + i % 26)))});
  const auto table = OpenBuilt(spec);
  const auto idAt = [&table](uint32_t index) {
    return std::string(reinterpret_cast<const char*>(table->RecordAt(index)) + 1, 6);
  };
  const auto expectedId = [](uint32_t index) {
    std::string id = std::to_string(index);
    return id + std::string(6 - id.size(), ' ');
  };
  // A stride that visits every record once, out of order, then backwards,
  // then in order from the middle on.
  for (uint32_t k = 0, index = 0; k < kRecords; ++k, index = (index + 1777) % kRecords)
    ASSERT_EQ(idAt(index), expectedId(index)) << index;
  for (uint32_t index = kRecords; index-- > 0;)
    ASSERT_EQ(idAt(index), expectedId(index)) << index;
  for (uint32_t index = kRecords / 2; index < kRecords; ++index)
    ASSERT_EQ(idAt(index), expectedId(index)) << index;
}

TEST(MemoPointer, AsciiPointerMayBeLeftAlignedOrZeroPadded) {
  const TBuiltTable built = BuildTableBytes(OneMemo(0x83, 10, {Memo("one"), Memo("two")}));
  std::string table = built.Table;
  const size_t record = 32 + 2 * 32 + 1;
  table.replace(record + 3, 10, "1         ");
  table.replace(record + 13 + 3, 10, "0000000002");
  EXPECT_EQ(ShowColumn(*OpenWithMemo(table, built.Memo), 1), (TValues{"'one'", "'two'"}));
}

TEST(MemoPointer, BadPointersAndBlocksGiveNull) {
  TTableShape spec = OneMemo(0x30, 4, {Memo("hello")});
  const TBuiltTable good = BuildTableBytes(spec);
  struct TCase {
    const char* Name;
    std::string Table;
    std::string Memo;
  };
  const size_t at = 32 + 2 * 32 + 1 + 263 + 1 + 2;  // the pointer of record 0
  std::string beyondFile = good.Table;
  PutLe32(beyondFile, at, 1000);
  std::string inHeader = good.Table;
  PutLe32(inHeader, at, 1);  // blocks 0-7 of 64 bytes hold the header
  std::string lengthPastEnd = good.Memo;
  lengthPastEnd[512 + 7] = 100;
  std::string unknownBlockType = good.Memo;
  unknownBlockType[512 + 3] = 7;
  std::string zeroBlockSize = good.Memo;
  zeroBlockSize[6] = zeroBlockSize[7] = 0;
  const TCase cases[] = {
      {"block past the end of the file", beyondFile, good.Memo},
      {"block inside the header", inHeader, good.Memo},
      {"length past the end of the file", good.Table, lengthPastEnd},
      {"block type above 2", good.Table, unknownBlockType},
      {"block size 0", good.Table, zeroBlockSize},
  };
  EXPECT_EQ(ShowColumn(*OpenWithMemo(good.Table, good.Memo), 1), TValues{"'hello'"});
  for (const TCase& c : cases)
    EXPECT_EQ(ShowColumn(*OpenWithMemo(c.Table, c.Memo), 1), TValues{"null"}) << c.Name;
}

TEST(MemoPointer, NonNumericAsciiPointerGivesNull) {
  const TBuiltTable built = BuildTableBytes(OneMemo(0x83, 10, {Memo("one")}));
  std::string table = built.Table;
  table.replace(32 + 2 * 32 + 1 + 3, 10, "      12ab");
  EXPECT_EQ(ShowColumn(*OpenWithMemo(table, built.Memo), 1), TValues{"null"});
}

TEST(MemoFile, MissingMemoFileLeavesTheTableReadable) {
  TTempFolder folder;
  const auto path = WriteTable(folder.Path(), "notes", OneMemo(0x30, 4, {Memo("gone")}));
  std::filesystem::remove(folder.Path() / "notes.fpt");
  const auto table = TDbfTable::Open(path.string());
  EXPECT_TRUE(table->IsMemoMissing());
  EXPECT_EQ(ShowColumn(*table, 0), TValues{"'x '"});
  EXPECT_EQ(ShowColumn(*table, 1), TValues{"null"});
}

TEST(MemoFile, FoundIgnoringLetterCase) {
  TTempFolder folder;
  const auto path = WriteTable(folder.Path(), "notes", OneMemo(0x30, 4, {Memo("found")}));
  std::filesystem::rename(folder.Path() / "notes.fpt", folder.Path() / "NOTES.FPT");
  const auto table = TDbfTable::Open(path.string());
  EXPECT_FALSE(table->IsMemoMissing());
  EXPECT_EQ(ShowColumn(*table, 1), TValues{"'found'"});
}

TEST(MemoFile, DBase3TableMayComeWithAnFpt) {
  // FoxPro writes 0x03 for some tables whose memos live in an .fpt.
  TTableShape spec = OneMemo(0x03, 10, {Memo("fox")});
  spec.MemoStyle = TMemoStyle::Fpt;
  TTempFolder folder;
  const auto table = TDbfTable::Open(WriteTable(folder.Path(), "mixed", spec).string());
  EXPECT_FALSE(table->IsMemoMissing());
  EXPECT_EQ(ShowColumn(*table, 1), TValues{"'fox'"});
}

TEST(MemoFile, TableWithoutMemoFieldsNeedsNone) {
  TTableShape spec;
  spec.Fields = {{"NAME", 'C', 2}};
  TTempFolder folder;
  EXPECT_FALSE(TDbfTable::Open(WriteTable(folder.Path(), "plain", spec).string())->IsMemoMissing());
}

}  // namespace
}  // namespace lumbra::test
