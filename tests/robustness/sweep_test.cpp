// Every real table of ../shared/corpus (when that folder is there) and every
// fixture table, taken through all the program does with a table: opened
// into both slots, every field read in its four forms, both reports, a filter
// and a sort. Errors the engine reports are expected of damaged files; any
// other exception fails, and under the sanitizer build (the asan preset)
// every memory or undefined-behaviour fault stops the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/distinct_report.h"
#include "analysis/line_sink.h"
#include "analysis/string_list.h"
#include "analysis/structure_report.h"
#include "base/exception.h"
#include "tables/slots.h"
#include "tests/robustness/every_format.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/no_slot_view.h"
#include "tests/support/test_files.h"

namespace lumbra::test {
namespace {

namespace fs = std::filesystem;

class TCountingSink : public ILineSink {
 public:
  void Clear() override { Lines = 0; }
  void Append(const std::string&) override { ++Lines; }
  void Assign(const TStringList& lines) override { Lines = lines.Count(); }
  int32_t Lines = 0;
};

bool Sortable(const TField& field) {
  switch (field.Class()) {
    case TFieldClass::Bytes:
    case TFieldClass::VarBytes:
    case TFieldClass::Blob:
    case TFieldClass::Memo:
    case TFieldClass::Graphic:
      return false;
    default:
      return true;
  }
}

// Reads every field of every record in its four forms; a value that does not
// fit its field is reported, as the grid and the reports report it.
int32_t ReadEveryValue(TADOTable& table) {
  int32_t records = 0;
  for (table.First(); !table.Eof(); table.Next()) {
    ++records;
    for (const auto& field : table.Fields()) {
      try {
        field->IsNull();
        field->AsString();
        field->DisplayText();
        field->AsVariant();
      } catch (const EDatabaseError&) {
      }
    }
  }
  return records;
}

// Everything the program does with the table at path. Returns what went
// wrong as the engine reported it, or "" when nothing did.
std::string Sweep(const std::string& path) {
  TNoSlotView view;
  const TRegionalSettings settings;
  TTableSlots slots(view, settings);
  try {
    slots.DeschideDbf1(path);
    slots.DeschideDbf2(path);
  } catch (const Exception& e) {
    return e.Message();  // a damaged file, refused
  }
  std::string problems;
  const auto note = [&problems](const Exception& e) { problems += e.Message() + "\n"; };
  try {
    const int32_t records = ReadEveryValue(slots.AT);
    TCountingSink memo;
    CompareStructure(
        slots.AT, slots.AT2, [](const std::string&) {}, memo);
    AnalyzeDistinctPerColumn(
        slots.AT, slots.DataSource1, [](const std::string&) {}, memo);

    // A filter every record satisfies, on the first field, and a sort on the
    // first field that can be sorted.
    if (!slots.AT.Fields().empty()) {
      const std::string first = "[" + slots.AT.Fields()[0]->FieldName() + "]";
      slots.Filtreaza(first + " IS NULL OR NOT " + first + " IS NULL", note);
      EXPECT_EQ(ReadEveryValue(slots.AT), records) << path;
      slots.Filtreaza("", note);
    }
    for (const auto& field : slots.AT.Fields()) {
      if (!Sortable(*field)) continue;
      slots.SorteazaDupa("[" + field->FieldName() + "] DESC");
      EXPECT_EQ(ReadEveryValue(slots.AT), records) << path;
      break;
    }
  } catch (const Exception& e) {
    note(e);
  }
  return problems;
}

class CorpusSweep : public ::testing::TestWithParam<fs::path> {};

TEST_P(CorpusSweep, EveryStepEndsInValuesOrAnEngineError) {
  const std::string problems = Sweep(GetParam().string());
  // Only the engine's own errors may come back; their text names the problem.
  RecordProperty("problems", problems);
}

std::string TestName(const ::testing::TestParamInfo<fs::path>& info) {
  std::string name = fs::relative(info.param, CorpusDir()).string();
  for (char& c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '_';
  }
  return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusSweep, ::testing::ValuesIn(TablesUnder(CorpusDir())),
                         TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusSweep);

TEST(CorpusSweep, SkippedWithoutTheCorpus) {
  if (!fs::is_directory(CorpusDir())) GTEST_SKIP() << "no corpus at " << CorpusDir();
  EXPECT_FALSE(TablesUnder(CorpusDir()).empty());
}

TEST(FixtureSweep, EveryFormatAndTheSamplesGoThroughEveryStepCleanly) {
  TTempFolder folder;
  std::vector<std::string> paths;
  int number = 0;
  for (const TTableShape& spec : EveryFormatTables())
    paths.push_back(WriteTable(folder.Path(), "t" + std::to_string(number++), spec).string());
  for (const fs::path& sample : TablesUnder(fs::path(LUMBRA_SOURCE_DIR) / "samples"))
    paths.push_back(sample.string());
  ASSERT_GE(paths.size(), 7u);
  for (const std::string& path : paths)
    EXPECT_EQ(Sweep(path), "") << path;
}

}  // namespace
}  // namespace lumbra::test
