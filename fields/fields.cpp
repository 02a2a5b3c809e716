#include "fields/fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "base/shortcuts.h"
#include "base/text.h"
#include "fields/text_forms.h"

namespace lumbra {

namespace {

// How many characters UTF-8 text has: its bytes less its continuation bytes
// (10xxxxxx).
size_t CharacterCount(std::string_view text) {
  if constexpr (kShortcuts) return Utf8CharacterCount(text);
  size_t continuations = 0;
  for (const char c : text)
    continuations += (static_cast<unsigned char>(c) & 0xC0) == 0x80 ? 1 : 0;
  return text.size() - continuations;
}

void AppendInt64(std::string& out, int64_t value) {
  char buffer[24];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, end);
}

// The first count characters of UTF-8 text, never cutting a character.
std::string_view FirstCharacters(std::string_view text, int32_t count) {
  size_t i = 0;
  for (int32_t n = 0; i < text.size() && n < count; ++n) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
      ++i;
  }
  return text.substr(0, i);
}

const char* ShortTypeName(TFieldType type) {
  switch (type) {
    case ftBlob:
      return "Blob";
    case ftMemo:
      return "Memo";
    case ftGraphic:
      return "Graphic";
    case ftFmtMemo:
      return "FmtMemo";
    case ftParadoxOle:
      return "ParadoxOle";
    case ftDBaseOle:
      return "dBaseOle";
    case ftTypedBinary:
      return "TypedBinary";
    case ftOraBlob:
      return "HugeBlob";
    case ftOraClob:
      return "HugeClob";
    default:
      return "";
  }
}

bool IsBlobClass(TFieldClass c) {
  return c == TFieldClass::Blob || c == TFieldClass::Memo || c == TFieldClass::Graphic;
}

}  // namespace

const char* TField::ClassName() const {
  switch (FClass) {
    case TFieldClass::String:
      return "TStringField";
    case TFieldClass::WideString:
      return "TWideStringField";
    case TFieldClass::Guid:
      return "TGuidField";
    case TFieldClass::Smallint:
      return "TSmallintField";
    case TFieldClass::Integer:
      return "TIntegerField";
    case TFieldClass::Word:
      return "TWordField";
    case TFieldClass::AutoInc:
      return "TAutoIncField";
    case TFieldClass::Largeint:
      return "TLargeintField";
    case TFieldClass::Float:
      return "TFloatField";
    case TFieldClass::Currency:
      return "TCurrencyField";
    case TFieldClass::BCD:
      return "TBCDField";
    case TFieldClass::FMTBCD:
      return "TFMTBCDField";
    case TFieldClass::Boolean:
      return "TBooleanField";
    case TFieldClass::Date:
      return "TDateField";
    case TFieldClass::Time:
      return "TTimeField";
    case TFieldClass::DateTime:
      return "TDateTimeField";
    case TFieldClass::SQLTimeStamp:
      return "TSQLTimeStampField";
    case TFieldClass::Bytes:
      return "TBytesField";
    case TFieldClass::VarBytes:
      return "TVarBytesField";
    case TFieldClass::Blob:
      return "TBlobField";
    case TFieldClass::Memo:
      return "TMemoField";
    case TFieldClass::Graphic:
      return "TGraphicField";
    case TFieldClass::ADT:
      return "TADTField";
    case TFieldClass::Array:
      return "TArrayField";
    case TFieldClass::DataSet:
      return "TDataSetField";
    case TFieldClass::Reference:
      return "TReferenceField";
    case TFieldClass::Variant:
      return "TVariantField";
    case TFieldClass::Interface:
      return "TInterfaceField";
    case TFieldClass::IDispatch:
      return "TIDispatchField";
    case TFieldClass::None:
      break;
  }
  return "TField";
}

void TField::SetSize(int32_t size) {
  CheckTypeSize(FClass, size);
  FSize = size;
}

void TField::Bind(TProviderRecordset* recordset, size_t column) {
  FRecordset = recordset;
  FColumn = column;
  FValueStamp = UINT64_MAX;
}

const Variant& TField::ProviderValue() const {
  if (FRecordset == nullptr || FRecordset->Bof() || FRecordset->Eof()) {
    FValue.SetNull();
    FValueStamp = UINT64_MAX;
    return FValue;
  }
  if (FValueStamp != FRecordset->RecordStamp()) {
    FValueStamp = UINT64_MAX;  // stays stale if the read throws
    FRecordset->GetValue(FColumn, FValue);
    FValueStamp = FRecordset->RecordStamp();
  }
  return FValue;
}

std::string TField::Place() const {
  std::string place = "field '" + FFieldName + "'";
  if (FRecordset == nullptr) return place;
  place += " of table '" + FRecordset->Table().Path() + "'";
  if (const uint32_t number = FRecordset->RecordNumber()) {
    place += ", record " + std::to_string(number);
  }
  return place;
}

