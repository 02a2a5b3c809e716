// How filters and sorts see a column's values: the family a field's values
// belong to, and the forms in which values of one family compare.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/date_time.h"
#include "base/hash_index.h"
#include "base/variant.h"
#include "dbf/header.h"
#include "dbf/table.h"

namespace lumbra {

// What a column holds, as far as comparing its values goes.
enum class TValueFamily : uint8_t {
  Text,     // character, varchar and text memo fields: UTF-8 text
  Number,   // numeric, float, integer, double and currency fields
  Date,     // date and date-time fields: day-count date-times
  Logical,  // logical fields
  Binary,   // bytes: binary text, general and picture fields, unknown types
};

// The family of the values the table decodes for field.
TValueFamily FamilyOf(const TDbfField& field);

// The index in table.Fields() of the column named name, letter case ignored;
// system fields are no columns. -1 when there is none.
int FindColumn(const TDbfTable& table, std::string_view name);

// "text", "numbers", "dates", "logical values" or "binary data", for messages.
const char* FamilyNoun(TValueFamily family);

// text without its trailing blanks.
std::string_view WithoutTrailingBlanks(std::string_view text);

// What RawText found.
enum class TRawText : uint8_t {
  Other,  // not a character field: decode the value instead
  Null,
  Text,
};
// For a character field (C, not binary) of record: its value's bytes as the
// table's code page has them, cut at the first NUL and without trailing
// blanks, as TDbfTable::DecodeField reads them before decoding. Equal bytes
// decode to equal texts, so results worked out for a text can be kept by
// its bytes.
TRawText RawText(const TDbfTable& table, const uint8_t* record, size_t field,
                 std::string_view& bytes);

// Byte strings end to end in one buffer, numbered from 0 in the order they
// came: a few bytes each beyond the bytes themselves.
class TByteStrings {
 public:
  void Add(std::string_view bytes) {
    FBytes.append(bytes);
    FEnds.push_back(FBytes.size());
  }
  size_t Count() const { return FEnds.size(); }
  // Requires id < Count(). Valid until the next Add.
  std::string_view At(size_t id) const {
    const size_t begin = id == 0 ? 0 : FEnds[id - 1];
    return std::string_view(FBytes).substr(begin, FEnds[id] - begin);
  }

 private:
  std::string FBytes;
  std::vector<size_t> FEnds;
};

// Distinct byte strings, each numbered at first sight, and found again by
// hash: the values of a column as a scan meets them.
class TDistinctBytes {
 public:
  static constexpr uint32_t kNone = THashIndex::kNone;

  // The number of bytes, or kNone when they were never added.
  uint32_t Find(std::string_view bytes) const;
  // The number of bytes, adding them when new; isNew tells which.
  uint32_t IdOf(std::string_view bytes, bool& isNew);
  size_t Count() const { return FValues.Count(); }
  // Requires id < Count().
  std::string_view At(uint32_t id) const { return FValues.At(id); }

 private:
  TByteStrings FValues;
  THashIndex FIndex;  // numbers by the hash of their bytes
};

// The position, counting characters from 1, of byte offset in UTF-8 text.
size_t CharacterPosition(std::string_view text, size_t offset);

// text cut to at most maxCharacters characters, with "..." where it was cut.
std::string Abbreviated(std::string_view text, size_t maxCharacters = 40);

// The double nearest to value: exact and fast for the usual numbers.
double DecimalToDouble(const TDecimal& value);

// The order of two exact decimals: -1, 0 or 1; a negative zero is zero.
int CompareDecimals(const TDecimal& a, const TDecimal& b);

// The numeric value of a number variant (varDecimal, varInteger, varInt64,
// varCurrency) as an exact decimal. Requires one of those kinds.
TDecimal ExactDecimalOf(const Variant& value);

}  // namespace lumbra
