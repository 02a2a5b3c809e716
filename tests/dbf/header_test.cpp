// The table header and field descriptors of every layout the engine reads.
#include "dbf/header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/dbf_builder.h"
#include "tests/support/read_back.h"

namespace lumbra::test {
namespace {

TDbfHeader Decode(const std::string& bytes) {
  return DecodeHeader(bytes, bytes.size());
}

TDbfHeader Decode(const TTableShape& spec) {
  return Decode(BuildTableBytes(spec).Table);
}

TEST(Header, VersionByteNamesTheFamilyAndTheMemoFile) {
  struct TCase {
    uint8_t Version;
    char MemoWidth;  // width of the memo field the table is given
    TDbfFormat Format;
    TMemoFormat Memo;
    bool DbtLevel4;
  };
  const TCase cases[] = {
      {0x03, 0, TDbfFormat::dBase3, TMemoFormat::None, false},
      {0x83, 10, TDbfFormat::dBase3, TMemoFormat::Dbt, false},
      {0x8B, 10, TDbfFormat::dBase4, TMemoFormat::Dbt, true},
      {0xF5, 10, TDbfFormat::FoxPro, TMemoFormat::Fpt, false},
      {0x30, 4, TDbfFormat::VisualFoxPro, TMemoFormat::Fpt, false},
      {0x31, 4, TDbfFormat::VisualFoxPro, TMemoFormat::Fpt, false},
      {0x32, 4, TDbfFormat::VisualFoxPro, TMemoFormat::Fpt, false},
      {0x04, 0, TDbfFormat::dBase7, TMemoFormat::None, false},
      {0x8C, 10, TDbfFormat::dBase7, TMemoFormat::Dbt, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "version 0x" << std::hex << int{c.Version});
    TTableShape spec;
    spec.Version = c.Version;
    spec.Fields = {{"NAME", 'C', 5}};
    if (c.MemoWidth != 0) spec.Fields.push_back({"NOTES", 'M', static_cast<uint8_t>(c.MemoWidth)});
    const TDbfHeader h = Decode(spec);
    EXPECT_EQ(h.Version, c.Version);
    EXPECT_EQ(h.Format, c.Format);
    EXPECT_EQ(h.PreferredMemoFormat(), c.Memo);
    if (c.Memo == TMemoFormat::Dbt) {
      EXPECT_EQ(h.DbtIsLevel4(), c.DbtLevel4);
    }
  }
}

TEST(Header, ReadsCountsLengthsFlagsAndCodePageMark) {
  TTableShape spec;
  spec.CodePageMark = 0xC8;
  spec.TableFlags = 0x01;
  spec.Fields = {{"NAME", 'C', 10}, {"AMOUNT", 'N', 8, 2}, {"NOTES", 'M', 4}};
  spec.Rows = {{Text("a"), Int(1), Memo("")}, {Text("b"), Int(2), Memo("")}};
  const TDbfHeader h = Decode(spec);
  EXPECT_EQ(h.RecordCount, 2u);
  EXPECT_EQ(h.HeaderLength, 32u + 3 * 32 + 1 + 263);
  EXPECT_EQ(h.RecordLength, 1u + 10 + 8 + 4);
  EXPECT_EQ(h.TableFlags, 0x03);  // the memo bit joins the index bit
  EXPECT_EQ(h.CodePageMark, 0xC8);
  EXPECT_EQ(h.UpdateYear, 24);
  EXPECT_EQ(h.UpdateMonth, 1);
  EXPECT_EQ(h.UpdateDay, 15);
  ASSERT_EQ(h.Fields.size(), 3u);
  EXPECT_EQ(h.Fields[1].Type, 'N');
  EXPECT_EQ(h.Fields[1].Length, 8u);
  EXPECT_EQ(h.Fields[1].Decimals, 2);
}

TEST(Header, FieldOffsetsAreRunningSumsNotTheStoredDisplacement) {
  TTableShape spec;
  spec.Fields = {{"A", 'C', 3}, {"B", 'C', 5}, {"C", 'N', 4}};
  std::string bytes = BuildTableBytes(spec).Table;
  // A third-party writer's displacements: 0 and 10 where 1 and 4 belong.
  PutLe32(bytes, 32 + 12, 0);
  PutLe32(bytes, 64 + 12, 10);
  PutLe32(bytes, 96 + 12, 1242824707);
  const TDbfHeader h = Decode(bytes);
  EXPECT_EQ(h.Fields[0].Offset, 1u);
  EXPECT_EQ(h.Fields[1].Offset, 4u);
  EXPECT_EQ(h.Fields[2].Offset, 9u);
}

TEST(Header, FieldNameEndsAtItsFirstNulAndLosesTrailingBlanks) {
  struct TCase {
    const char* Name;
    std::string Stored;  // the 11 name bytes
    std::string Expected;
  };
  const TCase cases[] = {
      {"NUL-padded", std::string("NAME\0\0\0\0\0\0\0", 11), "NAME"},
      {"remains of an older name", std::string("K_VORZ\0ILE\0", 11), "K_VORZ"},
      {"all eleven bytes", "ABCDEFGHIJK", "ABCDEFGHIJK"},
      {"blank-padded", std::string("PAD   \0\0\0\0\0", 11), "PAD"},
      {"mixed case", std::string("Point_ID\0\0\0", 11), "Point_ID"},
  };
  for (const TCase& c : cases) {
    TTableShape spec;
    spec.Version = 0x03;
    spec.Fields = {{"X", 'C', 1}};
    std::string bytes = BuildTableBytes(spec).Table;
    bytes.replace(32, 11, c.Stored);
    EXPECT_EQ(Decode(bytes).Fields[0].RawName, c.Expected) << c.Name;
  }
}

TEST(Header, VisualFoxProFieldFlagsAndBacklink) {
  TTableShape spec;
  spec.Version = 0x31;
  spec.Backlink = "northwind.dbc";
  spec.Fields = {{"ID", 'I', 4, 0, kFlagAutoIncrement},
                 {"CODE", 'C', 4, 0, kFlagBinary},
                 {"NAME", 'C', 10, 0, kFlagNullable}};
  const TDbfHeader h = Decode(spec);
  EXPECT_EQ(h.Backlink, "northwind.dbc");
  ASSERT_EQ(h.Fields.size(), 4u);
  EXPECT_TRUE(h.Fields[0].IsAutoIncrement());
  EXPECT_FALSE(h.Fields[0].IsNullable());
  EXPECT_TRUE(h.Fields[1].IsBinary());
  EXPECT_TRUE(h.Fields[2].IsNullable());
  EXPECT_EQ(h.Fields[3].RawName, "_NullFlags");
  EXPECT_TRUE(h.Fields[3].IsSystem());
  EXPECT_EQ(h.NullFlagsField, 3);
}

// The decoder settles each field's kind once; widths a type never has and
// the two meanings of B are where readers go wrong.
TEST(Header, FieldKindsFromTypeAndWidth) {
  TTableShape spec;
  spec.Version = 0x31;
  spec.Fields = {{"B8", 'B', 8}, {"B10", 'B', 10}, {"I4", 'I', 4}, {"I2", 'I', 2},
                 {"O4", 'O', 4}, {"Q", 'Q', 10},   {"G", 'G', 4},  {"MB", 'M', 4, 0, kFlagBinary},
                 {"Z", 'Z', 3},  {"T8", 'T', 8},   {"V", 'V', 10}};
  const TDbfHeader h = Decode(spec);
  struct TExpected {
    TFieldKind Kind;
    bool Binary;
    bool OddWidth;
  };
  const TExpected expected[] = {
      {TFieldKind::Double, false, false},  {TFieldKind::Memo, true, false},
      {TFieldKind::Integer, false, false}, {TFieldKind::Integer, false, true},
      {TFieldKind::Double, false, true},   {TFieldKind::Varchar, true, false},
      {TFieldKind::Memo, true, false},     {TFieldKind::Memo, true, false},
      {TFieldKind::Unknown, false, false}, {TFieldKind::DateTime, false, false},
      {TFieldKind::Varchar, false, false},
  };
  for (size_t i = 0; i < std::size(expected); ++i) {
    const TDbfField& f = h.Fields[i];
    EXPECT_EQ(f.Kind, expected[i].Kind) << f.RawName;
    EXPECT_EQ(f.Binary, expected[i].Binary) << f.RawName;
    EXPECT_EQ(f.OddWidth, expected[i].OddWidth) << f.RawName;
  }
  EXPECT_TRUE(h.Fields[4].Sortable7) << "O is stored sortable in every format";
  EXPECT_FALSE(h.Fields[2].Sortable7);
  EXPECT_EQ(h.Fields.back().Kind, TFieldKind::NullFlags);
}

TEST(Header, FreeVisualFoxProTableHasNoBacklink) {
  TTableShape spec;
  spec.Fields = {{"A", 'C', 1}};
  EXPECT_EQ(Decode(spec).Backlink, "");
}

TEST(Header, TableWithoutFieldsIsLegal) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Rows = {{}};
  const std::string bytes = BuildTableBytes(spec).Table;
  const TDbfHeader h = Decode(bytes);
  EXPECT_EQ(h.HeaderLength, 33u);
  EXPECT_EQ(h.RecordLength, 1u);
  EXPECT_TRUE(h.Fields.empty());
  EXPECT_EQ(OpenBytes(bytes)->RecordCount(), 1u);
}

TEST(Header, RecordsStartAtTheHeaderLengthWhateverLiesBefore) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"NAME", 'C', 3}};
  spec.Rows = {{Text("abc")}};
  std::string bytes = BuildTableBytes(spec).Table;
  // 16 bytes of a writer's own between the terminator and the records.
  bytes.insert(65, std::string(16, '\x55'));
  PutLe16(bytes, 8, 65 + 16);
  const auto table = OpenBytes(bytes);
  ASSERT_EQ(table->Fields().size(), 1u);
  EXPECT_EQ(ShowColumn(*table, 0), std::vector<std::string>{"'abc'"});
}

