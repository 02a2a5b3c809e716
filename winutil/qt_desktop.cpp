#include "winutil/qt_desktop.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimerEvent>
#include <QWindow>
#include <QWindowStateChangeEvent>

namespace lumbra {

namespace {

TMonitorHandle HandleOf(const QScreen* screen) {
  return reinterpret_cast<TMonitorHandle>(screen);
}

TRect RectOf(const QRect& rect) {
  return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

}  // namespace

TPoint TQtMonitors::GetCursorPos() const {
  const QPoint position = QCursor::pos();
  return {position.x(), position.y()};
}

TMonitorHandle TQtMonitors::MonitorFromPoint(TPoint point) const {
  const QScreen* screen = QGuiApplication::screenAt(QPoint(point.X, point.Y));
  return HandleOf(screen != nullptr ? screen : QGuiApplication::primaryScreen());
}

std::vector<TMonitorHandle> TQtMonitors::Monitors() const {
  std::vector<TMonitorHandle> result;
  for (const QScreen* screen : QGuiApplication::screens())
    result.push_back(HandleOf(screen));
  return result;
}

TMonitorInfo TQtMonitors::GetMonitorInfo(TMonitorHandle monitor) const {
  // Looked up rather than cast back, so a stale handle never reaches a pointer.
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (HandleOf(screen) == monitor) {
      return {RectOf(screen->geometry()), RectOf(screen->availableGeometry())};
    }
  }
  return {};
}

std::shared_ptr<TQtWindowHandle> TQtWindowHandle::For(QWidget& widget) {
  auto* watcher = widget.findChild<TVisibilityWatcher*>(QString(), Qt::FindDirectChildrenOnly);
  if (watcher == nullptr) {
    watcher = new TVisibilityWatcher(widget, std::make_shared<TQtWindowHandle>());
  }
  return watcher->Handle();
}

void TQtWindowHandle::ShowMaximized() {
  // Held while posting, so the widget cannot be destroyed in between; Qt
  // drops the posted call if the widget is destroyed before it runs.
  const std::lock_guard lock(FMutex);
  if (FWidget == nullptr) return;
  QWidget* widget = FWidget;
  QMetaObject::invokeMethod(
      widget, [widget] { widget->showMaximized(); }, Qt::QueuedConnection);
}

TVisibilityWatcher::TVisibilityWatcher(QWidget& widget, std::shared_ptr<TQtWindowHandle> handle)
    : QObject(&widget), FHandle(std::move(handle)) {
  {
    const std::lock_guard lock(FHandle->FMutex);
    FHandle->FWidget = &widget;
  }
  FHandle->FVisible = widget.isVisible();
  widget.installEventFilter(this);
}

TVisibilityWatcher::~TVisibilityWatcher() {
  FHandle->FVisible = false;
  const std::lock_guard lock(FHandle->FMutex);
  FHandle->FWidget = nullptr;
}

bool TVisibilityWatcher::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
    auto* widget = static_cast<QWidget*>(watched);
    const auto* keeper = widget->findChild<TFrameKeeper*>(QString(), Qt::FindDirectChildrenOnly);
    FHandle->FVisible = widget->isVisible() && (keeper == nullptr || !keeper->Pending());
  }
  return false;
}

namespace {

// Ticks of the keeper's timer while it waits for the frame after the show.
constexpr int kFrameTickMs = 50;
constexpr int kFrameTicks = 100;

// The frame as the window system knows it now; the widget's own copy follows
// only at its next move or resize.
QMargins FrameOf(const QWidget& widget) {
  const QWindow* window = widget.windowHandle();
  return window != nullptr ? window->frameMargins() : QMargins();
}

bool Framed(const QWidget& widget) {
  return !FrameOf(widget).isNull();
}

}  // namespace

TFrameKeeper& TFrameKeeper::For(QWidget& widget) {
  auto* keeper = widget.findChild<TFrameKeeper*>(QString(), Qt::FindDirectChildrenOnly);
  if (keeper == nullptr) keeper = new TFrameKeeper(widget);
  return *keeper;
}

