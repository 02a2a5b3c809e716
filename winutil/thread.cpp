#include "winutil/thread.h"

namespace lumbra {

void TThread::Resume() {
  if (FreeOnTerminate) {
    std::thread([this] {
      Execute();
      delete this;
    }).detach();
  } else {
    FThread = std::thread([this] { Execute(); });
  }
}

void TThread::WaitFor() {
  FThread.join();
}

}  // namespace lumbra