TEST(Header, DescriptorsMayRunUpToTheHeaderLengthWithoutTerminator) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"NAME", 'C', 3}};
  spec.Rows = {{Text("abc")}};
  std::string bytes = BuildTableBytes(spec).Table;
  bytes.erase(64, 1);
  PutLe16(bytes, 8, 64);
  EXPECT_EQ(ShowColumn(*OpenBytes(bytes), 0), std::vector<std::string>{"'abc'"});
}

TEST(Header, AnyByteMayStandInTheTerminatorsPlaceWhenOnlyItFits) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"NAME", 'C', 3}};
  spec.Rows = {{Text("abc")}};
  std::string bytes = BuildTableBytes(spec).Table;
  bytes[64] = ' ';
  EXPECT_EQ(ShowColumn(*OpenBytes(bytes), 0), std::vector<std::string>{"'abc'"});
}

TEST(Header, ClipperWideCharacterFieldKeepsItsHighByteInTheDecimals) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"LONG", 'C', 44, 1}, {"N", 'N', 2}};  // 44 + 256 = 300 bytes
  std::string bytes = BuildTableBytes(spec).Table;
  bytes.pop_back();  // the end-of-file marker
  PutLe32(bytes, 4, 1);
  PutLe16(bytes, 10, 1 + 300 + 2);
  bytes += " " + std::string(299, 'x') + "y" + "42";
  const auto table = OpenBytes(bytes);
  EXPECT_EQ(table->Fields()[0].Length, 300u);
  EXPECT_EQ(table->Fields()[0].Decimals, 0);
  EXPECT_EQ(table->Fields()[1].Offset, 301u);
  EXPECT_EQ(ShowColumn(*table, 0), std::vector<std::string>{"'" + std::string(299, 'x') + "y'"});
  EXPECT_EQ(ShowColumn(*table, 1), std::vector<std::string>{"decimal 42"});
}