TFrameKeeper::TFrameKeeper(QWidget& widget)
    : QObject(&widget), FWidget(widget), FOuter(widget.frameGeometry()) {
  widget.installEventFilter(this);
}

void TFrameKeeper::SetOuter(const QRect& outer) {
  FOuter = outer;
  // Platforms that draw no frame (offscreen, minimal) never tell of one.
  const QString platform = QGuiApplication::platformName();
  FPending = !Framed(FWidget) && platform != "offscreen" && platform != "minimal";
  Apply();
  if (FPending) FUnframedInner = FInner;
}

void TFrameKeeper::Apply() {
  if (FWidget.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))
    return;
  const QMargins frame = FrameOf(FWidget);
  FInner = FOuter.size().shrunkBy(frame);
  if (FWidget.size() != FInner) FWidget.resize(FInner);
  // A window's position is its frame's.
  if (FWidget.pos() != FOuter.topLeft()) FWidget.move(FOuter.topLeft());
}

bool TFrameKeeper::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &FWidget) return false;
  if (event->type() == QEvent::WindowStateChange && !FRestoreChecked &&
      (static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMaximized) &&
      FWidget.windowState() == Qt::WindowNoState) {
    // The first restore: the window manager may hand back the size it had
    // before the frame came.
    FRestoreChecked = true;
    FPending = true;
    FTicks = 0;
    if (FTimer == 0) FTimer = startTimer(kFrameTickMs);
  }
  if (!FPending) return false;
  switch (event->type()) {
    case QEvent::Show:
      if (FTimer == 0) FTimer = startTimer(kFrameTickMs);
      break;
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::WindowStateChange:
      if (FWidget.isVisible()) Check();
      break;
    default:
      break;
  }
  return false;
}

void TFrameKeeper::timerEvent(QTimerEvent*) {
  Check();
  // In the normal state and still not framed as it was sized: no frame came
  // (a window manager that draws none, or none at all), or the window was
  // resized meanwhile, which is then the user's to keep.
  if (FPending && FWidget.windowState() == Qt::WindowNoState && ++FTicks >= kFrameTicks) {
    Done();
  }
}

void TFrameKeeper::Done() {
  FPending = false;
  if (FTimer != 0) {
    killTimer(FTimer);
    FTimer = 0;
  }
  // The worker that maximises the window has waited for this.
  auto* watcher = FWidget.findChild<TVisibilityWatcher*>(QString(), Qt::FindDirectChildrenOnly);
  if (watcher != nullptr) watcher->Handle()->FVisible = FWidget.isVisible();
}

void TFrameKeeper::Check() {
  // The window's state and size change in separate steps: the frame is
  // matched only once the window shows in its normal state at the size set.
  if (!FPending || FWidget.windowState() != Qt::WindowNoState || !Framed(FWidget)) return;
  // Sized before the frame came, or, when the window was maximised before the
  // window manager took the size set after it, at that size again once
  // restored.
  if (FWidget.size() != FInner && FWidget.size() != FUnframedInner) return;
  Apply();
  Done();
}

QRect TQtForm::Outer() const {
  const TFrameKeeper* keeper =
      FWidget.findChild<TFrameKeeper*>(QString(), Qt::FindDirectChildrenOnly);
  return keeper != nullptr && keeper->Pending() ? keeper->Outer() : FWidget.frameGeometry();
}

void TQtForm::SetLeft(int32_t value) {
  QRect outer = Outer();
  outer.moveLeft(value);
  TFrameKeeper::For(FWidget).SetOuter(outer);
}

void TQtForm::SetTop(int32_t value) {
  QRect outer = Outer();
  outer.moveTop(value);
  TFrameKeeper::For(FWidget).SetOuter(outer);
}

void TQtForm::SetWidth(int32_t value) {
  QRect outer = Outer();
  outer.setWidth(value);
  TFrameKeeper::For(FWidget).SetOuter(outer);
}

void TQtForm::SetHeight(int32_t value) {
  QRect outer = Outer();
  outer.setHeight(value);
  TFrameKeeper::For(FWidget).SetOuter(outer);
}

}  // namespace lumbra
