// Field types and how provider column types map onto them.
#pragma once

#include <cstdint>

namespace lumbra {

enum TFieldType : uint8_t {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftTimeStamp,
  ftFMTBcd,
};

inline constexpr int kFieldTypeCount = 38;

// The enumerator's name ("ftString"), or "Altceva" for an ordinal outside it.
const char* FieldTypeName(int ordinal);

// The field classes a type is created as.
enum class TFieldClass : uint8_t {
  None,
  String,
  WideString,
  Guid,
  Smallint,
  Integer,
  Word,
  AutoInc,
  Largeint,
  Float,
  Currency,
  BCD,
  FMTBCD,
  Boolean,
  Date,
  Time,
  DateTime,
  SQLTimeStamp,
  Bytes,
  VarBytes,
  Blob,
  Memo,
  Graphic,
  ADT,
  Array,
  DataSet,
  Reference,
  Variant,
  Interface,
  IDispatch,
};

TFieldClass FieldClassForType(TFieldType type);

// The field type of a provider column type (a TDataType number).
TFieldType ColumnTypeToFieldType(int columnType, bool enableBCD);

}  // namespace lumbra
