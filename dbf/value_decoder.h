// Decoding of single field values from their bytes (dbf/FORMAT.md section 4).
// Pure functions: bytes in, a value or "no value" out.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/variant.h"

namespace lumbra {

// ASCII numbers of N and F fields. False for a blank, an overflow of
// asterisks or anything that does not parse.
bool DecodeAsciiNumber(std::string_view bytes, TDecimal& out);
// YYYYMMDD; false for blanks, zeros and impossible dates.
bool DecodeDate(std::string_view bytes, double& oleDate);
// Two little-endian int32: Julian day number and milliseconds, rounded to
// the nearest second. False for an empty or impossible value.
bool DecodeJulianDateTime(const uint8_t* bytes, double& oleDate);
// dBase 7 timestamp: big-endian double of milliseconds since 0000-12-31.
bool DecodeLevel7Timestamp(const uint8_t* bytes, double& oleDate);
// T/t/Y/y and F/f/N/n; false for "?", blank and anything else.
bool DecodeLogical(uint8_t byte, bool& value);
// Memo block number: 4 bytes little-endian, or ASCII digits in other widths.
// False for a pointer that is not a number.
bool DecodeMemoPointer(std::string_view bytes, uint64_t& block);

int32_t DecodeLevel7Integer(const uint8_t* bytes);
double DecodeLevel7Double(const uint8_t* bytes);

}  // namespace lumbra
