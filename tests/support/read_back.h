// Reading built tables back through the engine, and a short text form of
// values that tests compare against: "null", "'text'", "bytes 6162",
// "int 5", "double 2.5", "currency 12.3456", "decimal 12.50", "true",
// "date 2024-03-05" or "date 2024-03-05 13:45:07.250".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/variant.h"
#include "dbf/table.h"
#include "tests/support/dbf_builder.h"

namespace lumbra::test {

// The built table (and its memo file) opened from memory as "mem.dbf".
std::unique_ptr<TDbfTable> OpenBuilt(const TTableShape& spec, const TDbfOpenOptions& options = {});
// Opens bytes as the table "mem.dbf", without a memo file.
std::unique_ptr<TDbfTable> OpenBytes(const std::string& bytes);

// The short form of field of every record, deleted ones included.
std::vector<std::string> ShowColumn(TDbfTable& table, size_t field);
std::string Show(const Variant& value);

}  // namespace lumbra::test
