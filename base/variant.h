// Variant: one value of any kind the table layer hands around, modelled on the
// OLE variant that data-access layers use. Text is always UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumbra {

// Room for the 20 digits an ASCII numeric column can hold, and more.
__extension__ typedef unsigned __int128 TUInt128;

enum class TVarType : uint8_t {
  varEmpty,     // unassigned
  varNull,      // SQL Null
  varString,    // 8-bit text
  varUString,   // 16-bit text (held as UTF-8 like every text here)
  varInteger,   // 32-bit signed
  varInt64,     // 64-bit signed
  varDouble,    // IEEE double
  varCurrency,  // 64-bit count of 1/10000
  varDate,      // days since 1899-12-30, time as the fraction of a day
  varBoolean,
  varBytes,  // raw bytes
  // The kinds below cannot be compared with Null.
  varDecimal,  // exact decimal: ±mantissa / 10^scale
  varUnknown,  // an interface reference
  varError,    // an error code
  varArray,    // an array of variants
};

// An exact decimal number as read from an ASCII numeric column.
struct TDecimal {
  TUInt128 Mantissa = 0;
  uint8_t Scale = 0;  // digits after the decimal point
  bool Negative = false;

  // Plain positional text with exactly Scale decimals, e.g. "-12.50".
  std::string ToString() const;
  // Appends ToString's text to out, without a text of its own.
  void AppendTo(std::string& out) const;
  double ToDouble() const;
  bool operator==(const TDecimal&) const = default;
};

class Variant {
 public:
  Variant() = default;

  static Variant Null() { return Variant(TVarType::varNull); }
  static Variant FromString(std::string_view text, TVarType type = TVarType::varString);
  static Variant FromBytes(std::string_view bytes);
  static Variant FromInteger(int32_t value);
  static Variant FromInt64(int64_t value);
  static Variant FromDouble(double value);
  static Variant FromCurrency(int64_t tenThousandths);
  static Variant FromBoolean(bool value);
  static Variant FromDecimal(const TDecimal& value);
  static Variant OfKind(TVarType type) { return Variant(type); }

  // Setters that reuse this variant's text buffer: decoding a table in a loop
  // into one Variant then allocates only when a text outgrows the buffer.
  void Clear() { FType = TVarType::varEmpty; }
  // Clear, and the text buffer given back: for a holder of many variants
  // whose buffers long texts made large. (Assigning an empty Variant keeps
  // the buffer: a string moved from a short one keeps its own allocation.)
  void ClearReleasingText() {
    FType = TVarType::varEmpty;
    std::string().swap(FText);
  }
  void SetNull() { FType = TVarType::varNull; }
  void SetString(std::string_view text, TVarType type = TVarType::varString);
  std::string& SetStringBuffer(TVarType type = TVarType::varString);  // cleared buffer to fill
  void SetBytes(std::string_view bytes);
  // The scalar setters are inline: a table decoded into one Variant calls
  // them once a value.
  void SetInteger(int32_t value) { SetScalar(TVarType::varInteger, value); }
  void SetInt64(int64_t value) { SetScalar(TVarType::varInt64, value); }
  void SetDouble(double value) {
    FType = TVarType::varDouble;
    FScalar.Dbl = value;
  }
  void SetCurrency(int64_t tenThousandths) { SetScalar(TVarType::varCurrency, tenThousandths); }
  void SetDate(double oleDate) {
    FType = TVarType::varDate;
    FScalar.Dbl = oleDate;
  }
  void SetBoolean(bool value) { SetScalar(TVarType::varBoolean, value ? 1 : 0); }
  void SetDecimal(const TDecimal& value) {
    FType = TVarType::varDecimal;
    FDecimal = value;
  }
  // The decimal to fill in place. A decoder writing its parts straight here
  // spares the copy of a whole decimal just written, which the processor
  // cannot forward from the parts' stores.
  TDecimal& SetDecimalBuffer() {
    FType = TVarType::varDecimal;
    return FDecimal;
  }

  TVarType Type() const { return FType; }
  bool IsNull() const { return FType == TVarType::varNull; }
  bool IsEmpty() const { return FType == TVarType::varEmpty; }
  // The loose Null test: true only for Null. Throws EVariantInvalidOpError
  // ("Invalid variant operation") for the kinds that cannot be compared.
  bool EqualsNull() const;

  // Accessors; each requires the matching kind.
  const std::string& Text() const { return FText; }  // varString, varUString, varBytes
  int32_t Integer() const { return static_cast<int32_t>(FScalar.Int); }
  int64_t Int64() const { return FScalar.Int; }
  double Double() const { return FScalar.Dbl; }
  int64_t Currency() const { return FScalar.Int; }
  double Date() const { return FScalar.Dbl; }
  bool Boolean() const { return FScalar.Int != 0; }
  const TDecimal& Decimal() const { return FDecimal; }

  bool operator==(const Variant& other) const;

 private:
  explicit Variant(TVarType type) : FType(type) {}
  void SetScalar(TVarType type, int64_t value) {
    FType = type;
    FScalar.Int = value;
  }

  TVarType FType = TVarType::varEmpty;
  union {
    int64_t Int;
    double Dbl;
  } FScalar{0};
  TDecimal FDecimal;
  std::string FText;
};

// The kind's name, for messages and tests: "varNull", "varString", ...
const char* VarTypeName(TVarType type);

}  // namespace lumbra
