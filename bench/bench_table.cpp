// kestrava-table against the work it cannot avoid: printing the units of the
// benchmark archive (2049 units among 5098 definition files) against loading
// that archive as "&Open..." does and building its rows. Prints the ratio and
// its target on the last lines.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/scripted_dialogs.h"
#include "bench/support_archive.h"
#include "bench/support_ratio.h"
#include "bench/support_tables.h"
#include "definitions/catalogue.h"
#include "state/sources.h"
#include "tools/table/table_command.h"

namespace {

const GeneratedArchive& Archive() { return benchsupport::TemporaryBenchArchive("table"); }

// The reference: the four tables loaded, as the tool loads them.
void BM_LoadPlusRows(benchmark::State& st) {
  int rows = 0;
  for (auto _ : st) rows = benchsupport::TimedLoadFourTables(st, Archive().Path);
  st.counters["unit_rows"] = rows;
}

// The whole tool as `kestrava-table units ARCHIVE > /dev/null` runs it: state
// and columns, the archive check, load, rows, the sort click, CSV, writing.
void BM_TableUnits(benchmark::State& st, TableFormat Format) {
  TableRequest request;
  request.Kind = "units";
  request.Archives = {Archive().Path};
  request.Format = Format;
  std::ofstream out("/dev/null", std::ios::binary);
  std::ostringstream err;
  int status = 0;
  for (auto _ : st) {
    // What the run loaded is freed outside the time, as the tool leaves it
    // to the system at its exit (and the reference's state is freed untimed).
    std::shared_ptr<void> loaded;
    status = RunTable(request, out, err, &loaded);
    st.PauseTiming();
    loaded.reset();
    st.ResumeTiming();
  }
  if (status != 0) st.SkipWithError(("kestrava-table failed: " + err.str()).c_str());
}

using benchsupport::Fastest;

BENCHMARK(BM_LoadPlusRows)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(9)
    ->ComputeStatistics("min", Fastest);
BENCHMARK_CAPTURE(BM_TableUnits, csv, TableFormat::Csv)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)
    ->Repetitions(9)->ComputeStatistics("min", Fastest);
BENCHMARK_CAPTURE(BM_TableUnits, json, TableFormat::Json)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)
    ->Repetitions(9)->ComputeStatistics("min", Fastest);

}  // namespace

int main(int argc, char** argv) {
  std::printf("data: %d definition files, %.1f MB\n", Archive().Files, double(Archive().DefinitionBytes) / 1e6);
  benchsupport::RatioReporter reporter;
  if (!benchsupport::RunInterleaved(argc, argv, reporter)) return 1;
  std::printf("\nTime ratios (ours / reference), fastest repetitions, real time:\n");
  benchsupport::PrintRatio(reporter, "kestrava-table units (CSV) / load plus rows", "BM_TableUnits/csv",
                           "BM_LoadPlusRows", "<= 1.2");
  benchsupport::PrintRatio(reporter, "kestrava-table units (JSON) / load plus rows", "BM_TableUnits/json",
                           "BM_LoadPlusRows", "report");
  benchmark::Shutdown();
  std::filesystem::remove_all(std::filesystem::path(Archive().Path).parent_path());
  return 0;
}
