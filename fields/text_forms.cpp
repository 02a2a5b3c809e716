#include "fields/text_forms.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <vector>

#include "base/date_time.h"

namespace lumbra {

namespace {

void AppendInteger(std::string& out, int value) {
  char buffer[16];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, end);
}

// digits: significant digits without trailing zeros; the value is 0.digits x 10^e.
void AppendGeneralForm(std::string& out, bool negative, std::string_view digits, int e,
                       int precision, const TRegionalSettings& settings) {
  if (digits.empty()) {
    out.push_back('0');
    return;
  }
  const std::string& point = settings.DecimalSeparator;
  if (negative) out.push_back('-');
  if (e > precision || e < -3) {
    out.push_back(digits[0]);
    if (digits.size() > 1) {
      out += point;
      out += digits.substr(1);
    }
    out.push_back('E');
    AppendInteger(out, e - 1);
    return;
  }
  // Positional: room for a "0", the point, the digits and the zeros is
  // taken once, written into, and cut to what was written.
  const auto whole = static_cast<size_t>(std::max(e, 0));
  const size_t zeros = e <= 0 ? static_cast<size_t>(-e) : whole - std::min(whole, digits.size());
  const size_t start = out.size();
  out.resize(start + 1 + point.size() + digits.size() + zeros);
  char* to = out.data() + start;
  if (e <= 0) {
    *to++ = '0';
    to = std::copy(point.begin(), point.end(), to);
    to = std::fill_n(to, zeros, '0');
    to = std::copy(digits.begin(), digits.end(), to);
  } else if (digits.size() <= whole) {
    to = std::copy(digits.begin(), digits.end(), to);
    to = std::fill_n(to, zeros, '0');
  } else {
    to = std::copy(digits.begin(), digits.begin() + static_cast<std::ptrdiff_t>(whole), to);
    to = std::copy(point.begin(), point.end(), to);
    to = std::copy(digits.begin() + static_cast<std::ptrdiff_t>(whole), digits.end(), to);
  }
  out.resize(static_cast<size_t>(to - out.data()));
}

std::string_view WithoutTrailingZeros(std::string_view digits) {
  while (!digits.empty() && digits.back() == '0')
    digits.remove_suffix(1);
  return digits;
}

constexpr TUInt128 Pow10(int n) {
  TUInt128 p = 1;
  for (int i = 0; i < n; ++i)
    p *= 10;
  return p;
}

// 10^0 to 10^19, every power of ten that 64 bits hold.
constexpr std::array<uint64_t, 20> kWholePowersOfTen = [] {
  std::array<uint64_t, 20> powers{};
  for (int n = 0; n < 20; ++n)
    powers[static_cast<size_t>(n)] = static_cast<uint64_t>(Pow10(n));
  return powers;
}();

std::optional<int64_t> RoundDecimal(const TDecimal& value, int targetScale) {
  TUInt128 m = value.Mantissa;
  if (value.Scale > targetScale) {
    const int drop = value.Scale - targetScale;
    if (drop > 38) return 0;  // a mantissa of at most 39 digits rounds to nothing
    // Half away from zero: the sign is applied after. In 64 bits when the
    // mantissa fits them, as it nearly always does.
    if (m <= UINT64_MAX && drop <= 19) {
      const uint64_t divisor = kWholePowersOfTen[static_cast<size_t>(drop)];
      auto narrow = static_cast<uint64_t>(m);
      const uint64_t rest = narrow % divisor;
      narrow /= divisor;
      if (rest >= divisor - rest) ++narrow;
      m = narrow;
    } else {
      const TUInt128 divisor = Pow10(drop);
      const TUInt128 rest = m % divisor;
      m /= divisor;
      if (rest * 2 >= divisor) ++m;
    }
  } else if (m <= UINT64_MAX && targetScale - value.Scale <= 19) {
    // One multiplication: its 128 bits cannot overflow, and the limit below
    // catches what does not fit.
    m = static_cast<TUInt128>(static_cast<uint64_t>(m)) *
        kWholePowersOfTen[static_cast<size_t>(targetScale - value.Scale)];
  } else {
    for (int i = value.Scale; i < targetScale; ++i) {
      if (m > static_cast<TUInt128>(INT64_MAX)) return std::nullopt;
      m *= 10;
    }
  }
  const TUInt128 limit = static_cast<TUInt128>(INT64_MAX) + (value.Negative ? 1 : 0);
  if (m > limit) return std::nullopt;
  if (!value.Negative) return static_cast<int64_t>(m);
  return m == limit ? INT64_MIN : -static_cast<int64_t>(m);
}

// Characters a number part writes at most: an int's digits and sign; widths
// are four at most.
constexpr size_t kNumberRoom = 11;

// WriteNumber for the numbers it has no shortcut for.
char* WriteLongNumber(char* to, int value, int width) {
  char buffer[16];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  for (auto n = static_cast<int>(end - buffer); n < width; ++n)
    *to++ = '0';
  return std::copy(buffer, end, to);
}

// Writes value (not negative) in at least width digits, zero-padded, at to,
// which has kNumberRoom characters free. Returns the end of what it wrote.
inline char* WriteNumber(char* to, int value, int width) {
  // Days, months, hours, minutes and seconds: two digits at most. Both are
  // written and the end moved on by one or two without a branch, since
  // whether a month or an hour has one digit or two is a coin toss the
  // processor would often guess wrong.
  if (value >= 0 && value < 100 && width <= 2) {
    const int tens = value / 10;
    const int ones = value % 10;
    const int two = (value >= 10) | (width == 2);
    to[0] = static_cast<char>('0' + ones + two * (tens - ones));
    to[1] = static_cast<char>('0' + ones);
    return to + 1 + two;
  }
  // Years of four digits.
  if (value >= 1000 && value < 10000 && width <= 4) {
    to[0] = static_cast<char>('0' + value / 1000);
    to[1] = static_cast<char>('0' + value / 100 % 10);
    to[2] = static_cast<char>('0' + value / 10 % 10);
    to[3] = static_cast<char>('0' + value % 10);
    return to + 4;
  }
  return WriteLongNumber(to, value, width);
}

bool StartsWithIgnoringCase(const std::string& text, size_t at, const char* word) {
  for (size_t k = 0; word[k] != '\0'; ++k) {
    if (at + k >= text.size()) return false;
    char c = text[at + k];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
    if (c != word[k]) return false;
  }
  return true;
}

// A date-time pattern read once into its parts, so that formatting many
// values does not read the pattern again for each.
struct TDatePattern {
  enum class TKind : uint8_t { Literal, Year, Month, Day, Hour, Minute, Second, AmPm };
  struct TPart {
    TKind Kind;
    int Width;  // digits at least; for Year, 4 for the whole year, else 2
    std::string Literal;
  };
  std::string Pattern;
  std::vector<TPart> Parts;
  bool TwelveHour = false;
  // Characters the literals and numbers write at most; each AM/PM part adds
  // the longer of the two markers.
  size_t FixedRoom = 0;
  size_t AmPmParts = 0;
};

TDatePattern ReadPattern(const std::string& pattern) {
  using TKind = TDatePattern::TKind;
  TDatePattern read;
  read.Pattern = pattern;
  read.TwelveHour =
      pattern.find("AMPM") != std::string::npos || pattern.find("ampm") != std::string::npos;
  const auto literal = [&read](std::string_view text) {
    if (read.Parts.empty() || read.Parts.back().Kind != TKind::Literal) {
      read.Parts.push_back({TKind::Literal, 0, std::string()});
    }
    read.Parts.back().Literal += text;
  };
  bool afterHour = false;  // "m" right after an hour (literals between) means minutes
  for (size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == '"' || c == '\'') {
      const size_t end = pattern.find(c, i + 1);
      literal(std::string_view(pattern).substr(
          i + 1, (end == std::string::npos ? pattern.size() : end) - i - 1));
      i = end == std::string::npos ? pattern.size() : end + 1;
      continue;
    }
    if (StartsWithIgnoringCase(pattern, i, "AMPM")) {
      read.Parts.push_back({TKind::AmPm, 0, std::string()});
      i += 4;
      continue;
    }
    const char lower = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
    size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c)
      ++run;
    const int width = run >= 2 ? 2 : 1;
    size_t used = std::min<size_t>(run, 2);
    switch (lower) {
      case 'y':
        used = run >= 4 ? 4 : used;
        read.Parts.push_back({TKind::Year, used == 4 ? 4 : 2, std::string()});
        afterHour = false;
        break;
      case 'm':
        read.Parts.push_back({afterHour ? TKind::Minute : TKind::Month, width, std::string()});
        afterHour = false;
        break;
      case 'd':
        read.Parts.push_back({TKind::Day, width, std::string()});
        afterHour = false;
        break;
      case 'h':
        read.Parts.push_back({TKind::Hour, width, std::string()});
        afterHour = true;
        break;
      case 'n':
        read.Parts.push_back({TKind::Minute, width, std::string()});
        break;
      case 's':
        read.Parts.push_back({TKind::Second, width, std::string()});
        afterHour = false;
        break;
      default:
        literal(std::string_view(&c, 1));
        used = 1;
        break;
    }
    i += used;
  }
  for (const TDatePattern::TPart& part : read.Parts) {
    if (part.Kind == TKind::Literal) {
      read.FixedRoom += part.Literal.size();
    } else if (part.Kind == TKind::AmPm) {
      ++read.AmPmParts;
    } else {
      read.FixedRoom += kNumberRoom;
    }
  }
  return read;
}

