// Small UTF-8 and ASCII helpers shared by every layer.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace lumbra {

void AppendCodePoint(std::string& out, char32_t codePoint);
// Appends bytes that should be UTF-8, with U+FFFD for each invalid sequence.
void AppendValidUtf8(std::string& out, std::string_view bytes);
void AppendUtf16AsUtf8(std::string& out, std::u16string_view text);

namespace text_detail {

constexpr uint64_t kHighBits = 0x8080808080808080ull;
constexpr uint64_t kLowBits = 0x0101010101010101ull;

// Eight bytes read so that the first in memory is the least significant.
inline uint64_t LoadWord(const char* from) {
  uint64_t word;
  std::memcpy(&word, from, 8);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}
// The same for 1 to 7 bytes, the missing ones zero, from loads of fixed
// width, as a copy of variable length would be a library call.
inline uint64_t LoadShortWord(const char* from, size_t size) {
  const auto byte = [from](size_t i) {
    return static_cast<uint64_t>(static_cast<uint8_t>(from[i]));
  };
  if (size >= 4) {
    // Two four-byte loads that overlap agree on the bytes they share.
    uint32_t low, high;
    std::memcpy(&low, from, 4);
    std::memcpy(&high, from + size - 4, 4);
    if constexpr (std::endian::native == std::endian::big) {
      low = __builtin_bswap32(low);
      high = __builtin_bswap32(high);
    }
    return low | static_cast<uint64_t>(high) << (8 * (size - 4));
  }
  // The first, middle and last bytes are all of one to three bytes.
  return byte(0) | byte(size / 2) << (8 * (size / 2)) | byte(size - 1) << (8 * (size - 1));
}

// The index of the first byte, in memory order, that marks flags with its top
// bit; marks is not 0.
inline size_t FirstMarked(uint64_t marks) {
  return static_cast<size_t>(std::countr_zero(marks)) / 8;
}

// Finds the first byte of bytes that mark flags, eight bytes at a time: mark
// gives the word with the top bit of each flagged byte set, and may also set
// it for bytes after a flagged one. The last bytes are read as one word that
// overlaps the ones already read, which mark found unflagged.
template <class Mark>
size_t FirstFlagged(std::string_view bytes, Mark mark) {
  const size_t size = bytes.size();
  if (size < 8) {
    // One word, filled up with zero bytes: a flag there is past the end.
    if (size == 0) return 0;
    const uint64_t marks = mark(LoadShortWord(bytes.data(), size));
    return marks != 0 ? std::min(size, FirstMarked(marks)) : size;
  }
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    if (const uint64_t marks = mark(LoadWord(bytes.data() + i)); marks != 0) {
      return i + FirstMarked(marks);
    }
  }
  if (i == size) return size;
  const uint64_t marks = mark(LoadWord(bytes.data() + size - 8));
  return marks != 0 ? size - 8 + FirstMarked(marks) : size;
}

}  // namespace text_detail

// How many bytes at the front of bytes are ASCII (below 0x80). Inline and
// eight bytes at a time, as LengthBeforeNul below.
inline size_t AsciiPrefixLength(std::string_view bytes) {
  return text_detail::FirstFlagged(bytes,
                                   [](uint64_t word) { return word & text_detail::kHighBits; });
}

// A 32-bit hash of bytes for the open-addressing table (base/hash_index.h) of filters, sorts
// and reports, whose low and high bits are both well mixed. Inline and eight
// bytes at a time: the texts are short and hashed once per record.
inline uint32_t HashBytes(std::string_view bytes) {
  uint64_t h = bytes.size() * 0x9e3779b97f4a7c15ULL;
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    h = (h ^ text_detail::LoadWord(bytes.data() + i)) * 0x9fb21c651e98df25ULL;
    h ^= h >> 29;
  }
  if (i < bytes.size()) {
    h = (h ^ text_detail::LoadShortWord(bytes.data() + i, bytes.size() - i)) *
        0x9fb21c651e98df25ULL;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return static_cast<uint32_t>(h);
}

// How many bytes come before the first NUL (all of them when there is none).
// Inline and eight bytes at a time: fields are short, and a library call per
// field costs more than the search.
inline size_t LengthBeforeNul(std::string_view bytes) {
  // The top bit of each zero byte; the borrow can flag bytes after a zero
  // byte too, never one before it.
  return text_detail::FirstFlagged(bytes, [](uint64_t word) {
    return (word - text_detail::kLowBits) & ~word & text_detail::kHighBits;
  });
}

// How many bytes come before the first one that is NUL or not ASCII: one
// search where a text cut at its first NUL would need two.
inline size_t AsciiLengthBeforeNul(std::string_view bytes) {
  // The top bit of each byte at or above 0x80, and of each zero byte (whose
  // borrow can flag only bytes after it).
  return text_detail::FirstFlagged(bytes, [](uint64_t word) {
    return ((word - text_detail::kLowBits) | word) & text_detail::kHighBits;
  });
}

// How many blanks (0x20) stand at the front of bytes.
inline size_t LeadingBlanks(std::string_view bytes) {
  // The top bit of each byte that differs from a blank, exactly: the sum of
  // its low seven bits and 0x7F never carries into the next byte.
  return text_detail::FirstFlagged(bytes, [](uint64_t word) {
    constexpr uint64_t kLow7 = ~text_detail::kHighBits;
    const uint64_t x = word ^ (text_detail::kLowBits * ' ');
    return (((x & kLow7) + kLow7) | x) & text_detail::kHighBits;
  });
}

// How many ASCII digits stand at the front of bytes.
inline size_t LeadingDigits(std::string_view bytes) {
  // The top bit of each byte that is not a digit, exactly: a byte's value
  // above '0' carries into the top bit when it is above 9, or has it already.
  return text_detail::FirstFlagged(bytes, [](uint64_t word) {
    constexpr uint64_t kLow7 = ~text_detail::kHighBits;
    const uint64_t x = word ^ (text_detail::kLowBits * '0');
    return (((x & kLow7) + text_detail::kLowBits * 0x76) | x) & text_detail::kHighBits;
  });
}

// ASCII-only case changes: bytes outside a-z / A-Z stay as they are.
std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Lowercase hexadecimal digits of each byte.
std::string HexOf(std::string_view bytes);

// The folder of a path: up to and including its last "/"; "" when it has none.
std::string FolderOf(const std::string& path);

}  // namespace lumbra
