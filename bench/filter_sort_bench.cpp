// lumbra-filter-sort-bench: times the provider's filter and sort over a
// generated table, and the window's road through both (a table opened with
// its sort list and filter set, as "Sort by.." and "Filtreaza" open it).
// Memory is counted by this program's own operator new: the figures are the
// heap bytes in use at the peak of each step beyond those before it, and the
// bytes the record set keeps afterwards. Each result is checked against a
// plain walk over the table's values. Prints one figure a line:
// "<format>_<records>_<figure> <value> <unit>".
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/exception.h"
#include "bench/bench_support.h"
#include "bench/table_generator.h"
#include "dbf/collation.h"
#include "dbf/filter_values.h"
#include "fields/regional_settings.h"
#include "provider/provider.h"
#include "tables/data_access.h"

namespace {

std::atomic<size_t> gHeapInUse{0};
std::atomic<size_t> gHeapPeak{0};

void CountAllocation(void* block) {
  const size_t now = gHeapInUse += malloc_usable_size(block);
  size_t peak = gHeapPeak.load();
  while (now > peak && !gHeapPeak.compare_exchange_weak(peak, now)) {
  }
}

}  // namespace

void* operator new(size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  CountAllocation(block);
  return block;
}

void operator delete(void* block) noexcept {
  if (block == nullptr) return;
  gHeapInUse -= malloc_usable_size(block);
  std::free(block);
}

void operator delete(void* block, size_t) noexcept {
  operator delete(block);
}

namespace lumbra {
namespace {

constexpr uint64_t kSeed = 20250115;
constexpr int kCodePage = 1250;
constexpr const char* kFilter = "ORAS = 'Cluj' AND SUMA > 100";
// The sort list as typed in the window, and as the record set receives it.
constexpr const char* kSortList = "ORAS;SUMA DESC";
constexpr const char* kSortText = "ORAS,SUMA DESC";

struct TOptions {
  uint32_t Records = 1'000'000;
  std::vector<TBenchFormat> Formats{TBenchFormat::VisualFoxPro, TBenchFormat::dBase3};
  int Runs = 5;
};

void PrintUsage(std::FILE* to) {
  std::fputs(
      "Usage: lumbra-filter-sort-bench [--records N] [--format vfp|dbase3|both] [--runs N]\n"
      "  --records N  records of the generated table (default 1000000)\n"
      "  --format     which tables to generate and time (default both)\n"
      "  --runs N     times each step runs; the median is printed (default 5)\n",
      to);
}

bool ParseArguments(int argc, char** argv, TOptions& options) {
  return ParseBenchOptions(argc, argv, "lumbra-filter-sort-bench", PrintUsage,
                           {{"--records", NumberInto(options.Records, 50'000'000)},
                            {"--runs", NumberInto(options.Runs, 100)},
                            {"--format", FormatsInto(options.Formats)}});
}

class TReport {
 public:
  explicit TReport(std::string prefix) : FPrefix(std::move(prefix)) {}
  void Print(const char* figure, double value, int decimals, const char* unit) const {
    std::printf("%s_%s %.*f %s\n", FPrefix.c_str(), figure, decimals, value, unit);
    std::fflush(stdout);
  }

