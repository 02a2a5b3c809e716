// A long command in the window: the busy cursor from its start and, once it
// has run for a while, a modal window that names it, shows how far its walk
// has got and offers "Renunta" to stop it. While that window is up the main
// window repaints, and it takes no input, so no other command can start.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <chrono>

#include "base/progress.h"

class QProgressBar;
class QWidget;

namespace lumbra {

// How long a command runs before its progress window shows.
inline constexpr std::chrono::milliseconds kProgressWindowDelay{500};

class TProgressWindow final : public IProgress {
 public:
  // Sets the busy cursor at once. command is the running command's caption,
  // which the window's label names; owner is the window the progress window
  // stands over (may be hidden or null).
  TProgressWindow(QWidget* owner, const QString& command,
                  std::chrono::milliseconds showAfter = kProgressWindowDelay);
  ~TProgressWindow() override;
  TProgressWindow(const TProgressWindow&) = delete;
  TProgressWindow& operator=(const TProgressWindow&) = delete;

  // Every few tens of milliseconds handles the events waiting, so the
  // program repaints: before showAfter all but the user's input, which waits;
  // past it, shows the window, updates its bar and handles every event (the
  // modal window keeps input from the others). Throws EAbort once the user
  // has asked to stop, at this and every later step.
  void Step(uint64_t done, uint64_t total) override;

  // The progress window once shown, else null. Its object name is
  // "ProgressWindow", its button's "ButtonRenunta".
  QDialog* Window() const { return FWindow; }

 private:
  void ShowWindow();

  QPointer<QWidget> FOwner;
  QString FCommand;
  qint64 FShowAfter;
  QElapsedTimer FClock;
  qint64 FNextEvents = 0;
  QPointer<QDialog> FWindow;
  QProgressBar* FBar = nullptr;
  bool FCancelled = false;
};

// A long command's busy cursor and progress window, installed for the core's
// walks on this thread for as long as it lives.
class TLongCommand {
 public:
  TLongCommand(QWidget* owner, const QString& command,
               std::chrono::milliseconds showAfter = kProgressWindowDelay)
      : FProgress(owner, command, showAfter), FScope(FProgress) {}

 private:
  TProgressWindow FProgress;
  TProgressScope FScope;
};

}  // namespace lumbra
