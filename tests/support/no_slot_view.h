// A window that shows nothing: for tests that drive the slots without one.
#pragma once

#include <string>

#include "tables/slots.h"

namespace lumbra::test {

class TNoSlotView final : public ISlotView {
 public:
  void SetWindowCaption(const std::string&) override {}
  void SetApplicationTitle(const std::string&) override {}
  void SetTabCaption(int, const std::string&) override {}
};

}  // namespace lumbra::test
