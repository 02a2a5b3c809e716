// The user's regional settings that the text forms of values use, read once
// at start-up (or made up by a test) and handed to whoever formats values.
#pragma once

#include <string>
#include <string_view>

namespace lumbra {

struct TRegionalSettings {
  std::string DecimalSeparator = ".";
  // Patterns of d, dd, m, mm, yy, yyyy, h, hh, mm (minutes after an hour), ss
  // and AMPM; anything else is written as it stands.
  std::string ShortDateFormat = "m/d/yy";
  std::string LongTimeFormat = "h:mm:ss AMPM";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";

  // The settings of a locale name such as "ro_RO.UTF-8" from ICU's locale
  // data; "", "C" and "POSIX" (with any encoding, "C.UTF-8") give the defaults above.
  static TRegionalSettings ForLocales(std::string_view numericLocale, std::string_view timeLocale);
  // The user's settings: each category's locale is named by LC_ALL, else
  // LC_NUMERIC / LC_TIME, else LANG.
  static TRegionalSettings FromEnvironment();
};

}  // namespace lumbra
