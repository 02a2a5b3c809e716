// lumbra-reports-bench: times the two reports of the analysis tab. The
// distinct values report runs over a generated table of a million records
// (the window's "Analiza distinct per coloane"); the structure comparison over
// two tables of 300 columns each, the second holding the first's columns in
// another order and ten more, so that all of its sections are computed.
// Prints one figure a line: "<figure> <value> <unit>". Both wall-clock and
// processor time are given: on a shared machine the first follows the load.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/distinct_report.h"
#include "analysis/line_sink.h"
#include "analysis/structure_report.h"
#include "base/exception.h"
#include "bench/bench_support.h"
#include "bench/table_generator.h"
#include "dbf/code_page.h"
#include "fields/regional_settings.h"
#include "tables/data_access.h"
#include "tables/slots.h"

namespace lumbra {
namespace {

constexpr uint64_t kSeed = 20250115;
constexpr int kStructureColumns = 300;
constexpr int kStructureExtraColumns = 10;
constexpr int kStructureRuns = 51;

struct TOptions {
  uint32_t Records = 1'000'000;
  int DistinctRuns = 3;
  std::string Folder;  // empty: a fresh temporary folder, removed at the end
};

void PrintUsage(std::FILE* to) {
  std::fputs(
      "Usage: lumbra-reports-bench [--records N] [--runs N] [--dir DIR]\n"
      "  --records N  records of the distinct values table (default 1000000)\n"
      "  --runs N     runs of the distinct values report; the median is given (default 3)\n"
      "  --dir DIR    write the tables to DIR and keep them there (default: a fresh\n"
      "               temporary folder, removed at the end)\n",
      to);
}

bool ParseArguments(int argc, char** argv, TOptions& options) {
  return ParseBenchOptions(argc, argv, "lumbra-reports-bench", PrintUsage,
                           {{"--records", NumberInto(options.Records, 100'000'000)},
                            {"--runs", NumberInto(options.DistinctRuns, 100)},
                            {"--dir", TextInto(options.Folder)}});
}

// Counts the lines, as the memo would hold them.
class TCountingSink : public ILineSink {
 public:
  void Clear() override { FLines = 0; }
  void Append(const std::string&) override { ++FLines; }
  void Assign(const TStringList& lines) override { FLines = static_cast<size_t>(lines.Count()); }
  size_t Lines() const { return FLines; }

 private:
  size_t FLines = 0;
};

void ShowNotice(const std::string& text) {
  throw Exception("the report showed the notice '" + text + "'");
}

void BenchDistinct(const TOptions& options, const std::string& folder) {
  const TGeneratedTable generated =
      GenerateTable(folder, "distinct", TBenchFormat::VisualFoxPro, options.Records, kSeed);
  TWindowTable open(folder, "distinct", 1250);
  TDataSource dataSource1(open.Table());
  TCountingSink memo;
  const TTiming times = MedianTiming(options.DistinctRuns, [&] {
    AnalyzeDistinctPerColumn(open.Table(), dataSource1, ShowNotice, memo);
  });
  std::printf("distinct_records %u records\n", generated.Records - generated.Deleted);
  std::printf("distinct_columns %zu columns\n", open.Table().Fields().size());
  std::printf("distinct_report_lines %zu lines\n", memo.Lines());
  std::printf("distinct_s %.3f s\n", times.Wall);
  std::printf("distinct_processor_s %.3f s\n", times.Cpu);
}

struct TColumnSpec {
  std::string Name;
  char Type;
  uint8_t Length;
  uint8_t Decimals;
};

// A dBase III table of the given columns and no records.
void WriteEmptyTable(const std::string& path, const std::vector<TColumnSpec>& columns) {
  std::string bytes(32, '\0');
  bytes[0] = 0x03;
  bytes[1] = 125;  // last update 2025-01-15
  bytes[2] = 1;
  bytes[3] = 15;
  uint32_t recordLength = 1;
  for (const TColumnSpec& c : columns) {
    std::string descriptor(32, '\0');
    descriptor.replace(0, c.Name.size(), c.Name);
    descriptor[11] = c.Type;
    descriptor[16] = static_cast<char>(c.Length);
    descriptor[17] = static_cast<char>(c.Decimals);
    bytes += descriptor;
    recordLength += c.Length;
  }
  bytes += '\r';
  const auto headerLength = static_cast<uint16_t>(bytes.size());
  bytes[8] = static_cast<char>(headerLength & 0xFF);
  bytes[9] = static_cast<char>(headerLength >> 8);
  bytes[10] = static_cast<char>(recordLength & 0xFF);
  bytes[11] = static_cast<char>(recordLength >> 8);
  bytes += '\x1A';
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw Exception("cannot write " + path);
}

std::vector<TColumnSpec> WideColumns(int count, int firstNumber) {
  static const TColumnSpec kinds[] = {
      {"", 'C', 30, 0}, {"", 'N', 12, 2}, {"", 'D', 8, 0}, {"", 'L', 1, 0}, {"", 'N', 5, 0}};
  std::vector<TColumnSpec> columns;
  for (int i = 0; i < count; ++i) {
    TColumnSpec c = kinds[i % 5];
    char name[11];
    std::snprintf(name, sizeof name, "COL_%04d", firstNumber + i);
    c.Name = name;
    columns.push_back(c);
  }
  return columns;
}

void BenchStructure(const std::string& folder) {
  std::vector<TColumnSpec> first = WideColumns(kStructureColumns, 1);
  std::vector<TColumnSpec> second = first;
  std::shuffle(second.begin(), second.end(), std::mt19937_64(kSeed));
  const std::vector<TColumnSpec> extra = WideColumns(kStructureExtraColumns, 9001);
  second.insert(second.end(), extra.begin(), extra.end());
  WriteEmptyTable(folder + "/wide1.dbf", first);
  WriteEmptyTable(folder + "/wide2.dbf", second);
  TWindowTable at(folder, "wide1", 1252);
  TWindowTable at2(folder, "wide2", 1252);
  TCountingSink memo;
  const TTiming times = MedianTiming(
      kStructureRuns, [&] { CompareStructure(at.Table(), at2.Table(), ShowNotice, memo); });
  std::printf("structure_columns_dbf1 %d columns\n", kStructureColumns);
  std::printf("structure_columns_dbf2 %d columns\n", kStructureColumns + kStructureExtraColumns);
  std::printf("structure_report_lines %zu lines\n", memo.Lines());
  std::printf("structure_ms %.3f ms\n", 1e3 * times.Wall);
  std::printf("structure_processor_ms %.3f ms\n", 1e3 * times.Cpu);
}

}  // namespace
}  // namespace lumbra

int main(int argc, char** argv) {
  using namespace lumbra;
  TOptions options;
  if (!ParseArguments(argc, argv, options)) {
    PrintUsage(stderr);
    return 2;
  }
  try {
    const TWorkFolder folder(options.Folder, "lumbra-reports-bench");
    BenchStructure(folder.Path());
    BenchDistinct(options, folder.Path());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumbra-reports-bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
