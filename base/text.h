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

constexpr uint64_t kLow7Bits = ~kHighBits;

// The top bit of each byte of word that is below limit (at most 0x80),
// exactly: a byte's low seven bits plus 0x80 - limit reach its top bit when
// they are at or above limit, and never carry into the next byte.
constexpr uint64_t BytesBelow(uint64_t word, unsigned limit) {
  return ~(((word & kLow7Bits) + kLowBits * (0x80 - limit)) | word) & kHighBits;
}

// The top bit of each byte of word that is above limit (below 0x80),
// exactly, in the same way.
constexpr uint64_t BytesAbove(uint64_t word, unsigned limit) {
  return (((word & kLow7Bits) + kLowBits * (0x7F - limit)) | word) & kHighBits;
}

// The top bit of each byte of word that equals c, exactly: the bytes of the
// difference that are zero.
constexpr uint64_t BytesEqual(uint64_t word, char c) {
  const uint64_t x = word ^ (kLowBits * static_cast<unsigned char>(c));
  return ~(((x & kLow7Bits) + kLow7Bits) | x) & kHighBits;
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

// How many bytes at the front of bytes a tab-separated text keeps as they
// are: the search stops at a tab, LF, CR or backslash, which it escapes.
inline size_t LengthBeforeTabEscape(std::string_view bytes) {
  return text_detail::FirstFlagged(bytes, [](uint64_t word) {
    using namespace text_detail;
    return BytesEqual(word, '\t') | BytesEqual(word, '\n') | BytesEqual(word, '\r') |
           BytesEqual(word, '\\');
  });
}

// How many bytes at the front of bytes a JSON string keeps as they are: the
// search stops at a byte below 0x20, a quote or a backslash.
inline size_t LengthBeforeJsonEscape(std::string_view bytes) {
  return text_detail::FirstFlagged(bytes, [](uint64_t word) {
    using namespace text_detail;
    return BytesBelow(word, 0x20) | BytesEqual(word, '"') | BytesEqual(word, '\\');
  });
}

// How many bytes at the front of bytes hold none that makes a CSV field
// quoted: a comma, a quote, CR or LF.
inline size_t LengthBeforeCsvQuoting(std::string_view bytes) {
  return text_detail::FirstFlagged(bytes, [](uint64_t word) {
    using namespace text_detail;
    return BytesEqual(word, ',') | BytesEqual(word, '"') | BytesEqual(word, '\r') |
           BytesEqual(word, '\n');
  });
}

// Copies the printable ASCII (0x20 to 0x7E) at the front of bytes to out,
// A-Z lowered, and returns how many bytes that is; out has room for all of
// bytes. Eight bytes at a time, as FirstFlagged reads them: a word's bytes
// before its first other byte are lowered and stored one by one, and the
// last word, which overlaps bytes already stored, stores the same bytes again.
inline size_t LowerPrintableAscii(std::string_view bytes, char* out) {
  using namespace text_detail;
  const auto other = [](uint64_t word) { return BytesBelow(word, 0x20) | BytesAbove(word, 0x7E); };
  // Bytes from 'A' to 'Z' get 0x20; each byte's other bits stay as they are.
  const auto lower = [](uint64_t word) {
    return word | (BytesAbove(word, 'A' - 1) & ~BytesAbove(word, 'Z')) >> 2;
  };
  const auto store = [](char* to, uint64_t word) {
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    std::memcpy(to, &word, 8);
  };
  // The first count bytes of word, stored one by one.
  const auto storeFirst = [out](size_t at, uint64_t word, size_t count) {
    for (size_t k = 0; k < count; ++k)
      out[at + k] = static_cast<char>(word >> (8 * k));
  };
  const size_t size = bytes.size();
  if (size < 8) {
    // A zero byte filling the word up counts as another byte, past the end.
    if (size == 0) return 0;
    const uint64_t word = LoadShortWord(bytes.data(), size);
    const uint64_t marks = other(word);
    const size_t count = marks != 0 ? std::min(size, FirstMarked(marks)) : size;
    storeFirst(0, lower(word), count);
    return count;
  }
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const uint64_t word = LoadWord(bytes.data() + i);
    if (const uint64_t marks = other(word); marks != 0) {
      storeFirst(i, lower(word), FirstMarked(marks));
      return i + FirstMarked(marks);
    }
    store(out + i, lower(word));
  }
  if (i == size) return size;
  const uint64_t word = LoadWord(bytes.data() + size - 8);
  if (const uint64_t marks = other(word); marks != 0) {
    // The marked byte is one not stored yet: those before it were clean.
    storeFirst(size - 8, lower(word), FirstMarked(marks));
    return size - 8 + FirstMarked(marks);
  }
  store(out + size - 8, lower(word));
  return size;
}

// How many characters UTF-8 bytes hold: its bytes less its continuation
// bytes (10xxxxxx), counted eight bytes at a time.
inline size_t Utf8CharacterCount(std::string_view bytes) {
  using namespace text_detail;
  // The top bit of each byte where the bit below it is clear, moved to the
  // bottom of its byte; the multiplication sums the bytes into the top one.
  const auto continuations = [](uint64_t word) {
    const uint64_t marks = (word & ~(word << 1) & kHighBits) >> 7;
    return static_cast<size_t>((marks * kLowBits) >> 56);
  };
  size_t count = 0;
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8)
    count += continuations(LoadWord(bytes.data() + i));
  // Zero bytes filling up the last word are not continuations.
  if (i < bytes.size()) count += continuations(LoadShortWord(bytes.data() + i, bytes.size() - i));
  return bytes.size() - count;
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
