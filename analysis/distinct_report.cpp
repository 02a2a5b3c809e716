#include "analysis/distinct_report.h"

#include "analysis/distinct_texts.h"
#include "analysis/string_list.h"

namespace lumbra {

namespace {

// The report's part for field: the field is read at every record of at.
void AnalyzeField(TADOTable& at, size_t f, TStringList& report) {
  const TField& field = *at.Fields()[f];
  report.Add("Analizez: " + field.FieldName());
  report.Add(std::string(36, '-'));
  TDistinctTexts distinct(TCollation::ForUser());
  // 32 bits, wrapping as the counter always has.
  uint32_t records = 0;
  std::string text;
  at.First();
  while (!at.Eof()) {
    ++records;
    if (field.AsVariant().EqualsNull()) {
      text = "NULL";
    } else {
      try {
        text = field.AsString();
      } catch (const Exception& e) {
        // A value that has no text is counted under its error's class.
        text = e.ClassName();
      }
    }
    distinct.Add(text);
    at.Next();
  }
  report.Add("  Total linii = " + std::to_string(static_cast<int32_t>(records)));
  report.Add("  Linii distincte = " + std::to_string(distinct.Count()));
  for (const TDistinctTexts::TEntry* entry : distinct.SortedEntries()) {
    if (entry->Count > 1) {
      report.Add("  [" + std::string(entry->Text) + "] = " + std::to_string(entry->Count));
    }
  }
}

}  // namespace

void AnalyzeDistinctPerColumn(TADOTable& at, TDataSource& dataSource1,
                              const TShowInfoBox& showInfoBox, ILineSink& memo) {
  if (!at.Active()) {
    showInfoBox("Va rog deschideti un DBF");
    return;
  }
  // The grid must not follow the walk.
  dataSource1.SetEnabled(false);
  try {
    TStringList report;
    for (size_t f = 0; f < at.Fields().size(); ++f)
      AnalyzeField(at, f, report);
    memo.Assign(report);
  } catch (...) {
    dataSource1.SetEnabled(true);
    throw;
  }
  dataSource1.SetEnabled(true);
}

}  // namespace lumbra
