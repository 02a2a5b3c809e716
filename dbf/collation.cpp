#include "dbf/collation.h"

#include <unicode/coleitr.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/tblcoll.h>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uniset.h>
#include <unicode/usetiter.h>

#include <cstdlib>
#include <map>

#include "dbf/dbf_error.h"

namespace lumbra {

namespace {

// The ASCII characters that may be plain: the tab, the line and page breaks,
// and the printable ones.
constexpr int kFirstAscii = 0x09;
bool IsAsciiCandidate(int c) {
  return (c >= kFirstAscii && c <= 0x0D) || (c >= 0x20 && c < 0x7F);
}

}  // namespace

TCollation::TCollation(std::string_view localeName) {
  const bool plain = localeName.empty() || localeName == "C" || localeName == "POSIX";
  const std::string base(localeName.substr(0, localeName.find_first_of(".@")));
  const icu::Locale locale = plain ? icu::Locale::getRoot() : icu::Locale(base.c_str());
  UErrorCode status = U_ZERO_ERROR;
  FCollator.reset(icu::Collator::createInstance(locale, status));
  if (U_FAILURE(status) || FCollator == nullptr) {
    throw EDbfError(
        TDbfErrorKind::Unsupported,
        std::string("Cannot load the collation of locale '") + base + "': " + u_errorName(status));
  }
  // Secondary strength: base letters and accents count, letter case does not.
  FCollator->setStrength(icu::Collator::SECONDARY);
  FPlainAscii = FindPlainCharacters(false);
}

std::array<bool, 128> TCollation::FindPlainCharacters(bool wide) const {
  // A contraction or context weighs its characters together.
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeSet contractions;
  icu::UnicodeSet expansions;
  ucol_getContractionsAndExpansions(FCollator->toUCollator(), contractions.toUSet(),
                                    expansions.toUSet(), true, &status);
  if (U_FAILURE(status)) return {};
  // Only characters that may be plain are looked at: printable ASCII, the
  // tab and the line and page breaks, and the wide characters that do not
  // start with a combining mark, which could be reordered with the character
  // before them. A contraction with any other character never forms in a
  // text made of plain characters; one with a wide character is kept out by
  // that character alone, so that "l" stays plain beside the contraction of
  // "l" and U+00B7.
  const auto mayBePlain = [](UChar32 c) {
    return IsAsciiCandidate(c) ||
           (c >= static_cast<UChar32>(kFirstWide) && c <= static_cast<UChar32>(kLastWide) &&
            u_getIntPropertyValue(c, UCHAR_LEAD_CANONICAL_COMBINING_CLASS) == 0);
  };
  icu::UnicodeSet inContractions;
  for (icu::UnicodeSetIterator it(contractions); it.next();) {
    const icu::UnicodeString s = it.getString();
    bool all = true;
    bool ascii = true;
    for (int32_t i = 0; all && i < s.length(); i = s.moveIndex32(i, 1)) {
      all = mayBePlain(s.char32At(i));
      ascii = ascii && s.char32At(i) < 0x80;
    }
    if (!all) continue;
    for (int32_t i = 0; i < s.length(); i = s.moveIndex32(i, 1)) {
      if (ascii || s.char32At(i) >= 0x80) inContractions.add(s.char32At(i));
    }
  }
  const auto weighsAlone = [&](char32_t c) {
    const auto u = static_cast<UChar32>(c);
    return mayBePlain(u) && !inContractions.contains(u) && !expansions.contains(u);
  };
  // Each character must carry a primary weight: the key of a character
  // without one starts with the level separator, 01.
  const auto keyOf = [this](char32_t c) {
    const icu::UnicodeString text(static_cast<UChar32>(c));
    std::string utf8;
    text.toUTF8String(utf8);
    std::string key = SortKey(utf8);
    if (key.empty() || key[0] == '\x01') key.clear();
    return key;
  };
  std::array<bool, 128> plainAscii{};
  std::array<std::string, 128> keys;
  for (int c = kFirstAscii; c < 0x7F; ++c) {
    if (!IsAsciiCandidate(c)) continue;
    keys[c] = keyOf(static_cast<char32_t>(c));
    plainAscii[c] = weighsAlone(static_cast<char32_t>(c)) && !keys[c].empty();
  }
  // A plain byte has the same key as its other letter case, and a key no
  // other byte has.
  for (int c = 'A'; c <= 'Z'; ++c) {
    if (keys[c] != keys[c + 0x20]) plainAscii[c] = plainAscii[c + 0x20] = false;
  }
  for (int a = kFirstAscii; a < 0x7F; ++a) {
    for (int b = a + 1; b < 0x7F; ++b) {
      if (keys[a].empty() || keys[b].empty()) continue;
      const bool casePair = (a >= 'A' && a <= 'Z' && b == a + 0x20);
      if (!casePair && keys[a] == keys[b]) plainAscii[a] = plainAscii[b] = false;
    }
  }
  if (!wide) return plainAscii;
  // A text made of characters of one collation element each weighs what its
  // characters weigh one by one. So does a text that also has letters with
  // accents, weighed as a base letter and then accents alone (é as e and an
  // acute), provided that no accent weighs at the second level what a
  // character with a primary weight does: the second-level weights then
  // still tell where each character starts. That holds when every plain
  // character's element has the usual second-level weight, and each accent
  // one of its own.
  bool accented = true;
  for (int c = kFirstAscii; c < 0x7F; ++c) {
    if (plainAscii[c] && ElementShape(static_cast<char32_t>(c)) != TElementShape::Single) {
      accented = false;
    }
  }
  // The stand-in of each key: a plain byte's lower case, or the first wide
  // character with it. A key that some byte which is not plain has stands
  // for nothing, so such a character is not plain either.
  std::map<std::string, char16_t> standIns;
  for (int c = kFirstAscii; c < 0x7F; ++c) {
    if (keys[c].empty()) continue;
    const auto lower = static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
    standIns.emplace(keys[c], plainAscii[c] ? lower : u'\0');
  }
  for (char32_t c = kFirstWide; c <= kLastWide; ++c) {
    const auto u = static_cast<UChar32>(c);
    if (!mayBePlain(u) || inContractions.contains(u)) continue;
    const TElementShape shape = accented ? ElementShape(c) : TElementShape::Other;
    const bool plain = accented ? shape != TElementShape::Other : !expansions.contains(u);
    if (!plain) continue;
    const std::string key = keyOf(c);
    if (key.empty()) continue;
    FWideStandIns[c - kFirstWide] = standIns.emplace(key, static_cast<char16_t>(c)).first->second;
  }
  return plainAscii;
}

const TCollation::TWideStandIns& TCollation::WideStandIns() const {
  std::call_once(FWideFound, [this] { FindPlainCharacters(true); });
  return FWideStandIns;
}

TCollation::TElementShape TCollation::ElementShape(char32_t c) const {
  auto* rules = dynamic_cast<icu::RuleBasedCollator*>(FCollator.get());
  if (rules == nullptr) return TElementShape::Other;
  const std::unique_ptr<icu::CollationElementIterator> elements(
      rules->createCollationElementIterator(icu::UnicodeString(static_cast<UChar32>(c))));
  if (elements == nullptr) return TElementShape::Other;
  // The elements come in the 32-bit form: 16 bits of primary weight, then
  // the high bytes of the second- and third-level weights; what does not fit
  // follows in a continuation, whose third-level byte has its two top bits set.
  constexpr int32_t kCommonSecondary = 0x05;
  const auto isContinuation = [](int32_t e) { return (e & 0xC0) == 0xC0; };
  const auto primary = [](int32_t e) { return static_cast<uint32_t>(e) >> 16; };
  const auto secondary = [](int32_t e) { return (e >> 8) & 0xFF; };
  UErrorCode status = U_ZERO_ERROR;
  int32_t e = elements->next(status);
  if (U_FAILURE(status) || e == icu::CollationElementIterator::NULLORDER || primary(e) == 0 ||
      secondary(e) != kCommonSecondary) {
    return TElementShape::Other;
  }
  e = elements->next(status);
  if (e != icu::CollationElementIterator::NULLORDER && isContinuation(e))
    e = elements->next(status);
  TElementShape shape = TElementShape::Single;
  for (; U_SUCCESS(status) && e != icu::CollationElementIterator::NULLORDER;
       e = elements->next(status)) {
    // Accents only: no primary weight, no weight like a base letter's, and
    // nothing in a continuation. An element weighed at the third level
    // alone counts for nothing here.
    if (isContinuation(e) || primary(e) != 0 || secondary(e) == kCommonSecondary) {
      return TElementShape::Other;
    }
    if (secondary(e) != 0) shape = TElementShape::Accented;
  }
  return U_SUCCESS(status) ? shape : TElementShape::Other;
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
