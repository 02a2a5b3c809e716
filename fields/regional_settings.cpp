#include "fields/regional_settings.h"

#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>

#include <cstdlib>
#include <memory>

namespace lumbra {

namespace {

std::string Utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

// "C.UTF-8" is still the C locale: ICU would read it as en_US_POSIX, whose
// 24-hour clock is not the C default.
bool IsPlainLocale(std::string_view name) {
  const std::string_view base = name.substr(0, name.find_first_of(".@"));
  return base.empty() || base == "C" || base == "POSIX";
}

icu::Locale IcuLocale(std::string_view name) {
  // "ro_RO.UTF-8@euro" names the language and region before the first "." or "@".
  const std::string base(name.substr(0, name.find_first_of(".@")));
  return icu::Locale(base.c_str());
}

std::string LocaleFor(const char* category) {
  for (const char* variable : {"LC_ALL", category, "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

std::string IcuPattern(icu::DateFormat* format) {
  auto* simple = dynamic_cast<icu::SimpleDateFormat*>(format);
  if (simple == nullptr) return "";
  icu::UnicodeString pattern;
  simple->toPattern(pattern);
  return Utf8(pattern);
}

// Turns an ICU date pattern ("dd.MM.y", "M/d/yy") into ours ("dd.mm.yyyy", "m/d/yy").
std::string ShortDateFromIcu(const std::string& icu) {
  std::string out;
  for (size_t i = 0; i < icu.size();) {
    const char c = icu[i];
    size_t run = 1;
    while (i + run < icu.size() && icu[i + run] == c)
      ++run;
    if (c == '\'') {
      const size_t end = icu.find('\'', i + 1);
      out += icu.substr(i + 1, (end == std::string::npos ? icu.size() : end) - i - 1);
      i = end == std::string::npos ? icu.size() : end + 1;
      continue;
    }
    if (c == 'y') {
      out += run == 2 ? "yy" : "yyyy";
    } else if (c == 'M' || c == 'L') {
      out += run == 1 ? "m" : "mm";
    } else if (c == 'd') {
      out += run == 1 ? "d" : "dd";
    } else if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
      out.append(run, c);
    }
    i += run;
  }
  return out;
}

}  // namespace

TRegionalSettings TRegionalSettings::ForLocales(std::string_view numericLocale,
                                                std::string_view timeLocale) {
  TRegionalSettings s;
  if (!IsPlainLocale(numericLocale)) {
    UErrorCode status = U_ZERO_ERROR;
    icu::DecimalFormatSymbols symbols(IcuLocale(numericLocale), status);
    if (U_SUCCESS(status)) {
      s.DecimalSeparator =
          Utf8(symbols.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol));
    }
  }
  if (IsPlainLocale(timeLocale)) return s;
  const icu::Locale locale = IcuLocale(timeLocale);
  std::unique_ptr<icu::DateFormat> date(
      icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale));
  if (date != nullptr) {
    const std::string pattern = ShortDateFromIcu(IcuPattern(date.get()));
    if (!pattern.empty()) s.ShortDateFormat = pattern;
  }
  std::unique_ptr<icu::DateFormat> time(
      icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, locale));
  if (time != nullptr) {
    const std::string pattern = IcuPattern(time.get());
    const size_t hour = pattern.find_first_of("hHkK");
    if (hour != std::string::npos) {
      const bool twoDigits = hour + 1 < pattern.size() && pattern[hour + 1] == pattern[hour];
      const bool twelveHour = pattern[hour] == 'h' || pattern[hour] == 'K';
      // "a" is the AM/PM marker; "b" and "B" are day periods that some
      // locales (zh_TW) show in its place.
      const size_t marker = pattern.find_first_of("abB");
      std::string format = std::string(twoDigits ? "hh" : "h") + ":mm:ss";
      if (twelveHour)
        format = marker != std::string::npos && marker < hour ? "AMPM " + format : format + " AMPM";
      s.LongTimeFormat = format;
    }
  }
  UErrorCode status = U_ZERO_ERROR;
  icu::DateFormatSymbols symbols(locale, status);
  if (U_SUCCESS(status)) {
    int32_t count = 0;
    const icu::UnicodeString* ampm = symbols.getAmPmStrings(count);
    if (count >= 2) {
      s.TimeAMString = Utf8(ampm[0]);
      s.TimePMString = Utf8(ampm[1]);
    }
  }
  return s;
}

TRegionalSettings TRegionalSettings::FromEnvironment() {
  return ForLocales(LocaleFor("LC_NUMERIC"), LocaleFor("LC_TIME"));
}

}  // namespace lumbra
