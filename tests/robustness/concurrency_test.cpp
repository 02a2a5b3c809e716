// Another program changing a table while a slot has it open: truncating it,
// replacing it, rewriting it in place, cutting its memo file short, deleting
// it. Reads of what is gone fail with an error naming the file, what is left
// still shows, nothing crashes, and opening the file again shows its new state.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/exception.h"
#include "dbf/dbf_error.h"
#include "fields/grid_model.h"
#include "tables/slots.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/no_slot_view.h"
#include "tests/support/test_files.h"

namespace lumbra::test {
namespace {

namespace fs = std::filesystem;

class TUnitFont : public IFontMetrics {
 public:
  int TextWidth(std::string_view text) const override { return static_cast<int>(text.size()); }
  int TextHeight(std::string_view) const override { return 1; }
};

// NAME C(200) holding "r<n>", N N(6) holding n, for records 1..count. The
// engine holds the records it read last; the tables below hold 20,000 such
// records (4 MB), so after the walk that counts them a record in their
// middle is no longer in memory and is read from the file again.
TTableShape Numbered(int count) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"NAME", 'C', 200}, {"N", 'N', 6}};
  for (int i = 1; i <= count; ++i)
    spec.Rows.push_back({Text("r" + std::to_string(i)), Int(i)});
  return spec;
}
constexpr uint64_t kHeader = 32 + 2 * 32 + 1;
constexpr uint64_t kRecord = 1 + 200 + 6;

class ChangedOnDisk : public ::testing::Test {
 protected:
  ChangedOnDisk() : FGrid(FSlots.DataSource1, FFont, FFont) {}

  std::string Write(const std::string& name, const TTableShape& spec) {
    return WriteTable(FFolder.Path(), name, spec).string();
  }
  void Open(const std::string& path) {
    FSlots.DeschideDbf1(path);
    FGrid.LayOut();
  }
  // A cell's display text as the grid shows it, or the error reading it raised.
  std::string Cell(int32_t row, size_t column) {
    try {
      return FGrid.CellText(row, column);
    } catch (const Exception& e) {
      return std::string(e.ClassName()) + ": " + e.Message();
    }
  }

  TTempFolder FFolder;
  TNoSlotView FView;
  TRegionalSettings FSettings;
  TTableSlots FSlots{FView, FSettings};
  TUnitFont FFont;
  TGridModel FGrid;
};

TEST_F(ChangedOnDisk, TruncatedTableFailsReadsOfTheLostRecordsOnly) {
  const std::string path = Write("t", Numbered(20000));
  Open(path);
  EXPECT_EQ(FGrid.RowCount(), 20000);
  EXPECT_EQ(Cell(0, 1), "1");
  fs::resize_file(path, kHeader + 10 * kRecord);

  const std::string lost = Cell(5000, 1);
  EXPECT_EQ(lost.rfind("EDbfError: File '" + path + "' is shorter than expected", 0), 0u) << lost;
  EXPECT_NE(lost.find("(was it truncated?)"), std::string::npos) << lost;
  EXPECT_EQ(Cell(5000, 1), lost) << "the same error every time, never a crash";
  EXPECT_EQ(Cell(9, 1), "10") << "what is left still shows";
  EXPECT_EQ(FSlots.AT.RecNo(), 1) << "the failed read moved nothing";
  EXPECT_EQ(FSlots.AT.Fields()[0]->AsString().substr(0, 2), "r1");

  Open(path);
  EXPECT_EQ(FGrid.RowCount(), 10);
  EXPECT_EQ(Cell(9, 1), "10");
}

TEST_F(ChangedOnDisk, FilterAndSortOverATruncatedTableFailOnceAndReopenItPlain) {
  const std::string path = Write("t", Numbered(20000));
  Open(path);
  fs::resize_file(path, kHeader + 10 * kRecord);
  std::vector<std::string> shown;
  FSlots.Filtreaza("N > 5", [&shown](const Exception& e) { shown.push_back(e.Message()); });
  // The open again, unfiltered, reads the file as it is now.
  ASSERT_EQ(shown.size(), 0u) << shown[0];
  FGrid.LayOut();
  EXPECT_EQ(FGrid.RowCount(), 5);

  fs::resize_file(path, 0);
  shown.clear();
  EXPECT_THROW(
      FSlots.Filtreaza("N > 5", [&shown](const Exception& e) { shown.push_back(e.Message()); }),
      EDbfError);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Table '" + path + "': not a table: the file is empty");
  EXPECT_FALSE(FSlots.AT.Active());
  try {
    FSlots.SorteazaDupa("NAME");
    ADD_FAILURE() << "an empty file sorted";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "Table '" + path + "': not a table: the file is empty");
  }

  WriteFile(path, BuildTableBytes(Numbered(4)).Table);
  Open(path);
  EXPECT_EQ(FGrid.RowCount(), 4);
}

