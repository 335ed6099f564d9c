// kestrava-check against loading the four tables: checking the benchmark
// archive (2049 units among 5098 definition files) as `kestrava-check
// ARCHIVE > /dev/null` does, against kestrava-table loading the same archive
// into its four tables (load and rows, as "&Open..." does) and against the
// whole `kestrava-table units ARCHIVE`. Prints the ratios and their targets on
// the last lines.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench/support_archive.h"
#include "bench/support_ratio.h"
#include "bench/support_tables.h"
#include "tools/check/check_command.h"
#include "tools/table/table_command.h"

namespace {

const GeneratedArchive& Archive() { return benchsupport::TemporaryBenchArchive("check"); }

// The four tables loaded, as kestrava-table loads them before it prints.
void BM_LoadFourTables(benchmark::State& st) {
  for (auto _ : st) benchsupport::TimedLoadFourTables(st, Archive().Path);
}

void BM_TableUnits(benchmark::State& st) {
  TableRequest request;
  request.Kind = "units";
  request.Archives = {Archive().Path};
  std::ofstream out("/dev/null", std::ios::binary);
  std::ostringstream err;
  for (auto _ : st) RunTable(request, out, err);
}

// The whole check: every file listed, the definition files read and parsed,
// every check, the text written.
void BM_Check(benchmark::State& st) {
  CheckRequest request;
  request.Sources = {Archive().Path};
  std::ofstream out("/dev/null", std::ios::binary);
  int status = 0;
  for (auto _ : st) {
    std::ostringstream err;
    status = RunCheck(request, out, err);
  }
  if (status == 2) st.SkipWithError("kestrava-check could not read the archive");
}

using benchsupport::Fastest;
BENCHMARK(BM_LoadFourTables)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(9)
    ->ComputeStatistics("min", Fastest);
BENCHMARK(BM_TableUnits)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(9)
    ->ComputeStatistics("min", Fastest);
BENCHMARK(BM_Check)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(9)
    ->ComputeStatistics("min", Fastest);

}  // namespace

int main(int argc, char** argv) {
  std::printf("data: %d definition files, %.1f MB\n", Archive().Files, double(Archive().DefinitionBytes) / 1e6);
  benchsupport::RatioReporter reporter;
  if (!benchsupport::RunInterleaved(argc, argv, reporter)) return 1;
  std::printf("\nTime ratios (ours / reference), fastest repetitions, real time:\n");
  benchsupport::PrintRatio(reporter, "kestrava-check / loading the four tables", "BM_Check", "BM_LoadFourTables",
                           "<= 2");
  benchsupport::PrintRatio(reporter, "kestrava-check / kestrava-table units", "BM_Check", "BM_TableUnits", "report");
  benchmark::Shutdown();
  std::filesystem::remove_all(std::filesystem::path(Archive().Path).parent_path());
  return 0;
}
