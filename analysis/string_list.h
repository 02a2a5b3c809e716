// TStringList: the ordered list of texts, each with a 32-bit tag, that both
// reports collect their texts in. Lookups and the sorted order use the user's
// collation with letter case ignored, never byte equality.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/exception.h"
#include "dbf/collation.h"

namespace lumbra {

// A position outside the list: "List index out of bounds (%d)".
LUMBRA_DECLARE_EXCEPTION(EStringListError, Exception);

class TStringList {
 public:
  // An empty, unsorted list comparing through collation, which must outlive it.
  explicit TStringList(const TCollation& collation = TCollation::ForUser())
      : FCollation(collation) {}

  // Unsorted: appends and returns the new entry's position. Sorted: a text
  // equal to an entry already present adds nothing and gives that entry's
  // position (duplicates are ignored); any other text is inserted where the
  // order keeps, and its position is returned.
  int32_t Add(std::string text, int32_t tag = 0);

  int32_t Count() const { return static_cast<int32_t>(FEntries.size()); }
  // Each throws EStringListError unless 0 <= position < Count().
  const std::string& TextAt(int32_t position) const;
  int32_t TagAt(int32_t position) const;
  // Changes the tag only: the entry keeps its place, in sorted mode too.
  void SetTagAt(int32_t position, int32_t tag);

  // The position of an entry equal to text, or -1. Unsorted: the first such
  // entry, by a scan from the start. Sorted: by binary search.
  int32_t IndexOf(std::string_view text) const;

  bool Sorted() const { return FSorted; }
  // Sorts the entries by the list comparison, then keeps them sorted. Does
  // nothing when already sorted.
  void SetSorted();

  // The list comparison: -1, 0 or 1 for a against b; a comparison that
  // fails counts as "a sorts before b".
  int Compare(std::string_view a, std::string_view b) const { return FCollation.Compare(a, b); }

 private:
  struct TEntry {
    std::string Text;
    int32_t Tag = 0;
  };

  // Where text stands or would be inserted in a sorted list; found tells
  // whether an equal entry stands there.
  int32_t Find(std::string_view text, bool& found) const;
  void CheckPosition(int32_t position) const;

  const TCollation& FCollation;
  std::vector<TEntry> FEntries;
  bool FSorted = false;
};

}  // namespace lumbra
