#include "analysis/distinct_report.h"

#include "analysis/distinct_texts.h"
#include "analysis/string_list.h"

namespace lumbra {

namespace {

// The text counted for field's value at the current record. Throws what
// reading the value as a variant and the Null test throw.
void ReadText(const TField& field, std::string& text) {
  if (field.AsVariant().EqualsNull()) {
    text = "NULL";
    return;
  }
  try {
    text = field.AsString();
  } catch (const Exception& e) {
    // A value that has no text is counted under its error's class.
    text = e.ClassName();
  }
}

// Walks at, counting the texts of field f, and adds the field's lines to report.
void AnalyzeField(TADOTable& at, size_t f, TDistinctTexts& distinct, TStringList& report) {
  const TField& field = *at.Fields()[f];
  report.Add("Analizez: " + field.FieldName());
  report.Add(std::string(36, '-'));
  distinct.Clear();
  // 32 bits, wrapping as the counter always has.
  uint32_t records = 0;
  std::string text;
  for (at.First(); !at.Eof(); at.Next()) {
    ++records;
    ReadText(field, text);
    distinct.Add(text);
  }
  report.Add("  Total linii = " + std::to_string(static_cast<int32_t>(records)));
  report.Add("  Linii distincte = " + std::to_string(distinct.Count()));
  for (const TDistinctTexts::TRepeated& entry : distinct.Repeated())
    report.Add("  [" + std::string(entry.Text) + "] = " + std::to_string(entry.Count));
}

}  // namespace

void AnalyzeDistinctPerColumn(TADOTable& at, TDataSource& dataSource1,
                              const TShowInfoBox& showInfoBox, ILineSink& memo) {
  if (!at.Active()) {
    showInfoBox("Va rog deschideti un DBF");
    return;
  }
  try {
    // The grid must not follow the walk.
    dataSource1.SetEnabled(false);
    TStringList report;
    // One counter for every field: the memory a large field pages in serves
    // the next ones.
    TDistinctTexts distinct(TCollation::ForUser());
    for (size_t f = 0; f < at.Fields().size(); ++f)
      AnalyzeField(at, f, distinct, report);
    memo.Assign(report);
  } catch (...) {
    dataSource1.SetEnabled(true);
    throw;
  }
  dataSource1.SetEnabled(true);
}

}  // namespace lumbra
