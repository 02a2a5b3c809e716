#include "dbf/filter_like.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "dbf/filter_values.h"

namespace lumbra {

namespace {

// Outside Unicode's range, so no text character equals them.
constexpr char32_t kAnyRun = 0x110000;
constexpr char32_t kAnyOne = 0x110001;

}  // namespace

void AppendFolded(std::u32string& out, std::string_view text) {
  bool ascii = true;
  for (const char c : text)
    ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    // Most table text is ASCII, where folding is lower-casing.
    for (const char c : text)
      out.push_back(static_cast<char32_t>(c >= 'A' && c <= 'Z' ? c + 0x20 : c));
    return;
  }
  // Full folding, so that a character that folds to several ("ß" to "ss")
  // matches its expansion, as in the collation.
  icu::UnicodeString s = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  s.foldCase();
  for (int32_t i = 0; i < s.length();) {
    const UChar32 c = s.char32At(i);
    out.push_back(static_cast<char32_t>(c));
    i += U16_LENGTH(c);
  }
}

TLikePattern::TLikePattern(std::string_view pattern) {
  pattern = WithoutTrailingBlanks(pattern);
  size_t start = 0;
  for (size_t i = 0; i <= pattern.size(); ++i) {
    const char c = i < pattern.size() ? pattern[i] : '\0';
    const bool wildcard = c == '*' || c == '%' || c == '_' || c == '?';
    if (i < pattern.size() && !wildcard) continue;
    AppendFolded(FPattern, pattern.substr(start, i - start));
    if (wildcard) FPattern.push_back(c == '*' || c == '%' ? kAnyRun : kAnyOne);
    start = i + 1;
  }
}

bool TLikePattern::Matches(std::string_view text) const {
  FText.clear();
  AppendFolded(FText, WithoutTrailingBlanks(text));
  const std::u32string& p = FPattern;
  const std::u32string& t = FText;
  // Greedy matching that, on a mismatch, lets the last run wildcard take one
  // more character: no recursion, and no pattern makes it exponential.
  size_t pi = 0, ti = 0;
  size_t runAt = std::u32string::npos, runText = 0;
  while (ti < t.size()) {
    if (pi < p.size() && (p[pi] == kAnyOne || p[pi] == t[ti])) {
      ++pi;
      ++ti;
    } else if (pi < p.size() && p[pi] == kAnyRun) {
      runAt = pi++;
      runText = ti;
    } else if (runAt != std::u32string::npos) {
      pi = runAt + 1;
      ti = ++runText;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == kAnyRun)
    ++pi;
  return pi == p.size();
}

}  // namespace lumbra
