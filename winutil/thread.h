// A worker thread that is created suspended, started once, and may free
// itself when its body returns.
#pragma once

#include <atomic>
#include <thread>

namespace lumbra {

class TThread {
 public:
  TThread() = default;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  // Requires: a started thread that does not free itself was waited for.
  virtual ~TThread() = default;

  // When set before Resume, the thread runs detached and deletes this object
  // as soon as Execute returns; the creator must not touch the object after
  // Resume. Requires: the object was made with new.
  bool FreeOnTerminate = false;

  // Starts Execute on its own system thread. Call once.
  void Resume();
  // Waits until Execute has returned. Only for a thread that does not free itself.
  void WaitFor();
  // Asks the body to stop; the body decides when to look.
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }

 protected:
  // The thread body. Whatever it throws ends the program, so bodies catch.
  virtual void Execute() = 0;

 private:
  std::atomic<bool> FTerminated = false;
  std::thread FThread;
};

}  // namespace lumbra
