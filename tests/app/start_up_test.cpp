// Start-up after the application object: what the user sees when the main
// window cannot be built, and the first show when it can.
#include "app/start_up.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "tests/app/gui_fakes.h"
#include "tests/winutil/fake_desktop.h"

namespace lumbra {
namespace {

using testing::TRecordingUi;
using testing::TShownBox;

TEST(StartUp, AnErrorWhileBuildingTheMainWindowEndsTheProgram) {
  TRecordingUi ui;
  TApplication application("/usr/bin/lumbra", ui);
  const int exitCode = RunLumbra(application, []() -> std::unique_ptr<TLumbraMain> {
    throw EDatabaseError("Provider cannot be found. It may not be properly installed");
  });
  EXPECT_EQ(exitCode, 1);
  EXPECT_EQ(ui.Boxes, (std::vector<TShownBox>{
                          {"error", "Application Error",
                           "Exception EDatabaseError in module lumbra at 0000000000000000.\r\n"
                           "Provider cannot be found. It may not be properly installed.\r\n"}}));
}

TEST(StartUp, ShowsTheMainWindowAndRunsUntilItIsClosed) {
  TRecordingUi ui;
  TApplication application("/usr/bin/lumbra", ui);
  const TRegionalSettings settings;
  TLumbraMain* built = nullptr;
  bool visibleInLoop = false;
  const int exitCode = RunLumbra(application, [&] {
    TStartUpInfo startUp;
    startUp.Desktop = testing::FakeDesktop({{{0, 0, 1920, 1200}, {0, 0, 1920, 1160}}});
    auto window = std::make_unique<TLumbraMain>(application, settings, startUp);
    built = window.get();
    QTimer::singleShot(0, [&] {
      visibleInLoop = built->isVisible();
      built->close();
    });
    return window;
  });
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(visibleInLoop);
  EXPECT_TRUE(ui.Boxes.empty());
}

}  // namespace
}  // namespace lumbra
