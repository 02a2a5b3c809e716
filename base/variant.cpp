#include "base/variant.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "base/exception.h"

namespace lumbra {

std::string TDecimal::ToString() const {
  std::string out;
  AppendTo(out);
  return out;
}

void TDecimal::AppendTo(std::string& out) const {
  // The digits from the last one backwards, in 64 bits once they fit: at
  // most 39 digits, and zeros up to one more than the scale.
  char digits[UINT8_MAX + 2];
  int count = 0;
  TUInt128 wide = Mantissa;
  for (; wide > UINT64_MAX; wide /= 10)
    digits[count++] = static_cast<char>('0' + static_cast<int>(wide % 10));
  auto narrow = static_cast<uint64_t>(wide);
  do {
    digits[count++] = static_cast<char>('0' + static_cast<int>(narrow % 10));
    narrow /= 10;
  } while (narrow != 0);
  while (count <= Scale)
    digits[count++] = '0';
  const size_t start = out.size();
  const bool minus = Negative && Mantissa != 0;
  out.resize(start + static_cast<size_t>(count) + (minus ? 1 : 0) + (Scale != 0 ? 1 : 0));
  char* to = out.data() + start;
  if (minus) *to++ = '-';
  for (int i = count; i-- > 0;) {
    *to++ = digits[i];
    if (i == Scale && Scale != 0) *to++ = '.';
  }
}

double TDecimal::ToDouble() const {
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  double value = 0;
  if (Mantissa <= (TUInt128{1} << 53) && Scale <= 22) {
    // Both operands are exact doubles, so the one division rounds correctly.
    value = static_cast<double>(static_cast<uint64_t>(Mantissa)) / kPow10[Scale];
  } else {
    // Correctly rounded, and never reads the locale's decimal point.
    const std::string text = TDecimal{Mantissa, Scale, false}.ToString();
    std::from_chars(text.data(), text.data() + text.size(), value);
  }
  return Negative && Mantissa != 0 ? -value : value;
}

Variant Variant::FromString(std::string_view text, TVarType type) {
  Variant v;
  v.SetString(text, type);
  return v;
}
Variant Variant::FromBytes(std::string_view bytes) {
  Variant v;
  v.SetBytes(bytes);
  return v;
}
Variant Variant::FromInteger(int32_t value) {
  Variant v;
  v.SetInteger(value);
  return v;
}
Variant Variant::FromInt64(int64_t value) {
  Variant v;
  v.SetInt64(value);
  return v;
}
Variant Variant::FromDouble(double value) {
  Variant v;
  v.SetDouble(value);
  return v;
}
Variant Variant::FromCurrency(int64_t tenThousandths) {
  Variant v;
  v.SetCurrency(tenThousandths);
  return v;
}
Variant Variant::FromBoolean(bool value) {
  Variant v;
  v.SetBoolean(value);
  return v;
}
Variant Variant::FromDecimal(const TDecimal& value) {
  Variant v;
  v.SetDecimal(value);
  return v;
}

void Variant::SetString(std::string_view text, TVarType type) {
  FType = type;
  FText.assign(text.data(), text.size());
}
std::string& Variant::SetStringBuffer(TVarType type) {
  FType = type;
  FText.clear();
  return FText;
}
void Variant::SetBytes(std::string_view bytes) {
  SetString(bytes, TVarType::varBytes);
}

bool Variant::EqualsNull() const {
  switch (FType) {
    case TVarType::varNull:
      return true;
    case TVarType::varDecimal:
    case TVarType::varUnknown:
    case TVarType::varError:
    case TVarType::varArray:
      throw EVariantInvalidOpError("Invalid variant operation");
    default:
      return false;
  }
}

bool Variant::operator==(const Variant& other) const {
  if (FType != other.FType) return false;
  switch (FType) {
    case TVarType::varEmpty:
    case TVarType::varNull:
    case TVarType::varUnknown:
    case TVarType::varArray:
      return true;
    case TVarType::varString:
    case TVarType::varUString:
    case TVarType::varBytes:
      return FText == other.FText;
    case TVarType::varDouble:
    case TVarType::varDate:
      return FScalar.Dbl == other.FScalar.Dbl;
    case TVarType::varDecimal:
      return FDecimal == other.FDecimal;
    default:
      return FScalar.Int == other.FScalar.Int;
  }
}

const char* VarTypeName(TVarType type) {
  switch (type) {
    case TVarType::varEmpty:
      return "varEmpty";
    case TVarType::varNull:
      return "varNull";
    case TVarType::varString:
      return "varString";
    case TVarType::varUString:
      return "varUString";
    case TVarType::varInteger:
      return "varInteger";
    case TVarType::varInt64:
      return "varInt64";
    case TVarType::varDouble:
      return "varDouble";
    case TVarType::varCurrency:
      return "varCurrency";
    case TVarType::varDate:
      return "varDate";
    case TVarType::varBoolean:
      return "varBoolean";
    case TVarType::varBytes:
      return "varBytes";
    case TVarType::varDecimal:
      return "varDecimal";
    case TVarType::varUnknown:
      return "varUnknown";
    case TVarType::varError:
      return "varError";
    case TVarType::varArray:
      return "varArray";
  }
  return "varUnknownKind";
}

}  // namespace lumbra
