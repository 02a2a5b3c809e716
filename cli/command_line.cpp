#include "cli/command_line.h"

namespace lumbra {

std::string TCommandLine::Option(const std::string& name, const std::string& fallback) const {
  const auto it = Options.find(name);
  return it == Options.end() ? fallback : it->second;
}

TCommandLine ParseCommandLine(int argc, char** argv) {
  TCommandLine line;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.size() > 2 && arg.rfind("--", 0) == 0) {
      const std::string name = arg.substr(2);
      if (i + 1 >= argc) throw EUsageError(arg + " needs a value");
      if (line.Has(name)) throw EUsageError(arg + " is given twice");
      line.Options[name] = argv[++i];
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.empty()) throw EUsageError("no command given");
  line.Command = positional[0];
  line.Files.assign(positional.begin() + 1, positional.end());
  return line;
}

}  // namespace lumbra