bool TField::IsNull() const {
  const Variant& v = ProviderValue();
  return v.IsNull() || v.IsEmpty();
}

int64_t TField::IntegerValue(const Variant& v) const {
  switch (v.Type()) {
    case TVarType::varInteger:
    case TVarType::varInt64:
      return v.Int64();
    case TVarType::varBoolean:
      return v.Boolean() ? 1 : 0;
    case TVarType::varDecimal:
      if (auto value = DecimalToInt64(v.Decimal())) return *value;
      break;
    case TVarType::varCurrency:
      return (v.Currency() + (v.Currency() < 0 ? -5000 : 5000)) / 10000;
    case TVarType::varDouble:
      if (std::isfinite(v.Double()) && std::fabs(v.Double()) < 9.2e18)
        return std::llround(v.Double());
      break;
    default:
      break;
  }
  throw EFieldValueError(Place() + " cannot hold the value as a whole number");
}

int64_t TField::CurrencyValue(const Variant& v) const {
  switch (v.Type()) {
    case TVarType::varCurrency:
      return v.Currency();
    case TVarType::varDecimal:
      // Digits beyond the fourth decimal are rounded half away from zero.
      if (auto value = DecimalToCurrency(v.Decimal())) return *value;
      throw EBcdOverflowError("BCD overflow in " + Place());
    case TVarType::varInteger:
    case TVarType::varInt64:
      if (std::llabs(v.Int64()) <= INT64_MAX / 10000) return v.Int64() * 10000;
      throw EBcdOverflowError("BCD overflow in " + Place());
    case TVarType::varDouble:
      if (std::isfinite(v.Double()) && std::fabs(v.Double()) < 9.2e14) {
        return std::llround(v.Double() * 10000);
      }
      throw EBcdOverflowError("BCD overflow in " + Place());
    default:
      throw EFieldValueError(Place() + " cannot hold the value as a number");
  }
}

int64_t TField::ClassInteger(int64_t value) const {
  switch (FClass) {
    case TFieldClass::Smallint:
      return static_cast<int16_t>(value);
    case TFieldClass::Word:
      return static_cast<uint16_t>(value);
    case TFieldClass::Integer:
    case TFieldClass::AutoInc:
      return static_cast<int32_t>(value);
    default:
      return value;
  }
}

bool TField::BooleanValue(const Variant& v) const {
  return v.Type() == TVarType::varBoolean ? v.Boolean() : IntegerValue(v) != 0;
}

double TField::DateValue(const Variant& v) const {
  if (v.Type() != TVarType::varDate) {
    throw EFieldValueError(Place() + " cannot hold the value as a date");
  }
  return v.Date();
}

double TField::FloatValue(const Variant& v) const {
  switch (v.Type()) {
    case TVarType::varDouble:
      return v.Double();
    case TVarType::varInteger:
    case TVarType::varInt64:
      return static_cast<double>(v.Int64());
    case TVarType::varCurrency:
      return static_cast<double>(v.Currency()) / 10000.0;
    case TVarType::varDecimal:
      return v.Decimal().ToDouble();
    default:
      throw EFieldValueError(Place() + " cannot hold the value as a number");
  }
}

std::string TField::TextValue(const Variant& v) const {
  std::string text;
  AppendTextValue(text, v);
  return text;
}

void TField::AppendTextValue(std::string& out, const Variant& v) const {
  switch (v.Type()) {
    case TVarType::varString:
    case TVarType::varUString:
    case TVarType::varBytes:
      out += v.Text();
      return;
    case TVarType::varInteger:
    case TVarType::varInt64:
      AppendInt64(out, v.Int64());
      return;
    case TVarType::varDouble:
      AppendGeneral(out, v.Double(), 15, FSettings);
      return;
    case TVarType::varCurrency:
      AppendCurrencyGeneral(out, v.Currency(), FSettings);
      return;
    case TVarType::varDecimal:
      AppendDecimalGeneral(out, v.Decimal(), FSettings);
      return;
    case TVarType::varDate:
      AppendDateTimeText(out, v.Date(), FSettings);
      return;
    case TVarType::varBoolean:
      out += v.Boolean() ? "True" : "False";
      return;
    default:
      throw EFieldValueError(Place() + " cannot show the value as text");
  }
}

