// Field values as the engine decodes them, one group per field type: each case
// writes one value with the fixture builder and reads it back.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "dbf/value_decoder.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/read_back.h"

namespace lumbra::test {
namespace {

struct TCase {
  const char* Name;
  TCell Cell;
  const char* Expected;
};

// Writes each case's cell into field of a table of version, one row per case,
// and checks what comes back.
void ExpectDecoded(const TFieldShape& field, const std::vector<TCase>& cases,
                   uint8_t version = 0x30) {
  TTableShape spec;
  spec.Version = version;
  spec.Fields = {field};
  for (const TCase& c : cases)
    spec.Rows.push_back({c.Cell});
  const auto table = OpenBuilt(spec);
  const std::vector<std::string> values = ShowColumn(*table, 0);
  ASSERT_EQ(values.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(values[i], cases[i].Expected) << cases[i].Name;
}

std::string Right(const std::string& text, size_t width) {
  return std::string(width - text.size(), ' ') + text;
}

TEST(CharacterValues, KeepTrailingBlanksAndEndAtTheFirstNul) {
  ExpectDecoded({"NAME", 'C', 8},
                {
                    {"padded with blanks", Text("ab"), "'ab      '"},
                    {"leading blanks", Text("  x"), "'  x     '"},
                    {"padded with NULs", Raw(std::string("ab\0\0\0\0\0\0", 8)), "'ab'"},
                    {"text after a NUL", Raw(std::string("ab\0cd   ", 8)), "'ab'"},
                    {"all blanks", Text(""), "'        '"},
                    {"no null state without _NullFlags", Null(), "'        '"},
                });
}

TEST(CharacterValues, BinaryFieldGivesItsBytesUntranslated) {
  ExpectDecoded({"RAW", 'C', 4, 0, kFlagBinary},
                {{"cp bytes", Text("\xBA\x01"), "bytes ba012020"}});
}

TEST(NumericValues, DecodeAsExactDecimalsOrNull) {
  const size_t w = 20;
  ExpectDecoded({"AMOUNT", 'N', 20, 2},
                {
                    {"right-aligned", Raw(Right("12.50", w)), "decimal 12.50"},
                    {"left-aligned", Text("12.5"), "decimal 12.5"},
                    {"negative", Raw(Right("-0.75", w)), "decimal -0.75"},
                    {"plus sign", Raw(Right("+7", w)), "decimal 7"},
                    {"blank", Null(), "null"},
                    {"asterisks of an overflow", Raw(std::string(w, '*')), "null"},
                    {"asterisks after digits", Raw(Right("12**", w)), "null"},
                    {"decimal comma", Raw(Right("12,5", w)), "decimal 12.5"},
                    {"comma beside a point", Raw(Right("1,234.5", w)), "null"},
                    {"exponent", Raw(Right("1.5E+3", w)), "decimal 1500"},
                    {"negative exponent", Raw(Right("2.5e-2", w)), "decimal 0.025"},
                    {"exponent without digits", Raw(Right("1E", w)), "null"},
                    {"garbage after a NUL", Raw(std::string("05.11\0PA", 8) + std::string(12, ' ')),
                     "decimal 5.11"},
                    {"lone minus", Raw(Right("-", w)), "null"},
                    {"lone point", Raw(Right(".", w)), "null"},
                    {"two points", Raw(Right("1.2.3", w)), "null"},
                    {"letters", Raw(Right("12a", w)), "null"},
                    {"beyond int64", Raw("99999999999999999999"), "decimal 99999999999999999999"},
                    {"below int64", Raw("-9223372036854775809"), "decimal -9223372036854775809"},
                    {"fewer decimals than declared", Raw(Right("19", w)), "decimal 19"},
                });
}

TEST(NumericValues, FloatFieldReadsLikeNumeric) {
  ExpectDecoded({"RATE", 'F', 10, 3},
                {{"double written", Dbl(-3.25), "decimal -3.250"}, {"blank", Null(), "null"}});
}

TEST(DateValues, BlankZerosAndImpossibleDatesAreNull) {
  ExpectDecoded({"DAY", 'D', 8}, {
                                     {"leap day", Date(2024, 2, 29), "date 2024-02-29"},
                                     {"first day", Date(1, 1, 1), "date 0001-01-01"},
                                     {"last day", Date(9999, 12, 31), "date 9999-12-31"},
                                     {"blank", Null(), "null"},
                                     {"zeros", Raw("00000000"), "null"},
                                     {"NULs", Raw(std::string(8, '\0')), "null"},
                                     {"no leap day", Raw("20230229"), "null"},
                                     {"31 February", Raw("20230231"), "null"},
                                     {"month 13", Raw("20231301"), "null"},
                                     {"separators", Raw("2023-1-1"), "null"},
                                     {"byte after 9", Raw("2023:101"), "null"},
                                     {"byte before 0", Raw("2023010/"), "null"},
                                     {"high byte",
                                      Raw("2023\xB9"
                                          "101"),
                                      "null"},
                                 });
}

TEST(LogicalValues, ReadTheLettersOfEveryWriter) {
  std::vector<TCase> cases;
  for (const char* letter : {"T", "t", "Y", "y"})
    cases.push_back({letter, Raw(letter), "true"});
  for (const char* letter : {"F", "f", "N", "n"})
    cases.push_back({letter, Raw(letter), "false"});
  cases.push_back({"question mark", Raw("?"), "null"});
  cases.push_back({"blank", Raw(" "), "null"});
  cases.push_back({"NUL", Raw(std::string(1, '\0')), "null"});
  cases.push_back({"other letter", Raw("X"), "null"});
  ExpectDecoded({"OK", 'L', 1}, cases);
}

TEST(IntegerValues, AreLittleEndianTwosComplement) {
  ExpectDecoded({"COUNT", 'I', 4}, {
                                       {"zero", Int(0), "int 0"},
                                       {"minus one", Int(-1), "int -1"},
                                       {"lowest", Int(INT32_MIN), "int -2147483648"},
                                       {"highest", Int(INT32_MAX), "int 2147483647"},
                                   });
}

TEST(DoubleValues, EightWideBIsADoubleInVisualFoxPro) {
  ExpectDecoded({"RATIO", 'B', 8, 2},
                {{"123.45", Dbl(123.45), "double 123.45"}, {"negative", Dbl(-0.5), "double -0.5"}});
}

TEST(DoubleValues, TenWideBIsAMemoPointerInDBase) {
  ExpectDecoded({"BLOB", 'B', 10}, {{"memo", Memo("\x01\x02"), "bytes 0102"}}, 0x8B);
}

TEST(CurrencyValues, AreExactTenThousandths) {
  ExpectDecoded({"PRICE", 'Y', 8, 4},
                {
                    {"four decimals", Currency(123456), "currency 12.3456"},
                    {"negative", Currency(-15000), "currency -1.5000"},
                    {"highest", Currency(INT64_MAX), "currency 922337203685477.5807"},
                    {"lowest", Currency(INT64_MIN), "currency -922337203685477.5808"},
                });
}

TEST(DateTimeValues, RoundToTheSecond) {
  std::string outOfDay = std::string("\x5B\x8A\x25\x00", 4) + std::string("\x00\x5C\x26\x05", 4);
  ExpectDecoded({"WHEN", 'T', 8},
                {
                    {"quarter second down", DateTime(2024, 3, 5, 13, 45, 7, 250),
                     "date 2024-03-05 13:45:07.000"},
                    {"float noise for noon", DateTime(2024, 3, 5, 11, 59, 59, 999),
                     "date 2024-03-05 12:00:00.000"},
                    {"half a second rolls into the next day", DateTime(2024, 3, 5, 23, 59, 59, 500),
                     "date 2024-03-06"},
                    {"just under half a second stays", DateTime(2024, 3, 5, 23, 59, 59, 499),
                     "date 2024-03-05 23:59:59.000"},
                    {"time only on day 2415019", DateTime(1899, 12, 30, 8, 30, 0),
                     "date 1899-12-30 08:30:00.000"},
                    {"before 1899", DateTime(1800, 1, 1, 6, 0, 0), "date 1800-01-01 06:00:00.000"},
                    {"both halves zero", Null(), "null"},
                    {"blanks", Raw(std::string(8, ' ')), "null"},
                    {"milliseconds past the day", Raw(outOfDay), "null"},
                });
}

TEST(VarcharValues, LengthByteCountsOnlyWithTheVarLengthBit) {
  // V(6): the builder stores a short value with its length in the last byte
  // and sets the field's length bit; a full value has neither.
  ExpectDecoded(
      {"NOTE", 'V', 6},
      {
          {"short value", Text("abc"), "'abc'"},
          {"blanks inside a short value", Text("ab  "), "'ab  '"},
          {"empty value", Text(""), "''"},
          {"full width", Text("abcdef"), "'abcdef'"},
          {"length byte without the bit", Raw(std::string("ab   \x02", 6)), "'ab   \x02'"},
      },
      0x32);
}

TEST(VarcharValues, VarbinaryAndBinaryVarcharGiveBytes) {
  TTableShape spec;
  spec.Version = 0x32;
  spec.Fields = {{"BIN", 'Q', 10}, {"RAWV", 'V', 5, 0, kFlagBinary}};
  spec.Rows = {{Text("\x01\x02\x03"), Text("\xBA")}};
  const auto table = OpenBuilt(spec);
  EXPECT_EQ(ShowColumn(*table, 0), std::vector<std::string>{"bytes 010203"});
  EXPECT_EQ(ShowColumn(*table, 1), std::vector<std::string>{"bytes ba"});
}

// The documented layout: a nullable Q(10), a nullable V(254), a V(10) and a
// nullable I take bits 0-1, 2-3, 4 and 5 of a one-byte _NullFlags.
TEST(NullFlags, FollowVisualFoxProBitAllocation) {
  TTableShape spec;
  spec.Version = 0x32;
  spec.Fields = {{"Q1", 'Q', 10, 0, kFlagNullable},
                 {"V1", 'V', 254, 0, kFlagNullable},
                 {"V2", 'V', 10},
                 {"N1", 'I', 4, 0, kFlagNullable | kFlagBinary}};
  spec.Rows = {
      {Text("ab"), Text("cd"), Text("ef"), Int(1)},
      {Null(), Text("cd"), Text("ef"), Null()},
      {Text("ab"), Null(), Text("0123456789"), Int(2)},
  };
  const auto table = OpenBuilt(spec);
  const TDbfHeader& h = table->Header();
  ASSERT_EQ(h.Fields.size(), 5u);
  EXPECT_EQ(h.NullFlagsField, 4);
  EXPECT_EQ(h.Fields[4].Length, 1u);
  EXPECT_EQ(h.Fields[0].VarLengthBit, 0);
  EXPECT_EQ(h.Fields[0].NullBit, 1);
  EXPECT_EQ(h.Fields[1].VarLengthBit, 2);
  EXPECT_EQ(h.Fields[1].NullBit, 3);
  EXPECT_EQ(h.Fields[2].VarLengthBit, 4);
  EXPECT_EQ(h.Fields[2].NullBit, -1);
  EXPECT_EQ(h.Fields[3].NullBit, 5);
  EXPECT_EQ(ShowColumn(*table, 0), (std::vector<std::string>{"bytes 6162", "null", "bytes 6162"}));
  EXPECT_EQ(ShowColumn(*table, 1), (std::vector<std::string>{"'cd'", "'cd'", "null"}));
  EXPECT_EQ(ShowColumn(*table, 2), (std::vector<std::string>{"'ef'", "'ef'", "'0123456789'"}));
  EXPECT_EQ(ShowColumn(*table, 3), (std::vector<std::string>{"int 1", "null", "int 2"}));
}

TEST(NullFlags, NullBitWinsOverTheDataAndReachesTheSecondByte) {
  TTableShape spec;
  for (int i = 0; i < 10; ++i)
    spec.Fields.push_back({"F" + std::to_string(i), 'C', 1, 0, kFlagNullable});
  std::vector<TCell> row(10, Text("x"));
  row[9] = Null();
  spec.Rows = {row};
  const auto table = OpenBuilt(spec);
  EXPECT_EQ(table->Header().Fields.back().Length, 2u);
  EXPECT_EQ(ShowColumn(*table, 8), std::vector<std::string>{"'x'"});
  EXPECT_EQ(ShowColumn(*table, 9), std::vector<std::string>{"null"});
}

TEST(NullFlags, NullableFlagOutsideVisualFoxProIsIgnored) {
  // dBase writers leave junk in the flags byte of a descriptor.
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"NAME", 'C', 3}};
  spec.Rows = {{Text("abc")}};
  std::string bytes = BuildTableBytes(spec).Table;
  bytes[32 + 18] = 0x06;
  const auto table = OpenBytes(bytes);
  EXPECT_FALSE(table->Fields()[0].IsNullable());
  EXPECT_EQ(ShowColumn(*table, 0), std::vector<std::string>{"'abc'"});
}

TEST(Level7Values, IntegersAndDoublesAreSortableBigEndian) {
  TTableShape spec;
  spec.Version = 0x04;
  spec.Fields = {{"ID", '+', 4}, {"QTY", 'I', 4}, {"RATE", 'O', 8}};
  spec.Rows = {
      {Int(1), Int(-1), Dbl(3.5)},
      {Int(10), Int(INT32_MIN), Dbl(-2.25)},
      {Int(11), Int(0), Raw(std::string(8, '\0'))},
  };
  const std::string bytes = BuildTableBytes(spec).Table;
  // Autoincrement 1 is stored as 80 00 00 01.
  EXPECT_EQ(bytes.substr(68 + 3 * 48 + 1 + 1, 4), std::string("\x80\x00\x00\x01", 4));
  const auto table = OpenBuilt(spec);
  EXPECT_EQ(ShowColumn(*table, 0), (std::vector<std::string>{"int 1", "int 10", "int 11"}));
  EXPECT_EQ(ShowColumn(*table, 1),
            (std::vector<std::string>{"int -1", "int -2147483648", "int 0"}));
  EXPECT_EQ(ShowColumn(*table, 2),
            (std::vector<std::string>{"double 3.5", "double -2.25", "null"}));
}

TEST(Level7Values, TimestampIsADoubleOfMillisecondsFromYearOne) {
  TTableShape spec;
  spec.Version = 0x04;
  spec.Fields = {{"STAMP", '@', 8}};
  spec.Rows = {
      // A published sample: 2000-08-16 17:21:41.31.
      {Raw(std::string("\x42\xCC\xB2\x0E\x03\x40\xDF\x00", 8))},
      {DateTime(1, 1, 1, 0, 0, 1)},
      {Raw(std::string(8, '\0'))},
  };
  const auto table = OpenBuilt(spec);
  EXPECT_EQ(ShowColumn(*table, 0),
            (std::vector<std::string>{"date 2000-08-16 17:21:41.000",
                                      "date 0001-01-01 00:00:01.000", "null"}));
}

TEST(Level7Values, HarbourTimestampOutsideLevel7IsJulian) {
  ExpectDecoded(
      {"STAMP", '@', 8},
      {{"day and milliseconds", DateTime(2021, 6, 1, 6, 0, 0), "date 2021-06-01 06:00:00.000"}},
      0x03);
}

TEST(OtherValues, UnknownTypeGivesItsBytes) {
  ExpectDecoded({"ODD", 'Z', 3}, {{"raw", Raw("ABC"), "bytes 414243"}}, 0x03);
}

TEST(MemoPointers, ReadAsTheirWritersLeaveThem) {
  struct TPointer {
    std::string Bytes;
    bool Ok;
    uint64_t Block;
  };
  const TPointer cases[] = {
      {"          ", true, 0},          {std::string(10, '\0'), true, 0},
      {"      1234", true, 1234},       {"0000000042", true, 42},
      {"9999999999", true, 9999999999}, {"1234      ", true, 1234},
      {"   12\0\0\0\0\0", true, 12},    {"    12 345", true, 12345},
      {"     12x45", false, 0},         {"-000000001", false, 0},
      {"99999999999", false, 0},        {std::string("\x10\x00\x00\x01", 4), true, 0x01000010},
  };
  for (const TPointer& c : cases) {
    uint64_t block = UINT64_MAX;
    EXPECT_EQ(DecodeMemoPointer(c.Bytes, block), c.Ok) << c.Bytes;
    if (c.Ok) {
      EXPECT_EQ(block, c.Block) << c.Bytes;
    }
  }
}

}  // namespace
}  // namespace lumbra::test
