// The grid on screen, headless: which rows it reads, how keys, the mouse and
// the scroll bar move the current record and column, how it follows the table,
// and where it paints text and the arrow.
#include "app/grid_view.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <memory>

#include "analysis/distinct_report.h"
#include "tests/app/grid_test_tables.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

using testing::GridFont;
using testing::TextTable;
using testing::TGridTables;
using testing::TWatchedLink;

class GridViewTest : public ::testing::Test {
 protected:
  // A shown grid over link, laid out again whenever slot 1 changes.
  std::unique_ptr<TGridView> ViewOf(IGridDataLink& link) {
    auto view = std::make_unique<TGridView>(link, [this](std::exception_ptr) { ++Errors; });
    view->setFont(GridFont());
    view->resize(600, 300);
    TGridView* shown = view.get();
    Slots.DataSource1.OnStateChange = [shown] { shown->Reset(); };
    Slots.AT.OnStateChange = [shown] { shown->Reset(); };
    view->show();
    return view;
  }
  std::unique_ptr<TGridView> Open(const test::TTableShape& spec) {
    auto view = ViewOf(Slots.DataSource1);
    Slots.DeschideDbf1(Tables.Write("t", spec));
    return view;
  }

  static void Press(TGridView& view, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(&view, static_cast<Qt::Key>(key), modifiers);
  }

  TGridTables Tables;
  TTableSlots& Slots = Tables.Slots;
  int Errors = 0;
};

TEST_F(GridViewTest, TitlesATableOfADatabaseWithTheNamesItsContainerKeeps) {
  const std::filesystem::path table = test::CorpusDir() / "xsharp/VfpTestData/customers.dbf";
  if (!std::filesystem::exists(table)) GTEST_SKIP() << "no corpus at " << test::CorpusDir();
  auto view = ViewOf(Slots.DataSource1);
  Slots.DeschideDbf1(table.string());
  EXPECT_EQ(view->Model().headerData(1, Qt::Horizontal).toString(), "companyname");
}

TEST_F(GridViewTest, ShowsTheIndicatorBesideThreeHundredDataColumns) {
  auto view = Open(TextTable(300, 3));
  EXPECT_EQ(view->Model().columnCount(), 300);
  EXPECT_EQ(view->Model().headerData(299, Qt::Horizontal).toString(), "C300");
  EXPECT_EQ(view->TitleRect(0).left(), TGridModel::kIndicatorWidth + 1) << "after the indicator";
  EXPECT_TRUE(view->TitleRect(299).isEmpty()) << "off screen at first";
  Press(*view, Qt::Key_End);
  EXPECT_EQ(view->CurrentColumn(), 299);
  const QRect last = view->TitleRect(299);
  ASSERT_FALSE(last.isEmpty());
  EXPECT_LE(last.right(), view->viewport()->width()) << "the last column shows whole";
  EXPECT_EQ(view->horizontalScrollBar()->value(), view->LeftColumn());
  QCoreApplication::processEvents();  // the scroll area shows its bars later
  EXPECT_TRUE(view->horizontalScrollBar()->isVisible());

  Slots.DeschideDbf1(Tables.Write("narrow", TextTable(3, 3)));
  EXPECT_EQ(view->LeftColumn(), 0);
  QCoreApplication::processEvents();
  EXPECT_FALSE(view->horizontalScrollBar()->isVisible()) << "every column fits";
}

