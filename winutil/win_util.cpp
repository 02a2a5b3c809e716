#include "winutil/win_util.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "base/date_time.h"
#include "base/exception.h"

namespace lumbra {

namespace {

constexpr double kMillisecondsPerDay = 86'400'000.0;

// The monitor under the cursor as the screen's list knows it. When the system
// names a monitor the list lacks (the layout changed between the two calls),
// both routines take the first monitor of the list.
TMonitorInfo MonitorUnderCursor(const IMonitors& monitors) {
  const TMonitorHandle underCursor = monitors.MonitorFromPoint(monitors.GetCursorPos());
  const std::vector<TMonitorHandle> list = monitors.Monitors();
  if (list.empty()) throw Exception("List index out of bounds (0)");
  const bool listed = std::find(list.begin(), list.end(), underCursor) != list.end();
  return monitors.GetMonitorInfo(listed ? underCursor : list.front());
}

}  // namespace

double TLocalClock::Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto millisecond =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const int64_t millisecondOfDay =
      ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * int64_t{1000} + millisecond;
  return EncodeDateTime(DaysSinceEpoch(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                        millisecondOfDay);
}

void TLocalClock::Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

double EncodeTime(int hours, int minutes, int seconds, int milliseconds) {
  return (((hours * 60 + minutes) * 60 + seconds) * 1000 + milliseconds) / kMillisecondsPerDay;
}

void CentreazaSiRedimensioneazaForm(IForm& form, const TDesktop& desktop) {
  const TMonitorInfo monitor = MonitorUnderCursor(*desktop.Monitors);
  // The test is on the whole monitor, not its work area.
  if (monitor.Monitor.Height() >= 1200 && monitor.Monitor.Width() >= monitor.Monitor.Height()) {
    CentreazaForm(form, false, desktop);
    return;
  }
  const TRect& work = monitor.Work;
  form.SetWidth(work.Width() - 30);
  form.SetHeight(work.Height() - 30);
  form.SetLeft(work.Left + 15);
  form.SetTop(work.Top + 15);

  auto worker = std::make_unique<TCentreazaSiRedimensioneazaFormThread>(desktop.Clock);
  worker->FreeOnTerminate = true;
  worker->FormHandle = form.Handle();
  worker.release()->Resume();

  CentreazaForm(form, false, desktop);
}

void CentreazaForm(IForm& form, bool fill, const TDesktop& desktop) {
  const TRect work = MonitorUnderCursor(*desktop.Monitors).Work;
  if (fill && work.Width() - 12 < form.Width() && work.Height() - 12 < form.Height()) {
    CentreazaSiRedimensioneazaForm(form, desktop);
    return;
  }
  // Integer division rounds toward zero: a form 5 pixels wider than the
  // work area starts 2 pixels, not 3, before its left edge.
  form.SetLeft((work.Width() - form.Width()) / 2 + work.Left);
  form.SetTop((work.Height() - form.Height()) / 2 + work.Top);
  // Only the left and top edges are kept inside; a larger form overhangs to
  // the right and at the bottom.
  if (form.Left() < work.Left) form.SetLeft(work.Left);
  if (form.Top() < work.Top) form.SetTop(work.Top);
}

void TCentreazaSiRedimensioneazaFormThread::Execute() {
  try {
    const double deadline = FClock->Now() + EncodeTime(0, 30, 10, 0);
    const double fastUntil = FClock->Now() + EncodeTime(0, 0, 10, 0);
    while (FClock->Now() < deadline && !Terminated()) {
      if (FormHandle->IsWindowVisible()) {
        FormHandle->ShowMaximized();
        return;
      }
      FClock->Sleep(FClock->Now() > fastUntil ? 1000 : 1);
    }
  } catch (...) {
    // Nobody waits for the worker, so there is no one to tell.
  }
}

}  // namespace lumbra
