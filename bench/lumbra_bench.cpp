// lumbra-bench: writes large generated tables and times the engine over them:
// opening, decoding every value, the provider's sequential walk, reading every
// field's AsString text, and the floor those are measured against (reading the
// bytes, touching every field byte).
// Prints one figure a line: "<format>_<records>_<figure> <value> <unit>".
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/exception.h"
#include "base/variant.h"
#include "bench/bench_support.h"
#include "bench/table_generator.h"
#include "dbf/table.h"
#include "fields/regional_settings.h"
#include "provider/provider.h"
#include "tables/data_access.h"
#include "tables/slots.h"

namespace lumbra {
namespace {

constexpr uint64_t kSeed = 20250115;
constexpr size_t kChunkBytes = 1 << 20;
constexpr int kOpenRuns = 21;
// The tables are written in the code page a Romanian user's machine reads
// unmarked tables in.
constexpr int kCodePage = 1250;

struct TOptions {
  uint32_t Records = 1'000'000;
  std::vector<TBenchFormat> Formats{TBenchFormat::VisualFoxPro, TBenchFormat::dBase3};
  std::string Folder;  // empty: a fresh temporary folder, removed at the end
  bool PerField = false;
};

void PrintUsage(std::FILE* to) {
  std::fputs(
      "Usage: lumbra-bench [--records N] [--format vfp|dbase3|both] [--dir DIR] [--per-field]\n"
      "  --records N  records per table (default 1000000)\n"
      "  --format     which tables to generate and time (default both)\n"
      "  --dir DIR    write the tables to DIR and keep them there (default: a fresh\n"
      "               temporary folder, removed at the end)\n"
      "  --per-field  also time the decoding of each column alone, in ns per value\n",
      to);
}

bool ParseArguments(int argc, char** argv, TOptions& options) {
  return ParseBenchOptions(argc, argv, "lumbra-bench", PrintUsage,
                           {{"--records", NumberInto(options.Records, 100'000'000)},
                            {"--format", FormatsInto(options.Formats)},
                            {"--dir", TextInto(options.Folder)},
                            {"--per-field", [&options] { options.PerField = true; }}});
}

// A read-only descriptor for the floor measurements, outside the engine.
class TRawFile {
 public:
  explicit TRawFile(const std::string& path) : FFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (FFd < 0) throw Exception("Cannot open '" + path + "': " + std::strerror(errno));
  }
  ~TRawFile() { ::close(FFd); }
  TRawFile(const TRawFile&) = delete;
  TRawFile& operator=(const TRawFile&) = delete;

