// What a grid cell shows and gives: text cut with a visible mark, numbers
// never cut into other numbers, tooltips with the whole text, the read-only
// in-place editor and copying.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLineEdit>
#include <QTest>
#include <QToolTip>
#include <memory>

#include "app/grid_view.h"
#include "tests/app/grid_test_tables.h"

namespace lumbra {
namespace {

using testing::GridFont;
using testing::TGridTables;

const QString kEllipsis(QChar(0x2026));

TEST(FittedCellTextTest, CutsTextAtItsEndAndNumbersOnlyInTheirFraction) {
  const QFontMetrics metrics(GridFont());
  const auto width = [&](const QString& text) { return metrics.horizontalAdvance(text); };
  EXPECT_EQ(FittedCellText(metrics, "147259.9051", width("147259.9051"), true), "147259.9051");

  const QString cut = FittedCellText(metrics, "-748558.6394", width("-748558.6" + kEllipsis), true);
  EXPECT_TRUE(cut.startsWith("-748558.")) << cut.toStdString();
  EXPECT_TRUE(cut.endsWith(kEllipsis)) << cut.toStdString();

  const QString whole = FittedCellText(metrics, "147259.9051", width("147259") + 1, true);
  EXPECT_EQ(whole, "#" + QString(whole.size() - 1, '#')) << "no room for the whole part";
  EXPECT_FALSE(FittedCellText(metrics, "-1234567", width("-12345"), true).contains('5'));
  EXPECT_EQ(FittedCellText(metrics, "1.5E+300", width("1.5E+3"), true).count('#'),
            FittedCellText(metrics, "1.5E+300", width("1.5E+3"), true).size())
      << "an exponent is never cut";
  EXPECT_EQ(FittedCellText(metrics, "5", 0, true), "#") << "at least the mark";

  const QString text = FittedCellText(metrics, "Cluj-Napoca", width("Cluj-Na"), false);
  EXPECT_TRUE(text.startsWith("Cluj")) << text.toStdString();
  EXPECT_TRUE(text.endsWith(kEllipsis));
}

class GridCellsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::TTableShape spec;
    spec.Fields = {{"SUMA", 'N', 12, 4}, {"NUME", 'C', 40}, {"OBS", 'M', 10}};
    spec.Rows = {{test::Dbl(-748558.6394), test::Text("Ana"), test::Memo("scurt")},
                 {test::Dbl(147259.9051), test::Text("Ion"), test::Memo(std::string(600, 'x'))}};
    View = std::make_unique<TGridView>(Slots.DataSource1, [](std::exception_ptr) {});
    View->setFont(GridFont());
    View->resize(600, 300);
    TGridView* view = View.get();
    Slots.DataSource1.OnStateChange = [view] { view->Reset(); };
    Slots.AT.OnStateChange = [view] { view->Reset(); };
    View->show();
    Slots.DeschideDbf1(Tables.Write("t", spec));
    View->setFocus();
  }
  void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    // Offscreen, no window is active: the keys go where the focus would be.
    QWidget* target = View->Editor()->isVisible() ? static_cast<QWidget*>(View->Editor())
                                                  : static_cast<QWidget*>(View.get());
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
  }
  QString Tip(int row, int column) {
    return View->Model().data(View->Model().index(row, column), Qt::ToolTipRole).toString();
  }

  TGridTables Tables;
  TTableSlots& Slots = Tables.Slots;
  std::unique_ptr<TGridView> View;
};

TEST_F(GridCellsTest, TooltipsHoldTheWholeTextAndTheStartOfAMemo) {
  EXPECT_EQ(Tip(0, 0), "-748558.6394");
  EXPECT_EQ(Tip(0, 1), QString("Ana").leftJustified(40)) << "trailing blanks and all";
  EXPECT_EQ(Tip(0, 2), "scurt");
  EXPECT_EQ(View->Model().data(View->Model().index(0, 2)).toString(), "(MEMO)")
      << "the cell keeps its placeholder";
  EXPECT_EQ(Tip(1, 2), QString(TGridModel::kTipBytes, 'x') + "...");
  EXPECT_EQ(Slots.AT.RecNo(), 1) << "reading a tip moves no record";

  QHelpEvent help(QEvent::ToolTip, View->CellRect(1, 0).center(),
                  View->viewport()->mapToGlobal(View->CellRect(1, 0).center()));
  QApplication::sendEvent(View->viewport(), &help);
  EXPECT_EQ(QToolTip::text(), "147259.9051");
}

TEST_F(GridCellsTest, EditorShowsTheCellTextReadOnlyAndClosesOnEscapeOrLeaving) {
  QLineEdit* editor = View->Editor();
  Press(Qt::Key_Right);
  Press(Qt::Key_F2);
  ASSERT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->objectName(), "InplaceEditor");
  const QString ana = QString("Ana").leftJustified(40);
  EXPECT_EQ(editor->text(), ana);
  EXPECT_EQ(editor->selectedText(), ana) << "selected, ready to copy";
  EXPECT_EQ(editor->geometry(), View->CellRect(0, 1));
  QTest::keyClicks(editor, "Maria");
  Press(Qt::Key_Backspace);
  EXPECT_EQ(editor->text(), ana) << "never changes a value";
  Press(Qt::Key_Escape);
  EXPECT_FALSE(editor->isVisible());

  Press(Qt::Key_Return);
  ASSERT_TRUE(editor->isVisible());
  Press(Qt::Key_Down);
  EXPECT_FALSE(editor->isVisible()) << "leaving the cell closes it";
  EXPECT_EQ(View->Model().CurrentRow(), 1);

  QTest::mouseDClick(View->viewport(), Qt::LeftButton, Qt::NoModifier,
                     View->CellRect(0, 0).center());
  ASSERT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->text(), "-748558.6394");
  EXPECT_EQ(View->Model().CurrentRow(), 0);
  View->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(View.get()));
  editor->setFocus();
  View->setFocus();
  EXPECT_FALSE(editor->isVisible()) << "closed when it loses the focus";
}

TEST_F(GridCellsTest, CtrlCCopiesTheCurrentCellsText) {
  Press(Qt::Key_Down);
  Press(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "147259.9051");
}

}  // namespace
}  // namespace lumbra
