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

}  // namespace lumbra
