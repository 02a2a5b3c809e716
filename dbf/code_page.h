// Decoding of table text from a table's 8-bit (or multi-byte) code page to
// UTF-8, and the mapping from a table's code page mark to a code page.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

struct UConverter;

namespace lumbra {

inline constexpr int kCodePageUtf8 = 65001;

class TCodePage {
 public:
  // Throws EDbfError when the code page is not known.
  explicit TCodePage(int codePage);
  ~TCodePage();
  TCodePage(const TCodePage&) = delete;
  TCodePage& operator=(const TCodePage&) = delete;

  int Number() const { return FNumber; }
  // Appends the UTF-8 form of bytes to out. Never fails: bytes that have no
  // character in the code page become U+FFFD.
  void AppendUtf8(std::string& out, std::string_view bytes) const;
  std::string ToUtf8(std::string_view bytes) const;
  // True when every ASCII byte stands for its own character, as in the
  // single-byte code pages and UTF-8, so ASCII text needs no decoding.
  bool KeepsAscii() const { return FSingleByte || FConverter == nullptr; }

 private:
  // A byte's character, with the length last so that the whole entry can be
  // stored at once and the length then overwritten by what follows.
  struct TUtf8Char {
    char Bytes[3];
    uint8_t Length;
  };
  void BuildSingleByteTable(const char* icuName);
  void SetCharacter(uint8_t byte, char32_t character);

  int FNumber;
  bool FSingleByte = true;
  TUtf8Char FTable[256] = {};
  // Multi-byte code pages decode through an ICU converter, which is stateful.
  UConverter* FConverter = nullptr;
  mutable std::mutex FConverterLock;
};

// The code page that a table's code page mark (header byte 29) names;
// defaultCodePage for 0x00, 0x57 and every mark not known.
int CodePageForMark(uint8_t mark, int defaultCodePage);
// The code page named by a dBase 7 language driver name ("DB437US0", "DBWINUS0"),
// or 0 when the name does not name one.
int CodePageForLanguageDriver(std::string_view name);
// The Windows code page customary for the user's locale language: 1250 for
// Central European languages, 1251 for Cyrillic ones, 1252 otherwise. The
// locale is named by LC_ALL, else LC_CTYPE, else LANG.
int DefaultCodePageFromEnvironment();
// The locale name DefaultCodePageFromEnvironment goes by; "" when none is set.
std::string LocaleNameFromEnvironment();
int DefaultCodePageForLocale(std::string_view localeName);
// True when a code page can be decoded.
bool IsSupportedCodePage(int codePage);

}  // namespace lumbra
