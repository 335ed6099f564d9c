#pragma once
// Ratios between benchmarks for the tools' benchmarks: each benchmark runs in
// several repetitions, interleaved at random with the others (other work on
// the machine only ever adds time), and a ratio takes the fastest repetition
// of each.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace benchsupport {

inline double Fastest(const std::vector<double>& V) {
  return V.empty() ? 0 : *std::min_element(V.begin(), V.end());
}

// Keeps the fastest repetition's real and CPU time per iteration of each benchmark.
// Colours only on a terminal, so that a saved report holds plain text.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(1) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Aggregate || r.aggregate_name != "min") continue;
      const std::string name = r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args);
      real[name] = r.GetAdjustedRealTime();
      cpu[name] = r.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> real, cpu;
};

inline void PrintRatio(const RatioReporter& r, const char* what, const char* ours, const char* ref,
                       const char* target) {
  auto a = r.real.find(ours), b = r.real.find(ref);
  if (a == r.real.end() || b == r.real.end()) return;
  std::printf("%-48s %6.2fx  (target %s; CPU time %.2fx)\n", what, a->second / b->second, target,
              r.cpu.at(ours) / r.cpu.at(ref));
}

// Runs the benchmarks in random interleaving and reports to Reporter.
inline bool RunInterleaved(int argc, char** argv, RatioReporter& Reporter) {
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  argc = static_cast<int>(args.size());
  benchmark::Initialize(&argc, args.data());
  if (benchmark::ReportUnrecognizedArguments(argc, args.data())) return false;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  return true;
}

}  // namespace benchsupport
