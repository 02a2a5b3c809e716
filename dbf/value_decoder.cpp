#include "dbf/value_decoder.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "base/byte_order.h"
#include "base/date_time.h"
#include "base/shortcuts.h"
#include "base/text.h"

namespace lumbra {

namespace {

constexpr TUInt128 kMaxMantissa = static_cast<TUInt128>(-1) / 10 - 9;
constexpr int64_t kJulianDayOfEpoch = 2415019;  // 1899-12-30

// Days and milliseconds (any sign, any overflow of the day) to a date-time.
bool ComposeDateTime(int64_t days, int64_t ms, double& out) {
  days += ms / kMsPerDay;
  ms %= kMsPerDay;
  // The earliest and latest days a date can have: 0001-01-01 and 9999-12-31.
  if (days < -693593 || days > 2958465) return false;
  out = EncodeDateTime(days, ms);
  return true;
}

bool IsDigit(char c) {
  return static_cast<unsigned char>(c - '0') < 10;
}

// The usual number, read in one tight pass: an optional sign, at most 19
// digits with at most one decimal point among or after them, then nothing but
// blanks up to the end or a NUL. False for anything else, which the full
// reading then handles.
bool DecodePlainNumber(const char* p, const char* end, TDecimal& out) {
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  uint64_t mantissa = 0;
  const char* const first = p;
  for (; p != end && IsDigit(*p); ++p)
    mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
  const auto digits = static_cast<int>(p - first);
  int scale = 0;
  if (p != end && *p == '.') {
    const char* const fraction = ++p;
    for (; p != end && IsDigit(*p); ++p)
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    scale = static_cast<int>(p - fraction);
  }
  // More digits than 64 bits hold have wrapped around: the full reading
  // takes them.
  if (digits + scale == 0 || digits + scale > 19) return false;
  while (p != end && *p == ' ')
    ++p;
  if (p != end && *p != '\0') return false;
  out = TDecimal{};
  out.Negative = negative;
  out.Mantissa = mantissa;
  out.Scale = static_cast<uint8_t>(scale);
  return true;
}

}  // namespace

bool DecodeAsciiNumber(std::string_view bytes, TDecimal& out) {
  // One pass over the bytes: blanks, sign, digits with one decimal point, an
  // optional exponent, blanks. A NUL ends the text (some writers pad with NULs).
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  const auto atEnd = [&p, end] { return p == end || *p == '\0'; };
  // Numbers stand right-aligned behind runs of blanks.
  p += LeadingBlanks(bytes);
  if (atEnd()) return false;
  if constexpr (kShortcuts) {
    if (DecodePlainNumber(p, end, out)) return true;
  }
  out = TDecimal{};
  if (*p == '-' || *p == '+') out.Negative = *p++ == '-';
  // Up to 19 digits fit 64 bits; longer mantissas go on in 128.
  uint64_t narrow = 0;
  int digits = 0, scale = 0;
  bool inFraction = false;
  for (; !atEnd(); ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      const auto digit = static_cast<unsigned>(c - '0');
      if (digits < 19) {
        narrow = narrow * 10 + digit;
      } else {
        if (digits == 19) out.Mantissa = narrow;
        if (out.Mantissa > kMaxMantissa) return false;
        out.Mantissa = out.Mantissa * 10 + digit;
      }
      ++digits;
      if (inFraction) ++scale;
    } else if (c == '.' && !inFraction) {
      inFraction = true;
    } else if (c == ',' && !inFraction) {
      // A lone decimal comma is a localised writer's decimal point; beside a
      // decimal point it is not part of a number.
      const char* rest = p + 1;
      while (rest != end && *rest != '\0' && *rest != '.')
        ++rest;
      if (rest != end && *rest == '.') return false;
      inFraction = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (digits <= 19) out.Mantissa = narrow;
  int exponent = 0;
  if (!atEnd() && (*p == 'E' || *p == 'e')) {
    ++p;
    bool negative = false;
    if (!atEnd() && (*p == '-' || *p == '+')) negative = *p++ == '-';
    if (atEnd() || *p < '0' || *p > '9') return false;
    for (; !atEnd() && *p >= '0' && *p <= '9'; ++p) {
      exponent = exponent * 10 + (*p - '0');
      if (exponent > 60) return false;
    }
    if (negative) exponent = -exponent;
  }
  while (!atEnd() && *p == ' ')
    ++p;
  if (!atEnd()) return false;
  scale -= exponent;
  for (; scale < 0; ++scale) {
    if (out.Mantissa > kMaxMantissa) return false;
    out.Mantissa *= 10;
  }
  if (scale > 60) return false;
  out.Scale = static_cast<uint8_t>(scale);
  return true;
}

bool DecodeDate(std::string_view bytes, double& oleDate) {
  if (bytes.size() < 8) return false;
  if (LeadingDigits(bytes.substr(0, 8)) != 8) return false;
  const auto digit = [bytes](size_t k) { return bytes[k] - '0'; };
  const int year = digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3);
  const int month = digit(4) * 10 + digit(5);
  const int day = digit(6) * 10 + digit(7);
  if (!IsValidDate(year, month, day)) return false;
  oleDate = static_cast<double>(DaysSinceEpoch(year, month, day));
  return true;
}

bool DecodeJulianDateTime(const uint8_t* bytes, double& oleDate) {
  const int64_t day = static_cast<int32_t>(LoadLe32(bytes));
  const int64_t ms = static_cast<int32_t>(LoadLe32(bytes + 4));
  if (day == 0 && ms == 0) return false;
  if (std::memcmp(bytes, "        ", 8) == 0) return false;
  if (ms < 0 || ms >= kMsPerDay) return false;
  // Writers leave float noise such as 11:59:59.999 for noon: round to seconds.
  return ComposeDateTime(day - kJulianDayOfEpoch, (ms + 500) / 1000 * 1000, oleDate);
}

bool DecodeLevel7Timestamp(const uint8_t* bytes, double& oleDate) {
  const uint64_t bits = LoadBe64(bytes);
  if (bits == 0) return false;
  const double ms = std::bit_cast<double>(bits);
  if (!std::isfinite(ms) || ms < 0 || ms > 4e14) return false;
  const auto whole = static_cast<int64_t>(std::llround(ms / 1000.0)) * 1000;
  // Day 1 of the count is 0001-01-01.
  const int64_t days = whole / kMsPerDay - 1 + DaysSinceEpoch(1, 1, 1);
  return ComposeDateTime(days, whole % kMsPerDay, oleDate);
}

bool DecodeLogical(uint8_t byte, bool& value) {
  switch (byte) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
      value = true;
      return true;
    case 'F':
    case 'f':
    case 'N':
    case 'n':
      value = false;
      return true;
    default:
      return false;
  }
}

bool DecodeMemoPointer(std::string_view bytes, uint64_t& block) {
  if (bytes.size() == 4) {
    block = LoadLe32(bytes.data());
    return true;
  }
  block = 0;
  for (char c : bytes) {
    if (c == ' ' || c == '\0') continue;
    if (c < '0' || c > '9' || block > 0xFFFFFFFFu) return false;
    block = block * 10 + static_cast<unsigned>(c - '0');
  }
  return true;
}

int32_t DecodeLevel7Integer(const uint8_t* bytes) {
  return static_cast<int32_t>(LoadBe32(bytes) ^ 0x80000000u);
}

double DecodeLevel7Double(const uint8_t* bytes) {
  uint64_t bits = LoadBe64(bytes);
  // Stored sortable: positive numbers with the sign bit set, negative ones inverted.
  bits = (bits & 0x8000000000000000ull) != 0 ? bits ^ 0x8000000000000000ull : ~bits;
  return std::bit_cast<double>(bits);
}

}  // namespace lumbra