TEST_F(GridViewTest, MovesTheCurrentRecordAndColumnWithTheKeys) {
  auto view = Open(TextTable(3, 100));
  const int page = view->VisibleRowCount();
  ASSERT_GT(page, 3);
  struct TStep {
    const char* Name;
    int Key;
    Qt::KeyboardModifiers Modifiers;
    int RecNo;
    int Column;
  };
  const TStep steps[] = {
      {"down", Qt::Key_Down, Qt::NoModifier, 2, 0},
      {"page down", Qt::Key_PageDown, Qt::NoModifier, 2 + page, 0},
      {"page up", Qt::Key_PageUp, Qt::NoModifier, 2, 0},
      {"up", Qt::Key_Up, Qt::NoModifier, 1, 0},
      {"up on the first record", Qt::Key_Up, Qt::NoModifier, 1, 0},
      {"right", Qt::Key_Right, Qt::NoModifier, 1, 1},
      {"end", Qt::Key_End, Qt::NoModifier, 1, 2},
      {"tab on the last column", Qt::Key_Tab, Qt::NoModifier, 2, 0},
      {"back tab on the first column", Qt::Key_Backtab, Qt::ShiftModifier, 1, 2},
      {"home", Qt::Key_Home, Qt::NoModifier, 1, 0},
      {"control end", Qt::Key_End, Qt::ControlModifier, 100, 0},
      {"down on the last record", Qt::Key_Down, Qt::NoModifier, 100, 0},
      {"insert", Qt::Key_Insert, Qt::NoModifier, 100, 0},
      {"control delete", Qt::Key_Delete, Qt::ControlModifier, 100, 0},
      {"control home", Qt::Key_Home, Qt::ControlModifier, 1, 0},
  };
  for (const TStep& step : steps) {
    Press(*view, step.Key, step.Modifiers);
    EXPECT_EQ(Slots.AT.RecNo(), step.RecNo) << step.Name;
    EXPECT_EQ(view->CurrentColumn(), step.Column) << step.Name;
    EXPECT_EQ(Slots.AT.RecordCount(), 100) << step.Name;
    const int row = step.RecNo - 1;
    EXPECT_TRUE(view->TopRow() <= row && row < view->TopRow() + page) << step.Name;
  }
  EXPECT_EQ(Errors, 0);
}

TEST_F(GridViewTest, MakesAClickedCellCurrent) {
  auto view = Open(TextTable(3, 100));
  Press(*view, Qt::Key_PageDown);
  const int row = view->TopRow() + 2;
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->CellRect(row, 2).center());
  EXPECT_EQ(Slots.AT.RecNo(), row + 1);
  EXPECT_EQ(view->CurrentColumn(), 2);
}

TEST_F(GridViewTest, FollowsTheTableToItsLastRecordAfterTheDistinctReport) {
  auto view = Open(TextTable(2, 100));
  struct TNoLines : ILineSink {
    void Clear() override {}
    void Append(const std::string&) override {}
    void Assign(const TStringList&) override {}
  } memo;
  AnalyzeDistinctPerColumn(
      Slots.AT, Slots.DataSource1, [](const std::string&) {}, memo);
  EXPECT_EQ(view->Model().CurrentRow(), 99);
  EXPECT_EQ(view->TopRow(), 100 - view->VisibleRowCount()) << "the arrow on the bottom row";
  view->grab();
  EXPECT_EQ(view->Model().CurrentRow(), 99) << "painting moves nothing";
}

TEST_F(GridViewTest, ReadsOnlyTheRowsOnScreen) {
  Slots.DeschideDbf1(Tables.Write("big", TextTable(2, 20000)));
  TWatchedLink link(Slots.DataSource1);
  auto view = ViewOf(link);
  view->Reset();
  view->grab();
  const int shown = view->VisibleRowCount() + 1;  // and the part of one below
  EXPECT_LE(link.RecordsVisited.size(), static_cast<size_t>(shown));
  link.RecordsVisited.clear();
  Press(*view, Qt::Key_End, Qt::ControlModifier);
  view->grab();
  EXPECT_LE(link.RecordsVisited.size(), static_cast<size_t>(shown + 1));
  EXPECT_GE(*link.RecordsVisited.begin(), 20000 - shown) << "nothing walked on the way";
}

TEST_F(GridViewTest, ScrollBarGivesTheRecordPositionsOfAnUnfilteredTable) {
  auto view = Open(TextTable(2, 100));
  QScrollBar* bar = view->verticalScrollBar();
  EXPECT_EQ(bar->minimum(), 1);
  EXPECT_EQ(bar->maximum(), 100) << "the record count and a page of visible rows";
  EXPECT_EQ(bar->pageStep(), view->VisibleRowCount());
  EXPECT_EQ(bar->value(), 1);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(Slots.AT.RecNo(), 2);
  bar->setSliderPosition(60);
  bar->triggerAction(QAbstractSlider::SliderMove);
  EXPECT_EQ(Slots.AT.RecNo(), 60);
  EXPECT_EQ(bar->value(), 60);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(Slots.AT.RecNo(), 60 + view->VisibleRowCount());
}