TEST(Header, CharacterDecimalsStayDecimalsWhenThePlainWidthsFit) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"NAME", 'C', 10, 2}};
  EXPECT_EQ(Decode(spec).Fields[0].Length, 10u);
}

TEST(Header, RecordLengthBeyondTheFieldsIsPadding) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"NAME", 'C', 3}};
  std::string bytes = BuildTableBytes(spec).Table;
  bytes.pop_back();
  PutLe32(bytes, 4, 2);
  PutLe16(bytes, 10, 6);
  bytes += " abc.. def..";
  EXPECT_EQ(ShowColumn(*OpenBytes(bytes), 0), (std::vector<std::string>{"'abc'", "'def'"}));
}

// A descriptor whose name starts with NUL ends the list only where the fields
// before it fill the record; short of that it is a field without a name.
TEST(Header, NulEndsTheFieldsOnlyWhenTheRecordIsFull) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"A", 'C', 3}, {"XB", 'C', 2}};
  spec.Rows = {{Text("abc"), Text("de")}};
  std::string bytes = BuildTableBytes(spec).Table;
  bytes[64] = '\0';
  const auto table = OpenBytes(bytes);
  ASSERT_EQ(table->Fields().size(), 2u);
  EXPECT_EQ(table->Fields()[1].RawName, "");
  EXPECT_EQ(ShowColumn(*table, 1), std::vector<std::string>{"'de'"});

  // The same bytes after a full record are the terminator and what follows it.
  PutLe16(bytes, 10, 4);
  EXPECT_EQ(Decode(bytes).Fields.size(), 1u);
}

