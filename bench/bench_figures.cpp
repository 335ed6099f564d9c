// The balance figures against Open: every figure of the benchmark archive's
// 2049 units and their weapons worked out from the loaded definitions,
// against loading the archive into the four tables as "&Open..." does (load
// and rows, no window). Also the whole switch-on of the figure columns
// (figures, cells written into both tables, the tables sorted) and Open with
// the columns already on. Prints the ratios and their targets on the last lines.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "bench/support_archive.h"
#include "bench/support_ratio.h"
#include "bench/support_tables.h"
#include "mod/balance_figures.h"

namespace {

const GeneratedArchive& Archive() { return benchsupport::TemporaryBenchArchive("figures"); }

struct Loaded {
  ScriptedDialogs Dialogs;
  AppState State{Dialogs};
  Loaded() {
    SetUpColumns(State);
    State.AutosizeSetting = [] { return false; };
    OpenArchiveFiles(State, {Archive().Path});
  }
};

Loaded& Once() {
  static auto* l = new Loaded;
  return *l;
}

void BM_Open(benchmark::State& st) {
  for (auto _ : st) benchsupport::TimedLoadFourTables(st, Archive().Path);
}

void BM_ComputeFigures(benchmark::State& st) {
  Loaded& l = Once();
  size_t units = 0;
  for (auto _ : st) {
    const BalanceFigures f = ComputeBalanceFigures(l.State);
    units = f.UnitCount();
    benchmark::DoNotOptimize(units);
  }
  st.counters["units"] = static_cast<double>(units);
}

// The menu switch: columns added, every figure worked out and written into
// the rows of both tables; then off again (not timed).
void BM_SwitchColumnsOn(benchmark::State& st) {
  Loaded& l = Once();
  for (auto _ : st) {
    l.State.Figures.Show(true);
    st.PauseTiming();
    l.State.Figures.Show(false);
    st.ResumeTiming();
  }
}

// Open with the figure columns on: row building refreshes them as it goes.
void BM_OpenWithFigures(benchmark::State& st) {
  for (auto _ : st) {
    st.PauseTiming();
    ScriptedDialogs dialogs;
    auto state = std::make_unique<AppState>(dialogs);
    SetUpColumns(*state);
    state->AutosizeSetting = [] { return false; };
    state->Figures.Show(true);
    st.ResumeTiming();
    OpenArchiveFiles(*state, {Archive().Path});
    st.PauseTiming();
    state.reset();
    st.ResumeTiming();
  }
}

using benchsupport::Fastest;
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(7)
    ->ComputeStatistics("min", Fastest);
BENCHMARK(BM_ComputeFigures)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(7)
    ->ComputeStatistics("min", Fastest);
BENCHMARK(BM_SwitchColumnsOn)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(7)
    ->ComputeStatistics("min", Fastest);
BENCHMARK(BM_OpenWithFigures)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(7)
    ->ComputeStatistics("min", Fastest);

}  // namespace

int main(int argc, char** argv) {
  std::printf("data: %d definition files, %.1f MB\n", Archive().Files, double(Archive().DefinitionBytes) / 1e6);
  benchsupport::RatioReporter reporter;
  if (!benchsupport::RunInterleaved(argc, argv, reporter)) return 1;
  std::printf("\nTime ratios (ours / reference), fastest repetitions, real time:\n");
  benchsupport::PrintRatio(reporter, "every balance figure / Open", "BM_ComputeFigures", "BM_Open", "<= 0.1");
  benchsupport::PrintRatio(reporter, "figure columns switched on / Open", "BM_SwitchColumnsOn", "BM_Open", "report");
  benchsupport::PrintRatio(reporter, "Open with figure columns / Open", "BM_OpenWithFigures", "BM_Open", "report");
  benchmark::Shutdown();
  std::filesystem::remove_all(std::filesystem::path(Archive().Path).parent_path());
  return 0;
}
