// Column mapping: provider column lists made by hand, including column types
// and shapes our own provider never reports.
#include "fields/field_defs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fields/fields.h"

namespace lumbra {
namespace {

constexpr uint32_t kUpdatable = adFldUpdatable;

TColumn Column(std::string name, int type, int32_t size = 0, uint8_t precision = 0,
               uint8_t scale = 0, uint32_t attributes = kUpdatable) {
  TColumn c;
  c.Name = std::move(name);
  c.Type = type;
  c.DefinedSize = size;
  c.Precision = precision;
  c.NumericScale = scale;
  c.Attributes = attributes;
  return c;
}

TColumn WithAutoIncrement(TColumn c, bool value) {
  c.Properties.push_back({"ISAUTOINCREMENT", Variant::FromBoolean(value)});
  return c;
}

struct TBuilt {
  TFieldDefs Defs;
  bool NestedView = false;
  TFields Fields;
};

TBuilt Build(const std::vector<TColumn>& columns, bool nestedView = false) {
  static const TRegionalSettings settings;
  TBuilt built;
  built.NestedView = nestedView;
  BuildFieldDefs(columns, true, built.Defs, built.NestedView);
  built.Fields = CreateFieldsFromDefs(built.Defs, built.NestedView, nullptr, settings);
  return built;
}

std::vector<std::string> DefNames(const TFieldDefs& defs) {
  std::vector<std::string> names;
  for (size_t i = 0; i < defs.Count(); ++i)
    names.push_back(defs[i].Name);
  return names;
}

TEST(ColumnTypeToFieldType, MapsEveryListedColumnType) {
  struct TCase {
    int Column;
    TFieldType Expected;
  };
  const TCase cases[] = {
      {adSmallInt, ftSmallint},
      {adTinyInt, ftSmallint},
      {adInteger, ftInteger},
      {adError, ftInteger},
      {adUnsignedInt, ftInteger},
      {adUnsignedTinyInt, ftWord},
      {adUnsignedSmallInt, ftWord},
      {adBigInt, ftLargeint},
      {adUnsignedBigInt, ftLargeint},
      {adSingle, ftFloat},
      {adDouble, ftFloat},
      {adCurrency, ftBCD},
      {adDecimal, ftBCD},
      {adNumeric, ftBCD},
      {adVarNumeric, ftBCD},
      {adBoolean, ftBoolean},
      {adDBDate, ftDate},
      {adDBTime, ftTime},
      {adDate, ftDateTime},
      {adFileTime, ftDateTime},
      {adDBTimeStamp, ftDateTime},
      {adDBFileTime, ftDateTime},
      {adChar, ftFixedChar},
      {adVarChar, ftString},
      {adBSTR, ftWideString},
      {adWChar, ftWideString},
      {adVarWChar, ftWideString},
      {adLongVarChar, ftMemo},
      {adLongVarWChar, ftMemo},
      {adBinary, ftBytes},
      {adVarBinary, ftVarBytes},
      {adLongVarBinary, ftBlob},
      {adChapter, ftDataSet},
      {adVariant, ftVariant},
      {adPropVariant, ftVariant},
      {adIUnknown, ftInterface},
      {adIDispatch, ftIDispatch},
      {adGUID, ftGuid},
      {adEmpty, ftUnknown},
      {adUserDefined, ftUnknown},
      {1, ftUnknown},
      {-1, ftUnknown},
      {206, ftUnknown},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ColumnTypeToFieldType(c.Column, true), c.Expected) << "column type " << c.Column;
  }
}

TEST(ColumnTypeToFieldType, ExactDecimalsAreFloatsWithoutBcdButCurrencyStaysBcd) {
  EXPECT_EQ(ColumnTypeToFieldType(adDecimal, false), ftFloat);
  EXPECT_EQ(ColumnTypeToFieldType(adNumeric, false), ftFloat);
  EXPECT_EQ(ColumnTypeToFieldType(adVarNumeric, false), ftFloat);
  EXPECT_EQ(ColumnTypeToFieldType(adCurrency, false), ftBCD);
}

TEST(BuildFieldDefs, NamesColumnsUniquelyIgnoringLetterCase) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Columns;
    std::vector<std::string> Expected;
  };
  const TCase cases[] = {
      {"names that differ only in letter case", {"Cod", "COD"}, {"Cod", "COD_1"}},
      {"three empty names", {"", "", ""}, {"COLUMN1", "COLUMN2", "COLUMN3"}},
      {"x_1 then two x", {"x_1", "x", "x"}, {"x_1", "x", "x_2"}},
      {"cod three times", {"cod", "cod", "cod"}, {"cod", "cod_1", "cod_2"}},
      {"an empty name after COLUMN1", {"COLUMN1", ""}, {"COLUMN1", "COLUMN2"}},
      {"letter case beyond ASCII", {"Țară", "ȚARĂ"}, {"Țară", "ȚARĂ_1"}},
  };
  for (const TCase& c : cases) {
    std::vector<TColumn> columns;
    for (const std::string& name : c.Columns)
      columns.push_back(Column(name, adInteger));
    EXPECT_EQ(DefNames(Build(columns).Defs), c.Expected) << c.Name;
  }
}

