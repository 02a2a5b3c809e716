#include "dbf/code_page.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/text.h"
#include "dbf/dbf_error.h"

namespace lumbra {

namespace {

const char* IcuName(int codePage) {
  switch (codePage) {
    case 437:
      return "ibm-437";
    case 737:
      return "ibm-737";
    case 850:
      return "ibm-850";
    case 852:
      return "ibm-852";
    case 857:
      return "ibm-857";
    case 860:
      return "ibm-860";
    case 861:
      return "ibm-861";
    case 863:
      return "ibm-863";
    case 865:
      return "ibm-865";
    case 866:
      return "ibm-866";
    case 874:
      return "windows-874";
    case 932:
      return "windows-932";
    case 936:
      return "windows-936";
    case 949:
      return "windows-949";
    case 950:
      return "windows-950";
    case 1250:
      return "windows-1250";
    case 1251:
      return "windows-1251";
    case 1252:
      return "windows-1252";
    case 1253:
      return "windows-1253";
    case 1254:
      return "windows-1254";
    case 1255:
      return "windows-1255";
    case 1256:
      return "windows-1256";
    case 1257:
      return "windows-1257";
    case 10000:
      return "macintosh";
    case 10006:
      return "x-mac-greek";
    case 10007:
      return "x-mac-cyrillic";
    case 10029:
      return "x-mac-centraleurroman";
    default:
      return nullptr;
  }
}

bool IsMultiByte(int codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

// ICU's own substitute for an undecodable byte is U+001A in some double-byte
// converters (windows-932 among them): a control character in the middle of
// a text. U+FFFD says what happened.
void SubstituteReplacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*,
                                    int32_t, UConverterCallbackReason reason, UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close and clone need nothing
  static constexpr UChar kReplacement = 0xFFFD;
  *status = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, status);
}

// ICU has no tables for the two Slavic DOS code pages; both are code page 437
// with national letters in place of some graphics characters.
struct TOverride {
  uint8_t Byte;
  char16_t Char;
};
constexpr TOverride kMazovia[] = {
    {0x86, u'ą'}, {0x8D, u'ć'}, {0x8F, u'Ą'}, {0x90, u'Ę'}, {0x91, u'ę'}, {0x92, u'ł'},
    {0x95, u'Ć'}, {0x98, u'Ś'}, {0x9C, u'Ł'}, {0x9E, u'ś'}, {0xA0, u'Ź'}, {0xA1, u'Ż'},
    {0xA2, u'ó'}, {0xA3, u'Ó'}, {0xA4, u'ń'}, {0xA5, u'Ń'}, {0xA6, u'ź'}, {0xA7, u'ż'},
};
constexpr TOverride kKamenicky[] = {
    {0x80, u'Č'}, {0x81, u'ü'}, {0x82, u'é'}, {0x83, u'ď'}, {0x84, u'ä'}, {0x85, u'Ď'},
    {0x86, u'Ť'}, {0x87, u'č'}, {0x88, u'ě'}, {0x89, u'Ě'}, {0x8A, u'Ĺ'}, {0x8B, u'Í'},
    {0x8C, u'ľ'}, {0x8D, u'ĺ'}, {0x8E, u'Ä'}, {0x8F, u'Á'}, {0x90, u'É'}, {0x91, u'ž'},
    {0x92, u'Ž'}, {0x93, u'ô'}, {0x94, u'ö'}, {0x95, u'Ó'}, {0x96, u'ů'}, {0x97, u'Ú'},
    {0x98, u'ý'}, {0x99, u'Ö'}, {0x9A, u'Ü'}, {0x9B, u'Š'}, {0x9C, u'Ľ'}, {0x9D, u'Ý'},
    {0x9E, u'Ř'}, {0x9F, u'ť'}, {0xA0, u'á'}, {0xA1, u'í'}, {0xA2, u'ó'}, {0xA3, u'ú'},
    {0xA4, u'ň'}, {0xA5, u'Ň'}, {0xA6, u'Ů'}, {0xA7, u'Ô'}, {0xA8, u'š'}, {0xA9, u'ř'},
    {0xAA, u'ŕ'}, {0xAB, u'Ŕ'}, {0xAC, u'¼'}, {0xAD, u'§'}, {0xAE, u'«'}, {0xAF, u'»'},
};

// Texts longer than this are measured before they are decoded.
constexpr size_t kMeasuredBytes = 64 << 10;

// Where ICU's tables differ from Unicode's mapping tables and the platform's
// iconv, which agree: the micro sign of the DOS pages is U+00B5 (ICU has the
// Greek mu), 852 has the not sign at 0xAA (ICU leaves it out), and 874 leaves
// 0xDB-0xDE and 0xFC-0xFF undefined (ICU has private-use characters there).
// A character 0 marks a byte as undefined.
struct TCorrection {
  int CodePage;
  uint8_t Byte;
  char16_t Char;
};
constexpr TCorrection kCorrections[] = {
    {437, 0xE6, u'\u00B5'}, {860, 0xE6, u'\u00B5'}, {861, 0xE6, u'\u00B5'}, {863, 0xE6, u'\u00B5'},
    {865, 0xE6, u'\u00B5'}, {852, 0xAA, u'\u00AC'}, {874, 0xDB, 0},         {874, 0xDC, 0},
    {874, 0xDD, 0},         {874, 0xDE, 0},         {874, 0xFC, 0},         {874, 0xFD, 0},
    {874, 0xFE, 0},         {874, 0xFF, 0},
};

}  // namespace

