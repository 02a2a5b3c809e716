// Field types and value texts of real tables from ../shared/corpus, checked
// against what the corpus oracles say the files hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dbf/table.h"
#include "fields/field_defs.h"
#include "fields/fields.h"
#include "provider/provider.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

namespace fs = std::filesystem;
using test::CorpusDir;

// A corpus table opened the way a table opens, without the slot around it.
class CorpusTable {
 public:
  CorpusTable(const std::string& relativePath, TRegionalSettings settings = {})
      : FSettings(std::move(settings)) {
    FRecordset = std::make_unique<TProviderRecordset>(
        TDbfTable::Open((CorpusDir() / relativePath).string()));
    BuildFieldDefs(FRecordset->Columns(), true, FDefs, FNestedView);
    FFields = CreateFieldsFromDefs(FDefs, FNestedView, FRecordset.get(), FSettings);
  }

  const TField& Field(const std::string& name) const {
    for (const auto& field : FFields) {
      if (field->FieldName() == name) return *field;
    }
    throw std::runtime_error("no field " + name);
  }
  const TFields& Fields() const { return FFields; }
  // Stands on the 1-based visible record.
  void Go(int32_t recNo) { FRecordset->SetAbsolutePosition(recNo); }

 private:
  TRegionalSettings FSettings;
  std::unique_ptr<TProviderRecordset> FRecordset;
  TFieldDefs FDefs;
  bool FNestedView = false;
  TFields FFields;
};

class CorpusValues : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(CorpusDir())) GTEST_SKIP() << "no corpus at " << CorpusDir();
  }
};

struct TExpectedField {
  const char* Name;
  TFieldType Type;
  int32_t Size;
  const char* ClassName;
};

void ExpectFields(const CorpusTable& table, const std::vector<TExpectedField>& expected) {
  ASSERT_EQ(table.Fields().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const TField& field = *table.Fields()[i];
    EXPECT_EQ(field.FieldName(), expected[i].Name);
    EXPECT_STREQ(FieldTypeName(field.DataType()), FieldTypeName(expected[i].Type))
        << expected[i].Name;
    EXPECT_EQ(field.Size(), expected[i].Size) << expected[i].Name;
    EXPECT_STREQ(field.ClassName(), expected[i].ClassName) << expected[i].Name;
  }
}

TEST_F(CorpusValues, VisualFoxProTypesAndTexts) {
  CorpusTable table("DBFFile/vfp9_30.dbf");
  ExpectFields(table, {{"FIELD1", ftFixedChar, 20, "TStringField"},
                       {"FIELD2", ftDate, 0, "TDateField"},
                       {"FIELD3", ftDateTime, 0, "TDateTimeField"},
                       {"FIELD4", ftBCD, 2, "TBCDField"},
                       {"FIELD5", ftFloat, 0, "TFloatField"},
                       {"FIELD6", ftBoolean, 0, "TBooleanField"}});
  EXPECT_TRUE(table.Field("FIELD1").FixedChar());
  EXPECT_EQ(table.Field("FIELD4").Precision(), 14);
  // The writer left 08:29:59.999, which the provider rounds to the second.
  const char* expected[] = {"carlos manuel       ", "12/12/13", "12/12/13 8:30:00 AM",
                            "17000000000",          "2500.55",  "True"};
  for (size_t i = 0; i < table.Fields().size(); ++i) {
    EXPECT_EQ(table.Fields()[i]->AsString(), expected[i]) << i;
    EXPECT_EQ(table.Fields()[i]->DisplayText(), expected[i]) << i;
  }
  table.Go(2);
  EXPECT_EQ(table.Field("FIELD3").DisplayText(), "8/7/17 8:30:00 PM");
  EXPECT_EQ(table.Field("FIELD5").DisplayText(), "2500.45");
}