TEST_F(ChangedOnDisk, ReplacedTableKeepsShowingTheOpenFileUntilReopened) {
  const std::string path = Write("t", Numbered(20000));
  Open(path);
  TTableShape other;
  other.Version = 0x30;
  other.Fields = {{"CITY", 'C', 10}, {"ZIP", 'N', 6}, {"NOTE", 'M', 4}};
  other.Rows = {{Text("Cluj"), Int(400000), Memo("new")}};
  // Writers save to a new file and rename it over the old one.
  const fs::path fresh = WriteTable(FFolder.Path(), "fresh", other);
  fs::rename(fresh, path);
  fs::rename(FFolder.Path() / "fresh.fpt", FFolder.Path() / "t.fpt");

  EXPECT_EQ(Cell(19999, 1), "20000") << "the open file is the old one";
  Open(path);
  EXPECT_EQ(FGrid.RowCount(), 1);
  ASSERT_EQ(FGrid.Columns().size(), 3u);
  EXPECT_EQ(Cell(0, 0), "Cluj      ");
  EXPECT_EQ(Cell(0, 2), "(MEMO)");
  EXPECT_EQ(FSlots.AT.Fields()[2]->AsString(), "new");
}

TEST_F(ChangedOnDisk, TableRewrittenInPlaceShowsItsBytesAndItsOpenCount) {
  const std::string path = Write("t", Numbered(20000));
  Open(path);
  EXPECT_EQ(Cell(19999, 1), "20000");
  // Another program appends records and raises the count in the header.
  const std::string bigger = BuildTableBytes(Numbered(20500)).Table;
  {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.write(bigger.data(), static_cast<std::streamsize>(bigger.size()));
    ASSERT_TRUE(file.flush());
  }
  EXPECT_EQ(FGrid.RowCount(), 20000) << "the count is the one read at the open";
  EXPECT_EQ(Cell(5000, 1), "5001");
  Open(path);
  EXPECT_EQ(FGrid.RowCount(), 20500);
  EXPECT_EQ(Cell(20499, 1), "20500");
}

TEST_F(ChangedOnDisk, CutMemoFileGivesNullMemosNotCrashes) {
  TTableShape spec;
  spec.Version = 0x30;
  spec.Fields = {{"ID", 'I', 4}, {"NOTE", 'M', 4}};
  for (int i = 1; i <= 400; ++i)
    spec.Rows.push_back({Int(i), Memo(std::string(300, static_cast<char>('a' + i % 26)))});
  const std::string path = Write("m", spec);
  Open(path);
  FSlots.AT.First();
  EXPECT_EQ(FSlots.AT.Fields()[1]->AsString(), std::string(300, 'b'));
  fs::resize_file(FFolder.Path() / "m.fpt", 512);  // the header alone

  // Each later memo reads as it was (still held in memory) or as Null.
  for (FSlots.AT.First(); !FSlots.AT.Eof(); FSlots.AT.Next()) {
    const int id = std::stoi(FSlots.AT.Fields()[0]->AsString());
    const std::string text = FSlots.AT.Fields()[1]->AsString();
    if (!text.empty()) {
      EXPECT_EQ(text, std::string(300, static_cast<char>('a' + id % 26))) << id;
    }
  }
  FSlots.AT.Last();
  EXPECT_EQ(FSlots.AT.Fields()[1]->AsString(), "") << "far past what is left of the file";
  Open(path);
  FSlots.AT.Last();
  EXPECT_TRUE(FSlots.AT.Fields()[1]->IsNull());
  EXPECT_EQ(FSlots.AT.Fields()[1]->DisplayText(), "(Memo)");
}

TEST_F(ChangedOnDisk, DeletedTableReadsOnUntilReopenedAndThenIsNamedMissing) {
  const std::string path = Write("t", Numbered(20000));
  Open(path);
  fs::remove(path);
  EXPECT_EQ(Cell(19999, 1), "20000") << "the open file lives on until it is closed";
  try {
    Open(path);
    ADD_FAILURE() << "a deleted table opened";
  } catch (const EDbfError& e) {
    EXPECT_NE(e.Message().find("t.dbf"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(FSlots.AT.Active());
  FGrid.LayOut();
  EXPECT_EQ(FGrid.RowCount(), 1) << "one blank row";
  EXPECT_EQ(Cell(0, 0), "");
}

}  // namespace
}  // namespace lumbra::test
