// Every table of ../shared/corpus opened through a TADOTable: it opens or is
// refused by the engine, and every value of every field reads consistently in
// its four forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "dbf/dbf_error.h"
#include "tables/data_access.h"
#include "tables/slots.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

namespace fs = std::filesystem;
using test::CorpusDir;

bool IsPlaceholderClass(TFieldClass c) {
  return c == TFieldClass::Bytes || c == TFieldClass::VarBytes || c == TFieldClass::Blob ||
         c == TFieldClass::Memo;
}

// The placeholder's two spellings: "(Memo)" for Null, "(MEMO)" otherwise.
std::string Placeholder(const TField& field) {
  std::string name;
  switch (field.Class()) {
    case TFieldClass::Bytes:
      name = "Bytes";
      break;
    case TFieldClass::VarBytes:
      name = "VarBytes";
      break;
    case TFieldClass::Blob:
      name = "Blob";
      break;
    default:
      name = "Memo";
      break;
  }
  if (!field.IsNull()) {
    for (char& c : name)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return "(" + name + ")";
}

// Checks the four readings of field on the current record against each other.
void ExpectConsistentReadings(const TField& field, const std::string& where) {
  const bool isNull = field.IsNull();
  const std::string display = field.DisplayText();
  if (IsPlaceholderClass(field.Class())) {
    EXPECT_EQ(display, Placeholder(field)) << where;
    const std::string text = field.AsString();
    if (isNull) {
      EXPECT_EQ(text, "") << where;
    }
    const Variant value = field.AsVariant();
    if (field.Class() == TFieldClass::Blob || field.Class() == TFieldClass::Memo) {
      // A large value is never Null: a Null one reads as the empty text.
      EXPECT_EQ(value, Variant::FromString(text)) << where;
    } else {
      EXPECT_EQ(value.IsNull(), isNull) << where;
    }
    return;
  }
  if (field.Class() == TFieldClass::BCD) {
    try {
      field.AsVariant();
    } catch (const EBcdOverflowError&) {
      // A value beyond the currency range: only the display text survives it.
      EXPECT_EQ(display, "BCD overflow") << where;
      EXPECT_THROW(field.AsString(), EBcdOverflowError) << where;
      return;
    }
  }
  const Variant value = field.AsVariant();
  const std::string text = field.AsString();
  EXPECT_EQ(display, text) << where;
  EXPECT_EQ(value.IsNull(), isNull) << where;
  if (isNull) {
    EXPECT_EQ(text, "") << where;
  }
  if (field.Class() == TFieldClass::String) {
    EXPECT_EQ(text.find('\0'), std::string::npos) << where;
  }
}

// The size a field reports for the provider column it reads.
int32_t ExpectedSize(const TField& field, const TColumn& column) {
  switch (field.DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftBytes:
    case ftVarBytes:
      return column.DefinedSize;
    case ftBCD:
      return static_cast<int8_t>(column.NumericScale) < 0 ? 4 : column.NumericScale;
    default:
      return 0;
  }
}

TEST(CorpusTables, OpenAndReadEveryFieldConsistently) {
  if (!fs::is_directory(CorpusDir())) GTEST_SKIP() << "no corpus at " << CorpusDir();
  const TRegionalSettings settings;
  size_t opened = 0;
  size_t refused = 0;
  for (const fs::path& path : test::TablesUnder(CorpusDir())) {
    const std::string name = path.filename().string();
    TADOConnection connection("Conn");
    connection.SetConnectionString(NormalConnectionString(path.parent_path().string() + "/"));
    TADOTable table("AT", connection, settings);
    table.TableName = name.substr(0, name.size() - 4);
    try {
      table.Open();
    } catch (const EDbfError& e) {
      // The engine refuses a few damaged files; the table then stays closed.
      EXPECT_FALSE(table.Active()) << path;
      EXPECT_TRUE(table.Fields().empty()) << path;
      ++refused;
      continue;
    }
    ++opened;
    const std::vector<TColumn>& columns = table.Recordset()->Columns();
    for (size_t i = 0; i < table.FieldDefs().Count(); ++i) {
      const TFieldDef& def = table.FieldDefs()[i];
      const TField* field = table.FindField(def.Name);
      ASSERT_NE(field, nullptr) << path << " " << def.Name;
      EXPECT_EQ(field->Size(), ExpectedSize(*field, columns[def.Column]))
          << path << " " << def.Name;
    }
    int32_t records = 0;
    for (table.First(); !table.Eof() && records < 300; table.Next(), ++records) {
      for (const auto& field : table.Fields()) {
        ExpectConsistentReadings(*field, path.string() + " record " + std::to_string(records + 1) +
                                             " field " + field->FieldName());
      }
    }
    table.Close();
    EXPECT_TRUE(table.Fields().empty()) << path;
  }
  EXPECT_GT(opened, 140u);
  EXPECT_LT(refused, 10u);
}

}  // namespace
}  // namespace lumbra
