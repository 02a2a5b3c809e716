// The maximising worker: its two polling phases, its deadline and what it does
// with the window, on a clock that moves only when slept on; and the Qt
// window handle it is given in the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <thread>

#include "base/exception.h"
#include "tests/winutil/fake_desktop.h"
#include "winutil/qt_desktop.h"
#include "winutil/win_util.h"

namespace lumbra {
namespace {

using testing::TFakeClock;
using testing::TFakeWindowHandle;

constexpr int64_t kDeadlineMs = (30 * 60 + 10) * 1000;

// Runs the worker's body to its end on its own thread and waits for it.
void RunWorker(const std::shared_ptr<TFakeClock>& clock,
               const std::shared_ptr<TFakeWindowHandle>& window, bool terminateFirst = false) {
  TCentreazaSiRedimensioneazaFormThread worker(clock);
  worker.FormHandle = window;
  if (terminateFirst) worker.Terminate();
  worker.Resume();
  worker.WaitFor();
}

size_t CountOf(const std::vector<uint32_t>& sleeps, uint32_t milliseconds) {
  return static_cast<size_t>(std::count(sleeps.begin(), sleeps.end(), milliseconds));
}

TEST(MaximisingWorker, PollsFastForTenSecondsThenEverySecondUntilTheWindowIsShown) {
  auto clock = std::make_shared<TFakeClock>();
  auto window = std::make_shared<TFakeWindowHandle>();
  // Shown 12 seconds after the worker started.
  window->Visible = [clock] { return clock->ElapsedMilliseconds() >= 12'000; };
  RunWorker(clock, window);

  const std::vector<uint32_t> sleeps = clock->Sleeps();
  // 1 ms polls up to and including the instant ten seconds in.
  EXPECT_EQ(CountOf(sleeps, 1), 10'001u);
  EXPECT_EQ(CountOf(sleeps, 1000), 2u);
  EXPECT_EQ(sleeps.size(), 10'003u);
  // Maximised on the first poll after it was shown.
  EXPECT_EQ(clock->ElapsedMilliseconds(), 12'001);
  EXPECT_EQ(window->MaximiseCount, 1);
}

TEST(MaximisingWorker, MaximisesAWindowAlreadyVisibleWithoutSleeping) {
  auto clock = std::make_shared<TFakeClock>();
  auto window = std::make_shared<TFakeWindowHandle>();
  window->Visible = [] { return true; };
  RunWorker(clock, window);
  EXPECT_TRUE(clock->Sleeps().empty());
  EXPECT_EQ(window->MaximiseCount, 1);
}

TEST(MaximisingWorker, GivesUpAtItsDeadlineWithoutMaximising) {
  auto clock = std::make_shared<TFakeClock>();
  auto window = std::make_shared<TFakeWindowHandle>();
  RunWorker(clock, window);
  EXPECT_EQ(window->MaximiseCount, 0);
  EXPECT_GE(clock->ElapsedMilliseconds(), kDeadlineMs);
  EXPECT_LT(clock->ElapsedMilliseconds(), kDeadlineMs + 1000);
}

TEST(MaximisingWorker, StopsOnATerminationRequest) {
  auto clock = std::make_shared<TFakeClock>();
  auto window = std::make_shared<TFakeWindowHandle>();
  window->Visible = [] { return true; };
  RunWorker(clock, window, /*terminateFirst=*/true);
  EXPECT_EQ(window->VisibilityChecks, 0);
  EXPECT_EQ(window->MaximiseCount, 0);
}

TEST(MaximisingWorker, SwallowsItsErrors) {
  auto clock = std::make_shared<TFakeClock>();
  auto window = std::make_shared<TFakeWindowHandle>();
  window->Visible = []() -> bool { throw Exception("the window is gone"); };
  RunWorker(clock, window);
  EXPECT_EQ(window->VisibilityChecks, 1);
  EXPECT_EQ(window->MaximiseCount, 0);
}

TEST(MaximisingWorker, FreesItselfWhenDone) {
  auto clock = std::make_shared<TFakeClock>();
  auto window = std::make_shared<TFakeWindowHandle>();
  window->Visible = [] { return true; };
  auto* worker = new TCentreazaSiRedimensioneazaFormThread(clock);
  worker->FreeOnTerminate = true;
  worker->FormHandle = window;
  worker->Resume();
  // The worker's own references go when it deletes itself.
  for (int i = 0; i < 2000 && (window.use_count() > 1 || clock.use_count() > 1); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(window->MaximiseCount, 1);
  EXPECT_EQ(window.use_count(), 1);
  EXPECT_EQ(clock.use_count(), 1);
}

// Lets Qt run until done() or a few seconds have passed.
template <typename Done>
bool ProcessEventsUntil(Done done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 5000) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return done();
}

TEST(QtWindowHandle, FollowsTheWidgetsVisibility) {
  QWidget widget;
  const std::shared_ptr<TQtWindowHandle> handle = TQtWindowHandle::For(widget);
  EXPECT_EQ(TQtWindowHandle::For(widget), handle) << "one handle per widget";
  EXPECT_FALSE(handle->IsWindowVisible());
  widget.show();
  EXPECT_TRUE(handle->IsWindowVisible());
  widget.hide();
  EXPECT_FALSE(handle->IsWindowVisible());
}

TEST(QtWindowHandle, OutlivesItsWidgetHarmlessly) {
  auto widget = std::make_unique<QWidget>();
  widget->show();
  const std::shared_ptr<TQtWindowHandle> handle = TQtWindowHandle::For(*widget);
  widget.reset();
  EXPECT_FALSE(handle->IsWindowVisible());
  handle->ShowMaximized();
  QApplication::processEvents();
}

TEST(QtWindowHandle, WorkerMaximisesAWindowShownAfterADelay) {
  QWidget widget;
  widget.resize(300, 200);
  auto clock = std::make_shared<TFakeClock>();
  // Each poll takes a real millisecond too, so the worker does not spin.
  clock->OnSleep = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  TQtForm form(widget);
  auto* worker = new TCentreazaSiRedimensioneazaFormThread(clock);
  worker->FreeOnTerminate = true;
  worker->FormHandle = form.Handle();
  worker->Resume();

  // Still hidden while the worker polls.
  ASSERT_TRUE(ProcessEventsUntil([&] { return clock->Sleeps().size() >= 20; }));
  EXPECT_FALSE(widget.isMaximized());
  widget.show();
  EXPECT_TRUE(ProcessEventsUntil([&] { return widget.isMaximized(); }));
}

}  // namespace
}  // namespace lumbra
