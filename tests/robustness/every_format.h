// Fixture tables for the robustness checks and the fuzz targets' seeds: one
// table of each format the builder writes, with every field type of the
// format, Nulls, bad values, deleted records and memo files.
#pragma once

#include <vector>

#include "tests/support/dbf_builder.h"

namespace lumbra::test {

// A Visual FoxPro table with a column of every value family, Nulls, a
// deleted record, a memo file and a column whose name holds a blank.
TTableShape QueryTable();

// QueryTable() and a table of each other format: dBase III and IV with .dbt
// memos and bad values, dBase 7, FoxPro 2 with a general field, Visual
// FoxPro with varchar, varbinary, nullable and binary fields.
std::vector<TTableShape> EveryFormatTables();

}  // namespace lumbra::test
