// Opens arbitrary bytes as a table with its memo file, from files in memory
// (a tmpfs where the system has one), the way slot 1 opens a table, and makes
// the distinct values report of it, as "Analiza distinct per coloane" does:
// the walk over every field at once on two threads, and after a value that
// cannot be read, the walk field by field. Errors the engine reports
// (Exception) are expected. A report that is made must have a section for
// every field; anything else escaping, and every sanitizer report, is a
// finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "analysis/distinct_report.h"
#include "analysis/line_sink.h"
#include "base/exception.h"
#include "fields/regional_settings.h"
#include "fuzz/fuzz_tables.h"
#include "tables/data_access.h"
#include "tables/slots.h"

namespace lumbra::fuzz {
namespace {

// Counts the report's sections.
class TSectionSink : public ILineSink {
 public:
  void Clear() override { FSections = 0; }
  void Append(const std::string& text) override {
    if (text.rfind("Analizez: ", 0) == 0) ++FSections;
  }
  void Assign(const TStringList& lines) override {
    Clear();
    for (int32_t i = 0; i < lines.Count(); ++i)
      Append(lines.TextAt(i));
  }
  size_t Sections() const { return FSections; }

 private:
  size_t FSections = 0;
};

void Analyze(const TTableInput& input) {
  WriteTableInput(ScratchFolder(), "fuzz", input);
  static const TRegionalSettings settings = TRegionalSettings::ForLocales("ro_RO", "ro_RO");
  TADOConnection connection("Conn");
  connection.SetConnectionString(NormalConnectionString(ScratchFolder()));
  TADOTable at("AT", connection, settings);
  at.TableName = "fuzz";
  at.Open();
  TDataSource dataSource1(at);
  TSectionSink memo;
  AnalyzeDistinctPerColumn(
      at, dataSource1, [](const std::string&) {}, memo);
  if (memo.Sections() != at.Fields().size() || !dataSource1.Enabled()) std::abort();
}

}  // namespace
}  // namespace lumbra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    lumbra::fuzz::Analyze(lumbra::fuzz::SplitTableInput(data, size));
  } catch (const lumbra::Exception&) {
  }
  return 0;
}
