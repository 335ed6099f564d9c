// Loading an archive's four kinds of definition files plus building the four
// tables' rows, against reading the same files through the archive library
// alone; and the peak memory of load plus rows, measured in a fresh process.
//
//   bench_core                      runs all three benchmarks
//   bench_core --kestrava-memory=A  (internal) loads archive A once, prints
//                                   "baseline_kb peak_kb loaded_bytes"
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "archive/engine.h"
#include "archive/scripted_dialogs.h"
#include "definitions/build_rows.h"
#include "state/app_state.h"
#include "definitions/catalogue.h"
#include "hpi/hpi.h"
#include "bench/support_archive.h"

namespace {

// ---- the work measured

struct Loaded {
  ScriptedDialogs Dialogs;
  AppState State{Dialogs};
};

void LoadOnly(Loaded& L, const std::string& Archive) {
  AppState& s = L.State;
  for (AllUnpacked* list : {&s.UnitFiles, &s.WeaponFiles, &s.DownloadFiles, &s.CorpseFiles})
    ReadwriteHPIDir(s, list, Archive, rwLoadArchive);
}

void RowsOnly(Loaded& L) {
  AppState& s = L.State;
  BuildRows(s, s.UnitView, s.UnitFiles, false, brAddNew, nullptr);
  BuildRows(s, s.WeaponView, s.WeaponFiles, true, brAddNew, nullptr);
  BuildRows(s, s.DownloadView, s.DownloadFiles, true, brAddNew, nullptr);
  BuildRows(s, s.CorpseView, s.CorpseFiles, true, brAddNew, nullptr);
}

int64_t LoadAndBuild(Loaded& L, const std::string& Archive) {
  LoadOnly(L, Archive);
  RowsOnly(L);
  AppState& s = L.State;
  int64_t bytes = 0;
  for (AllUnpacked* list : {&s.UnitFiles, &s.WeaponFiles, &s.DownloadFiles, &s.CorpseFiles})
    for (int i = 0; i < list->Count; ++i) bytes += (*list)[i].PFileSize;
  return bytes;
}

// The same files through the library alone: list each kind's directory and
// read every file into its own buffer.
int64_t LibraryReadAlone(const std::string& Archive, std::vector<std::unique_ptr<char[]>>& Buffers) {
  int64_t bytes = 0;
  HPIHANDLE h = HPIOpen(Archive.c_str());
  auto name = std::make_unique<char[]>(HPI_NAME_BUFFER);
  for (const char* dir : {"units", "weapons", "download", "features\\corpses"}) {
    int32_t pos = 0, type = 0, size = 0;
    while ((pos = HPIDir(h, pos, dir, name.get(), &type, &size)) != 0) {
      if (type) continue;
      std::string path = std::string(dir) + "\\" + name.get();
      HPIHANDLE f = HPIOpenFile(h, path.c_str());
      auto buffer = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(size));
      HPIGet(buffer.get(), f, 0, size);
      HPICloseFile(f);
      Buffers.push_back(std::move(buffer));
      bytes += size;
    }
  }
  HPIClose(h);
  return bytes;
}