  uint64_t Size() const { return static_cast<uint64_t>(::lseek(FFd, 0, SEEK_END)); }
  // Reads exactly length bytes at offset.
  void Read(uint64_t offset, void* buffer, size_t length) const {
    auto* out = static_cast<char*>(buffer);
    while (length > 0) {
      const ssize_t n = ::pread(FFd, out, length, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw Exception("Short read in a benchmark table");
      out += n;
      offset += static_cast<uint64_t>(n);
      length -= static_cast<size_t>(n);
    }
  }
  // Writes the file's dirty pages out, so that writeback does not run during
  // the measurements.
  void Settle() const { ::fdatasync(FFd); }

 private:
  int FFd;
};

// Every byte of the file, front to back, in 1 MiB preads.
void ReadWholeFile(const TRawFile& file, std::vector<char>& buffer) {
  const uint64_t size = file.Size();
  buffer.resize(kChunkBytes);
  for (uint64_t at = 0; at < size; at += kChunkBytes) {
    file.Read(at, buffer.data(), static_cast<size_t>(std::min<uint64_t>(kChunkBytes, size - at)));
  }
}

struct TFieldBytes {
  uint32_t Offset;
  uint32_t Length;
};

// The least any decoder must do: read the records (whole records in about
// 1 MiB preads) and look at every byte of every field once. Returns a checksum
// so the work cannot be left out.
uint64_t TouchEveryFieldByte(const TRawFile& file, const TDbfHeader& header, uint32_t records,
                             const std::vector<TFieldBytes>& fields, std::vector<uint8_t>& buffer) {
  const uint32_t length = header.RecordLength;
  const uint32_t perChunk = std::max<uint32_t>(1, kChunkBytes / length);
  buffer.resize(static_cast<size_t>(perChunk) * length);
  uint64_t checksum = 0;
  for (uint32_t first = 0; first < records; first += perChunk) {
    const uint32_t count = std::min(perChunk, records - first);
    file.Read(header.HeaderLength + static_cast<uint64_t>(first) * length, buffer.data(),
              static_cast<size_t>(count) * length);
    for (uint32_t r = 0; r < count; ++r) {
      const uint8_t* record = buffer.data() + static_cast<size_t>(r) * length;
      for (const TFieldBytes& f : fields) {
        uint32_t sum = 0;
        for (uint32_t k = 0; k < f.Length; ++k)
          sum += record[f.Offset + k];
        checksum = checksum * 31 + sum;
      }
    }
  }
  return checksum;
}

// Decodes the given fields of every record, deleted ones included, into one
// Variant, counting Nulls per entry of fields.
void DecodeEveryValue(TDbfTable& table, const std::vector<size_t>& fields,
                      std::vector<uint64_t>& nulls) {
  Variant value;
  nulls.assign(fields.size(), 0);
  const uint32_t records = table.RecordCount();
  for (uint32_t i = 0; i < records; ++i) {
    const uint8_t* record = table.RecordAt(i);
    for (size_t k = 0; k < fields.size(); ++k) {
      table.DecodeField(record, fields[k], value);
      if (value.IsNull()) ++nulls[k];
    }
  }
}

// MoveFirst, then GetValue of every column and MoveNext until Eof. Returns the
// records visited.
uint64_t WalkRecordset(TProviderRecordset& recordset) {
  Variant value;
  uint64_t visited = 0;
  const size_t columns = recordset.Columns().size();
  for (recordset.MoveFirst(); !recordset.Eof(); recordset.MoveNext()) {
    for (size_t c = 0; c < columns; ++c)
      recordset.GetValue(c, value);
    ++visited;
  }
  return visited;
}

// First, then every field's AsString text and Next until Eof, read as
// lumbra-cli dump reads them: into one buffer that every value reuses.
// Returns the bytes of text.
uint64_t ReadEveryText(TADOTable& table) {
  const TFields& fields = table.Fields();
  uint64_t bytes = 0;
  std::string text;
  for (table.First(); !table.Eof(); table.Next()) {
    for (const auto& field : fields) {
      text.clear();
      field->AppendString(text);
      bytes += text.size();
    }
  }
  return bytes;
}

class TReport {
 public:
  explicit TReport(std::string prefix) : FPrefix(std::move(prefix)) {}
  void Print(std::string_view figure, double value, int decimals, const char* unit) const {
    std::printf("%s_%.*s %.*f %s\n", FPrefix.c_str(), static_cast<int>(figure.size()),
                figure.data(), decimals, value, unit);
    std::fflush(stdout);
  }
  // <figure>_s and <figure>_cpu_s.
  void PrintTiming(const std::string& figure, const TTiming& t) const {
    Print(figure + "_s", t.Wall, 6, "s");
    Print(figure + "_cpu_s", t.Cpu, 6, "s");
  }
  // <figure>_ratio and <figure>_cpu_ratio.
  void PrintRatio(const std::string& figure, const TTiming& ratio) const {
    Print(figure + "_ratio", ratio.Wall, 2, "x");
    Print(figure + "_cpu_ratio", ratio.Cpu, 2, "x");
  }

