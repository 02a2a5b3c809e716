// The Qt side of window placement: the screens and the cursor as IMonitors,
// a top-level widget as IForm, and its stand-in for a native window handle.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <mutex>

#include "winutil/win_util.h"

namespace lumbra {

// QGuiApplication's screens, in its order; the cursor from QCursor.
class TQtMonitors final : public IMonitors {
 public:
  TPoint GetCursorPos() const override;
  TMonitorHandle MonitorFromPoint(TPoint point) const override;
  std::vector<TMonitorHandle> Monitors() const override;
  TMonitorInfo GetMonitorInfo(TMonitorHandle monitor) const override;
};

// The worker's view of a widget. The visibility flag is kept by an event
// filter on the UI thread; maximising is posted to the UI thread, so the
// worker never touches the widget itself. A window waiting for its frame
// (TFrameKeeper) reads as visible once it has it: maximised before, the
// window would be restored to the size it had without one.
class TQtWindowHandle final : public IWindowHandle {
 public:
  // The handle of widget, made on first use and kept as long as the widget
  // or any worker holding it lives. Call on the UI thread.
  static std::shared_ptr<TQtWindowHandle> For(QWidget& widget);

  bool IsWindowVisible() const override { return FVisible; }
  void ShowMaximized() override;

 private:
  friend class TVisibilityWatcher;
  friend class TFrameKeeper;

  std::atomic<bool> FVisible = false;
  std::mutex FMutex;
  QWidget* FWidget = nullptr;  // guarded by FMutex; null once the widget is gone
};

// Watches a widget's show and hide events for its handle, and detaches the
// handle when the widget is destroyed (it is the widget's child).
class TVisibilityWatcher final : public QObject {
  Q_OBJECT

 public:
  TVisibilityWatcher(QWidget& widget, std::shared_ptr<TQtWindowHandle> handle);
  ~TVisibilityWatcher() override;

  const std::shared_ptr<TQtWindowHandle>& Handle() const { return FHandle; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::shared_ptr<TQtWindowHandle> FHandle;
};

// The outer geometry placement gave a top-level widget, held for it until
// the window manager has framed the window: only then is the frame's size
// known, and the inside is sized again so that the frame has the size
// placement set, its top-left corner where placement put it. It waits while
// the window is maximised or minimised (the normal geometry is what it
// keeps), and gives up when no frame has come, or the window has another
// size, a few seconds after it was shown in its normal state.
class TFrameKeeper final : public QObject {
  Q_OBJECT

 public:
  // The widget's keeper, made on first use (it is the widget's child).
  static TFrameKeeper& For(QWidget& widget);

  // Outer geometry as placement set it so far.
  const QRect& Outer() const { return FOuter; }
  // Sets the outer geometry, the inside following from the frame known now.
  void SetOuter(const QRect& outer);
  // Still waiting for the frame.
  bool Pending() const { return FPending; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  explicit TFrameKeeper(QWidget& widget);
  // Sizes and moves the widget for FOuter with the frame as it is known now.
  void Apply();
  // Applies once more, and is done, when the frame has come.
  void Check();
  // Stops waiting, and lets the window read as visible to the worker.
  void Done();

  QWidget& FWidget;
  QRect FOuter;
  // The inside size last set, and the one set before the frame was known.
  QSize FInner;
  QSize FUnframedInner;
  // The first restore from maximised is checked once.
  bool FRestoreChecked = false;
  bool FPending = false;
  int FTimer = 0;
  int FTicks = 0;
};

// A top-level widget's outer geometry: what the frame measures once the
// window manager has framed the window, and what placement set until then.
class TQtForm final : public IForm {
 public:
  explicit TQtForm(QWidget& widget) : FWidget(widget) {}

  int32_t Left() const override { return Outer().left(); }
  int32_t Top() const override { return Outer().top(); }
  int32_t Width() const override { return Outer().width(); }
  int32_t Height() const override { return Outer().height(); }
  void SetLeft(int32_t value) override;
  void SetTop(int32_t value) override;
  void SetWidth(int32_t value) override;
  void SetHeight(int32_t value) override;
  std::shared_ptr<IWindowHandle> Handle() override { return TQtWindowHandle::For(FWidget); }

 private:
  QRect Outer() const;

  QWidget& FWidget;
};

}  // namespace lumbra
