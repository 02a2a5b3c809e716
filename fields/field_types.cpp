#include "fields/field_types.h"

#include "provider/ado_types.h"

namespace lumbra {

const char* FieldTypeName(int ordinal) {
  static constexpr const char* kNames[kFieldTypeCount] = {
      "ftUnknown",    "ftString",     "ftSmallint", "ftInteger",     "ftWord",      "ftBoolean",
      "ftFloat",      "ftCurrency",   "ftBCD",      "ftDate",        "ftTime",      "ftDateTime",
      "ftBytes",      "ftVarBytes",   "ftAutoInc",  "ftBlob",        "ftMemo",      "ftGraphic",
      "ftFmtMemo",    "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",    "ftFixedChar",
      "ftWideString", "ftLargeint",   "ftADT",      "ftArray",       "ftReference", "ftDataSet",
      "ftOraBlob",    "ftOraClob",    "ftVariant",  "ftInterface",   "ftIDispatch", "ftGuid",
      "ftTimeStamp",  "ftFMTBcd"};
  if (ordinal < 0 || ordinal >= kFieldTypeCount) return "Altceva";
  return kNames[ordinal];
}

TFieldClass FieldClassForType(TFieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar:
      return TFieldClass::String;
    case ftSmallint:
      return TFieldClass::Smallint;
    case ftInteger:
      return TFieldClass::Integer;
    case ftWord:
      return TFieldClass::Word;
    case ftBoolean:
      return TFieldClass::Boolean;
    case ftFloat:
      return TFieldClass::Float;
    case ftCurrency:
      return TFieldClass::Currency;
    case ftBCD:
      return TFieldClass::BCD;
    case ftDate:
      return TFieldClass::Date;
    case ftTime:
      return TFieldClass::Time;
    case ftDateTime:
      return TFieldClass::DateTime;
    case ftBytes:
      return TFieldClass::Bytes;
    case ftVarBytes:
      return TFieldClass::VarBytes;
    case ftAutoInc:
      return TFieldClass::AutoInc;
    case ftBlob:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
      return TFieldClass::Blob;
    case ftMemo:
    case ftOraClob:
      return TFieldClass::Memo;
    case ftGraphic:
      return TFieldClass::Graphic;
    case ftWideString:
      return TFieldClass::WideString;
    case ftLargeint:
      return TFieldClass::Largeint;
    case ftADT:
      return TFieldClass::ADT;
    case ftArray:
      return TFieldClass::Array;
    case ftReference:
      return TFieldClass::Reference;
    case ftDataSet:
      return TFieldClass::DataSet;
    case ftVariant:
      return TFieldClass::Variant;
    case ftInterface:
      return TFieldClass::Interface;
    case ftIDispatch:
      return TFieldClass::IDispatch;
    case ftGuid:
      return TFieldClass::Guid;
    case ftTimeStamp:
      return TFieldClass::SQLTimeStamp;
    case ftFMTBcd:
      return TFieldClass::FMTBCD;
    default:
      return TFieldClass::None;
  }
}

TFieldType ColumnTypeToFieldType(int columnType, bool enableBCD) {
  switch (columnType) {
    case adSmallInt:
    case adTinyInt:
      return ftSmallint;
    case adInteger:
    case adError:
    case adUnsignedInt:
      return ftInteger;
    case adUnsignedTinyInt:
    case adUnsignedSmallInt:
      return ftWord;
    case adBigInt:
    case adUnsignedBigInt:
      return ftLargeint;
    case adSingle:
    case adDouble:
      return ftFloat;
    case adCurrency:
      return ftBCD;
    case adDecimal:
    case adNumeric:
    case adVarNumeric:
      return enableBCD ? ftBCD : ftFloat;
    case adBoolean:
      return ftBoolean;
    case adDBDate:
      return ftDate;
    case adDBTime:
      return ftTime;
    case adDate:
    case adFileTime:
    case adDBTimeStamp:
    case adDBFileTime:
      return ftDateTime;
    case adChar:
      return ftFixedChar;
    case adVarChar:
      return ftString;
    case adBSTR:
    case adWChar:
    case adVarWChar:
      return ftWideString;
    case adLongVarChar:
    case adLongVarWChar:
      return ftMemo;
    case adBinary:
      return ftBytes;
    case adVarBinary:
      return ftVarBytes;
    case adLongVarBinary:
      return ftBlob;
    case adChapter:
      return ftDataSet;
    case adVariant:
    case adPropVariant:
      return ftVariant;
    case adIUnknown:
      return ftInterface;
    case adIDispatch:
      return ftIDispatch;
    case adGUID:
      return ftGuid;
    default:
      return ftUnknown;
  }
}

}  // namespace lumbra
