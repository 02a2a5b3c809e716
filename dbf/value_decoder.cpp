#include "dbf/value_decoder.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "base/date_time.h"

namespace lumbra {

namespace {

constexpr TUInt128 kMaxMantissa = static_cast<TUInt128>(-1) / 10 - 9;
constexpr int64_t kJulianDayOfEpoch = 2415019;  // 1899-12-30
constexpr int64_t kMsPerDay = 86'400'000;

int32_t LoadLe32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return static_cast<int32_t>(v);
}

uint64_t LoadBe64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i)
    v = v << 8 | p[i];
  return v;
}

// Days and milliseconds (any sign, any overflow of the day) to a date-time.
bool ComposeDateTime(int64_t days, int64_t ms, double& out) {
  days += ms / kMsPerDay;
  ms %= kMsPerDay;
  // The earliest and latest days a date can have: 0001-01-01 and 9999-12-31.
  if (days < -693593 || days > 2958465) return false;
  out = EncodeDateTime(days, ms);
  return true;
}

}  // namespace

bool DecodeAsciiNumber(std::string_view bytes, TDecimal& out) {
  const size_t nul = bytes.find('\0');
  if (nul != std::string_view::npos) bytes = bytes.substr(0, nul);
  while (!bytes.empty() && bytes.front() == ' ')
    bytes.remove_prefix(1);
  while (!bytes.empty() && bytes.back() == ' ')
    bytes.remove_suffix(1);
  if (bytes.empty()) return false;
  // A lone decimal comma is a localised writer's decimal point.
  const bool commaIsPoint = bytes.find('.') == std::string_view::npos;
  size_t i = 0;
  out = TDecimal{};
  if (bytes[i] == '-' || bytes[i] == '+') out.Negative = bytes[i++] == '-';
  int digits = 0, scale = 0;
  bool inFraction = false;
  for (; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c >= '0' && c <= '9') {
      if (out.Mantissa > kMaxMantissa) return false;
      out.Mantissa = out.Mantissa * 10 + static_cast<unsigned>(c - '0');
      ++digits;
      if (inFraction) ++scale;
    } else if ((c == '.' || (c == ',' && commaIsPoint)) && !inFraction) {
      inFraction = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  int exponent = 0;
  if (i < bytes.size() && (bytes[i] == 'E' || bytes[i] == 'e')) {
    ++i;
    bool negative = false;
    if (i < bytes.size() && (bytes[i] == '-' || bytes[i] == '+')) negative = bytes[i++] == '-';
    if (i == bytes.size()) return false;
    for (; i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9'; ++i) {
      exponent = exponent * 10 + (bytes[i] - '0');
      if (exponent > 60) return false;
    }
    if (negative) exponent = -exponent;
  }
  if (i != bytes.size()) return false;
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
  int value[3] = {0, 0, 0};
  static constexpr int kStart[] = {0, 4, 6}, kLength[] = {4, 2, 2};
  for (int part = 0; part < 3; ++part) {
    for (int k = 0; k < kLength[part]; ++k) {
      const char c = bytes[static_cast<size_t>(kStart[part] + k)];
      if (c < '0' || c > '9') return false;
      value[part] = value[part] * 10 + (c - '0');
    }
  }
  if (!IsValidDate(value[0], value[1], value[2])) return false;
  oleDate = static_cast<double>(DaysSinceEpoch(value[0], value[1], value[2]));
  return true;
}

bool DecodeJulianDateTime(const uint8_t* bytes, double& oleDate) {
  const int64_t day = LoadLe32(bytes);
  const int64_t ms = LoadLe32(bytes + 4);
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
    block = static_cast<uint32_t>(LoadLe32(reinterpret_cast<const uint8_t*>(bytes.data())));
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
  const uint32_t stored =
      static_cast<uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
  return static_cast<int32_t>(stored ^ 0x80000000u);
}

double DecodeLevel7Double(const uint8_t* bytes) {
  uint64_t bits = LoadBe64(bytes);
  // Stored sortable: positive numbers with the sign bit set, negative ones inverted.
  bits = (bits & 0x8000000000000000ull) != 0 ? bits ^ 0x8000000000000000ull : ~bits;
  return std::bit_cast<double>(bits);
}

}  // namespace lumbra
