#include "app/progress_window.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "base/exception.h"

namespace lumbra {

namespace {

// Events are handled this often while a walk runs: often enough that the
// window never looks frozen, seldom enough to cost nothing beside the walk.
constexpr qint64 kEventsEveryMs = 25;
constexpr int kBarSteps = 1000;

}  // namespace

TProgressWindow::TProgressWindow(QWidget* owner, const QString& command,
                                 std::chrono::milliseconds showAfter)
    : FOwner(owner), FCommand(command), FShowAfter(showAfter.count()) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  FClock.start();
}

TProgressWindow::~TProgressWindow() {
  delete FWindow.data();
  QApplication::restoreOverrideCursor();
}

void TProgressWindow::Step(uint64_t done, uint64_t total) {
  if (FCancelled) throw EAbort("Operation aborted");
  const qint64 now = FClock.elapsed();
  if (now < FNextEvents) return;
  FNextEvents = now + kEventsEveryMs;
  if (FWindow == nullptr && now >= FShowAfter) ShowWindow();
  if (FWindow == nullptr) {
    // Until the progress window stands over it, the main window would take
    // clicks and keys: it is only repainted.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return;
  }
  if (total == 0) {
    // Not known: the bar moves to and fro.
    FBar->setRange(0, 0);
  } else {
    FBar->setRange(0, kBarSteps);
    FBar->setValue(static_cast<int>(std::min<uint64_t>(done, total) * kBarSteps / total));
  }
  QApplication::processEvents(QEventLoop::AllEvents);
  if (FCancelled) throw EAbort("Operation aborted");
}

void TProgressWindow::ShowWindow() {
  auto* window = new QDialog(FOwner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  window->setObjectName("ProgressWindow");
  window->setWindowTitle(FOwner != nullptr ? FOwner->windowTitle() : QString());
  window->setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(window);
  auto* label = new QLabel("Se executa: " + FCommand, window);
  label->setObjectName("LabelComanda");
  layout->addWidget(label);
  FBar = new QProgressBar(window);
  FBar->setObjectName("BaraProgres");
  FBar->setMinimumWidth(300);
  FBar->setTextVisible(false);
  layout->addWidget(FBar);
  auto* button = new QPushButton("Renunta", window);
  button->setObjectName("ButtonRenunta");
  layout->addWidget(button, 0, Qt::AlignHCenter);
  // Escape and the close box stop the command as the button does.
  QObject::connect(button, &QPushButton::clicked, window, &QDialog::reject);
  QObject::connect(window, &QDialog::rejected, window, [this] { FCancelled = true; });
  FWindow = window;
  // The arrow beside the hourglass: the progress window takes clicks.
  QApplication::changeOverrideCursor(Qt::BusyCursor);
  window->show();
}

}  // namespace lumbra
