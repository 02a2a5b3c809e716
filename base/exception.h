// The one error hierarchy of Lumbra. Every failure in the core is thrown as an
// Exception (or a class derived from it) carrying a message; each class reports
// its own name, because some reports print the class name of a caught error.
#pragma once

#include <exception>
#include <string>

namespace lumbra {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}

  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }
  // The class name as written in the source, e.g. "EDbfError".
  virtual const char* ClassName() const noexcept { return "Exception"; }

 private:
  std::string FMessage;
};

// Declares an exception class that knows its own name.
#define LUMBRA_DECLARE_EXCEPTION(Name, Base)                          \
  class Name : public Base {                                          \
   public:                                                            \
    using Base::Base;                                                 \
    const char* ClassName() const noexcept override { return #Name; } \
  }

// A silent error: it ends a command without any message.
LUMBRA_DECLARE_EXCEPTION(EAbort, Exception);
// A value that cannot be converted to the kind asked for.
LUMBRA_DECLARE_EXCEPTION(EConvertError, Exception);
// An operation on a variant that its kind does not support.
LUMBRA_DECLARE_EXCEPTION(EVariantError, Exception);
LUMBRA_DECLARE_EXCEPTION(EVariantInvalidOpError, EVariantError);
// An error of the data-access layer itself (tables and fields).
LUMBRA_DECLARE_EXCEPTION(EDatabaseError, Exception);

}  // namespace lumbra