const GeneratedArchive& Archive() {
  static GeneratedArchive g = [] {
    auto dir = std::filesystem::temp_directory_path() / ("kestrava_bench_core_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return GenerateCoreBenchArchive((dir / "bench.ufo").string());
  }();
  return g;
}

void BM_LibraryReadAlone(benchmark::State& st) {
  const std::string path = Archive().Path;
  int64_t bytes = 0;
  for (auto _ : st) {
    std::vector<std::unique_ptr<char[]>> buffers;
    bytes = LibraryReadAlone(path, buffers);
    benchmark::DoNotOptimize(buffers.data());
    st.PauseTiming();
    buffers.clear();
    st.ResumeTiming();
  }
  st.counters["loaded_MB"] = static_cast<double>(bytes) / 1e6;
  st.SetBytesProcessed(bytes * st.iterations());
}

void BM_LoadPlusRows(benchmark::State& st) {
  const std::string path = Archive().Path;
  int64_t bytes = 0;
  int rows = 0;
  for (auto _ : st) {
    st.PauseTiming();
    auto loaded = std::make_unique<Loaded>();
    SetUpColumns(loaded->State);
    st.ResumeTiming();
    bytes = LoadAndBuild(*loaded, path);
    st.PauseTiming();
    AppState& s = loaded->State;
    rows = s.UnitView.RowCount() + s.WeaponView.RowCount() + s.DownloadView.RowCount() + s.CorpseView.RowCount();
    loaded.reset();
    st.ResumeTiming();
  }
  st.counters["loaded_MB"] = static_cast<double>(bytes) / 1e6;
  st.counters["rows"] = rows;
  st.SetBytesProcessed(bytes * st.iterations());
}

// The two halves of BM_LoadPlusRows on their own, to show where the time goes.
void BM_EngineLoadOnly(benchmark::State& st) {
  const std::string path = Archive().Path;
  for (auto _ : st) {
    st.PauseTiming();
    auto loaded = std::make_unique<Loaded>();
    SetUpColumns(loaded->State);
    st.ResumeTiming();
    LoadOnly(*loaded, path);
    st.PauseTiming();
    loaded.reset();
    st.ResumeTiming();
  }
}

void BM_RowsOnly(benchmark::State& st) {
  const std::string path = Archive().Path;
  for (auto _ : st) {
    st.PauseTiming();
    auto loaded = std::make_unique<Loaded>();
    SetUpColumns(loaded->State);
    LoadOnly(*loaded, path);
    st.ResumeTiming();
    RowsOnly(*loaded);
    st.PauseTiming();
    loaded.reset();
    st.ResumeTiming();
  }
}

long StatusKb(const char* Field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(Field);
  while (std::getline(in, line))
    if (line.compare(0, n, Field) == 0) return std::stol(line.substr(n + 1));
  return -1;
}

// Runs load plus rows once in a fresh process (so that nothing the benchmark
// process did before counts) and reports its peak resident memory.
void BM_PeakMemory(benchmark::State& st) {
  const std::string path = Archive().Path;
  long baseline = 0, peak = 0;
  long long loaded = 0, rowBytes = 0;
  for (auto _ : st) {
    int fds[2];
    if (::pipe(fds) != 0) return st.SkipWithError("pipe");
    pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(fds[1], 1);
      std::string arg = "--kestrava-memory=" + path;
      ::execl("/proc/self/exe", "bench_core", arg.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    char buf[256] = {};
    ssize_t n = ::read(fds[0], buf, sizeof buf - 1);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (n <= 0 || std::sscanf(buf, "%ld %ld %lld %lld", &baseline, &peak, &loaded, &rowBytes) != 4)
      return st.SkipWithError("child failed");
  }
  const double loadedMb = static_cast<double>(loaded) / 1e6;
  const double growthMb = static_cast<double>(peak - baseline) * 1024 / 1e6;
  st.counters["baseline_MB"] = static_cast<double>(baseline) * 1024 / 1e6;
  st.counters["peak_MB"] = static_cast<double>(peak) * 1024 / 1e6;
  st.counters["loaded_MB"] = loadedMb;
  st.counters["growth_per_loaded"] = growthMb / loadedMb;
  st.counters["row_cells_MB"] = static_cast<double>(rowBytes) / 1e6;
}

// Bytes the rows themselves hold (row objects, caption, packed cells), whatever
// the allocator adds on top.
int64_t RowBytes(const RowTable& View) {
  int64_t total = 0;
  auto text = [](const std::string& S) { return S.capacity() > 15 ? static_cast<int64_t>(S.capacity() + 1) : 0; };
  for (int i = 0; i < View.RowCount(); ++i) {
    const Row& r = View.RowAt(i);
    size_t bytes = 0;
    for (size_t j = 0; j < r.SubItemCount(); ++j) bytes += r.SubItem(j).size();
    // Packed cells: the text itself plus one end offset per cell.
    total += static_cast<int64_t>(sizeof(Row) + bytes + r.SubItemCount() * sizeof(uint32_t)) + text(r.Caption);
  }
  return total;
}

int MeasureMemory(const std::string& Path) {
  const long baseline = StatusKb("VmHWM:");
  auto loaded = std::make_unique<Loaded>();
  SetUpColumns(loaded->State);
  const int64_t bytes = LoadAndBuild(*loaded, Path);
  const long peak = StatusKb("VmHWM:");
  const AppState& s = loaded->State;
  const int64_t rows = RowBytes(s.UnitView) + RowBytes(s.WeaponView) + RowBytes(s.DownloadView) + RowBytes(s.CorpseView);
  std::printf("%ld %ld %lld %lld\n", baseline, peak, static_cast<long long>(bytes), static_cast<long long>(rows));
  std::fflush(stdout);
  std::_Exit(0);  // the figures are out; skip tearing the tables down
}

}  // namespace

BENCHMARK(BM_LibraryReadAlone)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadPlusRows)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_EngineLoadOnly)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_RowsOnly)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
  const std::string flag = "--kestrava-memory=";
  if (argc == 2 && std::strncmp(argv[1], flag.c_str(), flag.size()) == 0) return MeasureMemory(argv[1] + flag.size());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(std::filesystem::path(Archive().Path).parent_path());
  return 0;
}
