#include "base/date_time.h"

#include <cmath>

namespace lumbra {

namespace {

// Days from 1970-01-01 (the civil-from-days algorithm on 400-year eras).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr int64_t kEpochFromUnix = -25569;  // 1899-12-30 counted from 1970-01-01

}  // namespace

bool IsLeapYear(int32_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool IsValidDate(int32_t year, int32_t month, int32_t day) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const int last = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
  return day <= last;
}

int64_t DaysSinceEpoch(int32_t year, int32_t month, int32_t day) {
  if (year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= 31) {
    // The calendar's own years, in 32-bit arithmetic (the inverse of the
    // Neri and Schneider form in DateFromDays): years start on March 1 and
    // are shifted by 82 cycles of 400 years.
    constexpr uint32_t kCycles = 82;
    const bool early = month <= 2;
    const uint32_t y = static_cast<uint32_t>(year) + 400 * kCycles - (early ? 1 : 0);
    const uint32_t m = static_cast<uint32_t>(month) + (early ? 12 : 0);
    const uint32_t century = y / 100;
    const uint32_t yearStart = 1461 * y / 4 - century + century / 4;
    const uint32_t monthStart = (979 * m - 2919) / 32;
    const uint32_t days = yearStart + monthStart + static_cast<uint32_t>(day) - 1;
    return static_cast<int64_t>(days) - (719468 + 146097 * int64_t{kCycles}) - kEpochFromUnix;
  }
  return DaysFromCivil(year, month, day) - kEpochFromUnix;
}

TCivilDate DateFromDays(int64_t daysSinceEpoch) {
  // Days from 0001-01-01 to 9999-12-31 and well beyond, in 32-bit unsigned
  // arithmetic with multiplications for divisions (the Euclidean affine
  // form of Neri and Schneider): the counting is shifted by 82 cycles of 400
  // years so that every such day is positive, and years start on March 1.
  constexpr int64_t kCycles = 82;
  constexpr int64_t kShift = 719468 + 146097 * kCycles;
  const int64_t shifted = daysSinceEpoch + kEpochFromUnix + kShift;
  if (shifted >= 0 && shifted < (int64_t{1} << 30)) {
    const auto n = static_cast<uint32_t>(shifted);
    const uint32_t centuryDays = 4 * n + 3;
    const uint32_t century = centuryDays / 146097;
    const uint32_t yearDays = centuryDays % 146097 / 4 * 4 + 3;
    const uint64_t yearProduct = uint64_t{2939745} * yearDays;
    const auto yearOfCentury = static_cast<uint32_t>(yearProduct >> 32);
    const uint32_t dayOfYear = static_cast<uint32_t>(yearProduct) / 2939745 / 4;
    const uint32_t monthDays = 2141 * dayOfYear + 197913;
    const uint32_t month = monthDays >> 16;
    const uint32_t day = (monthDays & 0xFFFF) / 2141;
    // Days from January 1 on belong to the next year.
    const bool january = dayOfYear >= 306;
    const auto year = static_cast<int64_t>(100 * century + yearOfCentury) - 400 * kCycles;
    return {static_cast<int32_t>(year + (january ? 1 : 0)),
            static_cast<int32_t>(january ? month - 12 : month), static_cast<int32_t>(day + 1)};
  }
  const int64_t z = daysSinceEpoch + kEpochFromUnix + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp + (mp < 10 ? 3 : -9);
  const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  return {static_cast<int32_t>(y), static_cast<int32_t>(m), static_cast<int32_t>(d)};
}

double EncodeDateTime(int64_t daysSinceEpoch, int64_t millisecondOfDay) {
  const double fraction = static_cast<double>(millisecondOfDay) / kMsPerDay;
  const double days = static_cast<double>(daysSinceEpoch);
  return daysSinceEpoch >= 0 ? days + fraction : days - fraction;
}

TCivilDateTime DecodeDateTime(double value) {
  double days = std::trunc(value);
  // Rounded half up, as llround would, without its library call: below one
  // half adding the half could itself round up to 1.
  const double fraction = std::fabs(value - days) * kMsPerDay;
  int64_t ms = fraction < 0.5 ? 0 : static_cast<int64_t>(fraction + 0.5);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    days += value >= 0 ? 1 : -1;
  }
  TCivilDateTime out;
  out.Date = DateFromDays(static_cast<int64_t>(days));
  out.Hour = static_cast<int32_t>(ms / 3'600'000);
  out.Minute = static_cast<int32_t>(ms / 60'000 % 60);
  out.Second = static_cast<int32_t>(ms / 1000 % 60);
  out.Millisecond = static_cast<int32_t>(ms % 1000);
  return out;
}

int64_t TimeLineMilliseconds(double oleDate) {
  const double days = std::trunc(oleDate);
  const auto ms = static_cast<int64_t>(std::llround(std::fabs(oleDate - days) * kMsPerDay));
  return static_cast<int64_t>(days) * kMsPerDay + ms;
}

}  // namespace lumbra
