// lumbra-cli's command line: a command, its files, and "--name value" options.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "base/exception.h"

namespace lumbra {

// A command line that does not fit a command; exit code 2.
LUMBRA_DECLARE_EXCEPTION(EUsageError, Exception);

struct TCommandLine {
  std::string Command;
  std::vector<std::string> Files;
  std::map<std::string, std::string> Options;  // without the leading "--"

  // The option's value, or fallback when it was not given.
  std::string Option(const std::string& name, const std::string& fallback = "") const;
  bool Has(const std::string& name) const { return Options.count(name) != 0; }
};

// Splits argv. Every option takes a value. Throws EUsageError.
TCommandLine ParseCommandLine(int argc, char** argv);

}  // namespace lumbra
