// Compiles arbitrary text as a filter on a fixed table and, when it compiles,
// applies it to the table's records. Filter errors (EDbfError) are expected;
// anything else escaping, and every sanitizer report, is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/exception.h"
#include "dbf/cursor.h"
#include "dbf/filter_expression.h"
#include "fuzz/fuzz_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lumbra;
  static const std::unique_ptr<TDbfTable> table = fuzz::OpenQueryTable();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    TFilterExpression filter(text, *table);
    TDbfCursor cursor(*table);
    ApplyFilter(cursor, filter);
    cursor.Count();
  } catch (const Exception&) {
  }
  return 0;
}
