// The engine's error class. It is also the error class of the table provider
// built on the engine: its messages are the provider's own descriptions, and
// its kind says what sort of failure it is, so that callers tell errors apart
// without reading their texts.
#pragma once

#include <cstdint>

#include "base/exception.h"

namespace lumbra {

enum class TDbfErrorKind : uint8_t {
  Corrupt,      // a file that is damaged, truncated or not what it claims to be
  Io,           // the system failed a read, a write, a flush or a rename
  InUse,        // another program holds the file
  Unsupported,  // a file or a change of a kind the engine does not handle
  Syntax,       // a filter or sort text, or a command text, that does not parse or fit
  NotFound,     // no file, folder or table where one was named
  Refused,      // an operation the state or the caller's rights do not allow
};

class EDbfError : public Exception {
 public:
  EDbfError(TDbfErrorKind kind, std::string message) : Exception(std::move(message)), FKind(kind) {}
  // The same kind of error as cause, with another message (the cause's, put
  // in context).
  EDbfError(const EDbfError& cause, std::string message)
      : Exception(std::move(message)), FKind(cause.FKind) {}
  EDbfError(const EDbfError&) = default;

  TDbfErrorKind Kind() const noexcept { return FKind; }
  const char* ClassName() const noexcept override { return "EDbfError"; }

 private:
  TDbfErrorKind FKind;
};

}  // namespace lumbra
