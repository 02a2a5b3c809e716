// The data module: an empty container made at start-up after the main window.
#pragma once

namespace lumbra {

class TDmAdo final {};

}  // namespace lumbra
