// Regional settings from ICU's locale data, and which variable names the locale.
#include "fields/regional_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace lumbra {
namespace {

TEST(RegionalSettings, ReadsTheLocaleData) {
  struct TCase {
    const char* Locale;
    const char* Decimal;
    const char* ShortDate;
    const char* LongTime;
    const char* Am;
    const char* Pm;
  };
  const TCase cases[] = {
      {"ro_RO", ",", "dd.mm.yyyy", "hh:mm:ss", "a.m.", "p.m."},
      {"ro_RO.UTF-8", ",", "dd.mm.yyyy", "hh:mm:ss", "a.m.", "p.m."},
      {"en_US", ".", "m/d/yy", "h:mm:ss AMPM", "AM", "PM"},
      {"de_DE@euro", ",", "dd.mm.yy", "hh:mm:ss", "AM", "PM"},
      {"ko_KR", ".", "yy. m. d.", "AMPM h:mm:ss", "오전", "오후"},
      {"zh_TW", ".", "yyyy/m/d", "AMPM h:mm:ss", "上午", "下午"},
      {"C", ".", "m/d/yy", "h:mm:ss AMPM", "AM", "PM"},
      {"C.UTF-8", ".", "m/d/yy", "h:mm:ss AMPM", "AM", "PM"},
      {"POSIX", ".", "m/d/yy", "h:mm:ss AMPM", "AM", "PM"},
      {"", ".", "m/d/yy", "h:mm:ss AMPM", "AM", "PM"},
  };
  for (const TCase& c : cases) {
    const TRegionalSettings s = TRegionalSettings::ForLocales(c.Locale, c.Locale);
    EXPECT_EQ(s.DecimalSeparator, c.Decimal) << c.Locale;
    EXPECT_EQ(s.ShortDateFormat, c.ShortDate) << c.Locale;
    EXPECT_EQ(s.LongTimeFormat, c.LongTime) << c.Locale;
    EXPECT_EQ(s.TimeAMString, c.Am) << c.Locale;
    EXPECT_EQ(s.TimePMString, c.Pm) << c.Locale;
  }
}

TEST(RegionalSettings, NumbersAndTimesFollowTheirOwnLocales) {
  const TRegionalSettings s = TRegionalSettings::ForLocales("de_DE", "en_US");
  EXPECT_EQ(s.DecimalSeparator, ",");
  EXPECT_EQ(s.ShortDateFormat, "m/d/yy");
}

// Sets the locale variables for one test and restores them afterwards.
class LocaleEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      FSaved.push_back(value == nullptr ? std::nullopt : std::optional<std::string>(value));
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < std::size(kNames); ++i) {
      if (FSaved[i])
        setenv(kNames[i], FSaved[i]->c_str(), 1);
      else
        unsetenv(kNames[i]);
    }
  }

 private:
  static constexpr const char* kNames[] = {"LC_ALL", "LC_NUMERIC", "LC_TIME", "LANG"};
  std::vector<std::optional<std::string>> FSaved;
};

TEST_F(LocaleEnvironment, LcAllComesFirstThenTheCategoryThenLang) {
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(TRegionalSettings::FromEnvironment().DecimalSeparator, ",");
  setenv("LC_NUMERIC", "en_US.UTF-8", 1);
  const TRegionalSettings categories = TRegionalSettings::FromEnvironment();
  EXPECT_EQ(categories.DecimalSeparator, ".");
  EXPECT_EQ(categories.ShortDateFormat, "dd.mm.yy");
  setenv("LC_ALL", "ro_RO.UTF-8", 1);
  const TRegionalSettings all = TRegionalSettings::FromEnvironment();
  EXPECT_EQ(all.DecimalSeparator, ",");
  EXPECT_EQ(all.ShortDateFormat, "dd.mm.yyyy");
}

TEST_F(LocaleEnvironment, EmptyVariablesCountAsUnset) {
  setenv("LC_ALL", "", 1);
  setenv("LC_TIME", "", 1);
  setenv("LANG", "ro_RO.UTF-8", 1);
  EXPECT_EQ(TRegionalSettings::FromEnvironment().ShortDateFormat, "dd.mm.yyyy");
}

TEST_F(LocaleEnvironment, NothingSetGivesTheDefaults) {
  const TRegionalSettings s = TRegionalSettings::FromEnvironment();
  EXPECT_EQ(s.DecimalSeparator, ".");
  EXPECT_EQ(s.ShortDateFormat, "m/d/yy");
  EXPECT_EQ(s.LongTimeFormat, "h:mm:ss AMPM");
}

}  // namespace
}  // namespace lumbra
