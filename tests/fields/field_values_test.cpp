// The four readings of each field class over tables written by the fixture
// builder: one column per case, one row per value.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_error.h"
#include "dbf/table.h"
#include "fields/field_defs.h"
#include "fields/fields.h"
#include "provider/provider.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

using namespace lumbra::test;

// A built table opened through the provider, with its fields.
class BuiltTable {
 public:
  explicit BuiltTable(const TTableShape& spec, TRegionalSettings settings = {})
      : FSettings(std::move(settings)) {
    const auto path = WriteTable(FFolder.Path(), "t", spec);
    FRecordset = std::make_unique<TProviderRecordset>(TDbfTable::Open(path.string()));
    BuildFieldDefs(FRecordset->Columns(), true, FDefs, FNestedView);
    FFields = CreateFieldsFromDefs(FDefs, FNestedView, FRecordset.get(), FSettings);
  }

  const TField& Field(size_t index) const { return *FFields.at(index); }
  const TFields& Fields() const { return FFields; }
  void Go(int32_t recNo) { FRecordset->SetAbsolutePosition(recNo); }

 private:
  TTempFolder FFolder;
  TRegionalSettings FSettings;
  std::unique_ptr<TProviderRecordset> FRecordset;
  TFieldDefs FDefs;
  bool FNestedView = false;
  TFields FFields;
};

// A one-column Visual FoxPro table holding values, one per row.
TTableShape OneColumn(TFieldShape field, std::vector<TCell> values) {
  TTableShape spec;
  spec.Fields = {std::move(field)};
  for (TCell& value : values)
    spec.Rows.push_back({std::move(value)});
  return spec;
}

// Each row's as-string text, checking that the display text is the same.
std::vector<std::string> Texts(BuiltTable& table, size_t rows) {
  std::vector<std::string> texts;
  for (size_t row = 1; row <= rows; ++row) {
    table.Go(static_cast<int32_t>(row));
    texts.push_back(table.Field(0).AsString());
    EXPECT_EQ(table.Field(0).DisplayText(), texts.back()) << "row " << row;
  }
  return texts;
}

TEST(FieldValues, FixedWidthTextKeepsItsTrailingBlanks) {
  BuiltTable table(OneColumn({"S", 'C', 10}, {Text("AB"), Text("")}));
  EXPECT_EQ(Texts(table, 2), (std::vector<std::string>{"AB        ", "          "}));
  table.Go(1);
  EXPECT_EQ(table.Field(0).AsVariant(), Variant::FromString("AB        "));
  EXPECT_TRUE(table.Field(0).FixedChar());
}

TEST(FieldValues, FloatsInGeneralFormWithFifteenDigits) {
  const std::vector<double> values = {
      0.1, 1.0 / 3.0, 1.23456789012345678e17, 0.00001, -2.5, 1200, 0.0012, 0};
  std::vector<TCell> cells;
  for (double v : values)
    cells.push_back(Dbl(v));
  BuiltTable table(OneColumn({"F", 'B', 8, 2}, cells));
  EXPECT_STREQ(table.Field(0).ClassName(), "TFloatField");
  EXPECT_EQ(Texts(table, values.size()),
            (std::vector<std::string>{"0.1", "0.333333333333333", "1.23456789012346E17", "1E-5",
                                      "-2.5", "1200", "0.0012", "0"}));
  table.Go(2);
  EXPECT_EQ(table.Field(0).AsVariant(), Variant::FromDouble(1.0 / 3.0));
}

TEST(FieldValues, NumbersFollowTheRegionalDecimalSeparator) {
  TRegionalSettings comma;
  comma.DecimalSeparator = ",";
  TTableShape spec;
  spec.Fields = {{"F", 'B', 8, 2}, {"N", 'N', 10, 4}};
  spec.Rows = {{Dbl(1.0 / 3.0), Raw(" 1234.5678")}};
  BuiltTable table(spec, comma);
  EXPECT_EQ(table.Field(0).AsString(), "0,333333333333333");
  EXPECT_EQ(table.Field(1).AsString(), "1234,5678");
}