TEST(BuildFieldDefs, SkipsUnmappedColumnsAndNumbersTheRest) {
  const TBuilt built = Build({Column("a", adUserDefined), Column("a", adInteger),
                              Column("b", adEmpty), Column("c", adVarChar, 5)});
  ASSERT_EQ(built.Defs.Count(), 2u);
  EXPECT_EQ(built.Defs[0].Name, "a");  // the skipped column took no name
  EXPECT_EQ(built.Defs[0].FieldNo, 1);
  EXPECT_EQ(built.Defs[0].Column, 1u);
  EXPECT_EQ(built.Defs[1].Name, "c");
  EXPECT_EQ(built.Defs[1].FieldNo, 2);
  EXPECT_EQ(built.Defs[1].Column, 3u);
  ASSERT_EQ(built.Fields.size(), 2u);
  EXPECT_EQ(built.Fields[1]->FieldName(), "c");
}

TEST(BuildFieldDefs, ZeroColumnsGiveNoDefinitionsAndNoFields) {
  const TBuilt built = Build({});
  EXPECT_EQ(built.Defs.Count(), 0u);
  EXPECT_TRUE(built.Fields.empty());
}

TEST(BuildFieldDefs, SetsTypeSizeAndPrecisionPerColumn) {
  struct TCase {
    const char* Name;
    TColumn Column;
    TFieldType Type;
    int32_t Size;
    int32_t Precision;
    const char* ClassName;
  };
  const TCase cases[] = {
      {"adNumeric(9,0)", Column("n", adNumeric, 9, 9, 0), ftInteger, 0, 0, "TIntegerField"},
      {"adNumeric(10,0)", Column("n", adNumeric, 10, 10, 0), ftBCD, 0, 10, "TBCDField"},
      {"adNumeric(1,0)", Column("n", adNumeric, 1, 1, 0), ftInteger, 0, 0, "TIntegerField"},
      {"adNumeric(5,1)", Column("n", adNumeric, 5, 5, 1), ftBCD, 1, 5, "TBCDField"},
      {"adNumeric(12,2)", Column("n", adNumeric, 12, 12, 2), ftBCD, 2, 12, "TBCDField"},
      {"adNumeric(40,32)", Column("n", adNumeric, 40, 40, 32), ftBCD, 32, 40, "TBCDField"},
      {"adNumeric with a negative scale", Column("n", adNumeric, 20, 20, 0xF0), ftBCD, 4, 20,
       "TBCDField"},
      {"adNumeric(255,2)", Column("n", adNumeric, 255, 255, 2), ftBCD, 2, 255, "TBCDField"},
      {"adDecimal(5,0)", Column("n", adDecimal, 5, 5, 0), ftBCD, 0, 5, "TBCDField"},
      {"adVarNumeric(5,0)", Column("n", adVarNumeric, 5, 5, 0), ftBCD, 0, 5, "TBCDField"},
      {"adCurrency", Column("n", adCurrency, 8, 19, 4), ftBCD, 4, 19, "TBCDField"},
      {"adVarChar(30)", Column("s", adVarChar, 30), ftString, 30, 0, "TStringField"},
      {"adChar(10)", Column("s", adChar, 10), ftFixedChar, 10, 0, "TStringField"},
      {"adVarChar(0)", Column("s", adVarChar, 0), ftString, 0, 0, "TStringField"},
      {"adWChar(7)", Column("s", adWChar, 7), ftWideString, 7, 0, "TWideStringField"},
      {"adBinary(16)", Column("b", adBinary, 16), ftBytes, 16, 0, "TBytesField"},
      {"adVarBinary(8)", Column("b", adVarBinary, 8), ftVarBytes, 8, 0, "TVarBytesField"},
      {"adGUID", Column("g", adGUID, 16), ftGuid, 38, 0, "TGuidField"},
      {"adDouble", Column("f", adDouble, 8, 15), ftFloat, 0, 0, "TFloatField"},
      {"adSmallInt", Column("i", adSmallInt, 2, 5), ftSmallint, 0, 0, "TSmallintField"},
      {"adUnsignedSmallInt", Column("i", adUnsignedSmallInt, 2), ftWord, 0, 0, "TWordField"},
      {"adBigInt", Column("i", adBigInt, 8, 19), ftLargeint, 0, 0, "TLargeintField"},
      {"adBoolean", Column("l", adBoolean, 2), ftBoolean, 0, 0, "TBooleanField"},
      {"adDBDate", Column("d", adDBDate, 6), ftDate, 0, 0, "TDateField"},
      {"adDBTime", Column("d", adDBTime, 6), ftTime, 0, 0, "TTimeField"},
      {"adDBTimeStamp", Column("d", adDBTimeStamp, 16), ftDateTime, 0, 0, "TDateTimeField"},
      {"adLongVarChar", Column("m", adLongVarChar, 2147483647), ftMemo, 0, 0, "TMemoField"},
      {"adLongVarBinary", Column("m", adLongVarBinary), ftBlob, 0, 0, "TBlobField"},
      {"adVariant", Column("v", adVariant, 16), ftVariant, 0, 0, "TVariantField"},
      {"adIUnknown", Column("v", adIUnknown), ftInterface, 0, 0, "TInterfaceField"},
      {"adIDispatch", Column("v", adIDispatch), ftIDispatch, 0, 0, "TIDispatchField"},
  };
  for (const TCase& c : cases) {
    const TBuilt built = Build({c.Column});
    ASSERT_EQ(built.Defs.Count(), 1u) << c.Name;
    EXPECT_EQ(built.Defs[0].DataType(), c.Type) << c.Name;
    EXPECT_EQ(built.Defs[0].Size(), c.Size) << c.Name;
    EXPECT_EQ(built.Defs[0].Precision(), c.Precision) << c.Name;
    ASSERT_EQ(built.Fields.size(), 1u) << c.Name;
    const TField& field = *built.Fields[0];
    EXPECT_STREQ(field.ClassName(), c.ClassName) << c.Name;
    EXPECT_EQ(field.DataType(), c.Type) << c.Name;
    EXPECT_EQ(field.Size(), c.Size) << c.Name;
    EXPECT_EQ(field.Precision(), field.Class() == TFieldClass::BCD ? c.Precision : 0) << c.Name;
  }
}