Variant TField::AsVariant() const {
  const Variant& v = ProviderValue();
  if (IsBlobClass(FClass)) {
    // A large value is its contents, and an absent one is empty, never Null.
    return Variant::FromString(v.IsNull() || v.IsEmpty() ? std::string() : TextValue(v));
  }
  if (v.IsNull() || v.IsEmpty()) return Variant::Null();
  switch (FClass) {
    case TFieldClass::String:
    case TFieldClass::Guid:
      return Variant::FromString(AsString());
    case TFieldClass::WideString:
      return Variant::FromString(TextValue(v), TVarType::varUString);
    case TFieldClass::Smallint:
    case TFieldClass::Word:
    case TFieldClass::Integer:
    case TFieldClass::AutoInc:
      return Variant::FromInteger(static_cast<int32_t>(ClassInteger(IntegerValue(v))));
    case TFieldClass::Largeint:
      return Variant::FromInt64(IntegerValue(v));
    case TFieldClass::Float:
    case TFieldClass::Currency:
      return Variant::FromDouble(FloatValue(v));
    case TFieldClass::BCD:
    case TFieldClass::FMTBCD:
      return Variant::FromCurrency(CurrencyValue(v));
    case TFieldClass::Boolean:
      if (v.Type() == TVarType::varBoolean) return v;
      return Variant::FromBoolean(BooleanValue(v));
    case TFieldClass::Date:
    case TFieldClass::Time:
    case TFieldClass::DateTime:
    case TFieldClass::SQLTimeStamp:
      static_cast<void>(DateValue(v));
      return v;
    case TFieldClass::Bytes:
    case TFieldClass::VarBytes:
      return Variant::FromBytes(v.Text());
    case TFieldClass::Interface:
    case TFieldClass::IDispatch:
      return Variant::OfKind(TVarType::varUnknown);
    case TFieldClass::DataSet:
      return Variant::Null();
    default:
      return v;
  }
}

bool TField::VariantEqualsNull() const {
  const Variant& v = ProviderValue();
  const bool isText = v.Type() == TVarType::varString || v.Type() == TVarType::varUString ||
                      v.Type() == TVarType::varBytes;
  const bool absent = v.IsNull() || v.IsEmpty();
  // These classes' variant is a text made from the value, never Null; making
  // it fails only for values that are not text already.
  if (IsBlobClass(FClass)) {
    if (!absent && !isText) static_cast<void>(TextValue(v));
    return false;
  }
  if ((FClass == TFieldClass::String || FClass == TFieldClass::Guid) && !absent) {
    if (!isText) static_cast<void>(AsString());
    return false;
  }
  // The numeric and date classes' variant is Null for an absent value, else
  // made by a conversion that fails only by throwing: the conversion alone
  // tells.
  const bool isDate = FClass == TFieldClass::Date || FClass == TFieldClass::Time ||
                      FClass == TFieldClass::DateTime || FClass == TFieldClass::SQLTimeStamp;
  if (!IsNumeric() && !isDate) return AsVariant().EqualsNull();
  if (absent) return true;
  if (isDate) {
    static_cast<void>(DateValue(v));
  } else if (FClass == TFieldClass::BCD || FClass == TFieldClass::FMTBCD) {
    static_cast<void>(CurrencyValue(v));
  } else if (FClass == TFieldClass::Float || FClass == TFieldClass::Currency) {
    static_cast<void>(FloatValue(v));
  } else {
    static_cast<void>(IntegerValue(v));
  }
  return false;
}

std::string TField::AsString() const {
  std::string text;
  AppendString(text);
  return text;
}

void TField::AppendString(std::string& out) const {
  const Variant& v = ProviderValue();
  const bool isNull = v.IsNull() || v.IsEmpty();
  if (FClass == TFieldClass::Interface || FClass == TFieldClass::IDispatch ||
      FClass == TFieldClass::DataSet) {
    out += ClassDescription();
    return;
  }
  if (isNull) return;
  switch (FClass) {
    case TFieldClass::String:
    case TFieldClass::Guid: {
      const bool isText = v.Type() == TVarType::varString || v.Type() == TVarType::varUString ||
                          v.Type() == TVarType::varBytes;
      // Text is cut in place; other kinds are turned into text first.
      const std::string other = isText ? std::string() : TextValue(v);
      std::string_view text = isText ? std::string_view(v.Text()) : std::string_view(other);
      text = text.substr(0, LengthBeforeNul(text));
      const auto limit = static_cast<size_t>(std::max(FClass == TFieldClass::Guid ? 38 : FSize, 0));
      // A field's own text is never longer than its size: its bytes, or
      // else its characters counted, tell without walking to the cut.
      out += text.size() <= limit || CharacterCount(text) <= limit
                 ? text
                 : FirstCharacters(text, static_cast<int32_t>(limit));
      return;
    }
    case TFieldClass::Smallint:
    case TFieldClass::Integer:
    case TFieldClass::Word:
    case TFieldClass::AutoInc:
    case TFieldClass::Largeint:
      AppendInt64(out, ClassInteger(IntegerValue(v)));
      return;
    case TFieldClass::Float:
    case TFieldClass::Currency:
      if (v.Type() == TVarType::varDecimal) {
        AppendDecimalGeneral(out, v.Decimal(), FSettings);
      } else {
        AppendGeneral(out, FloatValue(v), 15, FSettings);
      }
      return;
    case TFieldClass::BCD:
    case TFieldClass::FMTBCD:
      AppendCurrencyGeneral(out, CurrencyValue(v), FSettings);
      return;
    case TFieldClass::Boolean:
      out += BooleanValue(v) ? "True" : "False";
      return;
    case TFieldClass::Date:
      AppendDateTime(out, FSettings.ShortDateFormat, DateValue(v), FSettings);
      return;
    case TFieldClass::Time:
      AppendDateTime(out, FSettings.LongTimeFormat, DateValue(v), FSettings);
      return;
    case TFieldClass::DateTime:
    case TFieldClass::SQLTimeStamp:
      AppendDateTimeText(out, DateValue(v), FSettings);
      return;
    default:
      AppendTextValue(out, v);
      return;
  }
}

