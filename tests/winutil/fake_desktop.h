// Monitors, a form, a window handle and a clock made up by a test.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "winutil/win_util.h"

namespace lumbra::testing {

struct TFakeMonitor {
  TRect Bounds;
  TRect Work;
};

// Monitor handles are 1-based positions in the list; MonitorFromPoint falls
// back to the primary monitor like the system does.
class TFakeMonitors final : public IMonitors {
 public:
  std::vector<TFakeMonitor> List;
  size_t PrimaryIndex = 0;
  TPoint Cursor;
  // When set, MonitorFromPoint names this handle whatever the cursor.
  TMonitorHandle ForcedMonitor = 0;

  TPoint GetCursorPos() const override { return Cursor; }
  TMonitorHandle MonitorFromPoint(TPoint point) const override {
    if (ForcedMonitor != 0) return ForcedMonitor;
    for (size_t i = 0; i < List.size(); ++i) {
      const TRect& r = List[i].Bounds;
      if (point.X >= r.Left && point.X < r.Right && point.Y >= r.Top && point.Y < r.Bottom) {
        return i + 1;
      }
    }
    return PrimaryIndex + 1;
  }
  std::vector<TMonitorHandle> Monitors() const override {
    std::vector<TMonitorHandle> handles;
    for (size_t i = 0; i < List.size(); ++i)
      handles.push_back(i + 1);
    return handles;
  }
  TMonitorInfo GetMonitorInfo(TMonitorHandle monitor) const override {
    return {List.at(monitor - 1).Bounds, List.at(monitor - 1).Work};
  }
};

// A clock that stands still until slept on: each Sleep moves it on at once
// by the time asked, so 30 minutes of polling take no time at all.
class TFakeClock final : public IClock {
 public:
  static constexpr double kStart = 46'000.25;  // a day in 2025, 06:00

  double Now() override { return kStart + static_cast<double>(FElapsed.load()) / 86'400'000.0; }
  void Sleep(uint32_t milliseconds) override {
    {
      const std::lock_guard lock(FMutex);
      FSleeps.push_back(milliseconds);
    }
    FElapsed += milliseconds;
    if (OnSleep) OnSleep();
  }

  int64_t ElapsedMilliseconds() const { return FElapsed; }
  std::vector<uint32_t> Sleeps() const {
    const std::lock_guard lock(FMutex);
    return FSleeps;
  }
  // Runs on the sleeping thread after each sleep; set before the worker starts.
  std::function<void()> OnSleep;

 private:
  std::atomic<int64_t> FElapsed = 0;
  mutable std::mutex FMutex;
  std::vector<uint32_t> FSleeps;
};

class TFakeWindowHandle final : public IWindowHandle {
 public:
  // Asked on every poll; set before the worker starts.
  std::function<bool()> Visible = [] { return false; };
  std::atomic<int> MaximiseCount = 0;
  mutable std::atomic<int> VisibilityChecks = 0;

  bool IsWindowVisible() const override {
    ++VisibilityChecks;
    return Visible();
  }
  void ShowMaximized() override { ++MaximiseCount; }
};

// Records every setter call as "Left=15" and so on, in order.
class TFakeForm final : public IForm {
 public:
  TFakeForm(int32_t width, int32_t height) : FWidth(width), FHeight(height) {}

  std::vector<std::string> Calls;
  std::shared_ptr<TFakeWindowHandle> WindowHandle = std::make_shared<TFakeWindowHandle>();
  int HandleRequests = 0;

  int32_t Left() const override { return FLeft; }
  int32_t Top() const override { return FTop; }
  int32_t Width() const override { return FWidth; }
  int32_t Height() const override { return FHeight; }
  void SetLeft(int32_t value) override { Record("Left", FLeft = value); }
  void SetTop(int32_t value) override { Record("Top", FTop = value); }
  void SetWidth(int32_t value) override { Record("Width", FWidth = value); }
  void SetHeight(int32_t value) override { Record("Height", FHeight = value); }
  std::shared_ptr<IWindowHandle> Handle() override {
    ++HandleRequests;
    return WindowHandle;
  }

 private:
  void Record(const char* name, int32_t value) {
    Calls.push_back(std::string(name) + "=" + std::to_string(value));
  }

  int32_t FLeft = 224;
  int32_t FTop = 257;
  int32_t FWidth;
  int32_t FHeight;
};

// A desktop of the given monitors with the cursor on the first one.
inline TDesktop FakeDesktop(std::vector<TFakeMonitor> monitors,
                            std::shared_ptr<TFakeClock> clock = std::make_shared<TFakeClock>()) {
  auto fake = std::make_shared<TFakeMonitors>();
  fake->List = std::move(monitors);
  fake->Cursor = {fake->List.front().Bounds.Left + 10, fake->List.front().Bounds.Top + 10};
  return {fake, clock};
}

}  // namespace lumbra::testing
