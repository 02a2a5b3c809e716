// Fields: one per eligible field definition of an open table, reading the
// value of its provider column in the table's current record four ways.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/variant.h"
#include "fields/field_defs.h"
#include "fields/regional_settings.h"
#include "provider/provider.h"

namespace lumbra {

// A decimal that does not fit the 64-bit currency amount of a BCD field.
LUMBRA_DECLARE_EXCEPTION(EBcdOverflowError, EDatabaseError);
// A provider value of a kind the field cannot turn into its own.
LUMBRA_DECLARE_EXCEPTION(EFieldValueError, EDatabaseError);

class TField {
 public:
  TField(TFieldClass fieldClass, const TRegionalSettings& settings)
      : FClass(fieldClass), FSettings(settings) {}

  TFieldClass Class() const { return FClass; }
  // The class's name, e.g. "TStringField".
  const char* ClassName() const;

  const std::string& FieldName() const { return FFieldName; }
  TFieldType DataType() const { return FDataType; }
  int32_t Size() const { return FSize; }
  int32_t Precision() const { return FPrecision; }
  bool ReadOnly() const { return FReadOnly; }
  bool FixedChar() const { return FFixedChar; }

  void SetFieldName(std::string name) { FFieldName = std::move(name); }
  void SetDataType(TFieldType type) { FDataType = type; }
  // Throws EDatabaseError "Invalid field size" when the class does not accept size.
  void SetSize(int32_t size);
  void SetPrecision(int32_t precision) { FPrecision = precision; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  void SetFixedChar(bool value) { FFixedChar = value; }
  // Reads values from column of recordset, which must outlive the field.
  void Bind(TProviderRecordset* recordset, size_t column);

  // The four readings of the current record. They throw what the provider
  // throws, and EBcdOverflowError / EFieldValueError for values that do not
  // fit the field (DisplayText of a BCD field shows "BCD overflow" instead).
  bool IsNull() const;
  Variant AsVariant() const;
  // AsVariant().EqualsNull(), throwing what those throw, without building a
  // text value only to test it.
  bool VariantEqualsNull() const;
  std::string AsString() const;
  // Appends AsString's text to out, so a caller reading many values can keep
  // one buffer instead of a new text each.
  void AppendString(std::string& out) const;
  std::string DisplayText() const;

  // Right-aligned in the grid: the integer, float and BCD classes.
  bool IsNumeric() const;
  // Width in characters the grid gives the field by default.
  int32_t DefaultDisplayWidth() const;
  // The placeholder shown for binary and large values: "(Memo)" when Null,
  // "(MEMO)" otherwise.
  std::string ClassDescription() const;

 private:
  const Variant& ProviderValue() const;
  // Where the value read stands, for conversion errors: "field 'NAME' of
  // table 'PATH', record N" (N counts the file's records from 1).
  std::string Place() const;
  int64_t IntegerValue(const Variant& value) const;
  // A whole number as the field's class holds it: cut to 16 or 32 bits.
  int64_t ClassInteger(int64_t value) const;
  bool BooleanValue(const Variant& value) const;
  // The day count of a date-time value; EFieldValueError for any other kind.
  double DateValue(const Variant& value) const;
  int64_t CurrencyValue(const Variant& value) const;
  double FloatValue(const Variant& value) const;
  std::string TextValue(const Variant& value) const;
  void AppendTextValue(std::string& out, const Variant& value) const;

  TFieldClass FClass;
  const TRegionalSettings& FSettings;
  std::string FFieldName;
  TFieldType FDataType = ftUnknown;
  int32_t FSize = 0;
  int32_t FPrecision = 0;
  bool FReadOnly = false;
  bool FFixedChar = false;
  TProviderRecordset* FRecordset = nullptr;
  size_t FColumn = 0;
  // The provider's value is fetched once per record.
  mutable Variant FValue;
  mutable uint64_t FValueStamp = UINT64_MAX;
};

using TFields = std::vector<std::unique_ptr<TField>>;

// Creates the fields of defs in definition order, bound to recordset. In the
// flat view hidden and nested-type definitions get no field.
TFields CreateFieldsFromDefs(const TFieldDefs& defs, bool nestedView, TProviderRecordset* recordset,
                             const TRegionalSettings& settings);

}  // namespace lumbra