// The pattern read, from the last two patterns read on this thread: a
// date-time's text takes turns between the date and the time pattern.
const TDatePattern& PatternOf(const std::string& pattern) {
  thread_local std::array<TDatePattern, 2> recent;
  thread_local size_t older = 0;
  for (const TDatePattern& known : recent) {
    if (known.Pattern == pattern) return known;
  }
  TDatePattern& slot = recent[older];
  older = 1 - older;
  slot = ReadPattern(pattern);
  return slot;
}

// Appends the text of a decoded date-time in pattern (see FormatDateTime).
// Room for the longest text the pattern can make is taken once and the parts
// are written into it, then the text is cut to what was written.
void AppendCivilDateTime(std::string& out, const std::string& pattern, const TCivilDateTime& t,
                         const TRegionalSettings& settings) {
  using TKind = TDatePattern::TKind;
  const TDatePattern& read = PatternOf(pattern);
  const std::string& amPm = t.Hour < 12 ? settings.TimeAMString : settings.TimePMString;
  const size_t start = out.size();
  out.resize(start + read.FixedRoom + read.AmPmParts * amPm.size());
  char* to = out.data() + start;
  for (const TDatePattern::TPart& part : read.Parts) {
    switch (part.Kind) {
      case TKind::Literal:
        // Mostly one separator.
        if (part.Literal.size() == 1) {
          *to++ = part.Literal[0];
        } else {
          to = std::copy(part.Literal.begin(), part.Literal.end(), to);
        }
        break;
      case TKind::Year:
        to = WriteNumber(to, part.Width == 4 ? t.Date.Year : t.Date.Year % 100, part.Width);
        break;
      case TKind::Month:
        to = WriteNumber(to, t.Date.Month, part.Width);
        break;
      case TKind::Day:
        to = WriteNumber(to, t.Date.Day, part.Width);
        break;
      case TKind::Hour: {
        int hour = t.Hour;
        if (read.TwelveHour) hour = hour % 12 == 0 ? 12 : hour % 12;
        to = WriteNumber(to, hour, part.Width);
        break;
      }
      case TKind::Minute:
        to = WriteNumber(to, t.Minute, part.Width);
        break;
      case TKind::Second:
        to = WriteNumber(to, t.Second, part.Width);
        break;
      case TKind::AmPm:
        to = std::copy(amPm.begin(), amPm.end(), to);
        break;
    }
  }
  out.resize(static_cast<size_t>(to - out.data()));
}

}  // namespace