TEST_F(GridViewTest, ScrollBarHasFivePositionsUnderAFilter) {
  Slots.AT.Filtered = true;  // an empty filter keeps every record
  auto view = Open(TextTable(2, 100));
  QScrollBar* bar = view->verticalScrollBar();
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 4);
  EXPECT_EQ(bar->value(), 0) << "at the first record";
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(Slots.AT.RecNo(), 2);
  EXPECT_EQ(bar->value(), 2) << "anywhere between";
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(Slots.AT.RecNo(), 100);
  EXPECT_EQ(bar->value(), 4) << "at the end";

  // The thumb acts where it is let go: at 0 on the first record.
  bar->setSliderDown(true);
  bar->setSliderPosition(0);
  bar->setSliderDown(false);
  EXPECT_EQ(Slots.AT.RecNo(), 1);
  EXPECT_EQ(bar->value(), 0);
}

TEST_F(GridViewTest, DraggingATitleBorderResizesItsColumn) {
  auto view = Open(TextTable(3, 5));
  const int before = view->Model().ColumnWidth(0);
  const QPoint border(view->TitleRect(0).right() + 1, view->TitleRect(0).center().y());
  QTest::mousePress(view->viewport(), Qt::LeftButton, {}, border);
  QTest::mouseMove(view->viewport(), border + QPoint(30, 0));
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, border + QPoint(30, 0));
  EXPECT_EQ(view->Model().ColumnWidth(0), before + 30);
  EXPECT_EQ(view->Model().ColumnWidth(1), before);
}

TEST_F(GridViewTest, DraggingATitleMovesTheColumnAndItsField) {
  auto view = Open(TextTable(3, 5));
  const QPoint from = view->TitleRect(0).center();
  const QPoint to = view->TitleRect(2).center();
  QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
  QTest::mouseMove(view->viewport(), from + QPoint(10, 0));
  QTest::mouseMove(view->viewport(), to);
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
  EXPECT_EQ(view->Model().headerData(2, Qt::Horizontal).toString(), "C1");
  ASSERT_EQ(Slots.AT.Fields().size(), 3u);
  EXPECT_EQ(Slots.AT.Fields()[2]->FieldName(), "C1");
  EXPECT_EQ(Slots.AT.Fields()[0]->FieldName(), "C2");
}

// The leftmost and rightmost columns of rect holding a dark pixel; -1 for none.
std::pair<int, int> InkSpan(const QImage& image, const QRect& rect) {
  int first = -1, last = -1;
  for (int x = rect.left(); x <= rect.right(); ++x) {
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
      if (qGray(image.pixel(x, y)) < 128) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return {first, last};
}

TEST_F(GridViewTest, PaintsNumbersRightTextLeftAndTheArrowAtTheCurrentRecord) {
  test::TTableShape spec;
  spec.Fields = {{"SUMA", 'N', 12, 0}, {"NUME", 'C', 12}};
  spec.Rows = {{test::Int(7), test::Text("Ana")}, {test::Int(8), test::Text("Ion")}};
  auto view = Open(spec);
  Press(*view, Qt::Key_Down);
  const QImage image = view->viewport()->grab().toImage();

  const QRect number = view->CellRect(0, 0);
  const auto [numberLeft, numberRight] = InkSpan(image, number);
  EXPECT_GT(numberLeft, number.center().x()) << "right-aligned";
  EXPECT_GE(numberRight, number.right() - 4);
  EXPECT_LE(numberRight, number.right() - 2) << "a margin of 2 pixels";

  const QRect text = view->CellRect(0, 1);
  const auto [textLeft, textRight] = InkSpan(image, text);
  EXPECT_GE(textLeft, text.left() + 2) << "a margin of 2 pixels";
  EXPECT_LE(textLeft, text.left() + 4);
  EXPECT_LT(textRight, text.center().x()) << "left-aligned";

  auto indicator = [&](int row) {
    const QRect cell = view->CellRect(row, 0);
    return InkSpan(image, QRect(0, cell.top(), TGridModel::kIndicatorWidth, cell.height()));
  };
  EXPECT_EQ(indicator(0).first, -1) << "no arrow on other records";
  EXPECT_NE(indicator(1).first, -1) << "the arrow at the current record";
}

}  // namespace
}  // namespace lumbra
