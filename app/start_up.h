// Start-up after the application object: the main window, the data module,
// the first show and the message loop.
#pragma once

#include <functional>
#include <memory>

#include "app/application.h"
#include "app/lumbra_main.h"

namespace lumbra {

// Builds the main window (it runs its own FormCreate while hidden), then the
// data module, shows the window and runs the message loop until the window is
// closed; returns the loop's exit code. An error while building either of
// them shows the "Application Error" box and gives exit code 1 without the
// window ever being shown.
int RunLumbra(TApplication& application,
              const std::function<std::unique_ptr<TLumbraMain>()>& createMainWindow);

}  // namespace lumbra
