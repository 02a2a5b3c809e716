// The locale-aware, case-insensitive text comparison that filters, sorts and
// reports share: letter case is ignored, accents count.
#pragma once

#include <unicode/uversion.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

U_NAMESPACE_BEGIN
class Collator;
U_NAMESPACE_END

namespace lumbra {

class TCollation {
 public:
  // A collation for a locale name such as "ro_RO.UTF-8"; "", "C" and "POSIX"
  // give the root collation.
  explicit TCollation(std::string_view localeName);
  ~TCollation();
  TCollation(const TCollation&) = delete;
  TCollation& operator=(const TCollation&) = delete;

  // The user's collation, named by LC_ALL, else LC_COLLATE, else LANG. Made
  // once and shared; safe to use from several threads.
  static const TCollation& ForUser();

  // -1, 0 or 1. A comparison that fails counts as "a sorts before b".
  int Compare(std::string_view a, std::string_view b) const;
  // A byte string whose byte order is this collation's order: equal keys for
  // equal texts. Computing it once per value makes repeated comparisons cheap.
  std::string SortKey(std::string_view text) const;

  // Whether byte is an ASCII character, printable or a tab, line or page
  // break, that this collation weighs on its own: never ignored, in no
  // contraction or expansion, and equal only to itself and its other letter
  // case. Two texts made only of such bytes are equal exactly when they are
  // equal ignoring ASCII letter case, which lets hot loops skip the collator.
  bool IsPlainAscii(unsigned char byte) const { return byte < 128 && FPlainAscii[byte]; }

  // The first and last characters WideStandIns covers: those written in two
  // bytes of UTF-8, which hold the letters of the single-byte code pages.
  static constexpr char32_t kFirstWide = 0x80;
  static constexpr char32_t kLastWide = 0x7FF;
  using TWideStandIns = std::array<char16_t, kLastWide - kFirstWide + 1>;
  // At c - kFirstWide, for each character c that weighs on its own as a
  // plain byte does (one collation element with a primary weight, or where
  // the collation allows, a base letter's element and accents; in no
  // contraction; not starting with a combining mark): the character standing
  // for every character this collation holds equal to it. That is the lower
  // case of a plain byte when c equals one (as U+00AA equals "a"), else the
  // first such character. 0 for every other character. Two texts made of
  // plain bytes and such characters are equal exactly when they are equal
  // character by character once each plain letter is put in lower case and
  // each such character is replaced by its stand-in. Worked out on first
  // use: only the distinct values report needs them.
  const TWideStandIns& WideStandIns() const;

 private:
  // How a character's collation elements are made: one element with a
  // primary weight and the usual second-level weight (Single); such an
  // element followed by elements of accents alone (Accented); or otherwise.
  enum class TElementShape : uint8_t { Single, Accented, Other };
  TElementShape ElementShape(char32_t c) const;
  // The plain bytes; with wide, also sets the wide characters' stand-ins.
  std::array<bool, 128> FindPlainCharacters(bool wide) const;

  std::unique_ptr<icu::Collator> FCollator;
  std::array<bool, 128> FPlainAscii{};
  mutable std::once_flag FWideFound;
  mutable TWideStandIns FWideStandIns{};
};

}  // namespace lumbra
