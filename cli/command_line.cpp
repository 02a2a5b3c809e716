#include "cli/command_line.h"

#include <algorithm>

namespace lumbra {

std::string TCommandLine::Option(const std::string& name, const std::string& fallback) const {
  const auto it = Options.find(name);
  return it == Options.end() ? fallback : it->second;
}

TCommandLine ParseCommandLine(int argc, char** argv, const std::vector<std::string>& switches) {
  TCommandLine line;
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help" || arg == "-h") {
      line.Help = true;
    } else if (arg == "--version") {
      line.Version = true;
    } else if (arg.rfind("--", 0) != 0) {
      throw EUsageError("unknown option '" + arg + "'");
    } else {
      const size_t equals = arg.find('=');
      const std::string name = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
      const bool isSwitch = std::find(switches.begin(), switches.end(), name) != switches.end();
      std::string value;
      if (isSwitch) {
        if (equals != std::string::npos) throw EUsageError("--" + name + " takes no value");
      } else if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        throw EUsageError(arg + " needs a value");
      }
      if (line.Has(name)) throw EUsageError("--" + name + " is given twice");
      line.Options[name] = value;
    }
  }
  if (positional.empty()) {
    if (!line.Help && !line.Version) throw EUsageError("no command given");
    return line;
  }
  line.Command = positional[0];
  line.Files.assign(positional.begin() + 1, positional.end());
  return line;
}

}  // namespace lumbra
