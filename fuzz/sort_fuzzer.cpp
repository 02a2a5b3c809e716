// Parses arbitrary text as a sort list of a fixed table and, when it parses,
// orders the table's records by it. Sort errors (EDbfError) are expected;
// anything else escaping, and every sanitizer report, is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/exception.h"
#include "dbf/cursor.h"
#include "dbf/sort_order.h"
#include "fuzz/fuzz_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lumbra;
  static const std::unique_ptr<TDbfTable> table = fuzz::OpenQueryTable();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const std::vector<TSortKey> keys = ParseSortText(text, *table);
    TDbfCursor cursor(*table);
    ApplySort(cursor, keys);
    cursor.Count();
  } catch (const Exception&) {
  }
  return 0;
}
