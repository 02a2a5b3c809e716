// The text forms of numbers, dates and times that fields show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/variant.h"
#include "fields/regional_settings.h"

namespace lumbra {

// The general number text: at most `precision` significant digits, no
// trailing zeros, positional unless the exponent is above the precision or
// below -3 ("1E-5", "1.23456789012346E17"); "INF", "-INF", "NAN".
std::string FormatGeneral(double value, int precision, const TRegionalSettings& settings);
void AppendGeneral(std::string& out, double value, int precision,
                   const TRegionalSettings& settings);
// FormatGeneral of the decimal's value as a double, with 15 digits: read from
// the decimal's own digits when it has no more than 15 of them (a double keeps
// 15 digits exactly), else through the double.
std::string FormatDecimalGeneral(const TDecimal& value, const TRegionalSettings& settings);
void AppendDecimalGeneral(std::string& out, const TDecimal& value,
                          const TRegionalSettings& settings);
// The same for a currency amount (1/10000 units), exact, with 19 digits.
std::string FormatCurrencyGeneral(int64_t tenThousandths, const TRegionalSettings& settings);
void AppendCurrencyGeneral(std::string& out, int64_t tenThousandths,
                           const TRegionalSettings& settings);

// A decimal as a currency amount: rounded to four decimals, half away from
// zero; nothing when it does not fit 64 bits.
std::optional<int64_t> DecimalToCurrency(const TDecimal& value);
// A decimal rounded to a whole number, half away from zero; nothing when it
// does not fit 64 bits.
std::optional<int64_t> DecimalToInt64(const TDecimal& value);

// Formats a day-count date-time with a pattern of d, dd, m, mm, yy, yyyy, h,
// hh, mm (minutes when it follows an hour), ss and AMPM; text in quotes and
// every other character is written as it stands.
std::string FormatDateTime(const std::string& pattern, double value,
                           const TRegionalSettings& settings);
void AppendDateTime(std::string& out, const std::string& pattern, double value,
                    const TRegionalSettings& settings);
// A date-time field's text: the date in the short date pattern, then a blank
// and the time in the long time pattern unless the hours, minutes and seconds
// are all zero (milliseconds alone do not count).
std::string DateTimeText(double value, const TRegionalSettings& settings);
// The same, appended to out.
void AppendDateTimeText(std::string& out, double value, const TRegionalSettings& settings);

}  // namespace lumbra
