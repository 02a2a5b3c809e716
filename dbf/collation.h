// The locale-aware, case-insensitive text comparison that filters, sorts and
// reports share: letter case is ignored, accents count.
#pragma once

#include <unicode/uversion.h>

#include <array>
#include <memory>
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

  // Whether byte is a printable ASCII character that this collation weighs on
  // its own: never ignored, in no contraction or expansion, and equal only to
  // itself and its other letter case. Two texts made only of such bytes are
  // equal exactly when they are equal ignoring ASCII letter case, which lets
  // hot loops skip the collator.
  bool IsPlainAscii(unsigned char byte) const { return byte < 128 && FPlainAscii[byte]; }

 private:
  void FindPlainAscii();

  std::unique_ptr<icu::Collator> FCollator;
  std::array<bool, 128> FPlainAscii{};
};

}  // namespace lumbra
