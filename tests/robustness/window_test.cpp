// The window outlives every error: a table cut short under it while it is
// painted, walked by the keyboard or counted by a report shows the error box
// once for the fault, not once per repaint, and the window goes on opening,
// filtering and reporting.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <memory>

#include "app/lumbra_main.h"
#include "tests/app/grid_test_tables.h"
#include "tests/app/gui_fakes.h"
#include "tests/winutil/fake_desktop.h"

namespace lumbra {
namespace {

using testing::TextTable;
using testing::TRecordingUi;

class WindowSurvives : public ::testing::Test {
 protected:
  void SetUp() override {
    TStartUpInfo startUp;
    startUp.Desktop = testing::FakeDesktop({{{0, 0, 1920, 1200}, {0, 0, 1920, 1160}}});
    Window = std::make_unique<TLumbraMain>(Application, Settings, startUp);
    Window->resize(900, 500);
    Window->show();
  }

  std::string Write(const std::string& name, const test::TTableShape& spec) {
    return test::WriteTable(Folder.Path(), name, spec).string();
  }
  // A shown table of many records, cut to its first 4 KB on disk. The engine
  // keeps some records in memory (the first few hundred, and the last ones a
  // count read); records beyond those are read from the file again.
  std::string OpenAndCut(int columns = 1, int rows = 200000) {
    const std::string path = Write("t", TextTable(columns, rows));
    Window->Slots().DeschideDbf1(path);
    Settle();
    std::filesystem::resize_file(path, 4096);
    return path;
  }
  // Lets the window paint a few times and run what was queued.
  void Settle() {
    for (int i = 0; i < 3; ++i) {
      Window->RzDBGrid1->viewport()->repaint();
      QCoreApplication::processEvents();
    }
  }
  size_t Errors() const {
    size_t count = 0;
    for (const auto& box : Ui.Boxes)
      count += box.Kind == "error" ? 1 : 0;
    return count;
  }
  // The window still opens a table, filters it and writes a report.
  void ExpectUsable() {
    const size_t boxes = Ui.Boxes.size();
    Ui.FileToChoose = QString::fromStdString(Write("good", TextTable(2, 30)));
    Window->Deschide1->trigger();
    Settle();
    EXPECT_EQ(Window->RzDBGrid1->Model().rowCount(), 30);
    Window->Edit1->setText("C1 = 'r7c1'");
    Window->Button1->click();
    Settle();
    EXPECT_EQ(Window->RzDBGrid1->Model().rowCount(), 1);
    Window->Analizadistinctpercoloane1->trigger();
    EXPECT_FALSE(Window->Memo1->toPlainText().isEmpty());
    EXPECT_EQ(Ui.Boxes.size(), boxes) << Ui.Boxes.back();
  }

  TRecordingUi Ui;
  TApplication Application{"/usr/bin/lumbra", Ui};
  TRegionalSettings Settings;
  test::TTempFolder Folder;
  std::unique_ptr<TLumbraMain> Window;
};

TEST_F(WindowSurvives, KeyboardWalkIntoTheLostRecordsShowsOneBox) {
  // Records of 201 bytes: the few hundred held in memory from the first
  // screen end well before the walk does.
  OpenAndCut(20, 20000);
  // From the first record, page by page past those held and those on disk.
  QTest::keyClick(Window->RzDBGrid1, Qt::Key_Home);
  for (int i = 0; i < 60; ++i) {
    QTest::keyClick(Window->RzDBGrid1, Qt::Key_PageDown);
    Settle();
  }
  EXPECT_EQ(Errors(), 1u);
  ExpectUsable();
}

TEST_F(WindowSurvives, DistinctReportOverACutTableShowsOneBox) {
  const std::string path = OpenAndCut();
  Window->Memo1->setPlainText("before");
  Window->Analizadistinctpercoloane1->trigger();
  Settle();
  ASSERT_EQ(Errors(), 1u);
  EXPECT_NE(Ui.Boxes.back().Text.indexOf(QString::fromStdString(path)), -1) << Ui.Boxes.back();
  EXPECT_EQ(Window->Memo1->toPlainText(), "before") << "a failed report writes nothing";
  EXPECT_TRUE(Window->Slots().DataSource1.Enabled());
  ExpectUsable();
}

TEST_F(WindowSurvives, ScrollingAndRepaintingAfterTheBoxShowNoMore) {
  OpenAndCut();
  QScrollBar* bar = Window->RzDBGrid1->verticalScrollBar();
  for (const int position : {100000, 150000, 50000, 199990}) {
    bar->setSliderPosition(position);
    bar->triggerAction(QAbstractSlider::SliderMove);
    Settle();
  }
  EXPECT_EQ(Errors(), 1u);
  Window->Button3->click();  // the structure report reads no records
  Settle();
  EXPECT_EQ(Errors(), 1u);
  ExpectUsable();
}

}  // namespace
}  // namespace lumbra
