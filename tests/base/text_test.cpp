// UTF-8 and ASCII helpers.
#include "base/text.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace lumbra {
namespace {

std::string Valid(std::string_view bytes) {
  std::string out;
  AppendValidUtf8(out, bytes);
  return out;
}

TEST(Utf8, InvalidSequencesBecomeReplacementCharacters) {
  const std::string r = "\xEF\xBF\xBD";
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"\xC8\x99", "\xC8\x99"},
      {"\xE4\xB8\xAD", "\xE4\xB8\xAD"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"\xFF"
       "a",
       r + "a"},
      {"\xC0\xAF", r + r},                  // overlong slash
      {"\xE0\x80\xAF", r + r + r},          // overlong, three bytes
      {"\xED\xA0\x80", r + r + r},          // a surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},  // past U+10FFFF
      {"\xC8", r},                          // cut short at the end
      {"\xE4\xB8"
       "a",
       r + r + "a"},
  };
  for (const auto& [in, out] : cases)
    EXPECT_EQ(Valid(in), out) << HexOf(in);
}

TEST(Utf8, CodePointsAndSurrogatePairsEncode) {
  std::string out;
  for (char32_t cp : {U'A', U'\u0219', U'\u4E2D', U'\U0001F600'})
    AppendCodePoint(out, cp);
  EXPECT_EQ(out, "A\xC8\x99\xE4\xB8\xAD\xF0\x9F\x98\x80");
  std::string wide;
  AppendUtf16AsUtf8(wide,
                    u"a\U0001F600\xD800"
                    "b");
  EXPECT_EQ(wide,
            "a\xF0\x9F\x98\x80\xEF\xBF\xBD"
            "b");
}

// The searches read eight bytes at a time and the last few as one word that
// overlaps the ones before: every length up to three words, with the byte
// sought at every place (and nowhere), against a byte at a time.
TEST(Ascii, WordSearchesFindTheFirstByteAtEveryPlace) {
  for (size_t length = 0; length <= 24; ++length) {
    for (size_t at = 0; at <= length; ++at) {
      std::string plain(length, 'a');
      std::string blanks(length, ' ');
      std::string digits(length, '7');
      if (at < length) {
        plain[at] = '\xC8';
        blanks[at] = '1';
        // The bytes on either side of the digits.
        digits[at] = at % 2 == 0 ? '/' : ':';
        // Bytes after the first one sought may be anything.
        for (size_t k = at + 1; k < length; ++k)
          plain[k] = blanks[k] = digits[k] = static_cast<char>(k % 3 == 0 ? '\0' : '\x80' + k);
      }
      std::string nul = plain;
      if (at < length) nul[at] = '\0';
      EXPECT_EQ(AsciiPrefixLength(plain), at) << length;
      EXPECT_EQ(LengthBeforeNul(nul), at) << length;
      EXPECT_EQ(LeadingBlanks(blanks), at) << length;
      EXPECT_EQ(AsciiLengthBeforeNul(plain), at) << length;
      EXPECT_EQ(AsciiLengthBeforeNul(nul), at) << length;
      EXPECT_EQ(LeadingDigits(digits), at) << length;
    }
  }
  // A byte just past the view is never looked at.
  const std::string longer = "abc\0";
  EXPECT_EQ(LengthBeforeNul(std::string_view(longer).substr(0, 3)), 3U);
}

// The byte at a time twin of a search that stops at the bytes stops names.
template <class Stops>
size_t LengthBefore(std::string_view bytes, Stops stops) {
  size_t i = 0;
  while (i < bytes.size() && !stops(static_cast<unsigned char>(bytes[i])))
    ++i;
  return i;
}

// The scans whose words flag bytes of several kinds, against a byte at a
// time: every byte value at every place of every length up to three words
// (and the empty text), with bytes of every kind after it.
TEST(Ascii, WordScansAgreeWithBytesAtATimeForEveryByteAtEveryPlace) {
  for (size_t length = 0; length <= 24; ++length) {
    for (size_t at = 0; at < std::max<size_t>(length, 1); ++at) {
      for (int value = 0; value < 256; ++value) {
        std::string bytes(length, 'a');
        if (at < length) bytes[at] = static_cast<char>(value);
        for (size_t k = at + 1; k < length; ++k)
          bytes[k] = static_cast<char>(value * 7 + k * 37);
        const auto where = [&] {
          return testing::Message() << length << " " << at << " " << value;
        };
        EXPECT_EQ(LengthBeforeTabEscape(bytes), LengthBefore(bytes,
                                                             [](unsigned char c) {
                                                               return c == '\t' || c == '\n' ||
                                                                      c == '\r' || c == '\\';
                                                             }))
            << where();
        EXPECT_EQ(
            LengthBeforeJsonEscape(bytes),
            LengthBefore(bytes, [](unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }))
            << where();
        EXPECT_EQ(LengthBeforeCsvQuoting(bytes), LengthBefore(bytes,
                                                              [](unsigned char c) {
                                                                return c == ',' || c == '"' ||
                                                                       c == '\r' || c == '\n';
                                                              }))
            << where();
        EXPECT_EQ(Utf8CharacterCount(bytes),
                  static_cast<size_t>(std::count_if(
                      bytes.begin(), bytes.end(),
                      [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; })))
            << where();
        // The copy stores the lowered bytes it counts, and nothing past them.
        const size_t printable =
            LengthBefore(bytes, [](unsigned char c) { return c < 0x20 || c > 0x7E; });
        std::string lowered(length, '#');
        EXPECT_EQ(LowerPrintableAscii(bytes, lowered.data()), printable) << where();
        EXPECT_EQ(lowered,
                  AsciiLower(bytes.substr(0, printable)) + std::string(length - printable, '#'))
            << where();
      }
    }
  }
}

// The hash reads whole words where it can: it must see every byte of the
// view, at every length and alignment, and none past its end.
TEST(Ascii, HashSeesEveryByteAndNoneBeyond) {
  const std::string buffer = "....abcdefghijklmnopqrstuvwx....";
  for (size_t length = 0; length <= 24; ++length) {
    const uint32_t hash = HashBytes(std::string_view(buffer).substr(4, length));
    for (size_t shift = 0; shift < 4; ++shift) {
      std::string moved(shift, '#');
      moved += buffer.substr(4, length);
      moved += "!!!!!!!!";
      EXPECT_EQ(HashBytes(std::string_view(moved).substr(shift, length)), hash) << length;
    }
    for (size_t at = 0; at < length; ++at) {
      std::string changed = buffer.substr(4, length);
      changed[at] ^= 0x01;
      EXPECT_NE(HashBytes(changed), hash) << length << " " << at;
    }
  }
}

TEST(Ascii, CaseChangesTouchOnlyAsciiLetters) {
  EXPECT_EQ(AsciiUpper("clienti.dbf \xC8\x99"), "CLIENTI.DBF \xC8\x99");
  EXPECT_EQ(AsciiLower("CLIENTI.DBF"), "clienti.dbf");
  EXPECT_TRUE(EqualsIgnoringAsciiCase("Data Source", "DATA SOURCE"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("Data", "Data "));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("@", "`"));
  EXPECT_EQ(HexOf(std::string("\x00\xBA", 2)), "00ba");
}

}  // namespace
}  // namespace lumbra
