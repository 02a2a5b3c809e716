// Where the main window stands and how large it is when the program starts:
// centred in the work area of the monitor under the mouse cursor, or filling
// that work area and maximised as soon as it is shown. Plain C++ over small
// interfaces to the monitors, the form and the clock, so any monitor layout
// can be tested; winutil/qt_desktop.h holds the Qt implementations.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "winutil/thread.h"

namespace lumbra {

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
};

// Screen pixels; Right and Bottom lie just outside.
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;

  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
};

// Identifies a monitor for as long as the screen's layout does not change.
using TMonitorHandle = std::uintptr_t;

struct TMonitorInfo {
  TRect Monitor;  // the whole monitor
  TRect Work;     // less task bars and docked bars
};

// The monitors and the mouse cursor. Every call asks the system afresh.
class IMonitors {
 public:
  virtual ~IMonitors() = default;
  // The cursor position in screen coordinates.
  virtual TPoint GetCursorPos() const = 0;
  // The monitor that holds point, or the primary monitor when none does.
  virtual TMonitorHandle MonitorFromPoint(TPoint point) const = 0;
  // The screen's monitors, in the screen's order.
  virtual std::vector<TMonitorHandle> Monitors() const = 0;
  // Requires: monitor is one of Monitors().
  virtual TMonitorInfo GetMonitorInfo(TMonitorHandle monitor) const = 0;
};

// The local wall clock as a day count with the time as a fraction of a day,
// and a way to wait. Used from the worker thread.
class IClock {
 public:
  virtual ~IClock() = default;
  virtual double Now() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
};

// The real local clock and sleep.
class TLocalClock final : public IClock {
 public:
  double Now() override;
  void Sleep(uint32_t milliseconds) override;
};

// A duration in the clock's unit (days).
double EncodeTime(int hours, int minutes, int seconds, int milliseconds);

// What the worker thread may do with the form's window. Safe from any thread,
// also once the window is gone: it then reads as hidden and ShowMaximized
// does nothing.
class IWindowHandle {
 public:
  virtual ~IWindowHandle() = default;
  virtual bool IsWindowVisible() const = 0;
  // Asks the window's own thread to show the window maximised.
  virtual void ShowMaximized() = 0;
};

// A top-level form: its outer geometry in screen pixels, each setter moving or
// resizing the window at once, and its handle for the worker thread.
class IForm {
 public:
  virtual ~IForm() = default;
  virtual int32_t Left() const = 0;
  virtual int32_t Top() const = 0;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual void SetLeft(int32_t value) = 0;
  virtual void SetTop(int32_t value) = 0;
  virtual void SetWidth(int32_t value) = 0;
  virtual void SetHeight(int32_t value) = 0;
  // Works while the form is still hidden.
  virtual std::shared_ptr<IWindowHandle> Handle() = 0;
};

// The system services placement uses.
struct TDesktop {
  std::shared_ptr<const IMonitors> Monitors;
  // Handed to the worker thread, which may outlive the caller.
  std::shared_ptr<IClock> Clock;
};

// On a landscape monitor at least 1200 pixels high, centres the form at its
// own size (CentreazaForm). On any other monitor, sizes the form to the work
// area less 15 pixels on each side and starts a worker that maximises the
// form when it first becomes visible. Throws when the screen has no monitors.
void CentreazaSiRedimensioneazaForm(IForm& form, const TDesktop& desktop);

// Centres the form in the work area of the monitor under the mouse cursor,
// then moves its left and top edges back inside the work area. With fill set
// and a form both wider and taller than the work area less 12 pixels,
// CentreazaSiRedimensioneazaForm places it instead. Throws when the screen
// has no monitors.
void CentreazaForm(IForm& form, bool fill, const TDesktop& desktop);

// Maximises a window as soon as it is visible: polls every millisecond for
// ten seconds, then every second, and gives up 30 minutes 10 seconds after it
// starts. Swallows every error of its own.
class TCentreazaSiRedimensioneazaFormThread final : public TThread {
 public:
  explicit TCentreazaSiRedimensioneazaFormThread(std::shared_ptr<IClock> clock)
      : FClock(std::move(clock)) {}

  // The window to maximise; set before Resume.
  std::shared_ptr<IWindowHandle> FormHandle;

 protected:
  void Execute() override;

 private:
  std::shared_ptr<IClock> FClock;
};

}  // namespace lumbra
