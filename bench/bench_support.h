// What the benchmark programs share: timing a step by wall clock and by
// processor time, medians of repeated runs, the folder the generated tables
// go to, and the parsing of their options.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/table_generator.h"
#include "fields/regional_settings.h"
#include "tables/data_access.h"

namespace lumbra {

// Elapsed time, and the processor time the process used meanwhile: on a
// machine shared with other work the second is the steadier of the two.
struct TTiming {
  double Wall = 0;
  double Cpu = 0;
};

// The processor time this process has used so far, in seconds.
double CpuSeconds();

// Seconds elapsed on the steady clock since since.
double SecondsSince(std::chrono::steady_clock::time_point since);

template <typename F>
TTiming TimeOnce(F&& run) {
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = CpuSeconds();
  run();
  const double cpu = CpuSeconds() - cpuStart;
  return {SecondsSince(start), cpu};
}

// How many times floor's time t took, in each measure.
TTiming Ratio(const TTiming& t, const TTiming& floor);

// The middle value (the upper one of an even count). Requires values not empty.
double Median(std::vector<double> values);

// Collects the timings of repeated runs.
class TTimings {
 public:
  void Add(const TTiming& t) {
    FWall.push_back(t.Wall);
    FCpu.push_back(t.Cpu);
  }
  // The median of each measure separately. Requires at least one timing.
  TTiming Median() const;

 private:
  std::vector<double> FWall, FCpu;
};

template <typename F>
TTiming MedianTiming(int runs, F&& run) {
  TTimings timings;
  for (int i = 0; i < runs; ++i)
    timings.Add(TimeOnce(run));
  return timings.Median();
}

// The folder a benchmark writes its tables to: the requested one, created when
// missing and kept, or, when requested is empty, a fresh temporary folder named
// after prefix that is removed with its files at the end. Throws Exception when
// the folder cannot be made.
class TWorkFolder {
 public:
  TWorkFolder(const std::string& requested, const std::string& prefix);
  ~TWorkFolder();
  TWorkFolder(const TWorkFolder&) = delete;
  TWorkFolder& operator=(const TWorkFolder&) = delete;

  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
  bool FTemporary = false;
};

// A table opened as the window opens the first slot, reading tables without
// a code page mark in codePage.
class TWindowTable {
 public:
  TWindowTable(const std::string& folder, const std::string& name, int codePage);
  TADOTable& Table() { return FTable; }

 private:
  TRegionalSettings FSettings = TRegionalSettings::FromEnvironment();
  TADOConnection FConnection{"Conn"};
  TADOTable FTable;
};

// Reads a whole decimal number from 1 to most into value; false when text is
// anything else.
bool ParseNumber(const char* text, unsigned long long most, unsigned long long& value);

// One option of a benchmark program: a flag, which Set marks, or an option
// followed by its value, which Take checks and stores (false: not accepted).
struct TBenchOption {
  TBenchOption(std::string_view name, std::function<bool(const char* value)> take)
      : Name(name), Take(std::move(take)) {}
  TBenchOption(std::string_view name, std::function<void()> set)
      : Name(name), Set(std::move(set)) {}

  std::string_view Name;
  std::function<bool(const char* value)> Take;
  std::function<void()> Set;
};

// Reads the arguments by options. --help or -h prints the usage to standard
// output and ends the program with 0. An unknown argument, a missing value or
// a value its option does not take is named on standard error after program:
// false, and the caller shows the usage there.
bool ParseBenchOptions(int argc, char** argv, const char* program, void (*usage)(std::FILE*),
                       const std::vector<TBenchOption>& options);

// Takes a whole number from 1 to most into target.
template <typename T>
std::function<bool(const char*)> NumberInto(T& target, unsigned long long most) {
  return [&target, most](const char* text) {
    unsigned long long n = 0;
    if (!ParseNumber(text, most, n)) return false;
    target = static_cast<T>(n);
    return true;
  };
}
// Takes any text into target.
std::function<bool(const char*)> TextInto(std::string& target);
// Takes "vfp", "dbase3" or "both" into the formats to generate and time.
std::function<bool(const char*)> FormatsInto(std::vector<TBenchFormat>& target);

}  // namespace lumbra
