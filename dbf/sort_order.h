// Sort texts and the order they give a cursor's records. A sort text lists
// columns separated by ",", each optionally followed by ASC or DESC (letter
// case ignored); a column whose name holds blanks or commas may be written in
// [brackets]. Nulls come first in ascending order and last in descending
// order; text orders by the collation (letter case ignored, trailing blanks
// ignored), numbers by value, dates and date-times in time order, logicals
// false before true. Records that tie on every column keep their file order.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "dbf/collation.h"
#include "dbf/cursor.h"
#include "dbf/table.h"

namespace lumbra {

struct TSortKey {
  size_t Field = 0;  // index into the table's Fields()
  bool Descending = false;
};

// The keys a sort text names, each column once (a column named again adds
// nothing to the order). A text of blanks alone names none. Throws EDbfError
// "Sort error at position N: <problem>", N counting characters from 1, for an
// empty part, an unknown column, and a memo or binary column, which cannot be
// sorted.
std::vector<TSortKey> ParseSortText(std::string_view text, const TDbfTable& table);

// Orders the cursor's visible records by keys; no keys gives file order.
// Reads the table once, in file order. Memory beyond the cursor's four bytes
// per record: four bytes per record for each text or logical key and for
// numeric fields wider than 15 characters, eight for every other key, and
// the distinct texts of the text keys with one collation sort key each.
// Throws EDbfError when the file cannot be read; the cursor then shows the
// same records in file order.
void ApplySort(TDbfCursor& cursor, const std::vector<TSortKey>& keys,
               const TCollation& collation = TCollation::ForUser());

}  // namespace lumbra
