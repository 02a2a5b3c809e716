#include "tests/analysis/report_tables.h"

#include "tables/slots.h"

namespace lumbra::test {

TSlot::TSlot() : AT("AT", FConnection, FSettings) {
  DataSource1.OnStateChange = [this] { ++StateChanges; };
}

TSlot::TSlot(const std::filesystem::path& folder, const std::string& name) : TSlot() {
  FConnection.SetConnectionString(NormalConnectionString(folder.string() + "/"));
  FConnection.Provider().Options().DefaultCodePage = 1250;
  AT.TableName = name;
  AT.Open();
}

void TMemoLines::Clear() {
  ++Clears;
  Lines.clear();
}

void TMemoLines::Append(const std::string& text) {
  ++Appends;
  Lines.push_back(text);
}

void TMemoLines::Assign(const TStringList& lines) {
  ++Assigns;
  Lines.clear();
  for (int32_t i = 0; i < lines.Count(); ++i)
    Lines.push_back(lines.TextAt(i));
}

}  // namespace lumbra::test
