// What the fuzz targets share: how a table target's input splits into a
// table and its memo file, and the fixed table the filter and sort targets
// run over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "dbf/table.h"
#include "tests/support/dbf_builder.h"

namespace lumbra::fuzz {

// A table target's input: a 4-byte little-endian length, that many bytes of
// table (fewer when the input ends first), and the memo file in the rest.
// No bytes after the table means no memo file.
struct TTableInput {
  std::string Table;
  std::string Memo;
  bool HasMemo = false;
};
TTableInput SplitTableInput(const uint8_t* data, size_t size);
std::string JoinTableInput(const test::TBuiltTable& built);

// A folder of the target's own for the tables the emptying and distinct
// targets open by path: in memory (/dev/shm) where the system has it.
// Created on first use and removed at exit.
const std::string& ScratchFolder();
// Writes input as folder/name.dbf and its memo file (.fpt for FoxPro version
// bytes, .dbt for the others; none without memo bytes), removing what a
// previous input left there. Returns the table's path.
std::string WriteTableInput(const std::string& folder, const std::string& name,
                            const TTableInput& input);

// The table the filter and sort targets run over: a Visual FoxPro table with
// a column of every family, Nulls, a deleted record and a memo file.
std::unique_ptr<TDbfTable> OpenQueryTable();

}  // namespace lumbra::fuzz
