// The records a record set shows, in order: the table's live records (deleted
// ones are never shown). Deletion flags are read as far as a caller needs
// them and then kept, so opening costs nothing and the set, once seen, stays
// as it was (a static cursor).
#pragma once

#include <cstdint>
#include <vector>

#include "dbf/table.h"

namespace lumbra {

class TDbfCursor {
 public:
  explicit TDbfCursor(TDbfTable& table) : FTable(table) {}

  // Whether a visible record stands at position (0-based). Reads deletion
  // flags only up to that record. Throws EDbfError when the file cannot be read.
  bool Reaches(uint32_t position);
  // Number of visible records; reads every deletion flag on the first call.
  uint32_t Count();
  // The table's record index shown at position. Requires Reaches(position).
  uint32_t RecordAt(uint32_t position) const;

 private:
  TDbfTable& FTable;
  uint32_t FScanned = 0;  // table records whose deletion flag has been read
  uint32_t FLive = 0;     // live records among them
  // Deleted record indexes among the scanned ones, ascending: the memory a
  // cursor needs grows with the deleted records only.
  std::vector<uint32_t> FDeleted;
};

}  // namespace lumbra
