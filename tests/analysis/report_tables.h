// What the report tests run the reports on: a slot, opened from a table the
// fixture builder wrote, and a memo that remembers how its lines came.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/line_sink.h"
#include "fields/regional_settings.h"
#include "tables/data_access.h"

namespace lumbra::test {

// A table opened by name from a folder (code page 1250 for unmarked tables),
// and its data source, whose switches are counted.
class TSlot {
  // First, as the table refers to them.
  TRegionalSettings FSettings;
  TADOConnection FConnection{"Conn"};

 public:
  TSlot(const std::filesystem::path& folder, const std::string& name);
  TSlot();  // closed

  TADOTable AT;
  TDataSource DataSource1{AT};
  int StateChanges = 0;
};

// The memo as the reports see it: its lines, and how they came.
class TMemoLines : public ILineSink {
 public:
  void Clear() override;
  void Append(const std::string& text) override;
  void Assign(const TStringList& lines) override;

  std::vector<std::string> Lines;
  int Clears = 0;
  int Appends = 0;
  int Assigns = 0;
};

}  // namespace lumbra::test
