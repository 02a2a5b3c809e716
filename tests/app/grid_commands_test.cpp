// The window's grids and the commands that change what they show or write
// into the report memo: filter, sort, the two reports and emptying, each run
// by its own button or menu item, and a grid's read errors in the error box.
#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <memory>

#include "app/lumbra_main.h"
#include "app/memo_sink.h"
#include "dbf/dbf_error.h"
#include "dbf/pack_io.h"
#include "tests/app/grid_test_tables.h"
#include "tests/app/gui_fakes.h"
#include "tests/winutil/fake_desktop.h"

namespace lumbra {
namespace {

using testing::TextTable;
using testing::TRecordingUi;
using testing::TShownBox;

class GridCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TStartUpInfo startUp;
    startUp.Desktop = testing::FakeDesktop({{{0, 0, 1920, 1200}, {0, 0, 1920, 1160}}});
    Window = std::make_unique<TLumbraMain>(Application, Settings, startUp);
  }

  std::string Write(const std::string& name, const test::TTableShape& spec) {
    return test::WriteTable(Folder.Path(), name, spec).string();
  }
  TGridTableModel& Grid1() { return Window->RzDBGrid1->Model(); }
  QString Cell(TGridTableModel& model, int row, int column) {
    return model.data(model.index(row, column)).toString().trimmed();
  }
  QStringList MemoLines() {
    QStringList lines = Window->Memo1->toPlainText().split('\n');
    lines.removeLast();  // the caret's empty line after the last one written
    return lines;
  }

  TRecordingUi Ui;
  TApplication Application{"/usr/bin/lumbra", Ui};
  TRegionalSettings Settings;
  test::TTempFolder Folder;
  std::unique_ptr<TLumbraMain> Window;
  TTableSlots& Slots() { return Window->Slots(); }
};

TEST_F(GridCommandsTest, ShowsEachSlotInItsOwnGrid) {
  EXPECT_EQ(Window->RzDBGrid1->objectName(), "RzDBGrid1");
  EXPECT_EQ(Window->RzDBGrid1->frameShape(), QFrame::NoFrame);
  Slots().DeschideDbf1(Write("unu", TextTable(2, 5)));
  Slots().DeschideDbf2(Write("doi", TextTable(4, 3)));
  EXPECT_EQ(Grid1().columnCount(), 2);
  EXPECT_EQ(Grid1().rowCount(), 5);
  EXPECT_EQ(Window->RzDBGrid2->Model().columnCount(), 4);
  EXPECT_EQ(Cell(Window->RzDBGrid2->Model(), 2, 3), "r3c4");
  Slots().DataSource1.SetEnabled(false);
  EXPECT_EQ(Grid1().columnCount(), 1) << "blank while its data source is off";
  EXPECT_EQ(Window->RzDBGrid2->Model().columnCount(), 4) << "the other grid is not touched";
}

TEST_F(GridCommandsTest, FiltreazaShowsTheRecordsLeftOnAFivePositionBar) {
  Slots().DeschideDbf1(Write("t", TextTable(2, 50)));
  QScrollBar* bar = Window->RzDBGrid1->verticalScrollBar();
  EXPECT_EQ(bar->maximum(), 50);
  Window->Edit1->setText("C1 = 'r7c1' OR C1 = 'r9c1'");
  Window->Button1->click();
  EXPECT_EQ(Grid1().rowCount(), 2);
  EXPECT_EQ(Cell(Grid1(), 1, 0), "r9c1");
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 4);
  EXPECT_TRUE(Ui.Boxes.empty());

  Window->Edit1->setText("C1 =");
  Window->Button1->click();
  ASSERT_EQ(Ui.Boxes.size(), 1u);
  EXPECT_EQ(Ui.Boxes[0].Kind, "error");
  EXPECT_EQ(Grid1().rowCount(), 50) << "the table is back unfiltered";
  EXPECT_EQ(bar->maximum(), 50);
}

