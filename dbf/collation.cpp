#include "dbf/collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/ucol.h>
#include <unicode/uniset.h>
#include <unicode/usetiter.h>

#include <cstdlib>

#include "dbf/dbf_error.h"

namespace lumbra {

TCollation::TCollation(std::string_view localeName) {
  const bool plain = localeName.empty() || localeName == "C" || localeName == "POSIX";
  const std::string base(localeName.substr(0, localeName.find_first_of(".@")));
  const icu::Locale locale = plain ? icu::Locale::getRoot() : icu::Locale(base.c_str());
  UErrorCode status = U_ZERO_ERROR;
  FCollator.reset(icu::Collator::createInstance(locale, status));
  if (U_FAILURE(status) || FCollator == nullptr) {
    throw EDbfError(std::string("Cannot load the collation of locale '") + base +
                    "': " + u_errorName(status));
  }
  // Secondary strength: base letters and accents count, letter case does not.
  FCollator->setStrength(icu::Collator::SECONDARY);
  FindPlainAscii();
}

void TCollation::FindPlainAscii() {
  // A contraction or context made of such characters weighs them together.
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeSet contractions;
  icu::UnicodeSet expansions;
  ucol_getContractionsAndExpansions(FCollator->toUCollator(), contractions.toUSet(),
                                    expansions.toUSet(), true, &status);
  if (U_FAILURE(status)) return;
  for (int c = 0x20; c < 0x7F; ++c)
    FPlainAscii[c] = true;
  for (icu::UnicodeSetIterator it(contractions); it.next();) {
    const icu::UnicodeString s = it.getString();
    bool allAscii = true;
    for (int32_t i = 0; i < s.length(); ++i)
      allAscii = allAscii && s[i] < 0x80;
    for (int32_t i = 0; allAscii && i < s.length(); ++i)
      FPlainAscii[s[i]] = false;
  }
  for (int c = 0x20; c < 0x7F; ++c) {
    if (expansions.contains(c)) FPlainAscii[c] = false;
  }
  // Each character must carry a primary weight (the key of a character
  // without one starts with the level separator, 01), the same key as its
  // other letter case, and a key no other character has.
  std::array<std::string, 128> keys;
  for (int c = 0x20; c < 0x7F; ++c) {
    keys[c] = SortKey(std::string(1, static_cast<char>(c)));
    if (keys[c].empty() || keys[c][0] == '\x01') FPlainAscii[c] = false;
  }
  for (int c = 'A'; c <= 'Z'; ++c) {
    if (keys[c] != keys[c + 0x20]) FPlainAscii[c] = FPlainAscii[c + 0x20] = false;
  }
  for (int a = 0x20; a < 0x7F; ++a) {
    for (int b = a + 1; b < 0x7F; ++b) {
      const bool casePair = (a >= 'A' && a <= 'Z' && b == a + 0x20);
      if (!casePair && keys[a] == keys[b]) FPlainAscii[a] = FPlainAscii[b] = false;
    }
  }
}

TCollation::~TCollation() = default;

const TCollation& TCollation::ForUser() {
  static const TCollation collation([] {
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
      const char* value = std::getenv(variable);
      if (value != nullptr && *value != '\0') return std::string(value);
    }
    return std::string();
  }());
  return collation;
}

int TCollation::Compare(std::string_view a, std::string_view b) const {
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult result =
      FCollator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                             icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
  if (U_FAILURE(status)) return -1;
  return result == UCOL_LESS ? -1 : result == UCOL_EQUAL ? 0 : 1;
}

std::string TCollation::SortKey(std::string_view text) const {
  const icu::UnicodeString s = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  // Room for the usual key at secondary strength, a few bytes per character,
  // so that a long text is not weighed twice.
  std::string key(3 * static_cast<size_t>(s.length()) + 16, '\0');
  int32_t length = FCollator->getSortKey(s, reinterpret_cast<uint8_t*>(key.data()),
                                         static_cast<int32_t>(key.size()));
  if (length > static_cast<int32_t>(key.size())) {
    key.resize(static_cast<size_t>(length));
    length = FCollator->getSortKey(s, reinterpret_cast<uint8_t*>(key.data()), length);
  }
  // The key ends with a NUL that carries no order.
  key.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
  return key;
}

}  // namespace lumbra