TEST_F(CorpusValues, AutoIncrementCurrencyAndDoubles) {
  CorpusTable table("DbfDataReader/dbase_31.dbf");
  const TField& id = table.Field("PRODUCTID");
  EXPECT_STREQ(id.ClassName(), "TAutoIncField");
  EXPECT_TRUE(id.ReadOnly());
  EXPECT_FALSE(table.Field("SUPPLIERID").ReadOnly());
  const TField& price = table.Field("UNITPRICE");  // a Y column
  EXPECT_EQ(price.DataType(), ftBCD);
  EXPECT_EQ(price.Size(), 4);
  EXPECT_EQ(price.Precision(), 19);
  table.Go(2);
  EXPECT_EQ(id.AsString(), "2");
  EXPECT_EQ(id.AsVariant().Type(), TVarType::varInteger);
  EXPECT_EQ(price.AsString(), "19");
  EXPECT_EQ(price.AsVariant(), Variant::FromCurrency(190000));
  EXPECT_EQ(table.Field("FLOAT").AsString(), "42.5");
  EXPECT_EQ(table.Field("DOUBLE").AsString(), "33.33");
  EXPECT_EQ(table.Field("DISCONTINU").AsString(), "False");
}

TEST_F(CorpusValues, MidnightDateTimeShowsTheDateOnly) {
  CorpusTable table("go-dbase/examples/test_data/TEST.DBF");
  EXPECT_EQ(table.Field("DATETIME").DisplayText(), "4/10/22");
  table.Go(3);  // 00:59:59.999 rounds to one o'clock
  EXPECT_EQ(table.Field("DATETIME").DisplayText(), "12/10/22 1:00:00 AM");
}

TEST_F(CorpusValues, MemoBlobAndVarBytesPlaceholders) {
  CorpusTable table("go-dbase/examples/test_data/TEST.DBF");
  const TField& memo = table.Field("DESC");
  const TField& blob = table.Field("BLOB");
  const TField& bytes = table.Field("VARBIN_NIL");
  EXPECT_EQ(memo.AsString(), "PRODUCT DESCRIPTION");
  EXPECT_EQ(memo.DisplayText(), "(MEMO)");
  EXPECT_EQ(blob.DisplayText(), "(BLOB)");
  EXPECT_EQ(bytes.DisplayText(), "(VARBYTES)");
  EXPECT_EQ(bytes.AsString(), std::string("\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa", 10));
  table.Go(2);
  EXPECT_EQ(bytes.AsString(), "\xaa\xbb\xcc");
  table.Go(3);
  // An empty memo, not a Null one: its pointer is 0 and its null flag is clear.
  EXPECT_FALSE(memo.IsNull());
  EXPECT_EQ(memo.AsString(), "");
  EXPECT_EQ(memo.DisplayText(), "(MEMO)");
  EXPECT_EQ(bytes.AsString(), "");
  EXPECT_EQ(bytes.DisplayText(), "(VARBYTES)");
}

TEST_F(CorpusValues, MemoOfAMissingMemoFileIsNullButItsVariantIsNot) {
  CorpusTable table("dbfread/no_memofile.dbf");
  const TField& memo = table.Field("MEMO");
  EXPECT_TRUE(memo.IsNull());
  EXPECT_EQ(memo.AsString(), "");
  EXPECT_EQ(memo.DisplayText(), "(Memo)");
  const Variant value = memo.AsVariant();
  EXPECT_FALSE(value.IsNull());
  EXPECT_EQ(value, Variant::FromString(""));
}

TEST_F(CorpusValues, WideNumericBeyondTheCurrencyRangeIsABcdOverflow) {
  CorpusTable table("shapelib/mpatch3.dbf");
  const TField& wide = table.Field("LONGFIELD");  // N(20,0) holding 9223372036854775800
  EXPECT_EQ(wide.DataType(), ftBCD);
  EXPECT_EQ(wide.Precision(), 20);
  EXPECT_EQ(wide.DisplayText(), "BCD overflow");
  EXPECT_THROW(wide.AsString(), EBcdOverflowError);
  EXPECT_THROW(wide.AsVariant(), EBcdOverflowError);
  const TField& small = table.Field("KOD");  // N(5,0)
  EXPECT_EQ(small.DataType(), ftInteger);
  EXPECT_EQ(small.AsString(), "7");
  EXPECT_EQ(table.Field("ACRES").AsString(), "0");
}

}  // namespace
}  // namespace lumbra