TCodePage::TCodePage(int codePage) : FNumber(codePage) {
  if (codePage == kCodePageUtf8) {
    FSingleByte = false;
    return;
  }
  if (codePage == 620 || codePage == 895) {
    BuildSingleByteTable("ibm-437");
    auto apply = [this](const auto& overrides) {
      for (const TOverride& o : overrides)
        SetCharacter(o.Byte, o.Char);
    };
    if (codePage == 620) {
      apply(kMazovia);
    } else {
      apply(kKamenicky);
    }
    return;
  }
  const char* name = IcuName(codePage);
  if (name == nullptr)
    throw EDbfError(TDbfErrorKind::Unsupported,
                    "Code page " + std::to_string(codePage) + " is not supported");
  if (IsMultiByte(codePage)) {
    UErrorCode status = U_ZERO_ERROR;
    FConverter = ucnv_open(name, &status);
    // Does nothing when the open failed.
    ucnv_setToUCallBack(FConverter, SubstituteReplacementCharacter, nullptr, nullptr, nullptr,
                        &status);
    if (U_FAILURE(status)) {
      if (FConverter != nullptr) ucnv_close(FConverter);
      throw EDbfError(TDbfErrorKind::Unsupported, "Code page " + std::to_string(codePage) +
                                                      " cannot be loaded: " + u_errorName(status));
    }
    FSingleByte = false;
    return;
  }
  BuildSingleByteTable(name);
  for (const TCorrection& c : kCorrections) {
    // An undefined byte keeps its own value, as BuildSingleByteTable does.
    if (c.CodePage == codePage) SetCharacter(c.Byte, c.Char != 0 ? c.Char : c.Byte);
  }
}

void TCodePage::SetCharacter(uint8_t byte, char32_t character) {
  std::string utf8;
  AppendCodePoint(utf8, character);
  FTable[byte].Length = static_cast<uint8_t>(utf8.size());
  std::memcpy(FTable[byte].Bytes, utf8.data(), utf8.size());
}

TCodePage::~TCodePage() {
  if (FConverter != nullptr) ucnv_close(FConverter);
}

void TCodePage::BuildSingleByteTable(const char* icuName) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(icuName, &status);
  if (U_FAILURE(status)) {
    throw EDbfError(TDbfErrorKind::Unsupported, std::string("Code page ") + icuName +
                                                    " cannot be loaded: " + u_errorName(status));
  }
  // Stop at unmapped bytes instead of substituting, so they can be told apart.
  ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  for (int b = 0; b < 256; ++b) {
    const char in = static_cast<char>(b);
    UChar out[4];
    status = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(converter, out, 4, &in, 1, &status);
    // A byte the code page leaves undefined keeps its own value as a code point
    // (as Windows does for 0x81 in 1252), so no byte is ever lost.
    const char32_t cp = (U_SUCCESS(status) && n == 1) ? out[0] : static_cast<char32_t>(b);
    // ASCII is copied as it stands, whatever the code page says of it.
    SetCharacter(static_cast<uint8_t>(b), b < 0x80 ? static_cast<char32_t>(b) : cp);
  }
  ucnv_close(converter);
}

void TCodePage::AppendUtf8(std::string& out, std::string_view bytes) const {
  if (FSingleByte) {
    // Text is mostly ASCII, which every code page here maps to itself: the
    // ASCII start is copied whole, the rest eight bytes at a time below.
    const size_t ascii = AsciiPrefixLength(bytes);
    out.append(bytes.substr(0, ascii));
    if (ascii == bytes.size()) return;
    bytes.remove_prefix(ascii);
    const size_t start = out.size();
    // Three bytes a character at most, and one more for the last entry's
    // length. A long text (a memo) is measured first instead, so that it
    // never takes three times its size.
    size_t room = bytes.size() * 3 + 1;
    if (bytes.size() > kMeasuredBytes) {
      room = 1;
      for (const char byte : bytes)
        room += FTable[static_cast<unsigned char>(byte)].Length;
    }
    out.resize(start + room);
    char* p = out.data() + start;
    const auto put = [this, &p](char byte) {
      const TUtf8Char& c = FTable[static_cast<unsigned char>(byte)];
      std::memcpy(p, &c, sizeof c);
      p += c.Length;
    };
    // Eight bytes at a time: all ASCII copied at once, else each through the
    // table, without a branch on what each byte is.
    const size_t size = bytes.size();
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
      if ((text_detail::LoadWord(bytes.data() + i) & text_detail::kHighBits) == 0) {
        std::memcpy(p, bytes.data() + i, 8);
        p += 8;
        continue;
      }
      for (size_t k = 0; k < 8; ++k)
        put(bytes[i + k]);
    }
    for (; i < size; ++i)
      put(bytes[i]);
    out.resize(static_cast<size_t>(p - out.data()));
    return;
  }
  if (FConverter == nullptr) {  // UTF-8 tables
    AppendValidUtf8(out, bytes);
    return;
  }
  std::u16string wide(bytes.size() + 1, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t n;
  {
    std::lock_guard<std::mutex> lock(FConverterLock);
    ucnv_reset(FConverter);
    n = ucnv_toUChars(FConverter, wide.data(), static_cast<int32_t>(wide.size()), bytes.data(),
                      static_cast<int32_t>(bytes.size()), &status);
  }
  if (U_FAILURE(status)) n = 0;
  wide.resize(static_cast<size_t>(n));
  AppendUtf16AsUtf8(out, wide);
}

