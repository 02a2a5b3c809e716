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
// worker never touches the widget itself.
class TQtWindowHandle final : public IWindowHandle {
 public:
  // The handle of widget, made on first use and kept as long as the widget
  // or any worker holding it lives. Call on the UI thread.
  static std::shared_ptr<TQtWindowHandle> For(QWidget& widget);

  bool IsWindowVisible() const override { return FVisible; }
  void ShowMaximized() override;

 private:
  friend class TVisibilityWatcher;

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

// A top-level widget's outer geometry. Before the window manager has framed
// the window its outer and inner sizes are the same.
class TQtForm final : public IForm {
 public:
  explicit TQtForm(QWidget& widget) : FWidget(widget) {}

  int32_t Left() const override { return FWidget.x(); }
  int32_t Top() const override { return FWidget.y(); }
  int32_t Width() const override { return FWidget.frameGeometry().width(); }
  int32_t Height() const override { return FWidget.frameGeometry().height(); }
  void SetLeft(int32_t value) override { FWidget.move(value, FWidget.y()); }
  void SetTop(int32_t value) override { FWidget.move(FWidget.x(), value); }
  void SetWidth(int32_t value) override;
  void SetHeight(int32_t value) override;
  std::shared_ptr<IWindowHandle> Handle() override { return TQtWindowHandle::For(FWidget); }

 private:
  QWidget& FWidget;
};

}  // namespace lumbra
