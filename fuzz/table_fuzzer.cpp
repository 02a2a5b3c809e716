// Opens arbitrary bytes as a table with a memo file beside it and reads every
// value of every record the ways the grid and the command line do: the
// grid's cell texts (display texts) and each field's string and variant.
// Then sorts the records by every column that sorts, and filters them with a
// comparison on every column, so that sorting and filtering meet the same
// damaged values. Errors the engine reports (Exception) are expected;
// anything else escaping, and every sanitizer report, is a finding.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/exception.h"
#include "dbf/cursor.h"
#include "dbf/file_io.h"
#include "dbf/filter_expression.h"
#include "dbf/sort_order.h"
#include "fields/field_defs.h"
#include "fields/fields.h"
#include "fields/grid_model.h"
#include "fields/regional_settings.h"
#include "fuzz/fuzz_tables.h"
#include "provider/provider.h"

namespace lumbra::fuzz {
namespace {

// Every character a pixel wide: the grid's layout needs some measure.
class TUnitFont : public IFontMetrics {
 public:
  int TextWidth(std::string_view text) const override { return static_cast<int>(text.size()); }
  int TextHeight(std::string_view) const override { return 1; }
};

// The grid's view of a record set with its fields, as a data source gives it.
class TRecordsetLink : public IGridDataLink {
 public:
  TRecordsetLink(TProviderRecordset& recordset, const TFields& fields)
      : FRecordset(recordset), FFields(fields) {}
  bool LinkActive() const override { return true; }
  const TFields& LinkFields() const override { return FFields; }
  int32_t LinkRecordCount() override { return FRecordset.RecordCount(); }
  int32_t LinkRecNo() const override { return FRecordset.AbsolutePosition(); }
  void LinkSetRecNo(int32_t recNo) override { FRecordset.SetAbsolutePosition(recNo); }
  bool LinkFiltered() const override { return false; }
  void LinkMoveField(size_t, size_t) override {}

 private:
  TProviderRecordset& FRecordset;
  const TFields& FFields;
};

// A comparison that reads column's values, for the column's family.
std::string Comparison(const std::string& column, TValueFamily family) {
  switch (family) {
    case TValueFamily::Text:
      return column + " LIKE 'a%'";
    case TValueFamily::Number:
      return column + " > 0";
    case TValueFamily::Date:
      return column + " < #2000-01-01 12:00:00#";
    case TValueFamily::Logical:
      return column + " = TRUE";
    case TValueFamily::Binary:
      break;
  }
  return column + " IS NULL";
}

void SortAndFilter(TDbfTable& table) {
  std::string sort, filter;
  for (size_t i = 0; i < table.Fields().size(); ++i) {
    const TDbfField& field = table.Fields()[i];
    if (field.IsSystem()) continue;
    const std::string column = "[" + table.FieldNames()[i] + "]";
    const TValueFamily family = FamilyOf(field);
    if (family != TValueFamily::Binary && !field.IsMemo()) {
      sort += (sort.empty() ? "" : ", ") + column + (i % 2 == 0 ? " DESC" : "");
    }
    filter += (filter.empty() ? "" : " OR ") + Comparison(column, family);
  }
  try {
    TDbfCursor cursor(table);
    ApplySort(cursor, ParseSortText(sort, table));
  } catch (const Exception&) {
  }
  try {
    TFilterExpression expression(filter, table);
    TDbfCursor cursor(table);
    ApplyFilter(cursor, expression);
  } catch (const Exception&) {
  }
}

void ReadEveryValue(TTableInput input) {
  std::unique_ptr<IFileIo> memo;
  if (input.HasMemo) memo = std::make_unique<MemoryFileIo>("fuzz.fpt", std::move(input.Memo));
  auto table = std::make_unique<TDbfTable>(
      std::make_unique<MemoryFileIo>("fuzz.dbf", std::move(input.Table)), std::move(memo));
  TProviderRecordset recordset(std::move(table));
  TFieldDefs defs;
  bool nestedView = false;
  BuildFieldDefs(recordset.Columns(), true, defs, nestedView);
  static const TRegionalSettings settings = TRegionalSettings::ForLocales("ro_RO", "ro_RO");
  const TFields fields = CreateFieldsFromDefs(defs, nestedView, &recordset, settings);

  TRecordsetLink link(recordset, fields);
  const TUnitFont font;
  TGridModel grid(link, font, font);
  grid.LayOut();
  for (int32_t row = 0; row < grid.RowCount(); ++row) {
    for (size_t column = 0; column < grid.Columns().size(); ++column)
      grid.CellText(row, column);
  }
  for (recordset.MoveFirst(); !recordset.Eof(); recordset.MoveNext()) {
    for (const auto& field : fields) {
      // A value that does not fit its field's class is reported, not shown.
      try {
        field->IsNull();
        field->AsString();
        field->AsVariant();
      } catch (const EDatabaseError&) {
      }
    }
  }
  SortAndFilter(recordset.Table());
}

}  // namespace
}  // namespace lumbra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    lumbra::fuzz::ReadEveryValue(lumbra::fuzz::SplitTableInput(data, size));
  } catch (const lumbra::Exception&) {
  }
  return 0;
}
