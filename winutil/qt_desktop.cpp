#include "winutil/qt_desktop.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

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
    FHandle->FVisible = static_cast<QWidget*>(watched)->isVisible();
  }
  return false;
}

void TQtForm::SetWidth(int32_t value) {
  const int frameExtra = FWidget.frameGeometry().width() - FWidget.width();
  FWidget.resize(value - frameExtra, FWidget.height());
}

void TQtForm::SetHeight(int32_t value) {
  const int frameExtra = FWidget.frameGeometry().height() - FWidget.height();
  FWidget.resize(FWidget.width(), value - frameExtra);
}

}  // namespace lumbra
