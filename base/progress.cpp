#include "base/progress.h"

namespace lumbra {

namespace {

thread_local IProgress* tCurrent = nullptr;

}  // namespace

TProgressScope::TProgressScope(IProgress& progress) : FOuter(tCurrent) {
  tCurrent = &progress;
}

TProgressScope::~TProgressScope() {
  tCurrent = FOuter;
}

void ReportProgress(uint64_t done, uint64_t total) {
  if (tCurrent != nullptr) tCurrent->Step(done, total);
}

}  // namespace lumbra