std::string TField::DisplayText() const {
  switch (FClass) {
    case TFieldClass::Bytes:
    case TFieldClass::VarBytes:
    case TFieldClass::Blob:
    case TFieldClass::Memo:
    case TFieldClass::Graphic:
      return ClassDescription();
    case TFieldClass::BCD:
    case TFieldClass::FMTBCD:
      // Only a value that cannot become a currency amount is shown this way;
      // a provider that fails to give the value still raises.
      try {
        return AsString();
      } catch (const EBcdOverflowError&) {
        return "BCD overflow";
      } catch (const EFieldValueError&) {
        return "BCD overflow";
      }
    default:
      return AsString();
  }
}

std::string TField::ClassDescription() const {
  std::string name;
  if (IsBlobClass(FClass)) {
    name = ShortTypeName(FDataType);
  } else {
    name = ClassName();
    if (!name.empty() && name[0] == 'T') name.erase(0, 1);
    if (name.size() > 5 && EqualsIgnoringAsciiCase(name.substr(name.size() - 5), "Field")) {
      name.resize(name.size() - 5);
    }
  }
  const std::string text = "(" + name + ")";
  return IsNull() ? text : AsciiUpper(text);
}

bool TField::IsNumeric() const {
  switch (FClass) {
    case TFieldClass::Smallint:
    case TFieldClass::Integer:
    case TFieldClass::Word:
    case TFieldClass::AutoInc:
    case TFieldClass::Largeint:
    case TFieldClass::Float:
    case TFieldClass::Currency:
    case TFieldClass::BCD:
    case TFieldClass::FMTBCD:
      return true;
    default:
      return false;
  }
}

int32_t TField::DefaultDisplayWidth() const {
  switch (FClass) {
    case TFieldClass::String:
    case TFieldClass::WideString:
      return FSize;
    case TFieldClass::Guid:
      return 38;
    case TFieldClass::Largeint:
      return 15;
    case TFieldClass::Boolean:
      return 5;
    case TFieldClass::DateTime:
      return 18;
    case TFieldClass::Date:
    case TFieldClass::Time:
      return 10;
    case TFieldClass::BCD:
      return FPrecision > 0 ? FPrecision + 1 : 10;
    case TFieldClass::Variant:
      return 15;
    default:
      return 10;
  }
}

TFields CreateFieldsFromDefs(const TFieldDefs& defs, bool nestedView, TProviderRecordset* recordset,
                             const TRegionalSettings& settings) {
  TFields fields;
  for (size_t i = 0; i < defs.Count(); ++i) {
    const TFieldDef& def = defs[i];
    const TFieldType type = def.DataType();
    if (type == ftUnknown || (def.Attributes & faHiddenCol) != 0) continue;
    if (!nestedView && type >= ftADT && type <= ftDataSet) continue;
    const TFieldClass fieldClass = FieldClassForType(type);
    if (fieldClass == TFieldClass::None) {
      throw EDatabaseError("Field '" + def.Name + "' is of an unknown type");
    }
    auto field = std::make_unique<TField>(fieldClass, settings);
    field->SetSize(def.Size());
    field->SetFieldName(def.Name);
    field->SetReadOnly((def.Attributes & faReadonly) != 0);
    field->SetDataType(type);
    if (fieldClass == TFieldClass::BCD) field->SetPrecision(def.Precision());
    const bool stringClass = fieldClass == TFieldClass::String ||
                             fieldClass == TFieldClass::WideString ||
                             fieldClass == TFieldClass::Guid;
    if (stringClass && ((def.Attributes & faFixed) != 0 || type == ftFixedChar)) {
      field->SetFixedChar(true);
    }
    field->Bind(recordset, def.Column);
    fields.push_back(std::move(field));
  }
  return fields;
}

}  // namespace lumbra
