// The largest single heap block this thread asks for while a probe is alive,
// so tests can hold the engine to memory proportional to its input: a header
// or memo block that claims gigabytes must not be believed before the file
// is checked.
#pragma once

#include <cstddef>

namespace lumbra::test {

class TAllocationProbe {
 public:
  TAllocationProbe();
  ~TAllocationProbe();
  TAllocationProbe(const TAllocationProbe&) = delete;
  TAllocationProbe& operator=(const TAllocationProbe&) = delete;

  // The largest block asked for through operator new since the probe began.
  size_t Largest() const;
};

}  // namespace lumbra::test