TEST(FieldValues, BcdThroughACurrencyAmount) {
  TTableShape spec;
  spec.Fields = {{"A", 'N', 10, 4}, {"B", 'N', 6, 2}, {"C", 'N', 12, 6}};
  spec.Rows = {{Raw(" 1234.5678"), Raw("100.10"), Raw("    1.234550")},
               {Raw("    0.0000"), Raw(" -0.50"), Raw("   -1.234549")},
               {Raw("    0.0012"), Raw("  3.00"), Raw("    0.000050")}};
  BuiltTable table(spec);
  const std::vector<std::vector<std::string>> expected = {
      // Beyond four decimals the amount rounds half away from zero.
      {"1234.5678", "100.1", "1.2346"},
      {"0", "-0.5", "-1.2345"},
      {"0.0012", "3", "0.0001"},
  };
  for (size_t row = 0; row < expected.size(); ++row) {
    table.Go(static_cast<int32_t>(row + 1));
    for (size_t column = 0; column < 3; ++column) {
      EXPECT_EQ(table.Field(column).AsString(), expected[row][column]) << row << "," << column;
      EXPECT_EQ(table.Field(column).DisplayText(), expected[row][column]) << row << "," << column;
    }
  }
  table.Go(1);
  EXPECT_EQ(table.Field(0).AsVariant(), Variant::FromCurrency(12345678));
}

TEST(FieldValues, BcdOverflowIsADisplayTextOnly) {
  // N(21,4): the sign of the smallest amount needs the extra character.
  BuiltTable table(
      OneColumn({"N", 'N', 21, 4}, {Raw(" 999999999999999.9999"), Raw(" 922337203685477.5807"),
                                    Raw("-922337203685477.5808"), Raw("-922337203685477.5809")}));
  EXPECT_EQ(table.Field(0).Size(), 4);
  EXPECT_EQ(table.Field(0).Precision(), 21);
  for (int32_t row : {1, 4}) {
    table.Go(row);
    EXPECT_EQ(table.Field(0).DisplayText(), "BCD overflow") << row;
    EXPECT_THROW(table.Field(0).AsString(), EBcdOverflowError) << row;
    EXPECT_THROW(table.Field(0).AsVariant(), EBcdOverflowError) << row;
    EXPECT_FALSE(table.Field(0).IsNull()) << row;
  }
  table.Go(2);
  EXPECT_EQ(table.Field(0).DisplayText(), "922337203685477.5807");
  table.Go(3);
  EXPECT_EQ(table.Field(0).DisplayText(), "-922337203685477.5808");

  BuiltTable n20(OneColumn({"N", 'N', 20, 4}, {Raw("999999999999999.9999")}));
  EXPECT_EQ(n20.Field(0).DisplayText(), "BCD overflow");
}

TEST(FieldValues, BcdDisplayTextPassesOnAFailedRead) {
  // Wide records and enough of them that the first ones leave the table's
  // cache; a file cut short after the open then fails to give them again.
  TTableShape spec;
  spec.Fields = {{"S", 'C', 250}, {"N", 'N', 10, 4}};
  for (int i = 0; i < 5000; ++i)
    spec.Rows.push_back({Text("x"), Int(i)});
  TTempFolder folder;
  const auto path = WriteTable(folder.Path(), "t", spec);
  TProviderRecordset recordset(TDbfTable::Open(path.string()));
  TFieldDefs defs;
  bool nestedView = false;
  BuildFieldDefs(recordset.Columns(), true, defs, nestedView);
  const TRegionalSettings settings;
  const TFields fields = CreateFieldsFromDefs(defs, nestedView, &recordset, settings);
  recordset.MoveLast();
  EXPECT_EQ(fields[1]->DisplayText(), "4999");
  std::filesystem::resize_file(path, 1000);
  recordset.MoveFirst();
  EXPECT_THROW(fields[1]->DisplayText(), EDbfError);
}

TEST(FieldValues, IntegersOfEachWidthAndTheirNull) {
  TTableShape spec;
  spec.Fields = {{"N", 'N', 9, 0}, {"I", 'I', 4}, {"L", 'L', 1}};
  spec.Rows = {{Int(-12345678), Int(-2147483647 - 1), Logical(true)},
               {Int(0), Int(2147483647), Logical(false)},
               {Null(), Int(7), Null()}};
  BuiltTable table(spec);
  EXPECT_STREQ(table.Field(0).ClassName(), "TIntegerField");
  EXPECT_STREQ(table.Field(1).ClassName(), "TIntegerField");
  const std::vector<std::vector<std::string>> expected = {
      {"-12345678", "-2147483648", "True"},
      {"0", "2147483647", "False"},
      {"", "7", ""},
  };
  for (size_t row = 0; row < expected.size(); ++row) {
    table.Go(static_cast<int32_t>(row + 1));
    for (size_t column = 0; column < 3; ++column) {
      EXPECT_EQ(table.Field(column).AsString(), expected[row][column]) << row << "," << column;
    }
  }
  table.Go(1);
  EXPECT_EQ(table.Field(0).AsVariant(), Variant::FromInteger(-12345678));
  EXPECT_EQ(table.Field(2).AsVariant(), Variant::FromBoolean(true));
  table.Go(3);
  EXPECT_TRUE(table.Field(0).IsNull());
  EXPECT_TRUE(table.Field(0).AsVariant().IsNull());
  EXPECT_TRUE(table.Field(2).AsVariant().IsNull());
}

