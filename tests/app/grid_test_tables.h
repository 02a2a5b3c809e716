// What the grid tests open: tables written by the fixture builder into a
// temporary folder, held in the window's two slots.
#pragma once

#include <QFont>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/exception.h"
#include "fields/grid_model.h"
#include "fields/regional_settings.h"
#include "tables/slots.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/no_slot_view.h"
#include "tests/support/test_files.h"

namespace lumbra::testing {

using test::TNoSlotView;

// The window's font, in which both grids write.
inline QFont GridFont() {
  QFont font;
  font.setFamilies({"MS Sans Serif", "Liberation Sans"});
  font.setPixelSize(11);
  return font;
}

// A data source's link that notes the records it is moved to, and can fail
// on one of them or claim to be forward-only.
class TWatchedLink final : public IGridDataLink {
 public:
  explicit TWatchedLink(IGridDataLink& link) : FLink(link) {}

  std::set<int32_t> RecordsVisited;
  int32_t FailingRecord = 0;  // 0: none fails
  bool Unidirectional = false;

  bool LinkActive() const override { return FLink.LinkActive(); }
  const TFields& LinkFields() const override { return FLink.LinkFields(); }
  int32_t LinkRecordCount() override { return FLink.LinkRecordCount(); }
  int32_t LinkRecNo() const override { return FLink.LinkRecNo(); }
  void LinkSetRecNo(int32_t recNo) override {
    if (recNo == FailingRecord) {
      throw EDatabaseError("Record " + std::to_string(recNo) + " cannot be read");
    }
    RecordsVisited.insert(recNo);
    FLink.LinkSetRecNo(recNo);
  }
  bool LinkFiltered() const override { return FLink.LinkFiltered(); }
  void LinkMoveField(size_t from, size_t to) override { FLink.LinkMoveField(from, to); }
  bool LinkUnidirectional() const override { return Unidirectional; }

 private:
  IGridDataLink& FLink;
};

// A Visual FoxPro table of size-10 character columns named C1, C2, ... holding
// "r<row>c<column>", 1-based.
inline test::TTableShape TextTable(int columns, int rows) {
  test::TTableShape spec;
  for (int c = 1; c <= columns; ++c)
    spec.Fields.push_back({"C" + std::to_string(c), 'C', 10});
  for (int r = 1; r <= rows; ++r) {
    std::vector<test::TCell> row;
    for (int c = 1; c <= columns; ++c)
      row.push_back(test::Text("r" + std::to_string(r) + "c" + std::to_string(c)));
    spec.Rows.push_back(std::move(row));
  }
  return spec;
}

// The window's two slots over tables written into a folder of their own.
class TGridTables {
 public:
  TGridTables() : Slots(View, Settings) {}

  // Writes name.dbf from spec and returns its path.
  std::string Write(const std::string& name, const test::TTableShape& spec) {
    return test::WriteTable(Folder.Path(), name, spec).string();
  }

  TRegionalSettings Settings;
  test::TTempFolder Folder;
  TNoSlotView View;
  TTableSlots Slots;
};

}  // namespace lumbra::testing
