// lumbra-fuzz-seeds FOLDER: writes the fuzz targets' starting inputs into
// FOLDER/table, FOLDER/filter, FOLDER/sort, FOLDER/empty and FOLDER/distinct,
// from the fixture builder's tables and texts of the filter and sort grammars.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_tables.h"
#include "tests/robustness/every_format.h"
#include "tests/support/test_files.h"

namespace lumbra::fuzz {
namespace {

void WriteSeed(const std::filesystem::path& folder, size_t number, const std::string& bytes) {
  std::filesystem::create_directories(folder);
  test::WriteFile(folder / ("seed-" + std::to_string(number)), bytes);
}

void WriteSeeds(const std::filesystem::path& folder, const std::vector<std::string>& seeds) {
  for (size_t i = 0; i < seeds.size(); ++i)
    WriteSeed(folder, i, seeds[i]);
}

const std::vector<std::string> kFilters = {
    "ID = 1",
    "NUME = 'ana' OR NUME LIKE 'B%'",
    "SUMA >= 12.5 AND NOT (ACTIV = TRUE)",
    "ZI < #2000-01-01# OR MOMENT > #2024-01-02 03:04:05#",
    "NOTA IS NULL OR NOTA IS NOT NULL",
    "[CU BLANC] <> 'a' AND BANI != 0",
    "REAL <= -1E-5 OR ID > 2",
    "NUME LIKE '%''[]_*'",
    "((ID = 1) OR (ID = 2)) AND NOT NOT ACTIV = FALSE",
    "OBS = NULL",
};

const std::vector<std::string> kSorts = {
    "NUME",
    "SUMA DESC, NUME ASC",
    "[CU BLANC] desc,ID",
    "ZI, MOMENT, ACTIV, NOTA, BANI, REAL",
};

}  // namespace
}  // namespace lumbra::fuzz

int main(int argc, char** argv) {
  using namespace lumbra::fuzz;
  if (argc != 2) {
    std::fprintf(stderr, "usage: lumbra-fuzz-seeds FOLDER\n");
    return 2;
  }
  try {
    const std::filesystem::path folder = argv[1];
    std::vector<std::string> tables;
    for (const lumbra::test::TTableShape& spec : lumbra::test::EveryFormatTables())
      tables.push_back(JoinTableInput(lumbra::test::BuildTableBytes(spec)));
    for (const char* target : {"table", "empty", "distinct"})
      WriteSeeds(folder / target, tables);
    WriteSeeds(folder / "filter", kFilters);
    WriteSeeds(folder / "sort", kSorts);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumbra-fuzz-seeds: %s\n", e.what());
    return 1;
  }
  return 0;
}