TEST(Header, Level7HasALanguageDriverAndWideDescriptors) {
  TTableShape spec;
  spec.Version = 0x04;
  spec.LanguageDriver = "DB437US0";
  spec.Fields = {{"A_RATHER_LONG_FIELD_NAME_OF_32CH", 'C', 4}, {"ID", '+', 4}};
  spec.Rows = {{Text("abcd"), Int(7)}};
  const auto table = OpenBuilt(spec);
  const TDbfHeader& h = table->Header();
  EXPECT_EQ(h.LanguageDriver, "DB437US0");
  EXPECT_EQ(h.HeaderLength, 68u + 2 * 48 + 1);
  ASSERT_EQ(h.Fields.size(), 2u);
  EXPECT_EQ(h.Fields[0].RawName, "A_RATHER_LONG_FIELD_NAME_OF_32CH");
  EXPECT_TRUE(h.Fields[1].IsAutoIncrement());
  EXPECT_EQ(table->CodePage().Number(), 437);
  EXPECT_EQ(ShowColumn(*table, 1), std::vector<std::string>{"int 7"});
}

// dBase II: the record count in bytes 1-2, the record length in 6-7, 16-byte
// descriptors from byte 8, and records at 521.
std::string DBase2Table() {
  std::string bytes(521, '\0');
  bytes[0] = 0x02;
  PutLe16(bytes, 1, 2);
  PutLe16(bytes, 6, 1 + 5 + 3);
  bytes.replace(8, 4, "NAME");
  bytes[8 + 11] = 'C';
  bytes[8 + 12] = 5;
  bytes.replace(24, 6, "AMT:01");
  bytes[24 + 11] = 'N';
  bytes[24 + 12] = 3;
  bytes[40] = 0x0D;
  return bytes + " alpha 12*beta  -4" + "\x1A";
}

TEST(Header, DBase2LayoutIsRecognised) {
  const std::string bytes = DBase2Table();
  const TDbfHeader h = Decode(bytes);
  EXPECT_EQ(h.Format, TDbfFormat::dBase2);
  EXPECT_EQ(h.HeaderLength, 521u);
  EXPECT_EQ(h.RecordCount, 2u);
  ASSERT_EQ(h.Fields.size(), 2u);
  EXPECT_EQ(h.Fields[1].RawName, "AMT:01");
  const auto table = OpenBytes(bytes);
  EXPECT_EQ(ShowColumn(*table, 0), (std::vector<std::string>{"'alpha'", "'beta '"}));
  EXPECT_EQ(ShowColumn(*table, 1), (std::vector<std::string>{"decimal 12", "decimal -4"}));
  EXPECT_TRUE(TDbfTable::IsDeleted(table->RecordAt(1)));
}

}  // namespace
}  // namespace lumbra::test
