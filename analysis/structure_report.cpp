#include "analysis/structure_report.h"

#include "base/progress.h"
#include "base/text.h"
#include "fields/field_types.h"

namespace lumbra {

namespace {

// One section of the report: its header goes out, after a line of one space,
// just before its first line, so a section with no lines writes nothing.
class TSection {
 public:
  TSection(ILineSink& memo, const char* header) : FMemo(memo), FHeader(header) {}

  void Append(const std::string& line) {
    if (!FHeaderWritten) {
      FHeaderWritten = true;
      FMemo.Append(" ");
      FMemo.Append(FHeader);
    }
    FMemo.Append(line);
  }

 private:
  ILineSink& FMemo;
  const char* FHeader;
  bool FHeaderWritten = false;
};

// The entries of from that into does not hold, under the list comparison.
void AppendMissing(const TStringList& from, const TStringList& into, TSection& section) {
  for (int32_t i = 0; i < from.Count(); ++i) {
    const std::string& e = from.TextAt(i);
    if (into.IndexOf(e) == -1) section.Append("   " + e);
  }
}

}  // namespace

std::string FieldDescriptor(const TField& field) {
  return AsciiUpper(field.FieldName() + " " + FieldTypeName(field.DataType()) + "(" +
                    std::to_string(field.Size()) + ")");
}

void DescrieCampuri(TStringList& list, const TADOTable& table) {
  const TFields& fields = table.Fields();
  for (size_t f = 0; f < fields.size(); ++f) {
    ReportProgress(f, fields.size());
    list.Add(FieldDescriptor(*fields[f]));
  }
}

void CompareStructure(const TADOTable& at, const TADOTable& at2, const TShowInfoBox& showInfoBox,
                      ILineSink& memo) {
  if (!at.Active()) {
    showInfoBox("Nu ai deschis primul DBF");
    return;
  }
  if (!at2.Active()) {
    showInfoBox("Nu ai deschis al doilea DBF");
    return;
  }
  memo.Clear();
  TStringList list1;
  TStringList list2;
  DescrieCampuri(list1, at);
  DescrieCampuri(list2, at2);

  TSection onlyIn1(memo, "Urmatoarele campuri apar in DBF1 si NU apar in DBF2");
  AppendMissing(list1, list2, onlyIn1);
  TSection onlyIn2(memo, "Urmatoarele campuri apar in DBF2 si NU apar in DBF1");
  AppendMissing(list2, list1, onlyIn2);

  TSection inBoth(memo, "Urmatoarele campuri apar in ambele baze de date");
  int32_t common = 0;
  for (int32_t i = 0; i < list2.Count(); ++i) {
    const std::string& e = list2.TextAt(i);
    if (list1.IndexOf(e) != -1) {
      inBoth.Append("   " + e);
      ++common;
    }
  }

  // Only when every column of DBF1 is in DBF2; the order is compared byte for
  // byte, so names that the collation holds equal still count as moved.
  if (list1.Count() != common) return;
  TSection outOfOrder(memo, "Urmatoarele campuri apar ordonate aiurea");
  for (int32_t i = 0; i < list1.Count(); ++i) {
    const std::string& a = list1.TextAt(i);
    const std::string& b = list2.TextAt(i);
    if (a != b) outOfOrder.Append("   DBF1=" + a + "   <-->   DBF2=" + b);
  }
}

}  // namespace lumbra
