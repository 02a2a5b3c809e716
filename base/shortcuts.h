#pragma once

// The speed shortcuts of every layer are switched on and off together, at
// build time: with LUMBRA_SHORTCUTS=OFF each one takes its plain path, so the
// test suite run on that build checks every shortcut against its slow twin.
namespace lumbra {

#ifndef LUMBRA_SHORTCUTS
#define LUMBRA_SHORTCUTS 1
#endif

inline constexpr bool kShortcuts = LUMBRA_SHORTCUTS != 0;

}  // namespace lumbra
