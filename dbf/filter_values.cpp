#include "dbf/filter_values.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <charconv>
#include <cmath>
#include <cstring>

#include "base/text.h"

namespace lumbra {

namespace {

// Magnitudes of two decimals: -1, 0 or 1.
int CompareMagnitudes(TUInt128 a, int scaleA, TUInt128 b, int scaleB) {
  const bool swapped = scaleA > scaleB;
  if (swapped) {
    std::swap(a, b);
    std::swap(scaleA, scaleB);
  }
  // a * 10^shift against b, without overflowing: a product beyond 128 bits
  // is larger than any b.
  int result = 0;
  TUInt128 scaled = a;
  for (int shift = scaleB - scaleA; shift > 0 && result == 0; --shift) {
    if (scaled > ~TUInt128{0} / 10) {
      result = 1;
    } else {
      scaled *= 10;
    }
  }
  if (result == 0) result = scaled < b ? -1 : scaled > b ? 1 : 0;
  return swapped ? -result : result;
}

}  // namespace

TValueFamily FamilyOf(const TDbfField& field) {
  switch (field.Kind) {
    case TFieldKind::Character:
    case TFieldKind::Varchar:
    case TFieldKind::Memo:
      return field.Binary ? TValueFamily::Binary : TValueFamily::Text;
    case TFieldKind::Numeric:
      return TValueFamily::Number;
    case TFieldKind::Integer:
    case TFieldKind::Double:
    case TFieldKind::Currency:
      return field.OddWidth ? TValueFamily::Binary : TValueFamily::Number;
    case TFieldKind::Date:
      return TValueFamily::Date;
    case TFieldKind::DateTime:
      return field.OddWidth ? TValueFamily::Binary : TValueFamily::Date;
    case TFieldKind::Logical:
      return TValueFamily::Logical;
    case TFieldKind::NullFlags:
    case TFieldKind::Unknown:
      break;
  }
  return TValueFamily::Binary;
}

int FindColumn(const TDbfTable& table, std::string_view name) {
  const auto wanted = icu::UnicodeString::fromUTF8(
      icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
  for (size_t i = 0; i < table.Fields().size(); ++i) {
    if (table.Fields()[i].IsSystem()) continue;
    const std::string& candidate = table.FieldNames()[i];
    const auto have = icu::UnicodeString::fromUTF8(
        icu::StringPiece(candidate.data(), static_cast<int32_t>(candidate.size())));
    if (have.caseCompare(wanted, U_FOLD_CASE_DEFAULT) == 0) return static_cast<int>(i);
  }
  return -1;
}

const char* FamilyNoun(TValueFamily family) {
  switch (family) {
    case TValueFamily::Text:
      return "text";
    case TValueFamily::Number:
      return "numbers";
    case TValueFamily::Date:
      return "dates";
    case TValueFamily::Logical:
      return "logical values";
    case TValueFamily::Binary:
      break;
  }
  return "binary data";
}

std::string_view WithoutTrailingBlanks(std::string_view text) {
  // Character fields are padded with blanks to their width: eight at a time.
  static constexpr char kBlanks[] = "        ";
  while (text.size() >= 8 && std::memcmp(text.data() + text.size() - 8, kBlanks, 8) == 0)
    text.remove_suffix(8);
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  return text;
}

TRawText RawText(const TDbfTable& table, const uint8_t* record, size_t field,
                 std::string_view& bytes) {
  const TDbfHeader& header = table.Header();
  const TDbfField& f = header.Fields[field];
  if (f.Kind != TFieldKind::Character || f.Binary) return TRawText::Other;
  if (header.IsNullByFlag(record, f)) return TRawText::Null;
  bytes = WithoutTrailingBlanks(TDbfTable::CharacterBytes(record, f));
  return TRawText::Text;
}

uint32_t TDistinctBytes::Find(std::string_view bytes) const {
  return FIndex.Find(HashBytes(bytes),
                     [this, bytes](uint32_t id) { return FValues.At(id) == bytes; });
}

uint32_t TDistinctBytes::IdOf(std::string_view bytes, bool& isNew) {
  const uint32_t hash = HashBytes(bytes);
  uint32_t id =
      FIndex.Find(hash, [this, bytes](uint32_t known) { return FValues.At(known) == bytes; });
  isNew = id == kNone;
  if (isNew) {
    id = static_cast<uint32_t>(FValues.Count());
    FValues.Add(bytes);
    FIndex.Insert(hash, id);
  }
  return id;
}

double DecimalToDouble(const TDecimal& value) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  // Below 2^53 the mantissa is an exact double, as is 10^scale up to 10^22,
  // so one division rounds correctly; larger numbers take the slow road.
  if (value.Mantissa < (TUInt128{1} << 53) && value.Scale <= 22) {
    const double magnitude =
        static_cast<double>(static_cast<uint64_t>(value.Mantissa)) / kPowers[value.Scale];
    return value.Negative ? -magnitude : magnitude;
  }
  // from_chars, unlike strtod, does not follow the C locale's decimal comma.
  const std::string text = value.ToString();
  double result = 0;
  std::from_chars(text.data(), text.data() + text.size(), result);
  return result;
}

size_t CharacterPosition(std::string_view text, size_t offset) {
  size_t position = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++position;
  }
  return position;
}

std::string Abbreviated(std::string_view text, size_t maxCharacters) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    // A character starts at every byte that is not a UTF-8 continuation byte.
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters++ == maxCharacters) return std::string(text.substr(0, i)) + "...";
  }
  return std::string(text);
}

int CompareDecimals(const TDecimal& a, const TDecimal& b) {
  const bool negativeA = a.Negative && a.Mantissa != 0;
  const bool negativeB = b.Negative && b.Mantissa != 0;
  if (negativeA != negativeB) return negativeA ? -1 : 1;
  const int magnitudes = CompareMagnitudes(a.Mantissa, a.Scale, b.Mantissa, b.Scale);
  return negativeA ? -magnitudes : magnitudes;
}

TDecimal ExactDecimalOf(const Variant& value) {
  TDecimal d;
  int64_t whole = 0;
  switch (value.Type()) {
    case TVarType::varDecimal:
      return value.Decimal();
    case TVarType::varInteger:
      whole = value.Integer();
      break;
    case TVarType::varCurrency:
      whole = value.Currency();
      d.Scale = 4;
      break;
    default:
      whole = value.Int64();
      break;
  }
  d.Negative = whole < 0;
  // The magnitude of the most negative value does not fit in int64.
  d.Mantissa = d.Negative ? TUInt128(~static_cast<uint64_t>(whole)) + 1 : TUInt128(whole);
  return d;
}

}  // namespace lumbra