 private:
  std::string FPrefix;
};

// Decode and walk repeat on small tables to even out noise; the largest
// tables are timed once.
int RunsFor(uint32_t records) {
  if (records <= 200'000) return 7;
  if (records <= 2'000'000) return 5;
  return 1;
}

void CheckNulls(const TGeneratedTable& generated, const std::vector<uint64_t>& nulls) {
  for (size_t k = 0; k < generated.Columns.size(); ++k) {
    if (nulls[k] != generated.Columns[k].NullCount) {
      throw Exception("Column " + generated.Columns[k].Name + ": " + std::to_string(nulls[k]) +
                      " Nulls decoded where " + std::to_string(generated.Columns[k].NullCount) +
                      " were written");
    }
  }
}

void BenchFormat(TBenchFormat format, const TOptions& options, const std::string& folder) {
  const std::string name = std::string("bench_") + BenchFormatName(format);
  const TReport report(std::string(BenchFormatName(format)) + "_" +
                       std::to_string(options.Records));
  TGeneratedTable generated;
  report.Print("generate_s", TimeOnce([&] {
                               generated =
                                   GenerateTable(folder, name, format, options.Records, kSeed);
                             }).Wall,
               3, "s");
  const TRawFile tableFile(generated.TablePath);
  const TRawFile memoFile(generated.MemoPath);
  tableFile.Settle();
  memoFile.Settle();
  const uint64_t tableBytes = tableFile.Size();
  const double mb = static_cast<double>(tableBytes) / 1e6;
  report.Print("dbf_mb", mb, 1, "MB");
  report.Print("memo_mb", static_cast<double>(memoFile.Size()) / 1e6, 1, "MB");

  // Warm the page cache.
  std::vector<char> chunk;
  ReadWholeFile(tableFile, chunk);
  ReadWholeFile(memoFile, chunk);

  TDbfOpenOptions openOptions;
  openOptions.DefaultCodePage = kCodePage;
  const TTiming open =
      MedianTiming(kOpenRuns, [&] { TDbfTable::Open(generated.TablePath, openOptions); });
  report.Print("open_ms", 1e3 * open.Wall, 3, "ms");
  TProviderConnection connection;
  connection.SetConnectionString("Provider=VFPOLEDB.1;Data Source=" + folder);
  connection.Options().DefaultCodePage = kCodePage;
  connection.Open();
  const TTiming providerOpen = MedianTiming(kOpenRuns, [&] { connection.OpenTable(name); });
  report.Print("provider_open_ms", 1e3 * providerOpen.Wall, 3, "ms");

  const int runs = RunsFor(options.Records);
  const TTiming read = MedianTiming(runs, [&] { ReadWholeFile(tableFile, chunk); });
  report.PrintTiming("read", read);
  report.Print("read_mb_per_s", mb / read.Wall, 0, "MB/s");
  report.PrintTiming("memo_read", MedianTiming(runs, [&] { ReadWholeFile(memoFile, chunk); }));

  std::unique_ptr<TDbfTable> table = TDbfTable::Open(generated.TablePath, openOptions);
  if (table->RecordCount() != generated.Records) {
    throw Exception(name + ": " + std::to_string(table->RecordCount()) + " records read where " +
                    std::to_string(generated.Records) + " were written");
  }
  std::vector<TFieldBytes> fieldBytes;
  std::vector<size_t> visible, visibleWithoutMemo;
  for (size_t i = 0; i < table->Fields().size(); ++i) {
    const TDbfField& f = table->Fields()[i];
    fieldBytes.push_back({f.Offset, f.Length});
    if (f.IsSystem()) continue;
    visible.push_back(i);
    if (!f.IsMemo()) visibleWithoutMemo.push_back(i);
  }
  std::vector<uint8_t> records;
  // Stored so that the summing cannot be optimised away.
  volatile uint64_t checksum = 0;
  std::vector<uint64_t> nulls;
  const uint32_t live = generated.Records - generated.Deleted;
  // The floor and the decoding take turns, so that a change in the machine's
  // load falls on both alike; each ratio is the median of the runs' ratios.
  TTimings touches, decodes, decodesWithoutMemo, walks, texts;
  TTimings decodeRatios, decodeWithoutMemoRatios, walkRatios, textRatios;
  TWindowTable windowTable(folder, name, kCodePage);
  uint64_t textBytes = 0;
  for (int run = 0; run < runs; ++run) {
    const TTiming touch = TimeOnce([&] {
      checksum =
          TouchEveryFieldByte(tableFile, table->Header(), generated.Records, fieldBytes, records);
    });
    touches.Add(touch);
    const TTiming decode = TimeOnce([&] { DecodeEveryValue(*table, visible, nulls); });
    if (run == 0) CheckNulls(generated, nulls);
    decodes.Add(decode);
    decodeRatios.Add(Ratio(decode, touch));
    const TTiming decodeWithoutMemo =
        TimeOnce([&] { DecodeEveryValue(*table, visibleWithoutMemo, nulls); });
    decodesWithoutMemo.Add(decodeWithoutMemo);
    decodeWithoutMemoRatios.Add(Ratio(decodeWithoutMemo, touch));
    // A fresh record set for each walk, so each one reads the deletion flags.
    std::unique_ptr<TProviderRecordset> recordset = connection.OpenTable(name);
    uint64_t visited = 0;
    const TTiming walk = TimeOnce([&] { visited = WalkRecordset(*recordset); });
    if (visited != live) {
      throw Exception(name + ": the walk visited " + std::to_string(visited) + " records where " +
                      std::to_string(live) + " are live");
    }
    walks.Add(walk);
    walkRatios.Add(Ratio(walk, touch));
    const TTiming text = TimeOnce([&] { textBytes = ReadEveryText(windowTable.Table()); });
    texts.Add(text);
    textRatios.Add(Ratio(text, touch));
  }

  const TTiming touch = touches.Median();
  report.PrintTiming("touch", touch);
  report.Print("touch_mb_per_s", mb / touch.Wall, 0, "MB/s");
  const TTiming decode = decodes.Median();
  report.PrintTiming("decode", decode);
  report.Print("decode_records_per_s", generated.Records / decode.Wall, 0, "records/s");
  report.Print("decode_mb_per_s", mb / decode.Wall, 0, "MB/s");
  report.PrintRatio("decode", decodeRatios.Median());
  report.PrintTiming("decode_without_memo", decodesWithoutMemo.Median());
  report.PrintRatio("decode_without_memo", decodeWithoutMemoRatios.Median());
  const TTiming walk = walks.Median();
  report.PrintTiming("walk", walk);
  report.Print("walk_records_per_s", live / walk.Wall, 0, "records/s");
  report.PrintRatio("walk", walkRatios.Median());
  report.PrintTiming("text", texts.Median());
  report.Print("text_mb", static_cast<double>(textBytes) / 1e6, 1, "MB");
  report.PrintRatio("text", textRatios.Median());

  if (!options.PerField) return;
  // Each column alone, RecordAt included: where the decoding time goes.
  for (const size_t field : visible) {
    const TTiming t = MedianTiming(runs, [&] { DecodeEveryValue(*table, {field}, nulls); });
    report.Print("field_" + table->FieldNames()[field] + "_ns", 1e9 * t.Cpu / generated.Records, 1,
                 "ns/value");
  }
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
    const TWorkFolder folder(options.Folder, "lumbra-bench");
    for (const TBenchFormat format : options.Formats)
      BenchFormat(format, options, folder.Path());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumbra-bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