TEST_F(GridCommandsTest, SortByShowsTheSortedOrderOrABlankGridWhenRefused) {
  Slots().DeschideDbf1(Write("t", TextTable(2, 5)));
  Window->Edit2->setText("C2 DESC");
  Window->Button2->click();
  EXPECT_EQ(Cell(Grid1(), 0, 1), "r5c2");
  EXPECT_EQ(Slots().AT.RecNo(), 1) << "on the first record";

  Window->Edit2->setText("NU");
  Window->Button2->click();
  ASSERT_EQ(Ui.Boxes.size(), 1u);
  EXPECT_EQ(Ui.Boxes[0].Kind, "error");
  EXPECT_TRUE(Ui.Boxes[0].Text.contains("'NU'")) << Ui.Boxes[0];
  EXPECT_FALSE(Slots().AT.Active());
  EXPECT_EQ(Grid1().columnCount(), 1);
  EXPECT_EQ(Cell(Grid1(), 0, 0), "");
}

TEST_F(GridCommandsTest, ComparaStructuraWritesTheOrderTheGridsShow) {
  const std::string path = Write("t", TextTable(2, 3));
  Window->Button3->click();
  EXPECT_EQ(Ui.Boxes, (std::vector<TShownBox>{{"info", "lumbra", "Nu ai deschis primul DBF"}}));
  Slots().DeschideDbf1(path);
  Slots().DeschideDbf2(path);
  Grid1().MoveColumn(1, 0);
  Window->Button3->click();
  EXPECT_EQ(
      MemoLines(),
      (QStringList{" ", "Urmatoarele campuri apar in ambele baze de date", "   C1 FTFIXEDCHAR(10)",
                   "   C2 FTFIXEDCHAR(10)", " ", "Urmatoarele campuri apar ordonate aiurea",
                   "   DBF1=C2 FTFIXEDCHAR(10)   <-->   DBF2=C1 FTFIXEDCHAR(10)",
                   "   DBF1=C1 FTFIXEDCHAR(10)   <-->   DBF2=C2 FTFIXEDCHAR(10)"}));
}

TEST_F(GridCommandsTest, AnalizaDistinctReplacesTheMemoAndLeavesTheArrowOnTheLastRow) {
  Window->Analizadistinctpercoloane1->trigger();
  EXPECT_EQ(Ui.Boxes, (std::vector<TShownBox>{{"info", "lumbra", "Va rog deschideti un DBF"}}));
  test::TTableShape spec;
  spec.Fields = {{"ORAS", 'C', 8}};
  spec.Rows = {{test::Text("Cluj")}, {test::Text("Turda")}, {test::Text("cluj")}};
  Slots().DeschideDbf1(Write("orase", spec));
  Window->Memo1->setPlainText("what was there");
  Window->Analizadistinctpercoloane1->trigger();
  EXPECT_EQ(MemoLines(),
            (QStringList{"Analizez: ORAS", "------------------------------------",
                         "  Total linii = 3", "  Linii distincte = 2", "  [Cluj    ] = 2"}));
  EXPECT_TRUE(Window->Memo1->updatesEnabled());
  EXPECT_TRUE(Slots().DataSource1.Enabled());
  EXPECT_EQ(Grid1().CurrentRow(), 2);
}

TEST_F(GridCommandsTest, GolesteBazaLeavesTheColumnsOverOneBlankRow) {
  Window->RzBitBtn1->click();
  EXPECT_EQ(
      Ui.Boxes,
      (std::vector<TShownBox>{
          {"error", "lumbra", "Deschide tabele si abia apoi lanseaza comanda \"Goleste Baza\""}}));
  Slots().DeschideDbf1(Write("t", TextTable(2, 4)));
  Window->RzBitBtn1->click();
  EXPECT_EQ(Ui.Boxes.size(), 1u);
  EXPECT_EQ(Slots().AT.RecordCount(), 0);
  EXPECT_EQ(Grid1().columnCount(), 2);
  EXPECT_EQ(Grid1().rowCount(), 1);
  EXPECT_EQ(Grid1().CurrentRow(), -1);
}