TEST(FieldValues, DateTimesShowTheTimeOnlyWhenItIsNotMidnight) {
  BuiltTable table(
      OneColumn({"T", 'T', 8}, {DateTime(2024, 3, 5, 0, 0, 0), DateTime(2024, 3, 5, 0, 0, 0, 400),
                                DateTime(2024, 3, 5, 13, 7, 8), Null()}));
  EXPECT_EQ(Texts(table, 4),
            (std::vector<std::string>{"3/5/24", "3/5/24", "3/5/24 1:07:08 PM", ""}));
}

TEST(FieldValues, DatesInTheShortDatePattern) {
  TRegionalSettings ro;
  ro.ShortDateFormat = "dd.mm.yyyy";
  BuiltTable table(OneColumn({"D", 'D', 8}, {Date(2024, 3, 5), Null()}), ro);
  EXPECT_EQ(Texts(table, 2), (std::vector<std::string>{"05.03.2024", ""}));
}

TEST(FieldValues, MemoAndBlobPlaceholdersAndContents) {
  TTableShape spec;
  spec.Fields = {{"M", 'M', 4, 0, kFlagNullable}, {"W", 'W', 4, 0, kFlagNullable}};
  spec.Rows = {
      {Memo("abc"), Memo(std::string("\x01\x00\xff", 3))}, {Memo(""), Memo("")}, {Null(), Null()}};
  BuiltTable table(spec);
  const TField& memo = table.Field(0);
  const TField& blob = table.Field(1);
  EXPECT_STREQ(memo.ClassName(), "TMemoField");
  EXPECT_STREQ(blob.ClassName(), "TBlobField");

  table.Go(1);
  EXPECT_EQ(memo.AsString(), "abc");
  EXPECT_EQ(memo.DisplayText(), "(MEMO)");
  EXPECT_EQ(memo.AsVariant(), Variant::FromString("abc"));
  EXPECT_EQ(blob.AsString(), std::string("\x01\x00\xff", 3));
  EXPECT_EQ(blob.DisplayText(), "(BLOB)");

  table.Go(2);  // empty is a value: upper case
  EXPECT_EQ(memo.AsString(), "");
  EXPECT_EQ(memo.DisplayText(), "(MEMO)");
  EXPECT_EQ(blob.DisplayText(), "(BLOB)");

  table.Go(3);
  for (const TField* field : {&memo, &blob}) {
    EXPECT_TRUE(field->IsNull());
    EXPECT_EQ(field->AsString(), "");
    EXPECT_EQ(field->AsVariant(), Variant::FromString(""));  // never Null
  }
  EXPECT_EQ(memo.DisplayText(), "(Memo)");
  EXPECT_EQ(blob.DisplayText(), "(Blob)");
}

TEST(FieldValues, BinaryCharacterFieldGivesItsRawBytes) {
  BuiltTable table(OneColumn({"B", 'C', 4, 0, kFlagBinary | kFlagNullable},
                             {Raw(std::string("\x00\x41\x0a\xff", 4)), Null()}));
  const TField& bytes = table.Field(0);
  EXPECT_STREQ(bytes.ClassName(), "TBytesField");
  EXPECT_EQ(bytes.Size(), 4);
  EXPECT_EQ(bytes.AsString(), std::string("\x00\x41\x0a\xff", 4));
  EXPECT_EQ(bytes.DisplayText(), "(BYTES)");
  EXPECT_EQ(bytes.AsVariant(), Variant::FromBytes(std::string("\x00\x41\x0a\xff", 4)));
  table.Go(2);
  EXPECT_EQ(bytes.AsString(), "");
  EXPECT_EQ(bytes.DisplayText(), "(Bytes)");
  EXPECT_TRUE(bytes.AsVariant().IsNull());
}

}  // namespace
}  // namespace lumbra
