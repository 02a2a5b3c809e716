// The distinct texts of a column with the number of records that gave each:
// the counting a sorted TStringList does with Add, IndexOf and SetTagAt,
// without its cost. Texts are the same under the list comparison exactly when
// their collation sort keys are equal, and the sort keys' byte order is the
// list's order, so the entries are kept by sort key in a hash and put in order
// once, at the end. A sort key is computed once per distinct spelling.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dbf/collation.h"

namespace lumbra {

class TDistinctTexts {
 public:
  struct TEntry {
    std::string_view Text;  // the spelling met first
    std::string_view Key;
    int32_t Count = 0;
  };

  // collation must outlive the counter.
  explicit TDistinctTexts(const TCollation& collation) : FCollation(collation) {}
  TDistinctTexts(const TDistinctTexts&) = delete;
  TDistinctTexts& operator=(const TDistinctTexts&) = delete;

  // Counts one more record that gave text. The count of a text wraps around
  // past the largest 32-bit value, as a 32-bit tag would.
  void Add(std::string_view text);
  // The number of distinct texts.
  int32_t Count() const { return static_cast<int32_t>(FEntries.size()); }
  // The entries in the collation's order. Valid while the counter lives and
  // is not added to.
  std::vector<const TEntry*> SortedEntries() const;

 private:
  struct THash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  using TIndex = std::unordered_map<std::string, size_t, THash, std::equal_to<>>;

  const TCollation& FCollation;
  // Entry by spelling: every spelling met, so a text met again costs one hash
  // look-up. Entry by sort key: one per entry. Both own the texts that the
  // entries view; map nodes never move.
  TIndex FBySpelling;
  TIndex FByKey;
  std::deque<TEntry> FEntries;
};

}  // namespace lumbra
