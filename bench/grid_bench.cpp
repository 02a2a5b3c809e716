// lumbra-grid-bench: what the table grid costs over a large table. Writes a
// generated Visual FoxPro table (five million records by default), opens it
// as the window opens a slot, lays the grid out, and reads the display texts
// of a screen of 40 rows by 12 columns, as the grid paints it, at random
// positions and at positions from the top of the table to its bottom.
// Prints one figure a line: "<figure> <value> <unit>".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "base/exception.h"
#include "bench/bench_support.h"
#include "bench/table_generator.h"
#include "fields/grid_model.h"
#include "fields/regional_settings.h"
#include "tables/data_access.h"
#include "tables/slots.h"

namespace lumbra {
namespace {

constexpr uint64_t kSeed = 20250115;
constexpr int kScreenRows = 40;
constexpr size_t kScreenColumns = 12;

struct TOptions {
  uint32_t Records = 5'000'000;
  int Positions = 1000;
  std::string Folder;  // empty: a fresh temporary folder, removed at the end
};

void PrintUsage(std::FILE* to) {
  std::fputs(
      "Usage: lumbra-grid-bench [--records N] [--positions N] [--dir DIR]\n"
      "  --records N    records of the generated table (default 5000000)\n"
      "  --positions N  screens read at random positions, and again from top to\n"
      "                 bottom (default 1000)\n"
      "  --dir DIR      write the table to DIR and keep it there (default: a fresh\n"
      "                 temporary folder, removed at the end)\n",
      to);
}

bool ParseArguments(int argc, char** argv, TOptions& options) {
  return ParseBenchOptions(argc, argv, "lumbra-grid-bench", PrintUsage,
                           {{"--records", NumberInto(options.Records, 100'000'000)},
                            {"--positions", NumberInto(options.Positions, 1'000'000)},
                            {"--dir", TextInto(options.Folder)}});
}

// The window's 11-pixel font, as a fixed advance per character: the widths
// do not change what is read.
class TFixedFont : public IFontMetrics {
 public:
  int TextWidth(std::string_view text) const override { return 6 * static_cast<int>(text.size()); }
  int TextHeight(std::string_view) const override { return 13; }
};

// Reads one screen as the grid paints it: the table moves to the top row,
// then every cell's text is asked for, row by row.
size_t ReadScreen(TGridModel& grid, int32_t top) {
  grid.SetCurrentRow(top);
  size_t characters = 0;
  for (int32_t row = top; row < top + kScreenRows; ++row) {
    for (size_t column = 0; column < kScreenColumns; ++column)
      characters += grid.CellText(row, column).size();
  }
  return characters;
}

struct TSpread {
  double Median = 0;
  double P99 = 0;
  double Max = 0;
};

TSpread SpreadOf(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], times[times.size() * 99 / 100], times.back()};
}

void Print(const char* figure, const TSpread& spread) {
  std::printf("%s_median_ms %.4f ms\n", figure, spread.Median * 1e3);
  std::printf("%s_p99_ms %.4f ms\n", figure, spread.P99 * 1e3);
  std::printf("%s_max_ms %.4f ms\n", figure, spread.Max * 1e3);
}

void Run(const TOptions& options) {
  TWorkFolder folder(options.Folder, "lumbra-grid-bench");
  auto start = std::chrono::steady_clock::now();
  GenerateTable(folder.Path(), "grid", TBenchFormat::VisualFoxPro, options.Records, kSeed);
  std::printf("generate_s %.3f s\n", SecondsSince(start));

  TRegionalSettings settings = TRegionalSettings::FromEnvironment();
  TADOConnection connection("Conn");
  TADOTable table("AT", connection, settings);
  TDataSource dataSource(table);
  TFixedFont font;
  TGridModel grid(dataSource, font, font);

  // What the user waits for between choosing the file and seeing its grid.
  start = std::chrono::steady_clock::now();
  connection.SetConnectionString(NormalConnectionString(folder.Path() + "/"));
  table.TableName = "grid";
  table.Open();
  grid.LayOut();
  const int32_t rows = grid.RowCount();
  ReadScreen(grid, 0);
  std::printf("open_and_first_screen_ms %.3f ms\n", SecondsSince(start) * 1e3);
  std::printf("records_shown %d records\n", rows);
  std::printf("columns %zu columns\n", grid.Columns().size());
  if (grid.Columns().size() < kScreenColumns || rows < kScreenRows) {
    throw Exception("the table is too small for a screen of 40 rows and 12 columns");
  }

  const int32_t lastTop = rows - kScreenRows;
  std::mt19937_64 random(kSeed);
  std::uniform_int_distribution<int32_t> anywhere(0, lastTop);
  std::vector<double> times;
  size_t characters = 0;
  for (int i = 0; i < options.Positions; ++i) {
    const int32_t top = anywhere(random);
    start = std::chrono::steady_clock::now();
    characters += ReadScreen(grid, top);
    times.push_back(SecondsSince(start));
  }
  Print("random_screen", SpreadOf(times));

  // Dragging the scroll bar's thumb from the top of the table to its bottom.
  times.clear();
  for (int i = 0; i < options.Positions; ++i) {
    const auto top = static_cast<int32_t>(static_cast<int64_t>(lastTop) * i /
                                          std::max(options.Positions - 1, 1));
    start = std::chrono::steady_clock::now();
    characters += ReadScreen(grid, top);
    times.push_back(SecondsSince(start));
  }
  Print("top_to_bottom_screen", SpreadOf(times));
  // Keeps the reads from being optimised away and shows they read something.
  std::printf("characters_read %zu characters\n", characters);
}

}  // namespace
}  // namespace lumbra

int main(int argc, char** argv) {
  lumbra::TOptions options;
  if (!lumbra::ParseArguments(argc, argv, options)) {
    lumbra::PrintUsage(stderr);
    return 2;
  }
  try {
    lumbra::Run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumbra-grid-bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
