#pragma once
// What several benchmarks share: the benchmark archive made once per process
// in a temporary directory, and the reference load of the four tables.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "archive/scripted_dialogs.h"
#include "bench/support_archive.h"
#include "definitions/catalogue.h"
#include "state/sources.h"

namespace benchsupport {

// The archive of support_archive.h in a directory named after Tag and this
// process, written at the first call.
inline const GeneratedArchive& TemporaryBenchArchive(const std::string& Tag) {
  static GeneratedArchive g = [&] {
    auto dir = std::filesystem::temp_directory_path() / ("kestrava_bench_" + Tag + "_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return GenerateCoreBenchArchive((dir / "bench.ufo").string());
  }();
  return g;
}

// One timed iteration of the reference: a fresh state, the archive loaded
// into the four lists and the four tables' rows built, as the table tool
// does (no column fitting: nothing is shown). Making and freeing the state
// are not timed. Returns the unit rows.
inline int TimedLoadFourTables(benchmark::State& St, const std::string& Path) {
  St.PauseTiming();
  ScriptedDialogs dialogs;
  auto state = std::make_unique<AppState>(dialogs);
  SetUpColumns(*state);
  state->AutosizeSetting = [] { return false; };
  St.ResumeTiming();
  OpenArchiveFiles(*state, {Path});
  St.PauseTiming();
  const int rows = state->UnitView.RowCount();
  state.reset();
  St.ResumeTiming();
  return rows;
}

}  // namespace benchsupport
