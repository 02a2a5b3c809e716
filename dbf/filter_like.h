// The LIKE patterns of filter texts: "*" and "%" stand for any run of
// characters, "_" and "?" for exactly one; every other character stands for
// itself, letter case ignored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumbra {

class TLikePattern {
 public:
  TLikePattern() = default;
  // pattern is UTF-8; trailing blanks are not part of it.
  explicit TLikePattern(std::string_view pattern);

  // Whether text (UTF-8; its trailing blanks are ignored) matches. Takes time
  // proportional to the text's length times the pattern's at worst, and no
  // memory beyond the text's folded copy.
  bool Matches(std::string_view text) const;

 private:
  // The pattern folded: wildcards as kAnyRun and kAnyOne, which no folded
  // character can be.
  std::u32string FPattern;
  // Text folded by the last call, kept to reuse its memory.
  mutable std::u32string FText;
};

// Appends the case-folded code points of text (UTF-8) to out; invalid
// sequences become U+FFFD.
void AppendFolded(std::u32string& out, std::string_view text);

}  // namespace lumbra
