// Table text decoded from the code page the table's mark names, and the
// defaults for tables that name none.
#include "dbf/code_page.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "base/text.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/read_back.h"

namespace lumbra::test {
namespace {

// The text of one C field holding bytes, in a table marked mark.
std::string Decoded(uint8_t mark, const std::string& bytes, const TDbfOpenOptions& options = {},
                    uint8_t version = 0x30) {
  TTableShape spec;
  spec.Version = version;
  spec.CodePageMark = mark;
  spec.Fields = {{"TEXT", 'C', static_cast<uint8_t>(bytes.size())}};
  spec.Rows = {{Text(bytes)}};
  return ShowColumn(*OpenBuilt(spec, options), 0)[0];
}

TEST(CodePage, MarkNamesTheTablesCodePage) {
  struct TCase {
    const char* Name;
    uint8_t Mark;
    std::string Bytes;
    const char* Text;
  };
  const TCase cases[] = {
      {"1250 Romanian", 0xC8, "\xE3\xE2\xEE\xBA\xFE\xAA\xDE", "'ăâîşţŞŢ'"},
      {"1250 ASCII runs between letters", 0xC8, "Ma\xBAina de sp\xE3lat rufe, model \xEE",
       "'Maşina de spălat rufe, model î'"},
      {"1252 Western", 0x03, "\xE9\xBA", "'éº'"},
      {"1251 Cyrillic", 0xC9, "\xCC\xEE\xF1\xEA\xE2\xE0", "'Москва'"},
      {"866 Russian DOS at 0x65", 0x65, "\x80\xAE", "'Ао'"},
      {"865 Nordic DOS at 0x66", 0x66, "\x9B\x9D", "'øØ'"},
      {"852 Eastern European DOS", 0x64, "\xD4", "'ď'"},
      {"936 Simplified Chinese", 0x7A, "\xD6\xD0\xCE\xC4", "'中文'"},
      {"932 Japanese", 0x7B, "\x93\xFA\x96\x7B", "'日本'"},
      {"932 lead byte cut off at the end", 0x7B, "\x93\xFA\x96", "'日\xEF\xBF\xBD'"},
      {"932 byte without a character", 0x7B,
       "\xA0"
       "a",
       "'\xEF\xBF\xBD"
       "a'"},
      {"936 lead byte cut off at the end", 0x7A, "\xD6\xD0\xCE", "'中\xEF\xBF\xBD'"},
      {"620 Mazovia", 0x69, "\x86\x9E", "'ąś'"},
      {"895 Kamenicky", 0x68, "\x80\x87", "'Čč'"},
      {"UTF-8", 0xF0,
       "\xC8\x99"
       "a",
       "'șa'"},
      {"UTF-8 with an invalid byte", 0xF0,
       "\xFF"
       "a",
       "'\xEF\xBF\xBD"
       "a'"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(Decoded(c.Mark, c.Bytes), c.Text) << c.Name;
}

TEST(CodePage, TablesWithoutAMarkUseTheDefault) {
  TDbfOpenOptions romanian;
  romanian.DefaultCodePage = 1250;
  EXPECT_EQ(Decoded(0x00, "\xBA", romanian), "'ş'");
  EXPECT_EQ(Decoded(0x57, "\xBA", romanian), "'ş'");
  EXPECT_EQ(Decoded(0xEE, "\xBA", romanian), "'ş'") << "an unknown mark";
  EXPECT_EQ(Decoded(0x00, "\xBA"), "'º'") << "1252 when nothing is configured";
}

TEST(CodePage, OverrideWinsOverTheMark) {
  TDbfOpenOptions options;
  options.CodePageOverride = 1251;
  EXPECT_EQ(Decoded(0x03, "\xC0", options), "'А'");
}

TEST(CodePage, FieldNamesAreDecodedToo) {
  TTableShape spec;
  spec.CodePageMark = 0xC8;
  spec.Fields = {{"ORA\xAA", 'C', 1}};
  EXPECT_EQ(OpenBuilt(spec)->FieldNames(), std::vector<std::string>{"ORAŞ"});
}

TEST(CodePage, Level7LanguageDriverNamesTheCodePage) {
  TTableShape spec;
  spec.Version = 0x04;
  spec.CodePageMark = 0x00;
  spec.LanguageDriver = "DB866RU0";
  spec.Fields = {{"TEXT", 'C', 1}};
  spec.Rows = {{Text("\x80")}};
  EXPECT_EQ(ShowColumn(*OpenBuilt(spec), 0), std::vector<std::string>{"'А'"});
}

TEST(CodePage, MarksMapAsTheVisualFoxProAndDBaseListsSay) {
  const std::pair<uint8_t, int> cases[] = {
      {0x01, 437},  {0x02, 850},           {0x03, 1252},  {0x04, 10000}, {0x08, 865},  {0x13, 932},
      {0x26, 866},  {0x4D, 936},           {0x57, 777},   {0x64, 852},   {0x65, 866},  {0x66, 865},
      {0x67, 861},  {0x68, 895},           {0x69, 620},   {0x6A, 737},   {0x78, 950},  {0x79, 949},
      {0x7A, 936},  {0x7D, 1255},          {0x96, 10007}, {0x98, 10006}, {0xC8, 1250}, {0xC9, 1251},
      {0xCC, 1257}, {0xF0, kCodePageUtf8}, {0x00, 777},   {0xFE, 777},
  };
  for (const auto& [mark, codePage] : cases) {
    EXPECT_EQ(CodePageForMark(mark, 777), codePage) << "mark " << int{mark};
    EXPECT_TRUE(codePage == 777 || IsSupportedCodePage(codePage)) << codePage;
  }
}

TEST(CodePage, MixedTextDecodesAsItsBytesOneByOne) {
  // Runs of ASCII (control characters too) of every length beside other
  // bytes, through the eight-byte copies and the single ones, against each
  // byte decoded alone.
  std::mt19937 random(7);
  for (const int number : {437, 852, 1250, 1251, 1252}) {
    const TCodePage codePage(number);
    for (int round = 0; round < 2000; ++round) {
      std::string bytes;
      const int length = static_cast<int>(random() % 40);
      for (int k = 0; k < length; ++k) {
        const unsigned kind = random() % 4;
        bytes += static_cast<char>(kind == 0 ? 0x80 + random() % 0x80 : 1 + random() % 0x7F);
      }
      std::string expected;
      for (const char c : bytes)
        expected += codePage.ToUtf8(std::string_view(&c, 1));
      std::string out = "before";
      codePage.AppendUtf8(out, bytes);
      ASSERT_EQ(out, "before" + expected) << number << " round " << round;
    }
  }
}

// The UTF-8 the platform's iconv makes of byte in the code page it calls
// name; nullopt when iconv leaves the byte undefined.
std::optional<std::string> IconvUtf8(const char* name, uint8_t byte) {
  const iconv_t converter = iconv_open("UTF-8", name);
  if (converter == reinterpret_cast<iconv_t>(-1)) ADD_FAILURE() << "iconv lacks " << name;
  char in = static_cast<char>(byte);
  char out[8];
  char* inPointer = &in;
  char* outPointer = out;
  size_t inLeft = 1, outLeft = sizeof out;
  const size_t done = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
  // 1255 holds a letter back in case a combining mark follows.
  const size_t flushed = iconv(converter, nullptr, nullptr, &outPointer, &outLeft);
  iconv_close(converter);
  if (done == static_cast<size_t>(-1) || flushed == static_cast<size_t>(-1)) return std::nullopt;
  return std::string(out, outPointer);
}

std::string Utf8Of(char32_t character) {
  std::string utf8;
  AppendCodePoint(utf8, character);
  return utf8;
}

// Every upper byte of every single-byte code page reads as Unicode's mapping
// tables and the platform's iconv map it; a byte both leave undefined keeps
// its own value.
TEST(CodePage, EveryUpperByteReadsAsTheStandardTablesSay) {
  const std::pair<int, const char*> pages[] = {
      {437, "CP437"},          {737, "CP737"},
      {850, "CP850"},          {852, "CP852"},
      {857, "CP857"},          {860, "CP860"},
      {861, "CP861"},          {863, "CP863"},
      {865, "CP865"},          {866, "CP866"},
      {874, "CP874"},          {1250, "CP1250"},
      {1251, "CP1251"},        {1252, "CP1252"},
      {1253, "CP1253"},        {1254, "CP1254"},
      {1255, "CP1255"},        {1256, "CP1256"},
      {1257, "CP1257"},        {10000, "MACINTOSH"},
      {10007, "MAC-CYRILLIC"}, {10029, "MAC-CENTRALEUROPE"},
  };
  // Where glibc keeps older Apple tables than Unicode's: Unicode's wins.
  const std::tuple<int, uint8_t, char32_t> unicodeOnly[] = {
      {10000, 0xC6, U'\u2206'}, {10000, 0xF0, U'\uF8FF'}, {10007, 0xFF, U'\u20AC'}};
  for (const auto& [number, iconvName] : pages) {
    const TCodePage codePage(number);
    for (int b = 0x80; b < 0x100; ++b) {
      const auto byte = static_cast<uint8_t>(b);
      std::string expected = IconvUtf8(iconvName, byte).value_or(Utf8Of(byte));
      for (const auto& [page, at, character] : unicodeOnly) {
        if (page == number && at == byte) expected = Utf8Of(character);
      }
      EXPECT_EQ(codePage.ToUtf8(std::string(1, static_cast<char>(byte))), expected)
          << number << " byte " << b;
    }
  }
  EXPECT_EQ(TCodePage(852).ToUtf8("\xAA"), "\u00AC");
  // glibc has no Mac Greek: a few of Unicode's entries.
  const TCodePage greek(10006);
  for (const auto& [byte, character] : {std::pair<char, char32_t>{'\x80', U'\u00C4'},
                                        {'\xA1', U'\u0393'},
                                        {'\xB0', U'\u0391'},
                                        {'\xE6', U'\u03C6'},
                                        {'\xFF', U'\u00AD'}}) {
    EXPECT_EQ(greek.ToUtf8(std::string(1, byte)), Utf8Of(character));
  }
}

TEST(CodePage, LanguageDriverNames) {
  EXPECT_EQ(CodePageForLanguageDriver("DB437US0"), 437);
  EXPECT_EQ(CodePageForLanguageDriver("DB852PO0"), 852);
  EXPECT_EQ(CodePageForLanguageDriver("DBWINUS0"), 1252);
  EXPECT_EQ(CodePageForLanguageDriver("DB999XX0"), 0);
  EXPECT_EQ(CodePageForLanguageDriver(""), 0);
}

TEST(CodePage, DefaultFollowsTheLocaleLanguage) {
  const std::pair<const char*, int> cases[] = {
      {"ro_RO.UTF-8", 1250}, {"pl_PL", 1250},      {"cs", 1250},
      {"ru_RU.UTF-8", 1251}, {"uk_UA@euro", 1251}, {"en_US.UTF-8", 1252},
      {"C", 1252},           {"POSIX", 1252},      {"rom_XX", 1252},
  };
  for (const auto& [locale, codePage] : cases)
    EXPECT_EQ(DefaultCodePageForLocale(locale), codePage) << locale;
}

}  // namespace
}  // namespace lumbra::test