void AppendGeneral(std::string& out, double value, int precision,
                   const TRegionalSettings& settings) {
  if (std::isnan(value)) {
    out += "NAN";
    return;
  }
  if (std::isinf(value)) {
    out += value > 0 ? "INF" : "-INF";
    return;
  }
  if (value == 0) {
    out.push_back('0');
    return;
  }
  const double magnitude = std::fabs(value);
  // A table's doubles mostly hold a few decimals: such a value is found as a
  // whole number over a power of ten. The division is exact to the last bit,
  // so a match is a true one, and the fewest decimals give the fewest digits;
  // with no more than 15 digits it is also the value rounded to `precision`
  // digits (see below).
  if (precision <= 15 && magnitude < 1e15 && magnitude >= 1e-5) {
    for (int decimals = 0; decimals <= 15; ++decimals) {
      // Exact: a double holds every power of ten up to 10^22.
      const auto power = static_cast<double>(kWholePowersOfTen[static_cast<size_t>(decimals)]);
      const double scaled = magnitude * power;
      if (scaled >= 1e15) break;
      const auto whole = static_cast<uint64_t>(scaled + 0.5);
      if (static_cast<double>(whole) / power != magnitude) continue;
      char digits[24];
      const char* end = std::to_chars(digits, digits + sizeof digits, whole).ptr;
      const auto count = static_cast<size_t>(end - digits);
      if (count > static_cast<size_t>(precision)) break;
      AppendGeneralForm(out, value < 0, WithoutTrailingZeros({digits, count}),
                        static_cast<int>(count) - decimals, precision, settings);
      return;
    }
  }
  // Scientific text needs no locale: "d.ddde+xx". The shortest digits that
  // read back as the value are cheap to find, and when there are no more
  // than 15 of them they are also the value rounded to `precision` digits: a
  // normal double's rounding interval is narrower than half a step of 15
  // digits (a subnormal's is not). Otherwise the value is rounded to
  // `precision` digits itself.
  char buffer[64];
  char* end =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific).ptr;
  const size_t mark = std::string_view(buffer, static_cast<size_t>(end - buffer)).find('e');
  // "d.ddd" has one character more than its digits; a lone "d" has none.
  const size_t shortest = mark > 1 ? mark - 1 : mark;
  if (precision > 15 || shortest > static_cast<size_t>(precision) ||
      magnitude < std::numeric_limits<double>::min()) {
    end = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific,
                        precision - 1)
              .ptr;
  }
  const std::string_view text(buffer, static_cast<size_t>(end - buffer));
  char digits[64];
  size_t count = 0;
  const size_t e = text.find('e');
  for (char c : text.substr(0, e)) {
    if (c != '.') digits[count++] = c;
  }
  int exponent = 0;
  const char* from = text.data() + e + 1;
  if (*from == '+') ++from;
  std::from_chars(from, end, exponent);
  AppendGeneralForm(out, value < 0, WithoutTrailingZeros({digits, count}), exponent + 1, precision,
                    settings);
}

