#include "fields/field_defs.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "base/exception.h"

namespace lumbra {

void CheckTypeSize(TFieldClass fieldClass, int32_t size) {
  bool accepted;
  switch (fieldClass) {
    case TFieldClass::String:
    case TFieldClass::WideString:
      accepted = size >= 0;
      break;
    case TFieldClass::Bytes:
    case TFieldClass::VarBytes:
      accepted = size != 0;
      break;
    case TFieldClass::BCD:
      accepted = size <= 32;
      break;
    case TFieldClass::FMTBCD:
      accepted = size <= 64;
      break;
    case TFieldClass::Guid:
      accepted = size == 38;
      break;
    case TFieldClass::Blob:
    case TFieldClass::Memo:
    case TFieldClass::Graphic:
    case TFieldClass::ADT:
    case TFieldClass::Array:
    case TFieldClass::DataSet:
    case TFieldClass::Reference:
    case TFieldClass::Variant:
    case TFieldClass::Interface:
    case TFieldClass::IDispatch:
      accepted = true;
      break;
    default:
      accepted = size == 0;
      break;
  }
  if (!accepted) throw EDatabaseError("Invalid field size");
}

void TFieldDef::SetDataType(TFieldType type) {
  FDataType = type;
  FSize = 0;
  FPrecision = 0;
}

void TFieldDef::SetSize(int32_t size) {
  if (size != 0) CheckTypeSize(FieldClassForType(FDataType), size);
  FSize = size;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  const auto ua =
      icu::UnicodeString::fromUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())));
  const auto ub =
      icu::UnicodeString::fromUTF8(icu::StringPiece(b.data(), static_cast<int32_t>(b.size())));
  return ua.caseCompare(ub, U_FOLD_CASE_DEFAULT) == 0;
}

int TFieldDefs::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (SameNameIgnoringCase(FItems[i].Name, name)) return static_cast<int>(i);
  }
  return -1;
}

namespace {

void AddColumnFieldDef(const TColumn& column, size_t index, bool enableBCD, bool autoIncrementKnown,
                       TFieldDefs& defs, bool& nestedView) {
  TFieldType type = ColumnTypeToFieldType(column.Type, enableBCD);
  if (type == ftUnknown) return;
  int32_t size = 0;
  int32_t precision = 0;
  TFieldDef& def = defs.Add();
  def.FieldNo = static_cast<int32_t>(defs.Count());
  def.Column = index;
  // A name already taken (ignoring case), or no name at all, gets a counter.
  std::string name = column.Name;
  for (int counter = 0; name.empty() || defs.IndexOf(name) >= 0;) {
    ++counter;
    name = column.Name.empty() ? "COLUMN" + std::to_string(counter)
                               : column.Name + "_" + std::to_string(counter);
  }
  def.Name = std::move(name);
  // Whole numbers of fewer than ten digits fit a 32-bit integer.
  if (column.Type == adNumeric && column.NumericScale == 0 && column.Precision < 10)
    type = ftInteger;
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftBytes:
    case ftVarBytes:
      size = column.DefinedSize;
      break;
    case ftBCD: {
      precision = column.Precision;
      const auto scale = static_cast<int8_t>(column.NumericScale);
      size = scale < 0 ? 4 : scale;
      break;
    }
    case ftGuid:
      size = 38;
      break;
    case ftInteger:
      if (autoIncrementKnown) {
        const TColumnProperty* p = column.FindProperty("ISAUTOINCREMENT");
        if (p != nullptr && p->Value.Type() == TVarType::varBoolean && p->Value.Boolean()) {
          type = ftAutoInc;
        }
      }
      break;
    default:
      break;
  }
  if ((column.Attributes & adFldRowID) != 0) def.Attributes |= faHiddenCol;
  if ((column.Attributes & adFldFixed) != 0) def.Attributes |= faFixed;
  if ((column.Attributes & (adFldUpdatable | adFldUnknownUpdatable)) == 0 || type == ftAutoInc) {
    def.Attributes |= faReadonly;
  }
  def.SetDataType(type);
  def.SetSize(size);
  def.SetPrecision(precision);
  // Definitions are built while the table has no fields, so a chapter column
  // always switches the table to the nested view.
  if (type == ftDataSet) nestedView = true;
}

}  // namespace

void BuildFieldDefs(const std::vector<TColumn>& columns, bool enableBCD, TFieldDefs& defs,
                    bool& nestedView) {
  defs.Clear();
  bool autoIncrementKnown = false;
  if (!columns.empty()) autoIncrementKnown = columns[0].FindProperty("ISAUTOINCREMENT") != nullptr;
  for (size_t i = 0; i < columns.size(); ++i) {
    AddColumnFieldDef(columns[i], i, enableBCD, autoIncrementKnown, defs, nestedView);
  }
}

}  // namespace lumbra