TEST(BuildFieldDefs, ScaleAboveThirtyTwoIsAnInvalidFieldSize) {
  try {
    Build({Column("ok", adInteger), Column("n", adNumeric, 40, 40, 33)});
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Invalid field size");
  }
}

TEST(CreateFieldsFromDefs, BinaryColumnOfSizeZeroIsAnInvalidFieldSize) {
  // The definition does not check a size of 0; the field does.
  TFieldDefs defs;
  bool nestedView = false;
  BuildFieldDefs({Column("b", adBinary, 0)}, true, defs, nestedView);
  ASSERT_EQ(defs.Count(), 1u);
  EXPECT_THROW(CreateFieldsFromDefs(defs, nestedView, nullptr, TRegionalSettings()),
               EDatabaseError);
}

TEST(BuildFieldDefs, AutoIncrementOnlyWhenTheFirstColumnCarriesTheProperty) {
  struct TCase {
    const char* Name;
    std::vector<TColumn> Columns;
    TFieldType SecondType;
  };
  const TColumn id = Column("id", adInteger);
  const TCase cases[] = {
      {"first column carries it, false",
       {WithAutoIncrement(id, false), WithAutoIncrement(id, true)},
       ftAutoInc},
      {"first column lacks it",
       {Column("c", adVarChar, 5), WithAutoIncrement(id, true)},
       ftInteger},
      {"first column has it in other letter case",
       {[&] {
          TColumn c = Column("c", adVarChar, 5);
          c.Properties.push_back({"IsAutoIncrement", Variant::FromBoolean(true)});
          return c;
        }(),
        WithAutoIncrement(id, true)},
       ftInteger},
      {"the last of two same-named properties counts",
       {WithAutoIncrement(id, false), WithAutoIncrement(WithAutoIncrement(id, false), true)},
       ftAutoInc},
      {"a whole adNumeric column",
       {WithAutoIncrement(id, false), WithAutoIncrement(Column("n", adNumeric, 5, 5, 0), true)},
       ftAutoInc},
      {"not an integer column",
       {WithAutoIncrement(id, false), WithAutoIncrement(Column("n", adBigInt), true)},
       ftLargeint},
  };
  for (const TCase& c : cases) {
    const TBuilt built = Build(c.Columns);
    ASSERT_EQ(built.Defs.Count(), 2u) << c.Name;
    EXPECT_EQ(built.Defs[1].DataType(), c.SecondType) << c.Name;
  }
}