// The file system under the emptying, failing its second rename: PACK's
// first, after DELETE FROM put its table in place.
class TPackRenameFails : public PosixPackIo {
 public:
  void Rename(const std::string& from, const std::string& to) override {
    if (++FRenames == 2)
      throw EDbfError(TDbfErrorKind::Io, "Cannot rename '" + from + "': Input/output error");
    PosixPackIo::Rename(from, to);
  }

 private:
  int FRenames = 0;
};

TEST_F(GridCommandsTest, GolesteBazaSaysWhatAFailedPackLeftAndFinishesWhenPressedAgain) {
  TPackRenameFails io;
  Slots().Conn.Provider().SetFileSystem(&io);
  Slots().DeschideDbf1(Write("t", TextTable(2, 4)));
  Window->RzBitBtn1->click();
  ASSERT_EQ(Ui.Boxes.size(), 1u);
  const std::string text = Ui.Boxes[0].Text.toStdString();
  EXPECT_NE(text.find("every record is marked deleted"), std::string::npos) << text;
  EXPECT_NE(text.find("Emptying it again finishes the job"), std::string::npos) << text;
  EXPECT_EQ(text.find("nothing was changed"), std::string::npos) << text;
  Slots().DeschideDbf1(Slots().FFisierDbf1);
  EXPECT_EQ(Slots().AT.RecordCount(), 0);
  Window->RzBitBtn1->click();
  EXPECT_EQ(Ui.Boxes.size(), 1u);
  EXPECT_EQ(Slots().AT.RecordCount(), 0);
}

TEST_F(GridCommandsTest, ShowsAGridsReadErrorOnceUnderTheTitle) {
  const std::string path = Write("t", TextTable(1, 200000));
  Slots().DeschideDbf1(path);
  Window->resize(900, 500);
  Window->show();
  QCoreApplication::processEvents();
  std::filesystem::resize_file(path, 4096);
  // Far from the records read last, which may still be held in memory.
  QScrollBar* bar = Window->RzDBGrid1->verticalScrollBar();
  bar->setSliderPosition(100000);
  bar->triggerAction(QAbstractSlider::SliderMove);
  for (int i = 0; i < 3; ++i) {
    Window->RzDBGrid1->viewport()->repaint();
    QCoreApplication::processEvents();
  }
  ASSERT_EQ(Ui.Boxes.size(), 1u);
  EXPECT_EQ(Ui.Boxes[0].Kind, "error");
  EXPECT_EQ(Ui.Boxes[0].Caption, "t");
}

TEST(MemoLineSinkTest, WritesEveryLineEndedKeepingEmptyOnesAndBreaksAtCrLf) {
  QPlainTextEdit memo;
  TMemoLineSink sink(memo);
  sink.Append("");
  sink.Append("a\r\nb");
  EXPECT_EQ(memo.toPlainText(), "\na\nb\n");
  sink.Clear();
  EXPECT_EQ(memo.toPlainText(), "");

  memo.setPlainText("typed");
  sink.Append("x");
  EXPECT_EQ(memo.toPlainText(), "typed\nx\n") << "a line of its own";

  TStringList lines;
  lines.Add("1");
  lines.Add("");
  sink.Assign(lines);
  EXPECT_EQ(memo.toPlainText(), "1\n\n");
  EXPECT_TRUE(memo.updatesEnabled());

  TStringList many;
  QString expected;
  for (int i = 0; i < 3 * TMemoLineSink::kLinesPerBlock; ++i) {
    many.Add(std::to_string(i));
    expected += QString::number(i) + "\n";
  }
  sink.Assign(many);
  EXPECT_EQ(memo.toPlainText(), expected);
  EXPECT_LE(memo.document()->blockCount(), 4) << "a block for many lines";
  memo.selectAll();
  memo.copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), expected) << "copied with line feeds";
}

}  // namespace
}  // namespace lumbra
