// The records a record set shows, in order: the table's live records (deleted
// ones are shown only by a table opened to show them, TDbfTable::IsHidden) in
// file order, or an explicit order of them that a sort or a filter made. Here
// "live" is every record the table does not hide. Deletion flags are read as far as a caller
// needs them and then kept, so opening costs nothing and the set, once seen,
// stays as it was (a static cursor).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "dbf/table.h"

namespace lumbra {

class TDbfCursor {
 public:
  explicit TDbfCursor(TDbfTable& table) : FTable(table) {}

  TDbfTable& Table() const { return FTable; }

  // Whether a visible record stands at position (0-based). Reads deletion
  // flags only up to that record. Throws EDbfError when the file cannot be read.
  bool Reaches(uint32_t position);
  // Number of visible records; reads every deletion flag on the first call.
  uint32_t Count();
  // Count, saying how far it has read (base/progress.h), for a command's
  // own walk: reading a large table's flags takes a while. What a command
  // runs after it stops, reopening the table, counts with Count.
  uint32_t CountSayingHowFar();
  // The table's record index shown at position. Requires Reaches(position).
  uint32_t RecordAt(uint32_t position) const;

  // Whether an explicit order is in force.
  bool HasOrder() const { return FOrder.has_value(); }
  // Shows exactly records, table record indexes in the order to show them.
  // Requires each to be a live record below the table's RecordCount(), and
  // none twice. Costs no memory beyond the vector itself.
  void SetOrder(std::vector<uint32_t> records);
  // The visible records' indexes in order, leaving the cursor showing no
  // records until SetOrder or ClearOrder; without an explicit order, the
  // live records in file order, saying how far it has listed them. Throws
  // EDbfError when the file cannot be read.
  std::vector<uint32_t> TakeOrder();
  // Back to the live records in file order.
  void ClearOrder() { FOrder.reset(); }

 private:
  // Reads deletion flags until a visible record stands at position or the
  // table ends; whether one does.
  bool Scan(uint32_t position, bool sayHowFar);

  TDbfTable& FTable;
  uint32_t FScanned = 0;  // table records whose deletion flag has been read
  uint32_t FLive = 0;     // live records among them
  // Deleted record indexes among the scanned ones, ascending: the memory a
  // cursor needs grows with the deleted records only.
  std::vector<uint32_t> FDeleted;
  // The last position RecordAt answered, and the deleted records before it.
  mutable uint32_t FHintPosition = 0;
  mutable size_t FHintDeleted = 0;
  // The explicit order: four bytes per shown record.
  std::optional<std::vector<uint32_t>> FOrder;
};

}  // namespace lumbra
