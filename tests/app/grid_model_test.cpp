// The grid's item model over tables the fixture builder wrote: columns, widths
// and texts, the blank states, moved columns, errors, and Qt's own model checks
// across everything a table goes through.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QFontMetrics>
#include <memory>

#include "analysis/structure_report.h"
#include "app/grid_table_model.h"
#include "tests/app/grid_test_tables.h"

namespace lumbra {
namespace {

using testing::GridFont;
using testing::TextTable;
using testing::TGridTables;
using testing::TWatchedLink;

class GridModelTest : public ::testing::Test {
 protected:
  // A model over link, laid out again at every change of the table or source.
  std::unique_ptr<TGridTableModel> ModelOf(TDataSource& dataSource) {
    auto model = ModelOver(dataSource);
    TGridTableModel* shown = model.get();
    dataSource.OnStateChange = [shown] { shown->Reset(); };
    dataSource.DataSet().OnStateChange = [shown] { shown->Reset(); };
    return model;
  }
  std::unique_ptr<TGridTableModel> ModelOver(IGridDataLink& link) {
    return std::make_unique<TGridTableModel>(link, GridFont(), GridFont(),
                                             [this](std::exception_ptr error) {
                                               try {
                                                 std::rethrow_exception(error);
                                               } catch (const std::exception& caught) {
                                                 Errors.push_back(caught.what());
                                               }
                                             });
  }

  static QStringList Titles(const TGridTableModel& model) {
    QStringList titles;
    for (int c = 0; c < model.columnCount(); ++c)
      titles << model.headerData(c, Qt::Horizontal).toString();
    return titles;
  }
  static QString Text(const TGridTableModel& model, int row, int column) {
    return model.data(model.index(row, column)).toString();
  }

  TGridTables Tables;
  TTableSlots& Slots = Tables.Slots;
  std::vector<std::string> Errors;
};

// Qt's checker watches the model while the table opens, moves, is resized and
// reordered, is switched off and on, and is replaced and closed.
QStringList gTesterComplaints;

TEST_F(GridModelTest, PassesQtsModelChecksThroughEveryChange) {
  auto model = ModelOf(Slots.DataSource1);
  gTesterComplaints.clear();
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtDebugMsg) gTesterComplaints << message;
      });
  {
    QAbstractItemModelTester tester(model.get(),
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    Slots.DeschideDbf1(Tables.Write("t1", TextTable(4, 30)));
    model->SetCurrentRow(17);
    model->SetColumnWidth(1, 120);
    model->MoveColumn(0, 3);
    model->MoveColumn(3, 1);
    Slots.DataSource1.SetEnabled(false);
    Slots.DataSource1.SetEnabled(true);
    Slots.DeschideDbf1(Tables.Write("t2", TextTable(2, 0)));
    Slots.AT.Close();
  }
  qInstallMessageHandler(previous);
  EXPECT_TRUE(gTesterComplaints.isEmpty()) << gTesterComplaints.join("\n").toStdString();
  EXPECT_TRUE(Errors.empty());
}

TEST_F(GridModelTest, GivesASizeOneStringColumnTheWiderOfItsTitleAndOneDigit) {
  const QFontMetrics metrics(GridFont());
  auto model = ModelOf(Slots.DataSource1);
  for (const char* name : {"W", "I"}) {
    test::TTableShape spec;
    spec.Fields.push_back({name, 'C', 1});
    Slots.DeschideDbf1(Tables.Write(name, spec));
    const int expected =
        std::max(metrics.horizontalAdvance(name), metrics.horizontalAdvance("0")) + 4;
    EXPECT_EQ(model->ColumnWidth(0), expected) << "size-1 string, one-letter name " << name;
  }
}

TEST_F(GridModelTest, DropsDraggedWidthsWhenTheSourceIsSwitchedOffAndOnOrTheTableReopened) {
  auto model = ModelOf(Slots.DataSource1);
  const std::string path = Tables.Write("t", TextTable(3, 5));
  Slots.DeschideDbf1(path);
  const int original = model->ColumnWidth(0);
  model->SetColumnWidth(0, original + 50);
  model->SetColumnWidth(2, 7);
  EXPECT_EQ(model->ColumnWidth(0), original + 50);

  Slots.DataSource1.SetEnabled(false);
  EXPECT_EQ(model->columnCount(), 1);
  EXPECT_EQ(model->ColumnWidth(0), TGridModel::kDefaultColumnWidth);
  Slots.DataSource1.SetEnabled(true);
  EXPECT_EQ(model->ColumnWidth(0), original);
  EXPECT_EQ(model->ColumnWidth(2), original);

  model->SetColumnWidth(1, 3);
  Slots.DeschideDbf1(path);
  EXPECT_EQ(model->ColumnWidth(1), original);
}

TEST_F(GridModelTest, ShowsPlaceholdersForMemosNotTheirText) {
  test::TTableShape spec;
  spec.Fields = {{"NOTE", 'M', 4, 0, test::kFlagNullable}};
  spec.Rows = {{test::Memo("the whole text")}, {test::Null()}};
  auto model = ModelOf(Slots.DataSource1);
  Slots.DeschideDbf1(Tables.Write("memos", spec));
  EXPECT_EQ(Text(*model, 0, 0), "(MEMO)");
  EXPECT_EQ(Text(*model, 1, 0), "(Memo)");
}

