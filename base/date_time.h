// Calendar arithmetic on the proleptic Gregorian calendar, and the day-count
// date-time used by variants: days since 1899-12-30 with the time of day as
// the fraction (for days before that epoch the fraction still counts forward
// from midnight: -1.25 is 1899-12-29 06:00).
#pragma once

#include <cstdint>

namespace lumbra {

inline constexpr int64_t kMsPerDay = 86'400'000;

struct TCivilDate {
  int32_t Year = 0;
  int32_t Month = 0;
  int32_t Day = 0;
};

struct TCivilDateTime {
  TCivilDate Date;
  int32_t Hour = 0;
  int32_t Minute = 0;
  int32_t Second = 0;
  int32_t Millisecond = 0;
};

bool IsLeapYear(int32_t year);
// True for a real calendar date between 0001-01-01 and 9999-12-31.
bool IsValidDate(int32_t year, int32_t month, int32_t day);
// Days since 1899-12-30. Requires a valid date.
int64_t DaysSinceEpoch(int32_t year, int32_t month, int32_t day);
TCivilDate DateFromDays(int64_t daysSinceEpoch);

// Builds a day-count date-time from whole days and milliseconds of that day.
double EncodeDateTime(int64_t daysSinceEpoch, int64_t millisecondOfDay);
// Splits a day-count date-time, rounded to the nearest millisecond.
TCivilDateTime DecodeDateTime(double value);
// Milliseconds since 1899-12-30 00:00 of a day-count date-time, rounded to
// the millisecond: a time line that runs forward also before that day, where
// a day-count's fraction counts from midnight backwards (-1.25 is
// 1899-12-29 06:00).
int64_t TimeLineMilliseconds(double oleDate);

}  // namespace lumbra
