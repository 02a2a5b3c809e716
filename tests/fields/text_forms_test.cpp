// The text forms of numbers, currency amounts, dates and times.
#include "fields/text_forms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/date_time.h"

namespace lumbra {
namespace {

TRegionalSettings CommaSettings() {
  TRegionalSettings s;
  s.DecimalSeparator = ",";
  return s;
}

TEST(FormatGeneral, FifteenSignificantDigits) {
  struct TCase {
    double Value;
    const char* Expected;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const TCase cases[] = {
      {0.1, "0.1"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
      {1.23456789012345678e17, "1.23456789012346E17"},
      {0.00001, "1E-5"},
      {0.0001, "0.0001"},
      {0.0012, "0.0012"},
      {-2.5, "-2.5"},
      {1200, "1200"},
      {1234.5, "1234.5"},
      {0.5, "0.5"},
      {0.05, "0.05"},
      {0, "0"},
      {-0.0, "0"},
      {1.5e20, "1.5E20"},
      {-1.25e-7, "-1.25E-7"},
      {123456789012345.0, "123456789012345"},
      {999999999999999.0, "999999999999999"},
      {1e15, "1E15"},
      {9999999999999999.0, "1E16"},
      {0.1 + 0.2, "0.3"},
      {inf, "INF"},
      {-inf, "-INF"},
      {std::nan(""), "NAN"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(FormatGeneral(c.Value, 15, TRegionalSettings()), c.Expected) << c.Expected;
  }
}

TEST(FormatGeneral, UsesTheRegionalDecimalSeparatorAndNoThousandsSeparator) {
  const TRegionalSettings comma = CommaSettings();
  EXPECT_EQ(FormatGeneral(1.0 / 3.0, 15, comma), "0,333333333333333");
  EXPECT_EQ(FormatGeneral(-1234567.25, 15, comma), "-1234567,25");
  EXPECT_EQ(FormatGeneral(1.5e20, 15, comma), "1,5E20");
  EXPECT_EQ(FormatGeneral(0.00001, 15, comma), "1E-5");
}

// A decimal's own digits give the text its double would give: checked over
// mantissas of every length (the short ones read directly, the long ones
// through the double), scales and signs, in both decimal separators.
TEST(FormatDecimalGeneral, SameTextAsThroughTheDouble) {
  uint64_t state = 12345;
  const auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 11;
  };
  for (const TRegionalSettings& settings : {TRegionalSettings(), CommaSettings()}) {
    for (int i = 0; i < 20'000; ++i) {
      TDecimal d;
      const int digits = 1 + static_cast<int>(next() % 19);
      d.Mantissa = next() % static_cast<uint64_t>(std::pow(10.0, digits));
      if (i % 7 == 0) d.Mantissa *= static_cast<TUInt128>(1) << 70;  // beyond 64 bits
      d.Scale = static_cast<uint8_t>(next() % 25);
      d.Negative = next() % 2 == 0;
      ASSERT_EQ(FormatDecimalGeneral(d, settings), FormatGeneral(d.ToDouble(), 15, settings))
          << d.ToString();
    }
  }
}

TEST(FormatCurrencyGeneral, PositionalWithAtMostFourDecimals) {
  struct TCase {
    int64_t Amount;
    const char* Expected;
  };
  const TCase cases[] = {
      {12345678, "1234.5678"},
      {1001000, "100.1"},
      {0, "0"},
      {125000, "12.5"},
      {30000, "3"},
      {12, "0.0012"},
      {1, "0.0001"},
      {-25000, "-2.5"},
      {100000000000000000, "10000000000000"},
      {INT64_MAX, "922337203685477.5807"},
      {INT64_MIN, "-922337203685477.5808"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(FormatCurrencyGeneral(c.Amount, TRegionalSettings()), c.Expected) << c.Expected;
  }
  EXPECT_EQ(FormatCurrencyGeneral(12345678, CommaSettings()), "1234,5678");
}

TEST(DecimalToCurrency, RoundsHalfAwayFromZeroBeyondFourDecimals) {
  struct TCase {
    const char* Name;
    TDecimal Value;
    std::optional<int64_t> Expected;
  };
  const TUInt128 big = static_cast<TUInt128>(UINT64_MAX) * 1000000000000000000ULL;
  const TCase cases[] = {
      {"1234.5678", {12345678, 4, false}, 12345678},
      {"100.10", {10010, 2, false}, 1001000},
      {"0", {0, 0, false}, 0},
      {"1.23455", {123455, 5, false}, 12346},
      {"-1.23455", {123455, 5, true}, -12346},
      {"1.23454999", {123454999, 8, false}, 12345},
      {"0.00005", {5, 5, false}, 1},
      {"0.00004999", {4999, 8, false}, 0},
      {"largest amount", {9223372036854775807, 4, false}, INT64_MAX},
      {"one past the largest", {9223372036854775808ULL, 4, false}, std::nullopt},
      {"smallest amount", {9223372036854775808ULL, 4, true}, INT64_MIN},
      {"an N(20,4) overflow",
       {static_cast<TUInt128>(9999999999999999999ULL) * 10 + 9, 4, false},
       std::nullopt},
      {"huge with many decimals", {big, 60, false}, 0},
      {"a whole number past the range", {1000000000000000, 0, false}, std::nullopt},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(DecimalToCurrency(c.Value), c.Expected) << c.Name;
  }
}

TEST(DecimalToInt64, RoundsHalfAwayFromZero) {
  EXPECT_EQ(DecimalToInt64({25, 1, false}), 3);
  EXPECT_EQ(DecimalToInt64({25, 1, true}), -3);
  EXPECT_EQ(DecimalToInt64({24, 1, true}), -2);
  EXPECT_EQ(DecimalToInt64({static_cast<TUInt128>(INT64_MAX) + 1, 0, false}), std::nullopt);
}

double At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
          int millisecond = 0) {
  return EncodeDateTime(DaysSinceEpoch(year, month, day),
                        ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond);
}

TEST(FormatDateTime, WritesEachPatternElement) {
  TRegionalSettings ro;
  ro.TimeAMString = "a.m.";
  ro.TimePMString = "p.m.";
  struct TCase {
    const char* Pattern;
    double Value;
    const char* Expected;
  };
  const TCase cases[] = {
      {"m/d/yy", At(2024, 3, 5), "3/5/24"},
      {"dd.mm.yyyy", At(2024, 3, 5), "05.03.2024"},
      {"d.m.yyyy", At(987, 11, 25), "25.11.0987"},
      {"yyyy-mm-dd", At(2005, 1, 2), "2005-01-02"},
      {"h:mm:ss AMPM", At(2024, 3, 5, 0, 5, 9), "12:05:09 a.m."},
      {"h:mm:ss AMPM", At(2024, 3, 5, 12, 0, 0), "12:00:00 p.m."},
      {"h:mm:ss AMPM", At(2024, 3, 5, 13, 7, 8), "1:07:08 p.m."},
      {"AMPM h:mm:ss", At(2024, 3, 5, 11, 59, 59), "a.m. 11:59:59"},
      {"hh:mm:ss", At(2024, 3, 5, 13, 7, 8), "13:07:08"},
      {"hh:mm:ss", At(2024, 3, 5, 7, 7, 8), "07:07:08"},
      {"h:mm:ss", At(2024, 3, 5, 7, 7, 8), "7:07:08"},
      {"mm/dd hh.mm", At(2024, 3, 5, 7, 9), "03/05 07.09"},
      {"\"at\" hh:mm", At(2024, 3, 5, 7, 9), "at 07:09"},
      {"'d' d", At(2024, 3, 5), "d 5"},
      {"yyy", At(2024, 3, 5), "2424"},
      {"hh:nn", At(2024, 3, 5, 7, 9), "07:09"},
      {"h ampm", At(2024, 3, 5, 13, 0, 0), "1 p.m."},
  };
  // Patterns are read once and kept: each is used twice, in turn with the
  // others.
  for (int round = 0; round < 2; ++round) {
    for (const TCase& c : cases)
      EXPECT_EQ(FormatDateTime(c.Pattern, c.Value, ro), c.Expected) << c.Pattern;
  }
}

TEST(DateTimeText, ShowsTheTimeOnlyWhenHoursMinutesOrSecondsAreSet) {
  struct TCase {
    const char* Name;
    double Value;
    const char* Expected;
  };
  const TCase cases[] = {
      {"midnight", At(2024, 3, 5), "3/5/24"},
      {"half a second after midnight", At(2024, 3, 5, 0, 0, 0, 500), "3/5/24"},
      {"one second after midnight", At(2024, 3, 5, 0, 0, 1), "3/5/24 12:00:01 AM"},
      {"noon", At(2024, 3, 5, 12), "3/5/24 12:00:00 PM"},
      {"one minute before midnight", At(2024, 3, 5, 23, 59), "3/5/24 11:59:00 PM"},
      {"before the day-count epoch", At(1899, 12, 29, 6), "12/29/99 6:00:00 AM"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(DateTimeText(c.Value, TRegionalSettings()), c.Expected) << c.Name;
  }
  TRegionalSettings ro;
  ro.ShortDateFormat = "dd.mm.yyyy";
  ro.LongTimeFormat = "hh:mm:ss";
  EXPECT_EQ(DateTimeText(At(2024, 3, 5, 15, 4, 5), ro), "05.03.2024 15:04:05");
}

}  // namespace
}  // namespace lumbra