 private:
  std::string FPrefix;
};

// One timed step: its median wall-clock and processor times, and the most
// heap it took beyond what was in use before it, over every run. On a shared
// machine the wall clock follows the load; the processor time does not.
struct TMeasure {
  double Seconds = 0;
  double CpuSeconds = 0;
  size_t PeakExtraBytes = 0;
};

template <class Prepare, class Step>
TMeasure Measure(int runs, Prepare prepare, Step step) {
  TTimings timings;
  TMeasure measure;
  for (int i = 0; i < runs; ++i) {
    auto subject = prepare();
    const size_t before = gHeapInUse.load();
    gHeapPeak = before;
    timings.Add(TimeOnce([&] { step(*subject); }));
    measure.PeakExtraBytes = std::max(measure.PeakExtraBytes, gHeapPeak.load() - before);
  }
  const TTiming median = timings.Median();
  measure.Seconds = median.Wall;
  measure.CpuSeconds = median.Cpu;
  return measure;
}

size_t ColumnOf(const TProviderRecordset& recordset, const std::string& name) {
  for (size_t c = 0; c < recordset.Columns().size(); ++c) {
    if (recordset.Columns()[c].Name == name) return c;
  }
  throw Exception("No column " + name);
}

struct TRow {
  std::string Town;
  double Sum = 0;
  bool SumNull = false;
};

TRow ReadRow(TProviderRecordset& recordset, size_t town, size_t sum) {
  TRow row;
  const Variant t = recordset.Value(town);
  const Variant s = recordset.Value(sum);
  row.Town = t.IsNull() ? std::string() : std::string(WithoutTrailingBlanks(t.Text()));
  row.SumNull = s.IsNull();
  if (!row.SumNull) row.Sum = DecimalToDouble(s.Decimal());
  return row;
}

// The records a plain walk finds for the benchmark's filter.
uint32_t CountMatches(TProviderRecordset& recordset) {
  const size_t town = ColumnOf(recordset, "ORAS"), sum = ColumnOf(recordset, "SUMA");
  const TCollation& collation = TCollation::ForUser();
  uint32_t matches = 0;
  for (recordset.MoveFirst(); !recordset.Eof(); recordset.MoveNext()) {
    const TRow row = ReadRow(recordset, town, sum);
    if (!row.SumNull && collation.Compare(row.Town, "Cluj") == 0 && row.Sum > 100) ++matches;
  }
  return matches;
}

// Throws unless the record set's records follow ORAS ascending, then SUMA
// descending, with Nulls first and last.
void CheckSorted(TProviderRecordset& recordset, uint32_t expected) {
  const size_t town = ColumnOf(recordset, "ORAS"), sum = ColumnOf(recordset, "SUMA");
  const TCollation& collation = TCollation::ForUser();
  TRow previous;
  uint32_t seen = 0;
  for (recordset.MoveFirst(); !recordset.Eof(); recordset.MoveNext(), ++seen) {
    TRow row = ReadRow(recordset, town, sum);
    if (seen > 0) {
      const int order = collation.Compare(previous.Town, row.Town);
      const bool sumsFollow =
          previous.SumNull ? row.SumNull : (row.SumNull || previous.Sum >= row.Sum);
      if (order > 0 || (order == 0 && !sumsFollow)) {
        throw Exception("Record " + std::to_string(seen + 1) + " is out of order");
      }
    }
    previous = std::move(row);
  }
  if (seen != expected) throw Exception("The sort lost records");
}

double PerRecord(size_t bytes, uint32_t records) {
  return static_cast<double>(bytes) / records;
}

void BenchFormat(TBenchFormat format, const TOptions& options, const std::string& folder) {
  const std::string name = std::string("bench_") + BenchFormatName(format);
  const TReport report(std::string(BenchFormatName(format)) + "_" +
                       std::to_string(options.Records));
  const TGeneratedTable generated = GenerateTable(folder, name, format, options.Records, kSeed);
  const uint32_t live = generated.Records - generated.Deleted;

  TProviderConnection connection;
  connection.SetConnectionString("Provider=VFPOLEDB.1;Data Source=" + folder);
  connection.Options().DefaultCodePage = kCodePage;
  connection.Open();
  // A record set that has read every record once, so that the table's own
  // cache of records is in place before a step is measured.
  const auto fresh = [&] {
    std::unique_ptr<TProviderRecordset> recordset = connection.OpenTable(name);
    recordset->MoveLast();
    recordset->MoveFirst();
    return recordset;
  };
  // The first walk also brings the file into the page cache.
  const uint32_t expected = CountMatches(*fresh());

  const TMeasure filter =
      Measure(options.Runs, fresh, [](TProviderRecordset& rs) { rs.SetFilter(kFilter); });
  report.Print("filter_ms", filter.Seconds * 1e3, 3, "ms");
  report.Print("filter_cpu_ms", filter.CpuSeconds * 1e3, 3, "ms");
  report.Print("filter_extra_bytes_per_record", PerRecord(filter.PeakExtraBytes, live), 2, "B");
  auto filtered = fresh();
  filtered->SetFilter(kFilter);
  if (static_cast<uint32_t>(filtered->RecordCount()) != expected) {
    throw Exception("The filter kept " + std::to_string(filtered->RecordCount()) +
                    " records where a walk finds " + std::to_string(expected));
  }
  report.Print("filter_matches", expected, 0, "records");

  const TMeasure sort =
      Measure(options.Runs, fresh, [](TProviderRecordset& rs) { rs.SetSort(kSortText); });
  report.Print("sort_ms", sort.Seconds * 1e3, 3, "ms");
  report.Print("sort_cpu_ms", sort.CpuSeconds * 1e3, 3, "ms");
  report.Print("sort_extra_bytes_per_record", PerRecord(sort.PeakExtraBytes, live), 2, "B");
  auto sorted = fresh();
  const size_t before = gHeapInUse.load();
  sorted->SetSort(kSortText);
  report.Print("sort_kept_bytes_per_record", PerRecord(gHeapInUse.load() - before, live), 2, "B");
  CheckSorted(*sorted, live);

  // The collation sort keys of ORAS, once per distinct text: the allowance
  // beyond the bytes per record.
  std::vector<std::string> towns;
  {
    auto rs = fresh();
    const size_t town = ColumnOf(*rs, "ORAS");
    for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
      const Variant v = rs->Value(town);
      if (!v.IsNull()) towns.emplace_back(WithoutTrailingBlanks(v.Text()));
    }
  }
  std::sort(towns.begin(), towns.end());
  towns.erase(std::unique(towns.begin(), towns.end()), towns.end());
  size_t keyBytes = 0;
  for (const std::string& t : towns)
    keyBytes += TCollation::ForUser().SortKey(t).size();
  report.Print("sort_distinct_towns", static_cast<double>(towns.size()), 0, "texts");
  report.Print("sort_town_key_bytes", static_cast<double>(keyBytes), 0, "B");

  // The window's road: sort list and filter applied by the table at open.
  const TRegionalSettings settings = TRegionalSettings::FromEnvironment();
  TADOConnection conn("Conn");
  conn.SetConnectionString("Provider=VFPOLEDB.1;Data Source=" + folder);
  conn.Provider().Options().DefaultCodePage = kCodePage;
  const TMeasure open = Measure(
      options.Runs,
      [&] {
        auto table = std::make_unique<TADOTable>("AT", conn, settings);
        table->TableName = name;
        table->IndexFieldNames = kSortList;
        table->Filter = kFilter;
        table->Filtered = true;
        return table;
      },
      [](TADOTable& table) { table.Open(); });
  report.Print("open_sorted_filtered_ms", open.Seconds * 1e3, 1, "ms");
  report.Print("open_sorted_filtered_cpu_ms", open.CpuSeconds * 1e3, 1, "ms");
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
  // The collation of the Romanian users the tool is written for, unless the
  // caller chose one.
  setenv("LC_COLLATE", "ro_RO.UTF-8", 0);
  try {
    const TWorkFolder folder("", "lumbra-filter-sort-bench");
    for (const TBenchFormat format : options.Formats)
      BenchFormat(format, options, folder.Path());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumbra-filter-sort-bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