std::string TCodePage::ToUtf8(std::string_view bytes) const {
  std::string out;
  AppendUtf8(out, bytes);
  return out;
}

int CodePageForMark(uint8_t mark, int defaultCodePage) {
  switch (mark) {
    case 0x01:
      return 437;
    case 0x02:
      return 850;
    case 0x03:
      return 1252;
    case 0x04:
      return 10000;
    case 0x08:
      return 865;
    case 0x09:
    case 0x0B:
    case 0x0D:
    case 0x0F:
    case 0x11:
    case 0x15:
    case 0x18:
    case 0x19:
    case 0x1B:
      return 437;
    case 0x0A:
    case 0x0E:
    case 0x10:
    case 0x12:
    case 0x14:
    case 0x16:
    case 0x1A:
    case 0x1D:
    case 0x25:
    case 0x37:
      return 850;
    case 0x13:
      return 932;
    case 0x17:
      return 865;
    case 0x1C:
      return 863;
    case 0x1F:
    case 0x22:
    case 0x23:
    case 0x40:
      return 852;
    case 0x24:
      return 860;
    case 0x26:
      return 866;
    case 0x4D:
      return 936;
    case 0x4E:
      return 949;
    case 0x4F:
      return 950;
    case 0x50:
      return 874;
    case 0x58:
    case 0x59:
      return 1252;
    case 0x64:
      return 852;
    case 0x65:
      return 866;
    case 0x66:
      return 865;
    case 0x67:
      return 861;
    case 0x68:
      return 895;
    case 0x69:
      return 620;
    case 0x6A:
      return 737;
    case 0x6B:
      return 857;
    case 0x6C:
      return 863;
    case 0x78:
      return 950;
    case 0x79:
      return 949;
    case 0x7A:
      return 936;
    case 0x7B:
      return 932;
    case 0x7C:
      return 874;
    case 0x7D:
      return 1255;
    case 0x7E:
      return 1256;
    case 0x86:
      return 737;
    case 0x87:
      return 852;
    case 0x88:
      return 857;
    case 0x96:
      return 10007;
    case 0x97:
      return 10029;
    case 0x98:
      return 10006;
    case 0xC8:
      return 1250;
    case 0xC9:
      return 1251;
    case 0xCA:
      return 1254;
    case 0xCB:
      return 1253;
    case 0xCC:
      return 1257;
    case 0xF0:
      return kCodePageUtf8;
    default:
      return defaultCodePage;  // 0x00, 0x57 ("the writer's ANSI page") and unknown marks
  }
}

int CodePageForLanguageDriver(std::string_view name) {
  if (name.size() >= 5 && name.substr(0, 2) == "DB") {
    if (name.substr(2, 3) == "WIN") return 1252;
    int number = 0;
    for (char c : name.substr(2, 3)) {
      if (c < '0' || c > '9') return 0;
      number = number * 10 + (c - '0');
    }
    return IsSupportedCodePage(number) ? number : 0;
  }
  return 0;
}

int DefaultCodePageForLocale(std::string_view localeName) {
  const std::string_view language = localeName.substr(0, localeName.find_first_of("_.@"));
  static constexpr std::string_view kCentral[] = {"ro", "cs", "pl", "hu", "sk",
                                                  "sl", "hr", "sq", "bs"};
  static constexpr std::string_view kCyrillic[] = {"ru", "uk", "be", "bg", "mk", "sr"};
  for (std::string_view l : kCentral) {
    if (language == l) return 1250;
  }
  for (std::string_view l : kCyrillic) {
    if (language == l) return 1251;
  }
  return 1252;
}

std::string LocaleNameFromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

int DefaultCodePageFromEnvironment() {
  const std::string locale = LocaleNameFromEnvironment();
  return locale.empty() ? 1252 : DefaultCodePageForLocale(locale);
}

bool IsSupportedCodePage(int codePage) {
  return codePage == kCodePageUtf8 || codePage == 620 || codePage == 895 ||
         IcuName(codePage) != nullptr;
}

}  // namespace lumbra