TEST(BuildFieldDefs, AutoIncrementFieldIsReadOnlyWithSizeZero) {
  const TBuilt built = Build({WithAutoIncrement(Column("id", adInteger, 4, 10), true)});
  ASSERT_EQ(built.Fields.size(), 1u);
  const TField& field = *built.Fields[0];
  EXPECT_STREQ(field.ClassName(), "TAutoIncField");
  EXPECT_EQ(field.DataType(), ftAutoInc);
  EXPECT_EQ(field.Size(), 0);
  EXPECT_TRUE(field.ReadOnly());
  EXPECT_NE(built.Defs[0].Attributes & faReadonly, 0);
}

TEST(BuildFieldDefs, ReadsOnlyTheRowIdFixedAndUpdatableBits) {
  struct TCase {
    const char* Name;
    uint32_t Attributes;
    uint8_t Expected;
  };
  const TCase cases[] = {
      {"updatable", adFldUpdatable, 0},
      {"updatability unknown", adFldUnknownUpdatable, 0},
      {"not updatable", 0, faReadonly},
      {"fixed", adFldUpdatable | adFldFixed, faFixed},
      {"row id", adFldUpdatable | adFldRowID, faHiddenCol},
      {"nullable is never required", adFldIsNullable | adFldMayBeNull, faReadonly},
      {"long and deferred", adFldLong | adFldMayDefer | adFldUpdatable, 0},
  };
  for (const TCase& c : cases) {
    const TBuilt built = Build({Column("a", adInteger, 4, 10, 0, c.Attributes)});
    ASSERT_EQ(built.Defs.Count(), 1u) << c.Name;
    EXPECT_EQ(built.Defs[0].Attributes, c.Expected) << c.Name;
  }
}

TEST(CreateFieldsFromDefs, RowIdColumnHasADefinitionButNoField) {
  const TBuilt built = Build({Column("a", adVarChar, 3),
                              Column("rid", adInteger, 4, 10, 0, adFldRowID | adFldUpdatable),
                              Column("b", adVarChar, 3)});
  EXPECT_EQ(built.Defs.Count(), 3u);
  ASSERT_EQ(built.Fields.size(), 2u);
  EXPECT_EQ(built.Fields[0]->FieldName(), "a");
  EXPECT_EQ(built.Fields[1]->FieldName(), "b");
}

TEST(CreateFieldsFromDefs, FixedCharOnStringFieldsOfFixedColumns) {
  struct TCase {
    const char* Name;
    TColumn Column;
    bool FixedChar;
  };
  const TCase cases[] = {
      {"adChar without the fixed bit", Column("s", adChar, 4), true},
      {"adVarChar with the fixed bit", Column("s", adVarChar, 4, 0, 0, adFldFixed), true},
      {"adVarChar", Column("s", adVarChar, 4), false},
      {"adWChar with the fixed bit", Column("s", adWChar, 4, 0, 0, adFldFixed), true},
      {"adGUID with the fixed bit", Column("s", adGUID, 38, 0, 0, adFldFixed), true},
      {"adInteger with the fixed bit", Column("i", adInteger, 4, 10, 0, adFldFixed), false},
      {"adBinary with the fixed bit", Column("b", adBinary, 4, 0, 0, adFldFixed), false},
  };
  for (const TCase& c : cases) {
    const TBuilt built = Build({c.Column});
    ASSERT_EQ(built.Fields.size(), 1u) << c.Name;
    EXPECT_EQ(built.Fields[0]->FixedChar(), c.FixedChar) << c.Name;
  }
}

TEST(CreateFieldsFromDefs, ChapterColumnSwitchesToNestedViewForGood) {
  // In the flat view a chapter column has no field.
  TFieldDefs defs;
  bool nestedView = false;
  BuildFieldDefs({Column("a", adInteger), Column("kids", adChapter)}, true, defs, nestedView);
  EXPECT_TRUE(nestedView);
  EXPECT_EQ(CreateFieldsFromDefs(defs, false, nullptr, TRegionalSettings()).size(), 1u);

  const TBuilt nested = Build({Column("a", adInteger), Column("kids", adChapter),
                               Column("rid", adInteger, 4, 10, 0, adFldRowID)});
  EXPECT_TRUE(nested.NestedView);
  ASSERT_EQ(nested.Fields.size(), 2u);
  EXPECT_STREQ(nested.Fields[1]->ClassName(), "TDataSetField");

  // The view stays nested when the same table opens columns without a chapter.
  const TBuilt later = Build({Column("a", adInteger)}, true);
  EXPECT_TRUE(later.NestedView);
}

}  // namespace
}  // namespace lumbra