std::string FormatGeneral(double value, int precision, const TRegionalSettings& settings) {
  std::string text;
  AppendGeneral(text, value, precision, settings);
  return text;
}

void AppendDecimalGeneral(std::string& out, const TDecimal& value,
                          const TRegionalSettings& settings) {
  constexpr int kPrecision = 15;
  if (value.Mantissa >= Pow10(kPrecision)) {
    AppendGeneral(out, value.ToDouble(), kPrecision, settings);
    return;
  }
  if (value.Mantissa == 0) {
    out.push_back('0');
    return;
  }
  char digits[24];
  const auto [end, error] =
      std::to_chars(digits, digits + sizeof digits, static_cast<uint64_t>(value.Mantissa));
  const auto count = static_cast<size_t>(end - digits);
  AppendGeneralForm(out, value.Negative, WithoutTrailingZeros({digits, count}),
                    static_cast<int>(count) - value.Scale, kPrecision, settings);
}

std::string FormatDecimalGeneral(const TDecimal& value, const TRegionalSettings& settings) {
  std::string text;
  AppendDecimalGeneral(text, value, settings);
  return text;
}

void AppendCurrencyGeneral(std::string& out, int64_t amount, const TRegionalSettings& settings) {
  // At most 19 digits and four decimals: the general form is always
  // positional, so the whole units and the decimals are written directly.
  const bool negative = amount < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(amount) : static_cast<uint64_t>(amount);
  const auto fraction = static_cast<uint32_t>(magnitude % 10000);
  char whole[24];
  char* end = whole;
  if (negative) *end++ = '-';
  end = std::to_chars(end, whole + sizeof whole, magnitude / 10000).ptr;
  out.append(whole, end);
  if (fraction == 0) return;
  out += settings.DecimalSeparator;
  const char decimals[4] = {
      static_cast<char>('0' + fraction / 1000), static_cast<char>('0' + fraction / 100 % 10),
      static_cast<char>('0' + fraction / 10 % 10), static_cast<char>('0' + fraction % 10)};
  size_t count = 4;
  while (decimals[count - 1] == '0')
    --count;
  out.append(decimals, count);
}

std::string FormatCurrencyGeneral(int64_t amount, const TRegionalSettings& settings) {
  std::string text;
  AppendCurrencyGeneral(text, amount, settings);
  return text;
}

std::optional<int64_t> DecimalToCurrency(const TDecimal& value) {
  return RoundDecimal(value, 4);
}

std::optional<int64_t> DecimalToInt64(const TDecimal& value) {
  return RoundDecimal(value, 0);
}

std::string FormatDateTime(const std::string& pattern, double value,
                           const TRegionalSettings& settings) {
  std::string text;
  AppendDateTime(text, pattern, value, settings);
  return text;
}

void AppendDateTime(std::string& out, const std::string& pattern, double value,
                    const TRegionalSettings& settings) {
  AppendCivilDateTime(out, pattern, DecodeDateTime(value), settings);
}

std::string DateTimeText(double value, const TRegionalSettings& settings) {
  std::string text;
  AppendDateTimeText(text, value, settings);
  return text;
}

void AppendDateTimeText(std::string& out, double value, const TRegionalSettings& settings) {
  const TCivilDateTime t = DecodeDateTime(value);
  AppendCivilDateTime(out, settings.ShortDateFormat, t, settings);
  if (t.Hour != 0 || t.Minute != 0 || t.Second != 0) {
    out += ' ';
    AppendCivilDateTime(out, settings.LongTimeFormat, t, settings);
  }
}

}  // namespace lumbra
