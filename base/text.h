// Small UTF-8 and ASCII helpers shared by every layer.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace lumbra {

void AppendCodePoint(std::string& out, char32_t codePoint);
// Appends bytes that should be UTF-8, with U+FFFD for each invalid sequence.
void AppendValidUtf8(std::string& out, std::string_view bytes);
void AppendUtf16AsUtf8(std::string& out, std::u16string_view text);

// How many bytes at the front of bytes are ASCII (below 0x80). Inline and
// eight bytes at a time, as LengthBeforeNul below.
inline size_t AsciiPrefixLength(std::string_view bytes) {
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    if ((word & 0x8080808080808080ull) != 0) break;
  }
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80)
    ++i;
  return i;
}

// How many bytes come before the first NUL (all of them when there is none).
// Inline and eight bytes at a time: fields are short, and a library call per
// field costs more than the search.
inline size_t LengthBeforeNul(std::string_view bytes) {
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    if (((word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull) != 0) break;
  }
  while (i < bytes.size() && bytes[i] != '\0')
    ++i;
  return i;
}

// ASCII-only case changes: bytes outside a-z / A-Z stay as they are.
std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Lowercase hexadecimal digits of each byte.
std::string HexOf(std::string_view bytes);

}  // namespace lumbra
