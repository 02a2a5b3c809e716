// The engine's error class. It is also the error class of the table provider
// built on the engine: its messages are the provider's own descriptions.
#pragma once

#include "base/exception.h"

namespace lumbra {

LUMBRA_DECLARE_EXCEPTION(EDbfError, Exception);

}  // namespace lumbra
