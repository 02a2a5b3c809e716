// How far a long command has got, and a way for the user to stop it.
//
// A long walk (reading a table in sort order, counting distinct values,
// copying a table aside) calls ReportProgress every so often. The front end
// that runs the command installs an IProgress for its thread with a
// TProgressScope: the window shows a progress window and lets the user cancel,
// lumbra-cli stops on a signal. Without one, ReportProgress does nothing.
#pragma once

#include <cstdint>

namespace lumbra {

// Records a walk reads between two reports of how far it is: a few
// milliseconds' work on the largest records.
inline constexpr uint32_t kProgressRecords = 4096;

class IProgress {
 public:
  virtual ~IProgress() = default;
  // done of total units of work (total 0: not known). Throws EAbort when the
  // command is to stop here; the caller's failure path then runs as for any
  // other error.
  virtual void Step(uint64_t done, uint64_t total) = 0;
};

// Installs progress for the calling thread until destroyed; scopes nest, the
// innermost wins. progress must outlive the scope.
class TProgressScope {
 public:
  explicit TProgressScope(IProgress& progress);
  ~TProgressScope();
  TProgressScope(const TProgressScope&) = delete;
  TProgressScope& operator=(const TProgressScope&) = delete;

 private:
  IProgress* FOuter;
};

// Hands done and total to the calling thread's IProgress, if any. Throws
// what it throws (EAbort).
void ReportProgress(uint64_t done, uint64_t total);

}  // namespace lumbra