TEST_F(GridModelTest, AlignsTheNumericClassesRight) {
  test::TTableShape spec;
  spec.Fields = {{"NUM", 'N', 8, 2}, {"INTREG", 'I', 4}, {"DUBLU", 'B', 8}, {"BANI", 'Y', 8},
                 {"NUME", 'C', 5},   {"ZI", 'D', 8},     {"DA", 'L', 1},    {"NOTE", 'M', 4}};
  auto model = ModelOf(Slots.DataSource1);
  Slots.DeschideDbf1(Tables.Write("kinds", spec));
  const std::vector<bool> right = {true, true, true, true, false, false, false, false};
  for (int c = 0; c < model->columnCount(); ++c) {
    const auto alignment = model->data(model->index(0, c), Qt::TextAlignmentRole).toInt();
    EXPECT_EQ((alignment & Qt::AlignRight) != 0, right[static_cast<size_t>(c)])
        << model->headerData(c, Qt::Horizontal).toString().toStdString();
  }
}

TEST_F(GridModelTest, IsBlankWithNothingToShow) {
  auto model = ModelOf(Slots.DataSource1);
  auto expectBlank = [&](const char* state) {
    EXPECT_EQ(model->columnCount(), 1) << state;
    EXPECT_EQ(model->rowCount(), 1) << state;
    EXPECT_EQ(Titles(*model), QStringList{""}) << state;
    EXPECT_EQ(Text(*model, 0, 0), "") << state;
    EXPECT_EQ(model->ColumnWidth(0), 64) << state;
    EXPECT_EQ(model->CurrentRow(), -1) << state;
  };
  expectBlank("no table open");
  EXPECT_THROW(Slots.DeschideDbf1(Tables.Folder.Path().string() + "/missing.dbf"), Exception);
  expectBlank("after a failed open");
  Slots.DeschideDbf1(Tables.Write("t", TextTable(2, 3)));
  Slots.DataSource1.SetEnabled(false);
  expectBlank("data source off");
}

TEST_F(GridModelTest, ShowsTheColumnsOfATableWithoutRecordsOverOneBlankRow) {
  auto model = ModelOf(Slots.DataSource1);
  Slots.DeschideDbf1(Tables.Write("empty", TextTable(3, 0)));
  EXPECT_EQ(Titles(*model), (QStringList{"C1", "C2", "C3"}));
  EXPECT_EQ(model->rowCount(), 1);
  EXPECT_EQ(Text(*model, 0, 0), "");
  EXPECT_EQ(model->CurrentRow(), -1) << "no arrow";
}

// The structure report of the same file in both slots lists the positions
// whose descriptors differ, so it shows the order the fields stand in.
std::vector<std::string> OrderDifferences(TTableSlots& tableSlots) {
  TStringList first, second;
  DescrieCampuri(first, tableSlots.AT);
  DescrieCampuri(second, tableSlots.AT2);
  std::vector<std::string> lines;
  for (int32_t i = 0; i < first.Count(); ++i) {
    if (first.TextAt(i) != second.TextAt(i)) lines.push_back(first.TextAt(i));
  }
  return lines;
}

TEST_F(GridModelTest, MovesTheFieldWithItsColumnUntilTheTableIsReopened) {
  auto model = ModelOf(Slots.DataSource1);
  const std::string path = Tables.Write("t", TextTable(3, 2));
  Slots.DeschideDbf1(path);
  Slots.DeschideDbf2(path);
  model->MoveColumn(0, 2);
  EXPECT_EQ(Titles(*model), (QStringList{"C2", "C3", "C1"}));
  EXPECT_EQ(Text(*model, 0, 2), "r1c1      ") << "the texts move with their column";
  const std::vector<std::string> moved = {"C2 FTFIXEDCHAR(10)", "C3 FTFIXEDCHAR(10)",
                                          "C1 FTFIXEDCHAR(10)"};
  EXPECT_EQ(OrderDifferences(Slots), moved);

  Slots.DataSource1.SetEnabled(false);
  Slots.DataSource1.SetEnabled(true);
  EXPECT_EQ(Titles(*model), (QStringList{"C2", "C3", "C1"}));
  EXPECT_EQ(OrderDifferences(Slots), moved);

  Slots.DeschideDbf1(path);
  EXPECT_EQ(Titles(*model), (QStringList{"C1", "C2", "C3"}));
  EXPECT_TRUE(OrderDifferences(Slots).empty());
}

TEST_F(GridModelTest, ReportsAnUnreadableRowOnceAfterTheCurrentEvent) {
  Slots.DeschideDbf1(Tables.Write("t", TextTable(2, 10)));
  TWatchedLink link(Slots.DataSource1);
  link.FailingRecord = 4;
  auto model = ModelOver(link);
  for (int repaint = 0; repaint < 3; ++repaint) {
    EXPECT_EQ(Text(*model, 2, 0), "r3c1      ");
    EXPECT_EQ(Text(*model, 3, 0), "") << "the unreadable row shows blank";
  }
  EXPECT_TRUE(Errors.empty()) << "not inside the read";
  QCoreApplication::processEvents();
  EXPECT_EQ(Errors, std::vector<std::string>{"Record 4 cannot be read"});

  Text(*model, 3, 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(Errors.size(), 1u) << "once until the grid is laid out again";
  model->Reset();
  Text(*model, 3, 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(Errors.size(), 2u);
}

TEST_F(GridModelTest, RefusesAForwardOnlyTableAndStaysBlank) {
  Slots.DeschideDbf1(Tables.Write("t", TextTable(2, 10)));
  TWatchedLink link(Slots.DataSource1);
  link.Unidirectional = true;
  auto model = ModelOver(link);
  EXPECT_EQ(model->columnCount(), 1);
  EXPECT_EQ(model->rowCount(), 1);
  EXPECT_FALSE(model->Active());
  QCoreApplication::processEvents();
  EXPECT_EQ(Errors, std::vector<std::string>{"Operation not allowed on a unidirectional dataset"});
}

}  // namespace
}  // namespace lumbra
