// Small UTF-8 and ASCII helpers shared by every layer.
#pragma once

#include <string>
#include <string_view>

namespace lumbra {

void AppendCodePoint(std::string& out, char32_t codePoint);
// Appends bytes that should be UTF-8, with U+FFFD for each invalid sequence.
void AppendValidUtf8(std::string& out, std::string_view bytes);
void AppendUtf16AsUtf8(std::string& out, std::u16string_view text);

// How many bytes at the front of bytes are ASCII (below 0x80).
size_t AsciiPrefixLength(std::string_view bytes);

// ASCII-only case changes: bytes outside a-z / A-Z stay as they are.
std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Lowercase hexadecimal digits of each byte.
std::string HexOf(std::string_view bytes);

}  // namespace lumbra
