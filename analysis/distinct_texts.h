// The distinct texts of a column with the number of records that gave each:
// the counting that a sorted TStringList does with IndexOf, Add and SetTagAt,
// at a fraction of its cost. Two texts are one distinct text when the
// collation holds them equal, that is when their sort keys are equal, and the
// sort keys' byte order is the list's order. Texts are therefore looked up by
// hash, and sort keys are computed only where they are needed: texts made of
// plain characters (TCollation::IsPlainAscii, TCollation::WideStandIns) are
// equal exactly when their lower-case forms are, so they are looked up by
// that form; once any other text is met, by sort key, computed once per
// spelling. The order is needed only for the texts met more than once, so it
// is worked out at the end for them alone.
//
// Memory grows with the distinct texts met, about 20 bytes each beside the
// texts themselves: every column of a wide table is counted at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "dbf/collation.h"

namespace lumbra {

class TDistinctTexts {
 public:
  struct TRepeated {
    std::string_view Text;  // the spelling met first
    int32_t Count = 0;
  };

  // collation must outlive the counter.
  explicit TDistinctTexts(const TCollation& collation);
  ~TDistinctTexts();
  TDistinctTexts(const TDistinctTexts&) = delete;
  TDistinctTexts& operator=(const TDistinctTexts&) = delete;

  // Counts one more record that gave text. A count wraps around past the
  // largest 32-bit value, as a 32-bit tag would. Texts are gathered and
  // counted a batch at a time, so the look-ups of a batch overlap.
  void Add(std::string_view text);
  // The number of distinct texts. Counts the texts still gathered.
  int32_t Count();
  // The texts whose count is above 1, in the collation's order. Counts the
  // texts still gathered. The views stay valid until the counter is cleared
  // or destroyed.
  std::vector<TRepeated> Repeated();
  // Forgets every text, keeping the memory for the next column: fresh
  // memory costs a page fault per page, which dominates on large columns.
  void Clear();

 private:
  class TCounter;
  std::unique_ptr<TCounter> FCounter;
};

}  // namespace lumbra
