// Long commands in the window: the busy cursor, the progress window and its
// "Renunta" button, and what each command leaves when it is stopped.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>

#include "app/lumbra_main.h"
#include "app/progress_window.h"
#include "tests/app/grid_test_tables.h"
#include "tests/app/gui_fakes.h"
#include "tests/support/test_files.h"
#include "tests/winutil/fake_desktop.h"

namespace lumbra {
namespace {

using testing::TextTable;
using testing::TRecordingUi;

std::optional<Qt::CursorShape> OverrideShape() {
  const QCursor* cursor = QApplication::overrideCursor();
  if (cursor == nullptr) return std::nullopt;
  return cursor->shape();
}

// Once the progress window is up, notes what it and the cursor show, then
// presses "Renunta".
struct TCancelWhenShown {
  QString Label;
  QString Button;
  std::optional<Qt::CursorShape> Cursor;
  bool Modal = false;

  void Arm() {
    QTimer::singleShot(0, [this] {
      QDialog* window = nullptr;
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "ProgressWindow" && widget->isVisible())
          window = static_cast<QDialog*>(widget);
      }
      if (window == nullptr) return;
      Label = window->findChild<QLabel*>("LabelComanda")->text();
      auto* button = window->findChild<QPushButton*>("ButtonRenunta");
      Button = button->text();
      Cursor = OverrideShape();
      Modal = window->isModal();
      button->click();
    });
  }
};

TEST(ProgressWindowTest, ShowsOnlyAfterItsDelayAndStopsEveryStepOnceCancelled) {
  ASSERT_FALSE(OverrideShape());
  {
    TProgressWindow progress(nullptr, "Sort by..", std::chrono::hours(1));
    EXPECT_EQ(OverrideShape(), Qt::WaitCursor) << "busy at once";
    bool served = false;
    QTimer::singleShot(0, [&served] { served = true; });
    progress.Step(1, 2);
    EXPECT_EQ(progress.Window(), nullptr) << "not before its delay";
    EXPECT_TRUE(served) << "but the events are served, so the window repaints";
  }
  EXPECT_FALSE(OverrideShape());

  TProgressWindow progress(nullptr, "Sort by..", std::chrono::milliseconds(0));
  TCancelWhenShown cancel;
  cancel.Arm();
  EXPECT_THROW(progress.Step(5, 10), EAbort);
  EXPECT_EQ(cancel.Label, "Se executa: Sort by..");
  EXPECT_EQ(cancel.Button, "Renunta");
  EXPECT_EQ(cancel.Cursor, Qt::BusyCursor);
  EXPECT_TRUE(cancel.Modal);
  EXPECT_THROW(progress.Step(6, 10), EAbort) << "and every step after";
}

class CancelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TStartUpInfo startUp;
    startUp.Desktop = testing::FakeDesktop({{{0, 0, 1920, 1200}, {0, 0, 1920, 1160}}});
    Window = std::make_unique<TLumbraMain>(Application, Settings, startUp);
    Window->ProgressDelay = std::chrono::milliseconds(0);
    // Enough records for the walks to report on the way.
    Path = test::WriteTable(Folder.Path(), "mare", TextTable(2, 20000)).string();
    Slots().DeschideDbf1(Path);
  }
  void TearDown() override {
    EXPECT_TRUE(Ui.Boxes.empty()) << "a stopped command shows no box";
    EXPECT_FALSE(OverrideShape()) << "the busy cursor is gone";
  }
  TTableSlots& Slots() { return Window->Slots(); }

  TRecordingUi Ui;
  TApplication Application{"/usr/bin/lumbra", Ui};
  TRegionalSettings Settings;
  test::TTempFolder Folder;
  std::unique_ptr<TLumbraMain> Window;
  std::string Path;
  TCancelWhenShown Cancel;
};

TEST_F(CancelTest, SortLeavesTheTableClosedWithItsSortList) {
  Window->Edit2->setText("C1 DESC");
  Cancel.Arm();
  Window->Button2->click();
  EXPECT_EQ(Cancel.Label, "Se executa: Sort by..");
  EXPECT_FALSE(Slots().AT.Active());
  EXPECT_EQ(Slots().AT.IndexFieldNames, "C1 DESC");
}

TEST_F(CancelTest, FilterFallsBackToTheWholeTable) {
  Window->Edit1->setText("C1 <> 'x'");
  Cancel.Arm();
  Window->Button1->click();
  EXPECT_EQ(Cancel.Label, "Se executa: Filtreaza");
  ASSERT_TRUE(Slots().AT.Active());
  EXPECT_FALSE(Slots().AT.Filtered);
  EXPECT_EQ(Slots().AT.RecordCount(), 20000);
}

TEST_F(CancelTest, DistinctReportKeepsTheMemoAndSwitchesTheGridOnAgain) {
  Window->Memo1->setPlainText("what was there");
  Cancel.Arm();
  Window->Analizadistinctpercoloane1->trigger();
  EXPECT_EQ(Cancel.Label, "Se executa: Analiza distinct per coloane");
  EXPECT_EQ(Window->Memo1->toPlainText(), "what was there");
  EXPECT_TRUE(Slots().DataSource1.Enabled());
  EXPECT_FALSE(Slots().AT.Eof()) << "where the walk stopped";
  EXPECT_GT(Slots().AT.RecNo(), 1);
  EXPECT_EQ(Window->RzDBGrid1->Model().columnCount(), 2);
}

TEST_F(CancelTest, OpeningUnderASortLeavesTheSlotClosed) {
  Slots().AT.IndexFieldNames = "C2";
  Cancel.Arm();
  Slots().DeschideDbf1(Path);  // as FormCreate and "Deschide" do, below
  EXPECT_TRUE(Slots().AT.Active()) << "no progress installed: not stopped";
  Ui.FileToChoose = QString::fromStdString(Path);
  Window->Deschide1->trigger();
  EXPECT_EQ(Cancel.Label, "Se executa: Deschide");
  EXPECT_FALSE(Slots().AT.Active());
}

TEST_F(CancelTest, StructureComparisonKeepsTheLinesWrittenSoFar) {
  Slots().DeschideDbf2(Path);
  Window->Memo1->setPlainText("what was there");
  Cancel.Arm();
  Window->Button3->click();
  EXPECT_EQ(Cancel.Label, "Se executa: Compara structura DBF-urilor deschise");
  EXPECT_EQ(Window->Memo1->toPlainText(), "") << "emptied first, then stopped";
}

// Stopped while DELETE FROM writes its copy, the emptying leaves every byte
// of the table as it was and no temporary file.
TEST_F(CancelTest, EmptyingLeavesTheTableAsItWas) {
  const std::string before = test::ReadFile(Path);
  Cancel.Arm();
  Window->RzBitBtn1->click();
  EXPECT_EQ(Cancel.Label, "Se executa: Goleste Baza");
  EXPECT_EQ(test::ReadFile(Path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder.Path()),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_TRUE(Slots().DataSource1.Enabled());
  EXPECT_FALSE(Slots().AT.Active());
}

}  // namespace
}  // namespace lumbra
