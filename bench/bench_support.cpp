#include "bench/bench_support.h"

#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/exception.h"
#include "tables/slots.h"

namespace lumbra {

double CpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double SecondsSince(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

TTiming Ratio(const TTiming& t, const TTiming& floor) {
  return {t.Wall / floor.Wall, t.Cpu / floor.Cpu};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

TTiming TTimings::Median() const {
  return {lumbra::Median(FWall), lumbra::Median(FCpu)};
}

TWorkFolder::TWorkFolder(const std::string& requested, const std::string& prefix) {
  if (!requested.empty()) {
    std::filesystem::create_directories(requested);
    FPath = requested;
    return;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw Exception("Cannot create a temporary folder: " + std::string(std::strerror(errno)));
  }
  FPath = pattern;
  FTemporary = true;
}

TWorkFolder::~TWorkFolder() {
  if (FTemporary) {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
}

TWindowTable::TWindowTable(const std::string& folder, const std::string& name, int codePage)
    : FTable("AT", FConnection, FSettings) {
  FConnection.SetConnectionString(NormalConnectionString(folder + "/"));
  FConnection.Provider().Options().DefaultCodePage = codePage;
  FTable.TableName = name;
  FTable.Open();
}

bool ParseNumber(const char* text, unsigned long long most, unsigned long long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoull(text, &end, 10);
  return end != text && *end == '\0' && errno == 0 && text[0] != '-' && value >= 1 && value <= most;
}

bool ParseBenchOptions(int argc, char** argv, const char* program, void (*usage)(std::FILE*),
                       const std::vector<TBenchOption>& options) {
  const auto refuse = [&](const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", program, what.c_str());
    return false;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      usage(stdout);
      std::exit(0);
    }
    const auto option = std::find_if(options.begin(), options.end(),
                                     [arg](const TBenchOption& o) { return o.Name == arg; });
    if (option == options.end()) return refuse("unknown option '" + std::string(arg) + "'");
    if (!option->Take) {
      option->Set();
      continue;
    }
    if (i + 1 >= argc) return refuse("'" + std::string(arg) + "' needs a value");
    if (!option->Take(argv[++i])) {
      return refuse("'" + std::string(arg) + " " + argv[i] + "' is not understood");
    }
  }
  return true;
}

std::function<bool(const char*)> TextInto(std::string& target) {
  return [&target](const char* text) {
    target = text;
    return true;
  };
}

std::function<bool(const char*)> FormatsInto(std::vector<TBenchFormat>& target) {
  return [&target](const char* text) {
    const std::string_view value = text;
    if (value == "vfp") {
      target = {TBenchFormat::VisualFoxPro};
    } else if (value == "dbase3") {
      target = {TBenchFormat::dBase3};
    } else if (value == "both") {
      target = {TBenchFormat::VisualFoxPro, TBenchFormat::dBase3};
    } else {
      return false;
    }
    return true;
  };
}

}  // namespace lumbra
