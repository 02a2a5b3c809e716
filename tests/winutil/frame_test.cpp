// Placement under a real window manager: the geometry the routines set is
// the frame's. Runs only on an X display (tests/winutil/run_under_wm starts
// one with a window manager); elsewhere it is skipped.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <memory>

#include "app/lumbra_main.h"
#include "tests/app/gui_fakes.h"
#include "winutil/qt_desktop.h"

namespace lumbra {
namespace {

using testing::TRecordingUi;

TEST(WindowFrameTest, PlacementSetsTheFramesGeometryOnTheScreenUnderAWindowManager) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X display";
  TRecordingUi ui;
  TApplication application("/usr/bin/lumbra", ui);
  const TRegionalSettings settings;
  TStartUpInfo startUp;
  startUp.Desktop = {std::make_shared<TQtMonitors>(), std::make_shared<TLocalClock>()};
  TLumbraMain window(application, settings, startUp);

  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect bounds = screen->geometry();
  const QRect work = screen->availableGeometry();
  const bool centred = bounds.height() >= 1200 && bounds.width() >= bounds.height();
  const QRect expected = centred ? QRect((work.width() - 976) / 2 + work.left(),
                                         (work.height() - 526) / 2 + work.top(), 976, 526)
                                 : work.adjusted(15, 15, -15, -15);

  window.show();
  if (!centred) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isMaximized(); }, 5000))
        << "the fill path maximises the window when shown";
    window.showNormal();
  }
  // The frame is the window manager's: wait until it has framed the window.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return window.windowHandle()->frameGeometry().size() != window.size(); }, 5000))
      << "a frame was drawn: state " << window.windowState() << ", frame "
      << window.windowHandle()->frameGeometry().width() << "x"
      << window.windowHandle()->frameGeometry().height() << " at "
      << window.windowHandle()->frameGeometry().x() << ","
      << window.windowHandle()->frameGeometry().y();
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return window.windowHandle()->frameGeometry() == expected; }, 5000))
      << "frame " << window.windowHandle()->frameGeometry().x() << ","
      << window.windowHandle()->frameGeometry().y() << " "
      << window.windowHandle()->frameGeometry().width() << "x"
      << window.windowHandle()->frameGeometry().height() << ", inside " << window.width() << "x"
      << window.height();
}

}  // namespace
}  // namespace lumbra
