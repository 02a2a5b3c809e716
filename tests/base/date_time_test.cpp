// Calendar arithmetic and the day-count date-time of variants.
#include "base/date_time.h"

#include <gtest/gtest.h>

namespace lumbra {
namespace {

TEST(Calendar, ValidDatesSpanYearOneToYear9999) {
  const struct {
    int Year, Month, Day;
    bool Valid;
  } cases[] = {
      {2024, 2, 29, true},  {2023, 2, 29, false}, {1900, 2, 29, false}, {2000, 2, 29, true},
      {2023, 4, 31, false}, {2023, 12, 31, true}, {2023, 13, 1, false}, {2023, 0, 1, false},
      {2023, 1, 0, false},  {1, 1, 1, true},      {0, 12, 31, false},   {9999, 12, 31, true},
      {10000, 1, 1, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsValidDate(c.Year, c.Month, c.Day), c.Valid)
        << c.Year << "-" << c.Month << "-" << c.Day;
}

TEST(Calendar, DaysCountFromDecember30Of1899) {
  const struct {
    int Year, Month, Day;
    int64_t Days;
  } cases[] = {
      {1899, 12, 30, 0},   {1899, 12, 29, -1}, {1900, 1, 1, 2},         {1970, 1, 1, 25569},
      {2024, 3, 5, 45356}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DaysSinceEpoch(c.Year, c.Month, c.Day), c.Days) << c.Year;
    const TCivilDate back = DateFromDays(c.Days);
    EXPECT_EQ(back.Year, c.Year);
    EXPECT_EQ(back.Month, c.Month);
    EXPECT_EQ(back.Day, c.Day);
  }
}

TEST(Calendar, EveryDayFromYearOneToYear9999FollowsTheDayBefore) {
  // The calendar walked a day at a time is the reference.
  TCivilDate expected{1, 1, 1};
  for (int64_t d = DaysSinceEpoch(1, 1, 1); d <= DaysSinceEpoch(9999, 12, 31); ++d) {
    const TCivilDate c = DateFromDays(d);
    ASSERT_EQ(c.Year, expected.Year) << d;
    ASSERT_EQ(c.Month, expected.Month) << d;
    ASSERT_EQ(c.Day, expected.Day) << d;
    ASSERT_EQ(DaysSinceEpoch(c.Year, c.Month, c.Day), d);
    if (IsValidDate(expected.Year, expected.Month, expected.Day + 1)) {
      ++expected.Day;
    } else if (expected.Month < 12) {
      expected = {expected.Year, expected.Month + 1, 1};
    } else {
      expected = {expected.Year + 1, 1, 1};
    }
  }
}

TEST(Calendar, DaysFarOutsideTheCalendarStillRoundTrip) {
  // Both ends of the 32-bit counting, and beyond them.
  for (const int64_t d : {int64_t{-20'000'000}, int64_t{-12'673'853}, int64_t{1'061'067'971},
                          int64_t{3'000'000'000}}) {
    for (int64_t k = -800; k <= 800; ++k) {
      const TCivilDate c = DateFromDays(d + k);
      ASSERT_GE(c.Month, 1) << d + k;
      ASSERT_LE(c.Month, 12) << d + k;
      ASSERT_EQ(DaysSinceEpoch(c.Year, c.Month, c.Day), d + k);
    }
  }
}

TEST(DateTime, TimeOfDayCountsForwardFromMidnightEvenBeforeTheEpoch) {
  const struct {
    int64_t Days;
    int64_t Ms;
    double Value;
  } cases[] = {
      {0, 0, 0.0}, {2, 43'200'000, 2.5}, {-1, 21'600'000, -1.25},  // 1899-12-29 06:00
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(EncodeDateTime(c.Days, c.Ms), c.Value);
    const TCivilDateTime t = DecodeDateTime(c.Value);
    EXPECT_EQ(DaysSinceEpoch(t.Date.Year, t.Date.Month, t.Date.Day), c.Days);
    EXPECT_EQ(((t.Hour * 60 + t.Minute) * 60 + t.Second) * 1000 + t.Millisecond, c.Ms);
  }
}

TEST(DateTime, DecodingRoundsToTheMillisecondAndCarriesIntoTheNextDay) {
  const TCivilDateTime t = DecodeDateTime(EncodeDateTime(45356, 45'296'789));
  EXPECT_EQ(t.Hour, 12);
  EXPECT_EQ(t.Minute, 34);
  EXPECT_EQ(t.Second, 56);
  EXPECT_EQ(t.Millisecond, 789);
  const TCivilDateTime carried = DecodeDateTime(45356.9999999999);
  EXPECT_EQ(carried.Date.Day, 6);
  EXPECT_EQ(carried.Hour, 0);
  EXPECT_EQ(carried.Millisecond, 0);
}

}  // namespace
}  // namespace lumbra
