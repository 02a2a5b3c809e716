// lumbra-cli's command line: a command, its files, "--name value" options and
// the two flags --help and --version.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "base/exception.h"

namespace lumbra {

// A command line that does not fit a command; exit code 2.
LUMBRA_DECLARE_EXCEPTION(EUsageError, Exception);

struct TCommandLine {
  std::string Command;  // empty when only flags were given
  std::vector<std::string> Files;
  std::map<std::string, std::string> Options;  // without the leading "--"
  bool Help = false;                           // --help or -h
  bool Version = false;                        // --version

  // The option's value, or fallback when it was not given.
  std::string Option(const std::string& name, const std::string& fallback = "") const;
  bool Has(const std::string& name) const { return Options.count(name) != 0; }
};

// Splits argv. Every option but the flags and the switches (names without
// "--", such as "deleted") takes a value, as the next argument or after "="
// (--format=csv); a switch given is an option whose value is "". After "--"
// every argument is a command or a file, so a file may begin with "-". Throws
// EUsageError for an option without its value, a switch with one, an option
// given twice, or no command when no flag was given.
TCommandLine ParseCommandLine(int argc, char** argv, const std::vector<std::string>& switches = {});

}  // namespace lumbra
