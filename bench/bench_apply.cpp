// kestrava-apply and kestrava-diff against the work they cannot avoid.
// Applying one changed cell to each of the 2,049 units of the benchmark
// archive (one archive rewrite) against the way without the tool: packing
// the archive's files anew with `hpi create` and the archive's compression
// (extract, edit, pack), and against `hpi add` of one file; all as programs,
// in the programs' own CPU time; diffing the archive against a copy with 100 changed units against
// loading both with kestrava-table. Prints the ratios and targets last.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/apply/apply_command.h"
#include "archive/ascii_case.h"
#include "hpi/archive.h"
#include "hpi/rewrite.h"
#include "bench/support_archive.h"
#include "bench/support_process.h"
#include "bench/support_ratio.h"
#include "tools/diff/diff_command.h"
#include "tools/table/table_command.h"
#include "definitions/table_read.h"


namespace {

namespace fs = std::filesystem;

struct Workload {
  fs::path Dir;
  std::string Original;  // the generated archive
  std::string Work;      // the archive each run changes, copied from Original first
  std::string Changed;   // a copy with 100 changed units
  std::string AllUnits;  // a table with one changed cell in each of the 2,049 units
  std::string OneFile;   // a unit file for `hpi add`
  std::string Tree;      // the archive's files extracted, for `hpi create`
  std::string Created;   // the archive `hpi create` writes
  std::string Method;    // the archive's compression as `hpi create` names it
  // The unit files as the apply of AllUnits writes them, by path in the archive.
  std::vector<std::pair<std::string, std::vector<uint8_t>>> AppliedUnits;
};

void WriteFile(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }

// A cell read back (UTF-8 already), quoted as RFC 4180 says.
void AppendUtf8CsvField(std::string& Out, const std::string& Cell) {
  if (Cell.find_first_of(",\"\r\n") == std::string::npos) {
    Out += Cell;
    return;
  }
  Out += '"';
  for (char c : Cell) Out += c == '"' ? std::string("\"\"") : std::string(1, c);
  Out += '"';
}

// The units table of Archive, with a digit added to BuildCostMetal in the first
// Rows rows, written as CSV.
std::string ChangedTable(const std::string& Archive, int Rows) {
  TableRequest request;
  request.Kind = "units";
  request.Archives = {Archive};
  std::ostringstream out, err;
  RunTable(request, out, err);
  ReadTable t;
  std::string why;
  ParseTable(out.str(), TableFormat::Csv, t, why);
  const size_t metal = static_cast<size_t>(
      std::find(t.Captions.begin(), t.Captions.end(), "BuildCostMetal") - t.Captions.begin());
  std::string csv;
  for (size_t c = 0; c < t.Captions.size(); ++c) {
    if (c) csv += ',';
    AppendUtf8CsvField(csv, t.Captions[c]);
  }
  csv += "\r\n";
  for (int r = 0; r < static_cast<int>(t.Rows.size()); ++r) {
    ReadTableCells cells = t.CellsOf(t.Rows[static_cast<size_t>(r)]);
    if (r < Rows) cells[metal] = cells[metal].value_or("") + "1";  // a digit more: always another value
    for (size_t c = 0; c < cells.size(); ++c) {
      if (c) csv += ',';
      AppendUtf8CsvField(csv, cells[c].value_or(""));
    }
    csv += "\r\n";
  }
  return csv;
}

// Runs a program with standard output to /dev/null; its exit status, or -1.
// Cpu gets the CPU time (user and system, all its threads) it took.
int RunProgram(const std::vector<std::string>& Args, double& Cpu) {
  const benchsupport::ChildRun r = benchsupport::RunQuiet(Args);
  if (r.status >= 0) Cpu = r.cpu;
  return r.status;
}

const Workload& Data() {
  static Workload w = [] {
    Workload d;
    d.Dir = fs::temp_directory_path() / ("kestrava_bench_apply_" + std::to_string(::getpid()));
    fs::create_directories(d.Dir);
    d.Original = GenerateCoreBenchArchive((d.Dir / "bench.ufo").string()).Path;
    d.Work = (d.Dir / "work.ufo").string();
    d.Changed = (d.Dir / "changed.ufo").string();
    fs::copy_file(d.Original, d.Work);
    fs::copy_file(d.Original, d.Changed);
    d.AllUnits = (d.Dir / "all.csv").string();
    WriteFile(d.AllUnits, ChangedTable(d.Work, 1 << 30));
    const std::string hundred = (d.Dir / "hundred.csv").string();
    WriteFile(hundred, ChangedTable(d.Changed, 100));
    std::ostringstream out, err;
    RunApply({hundred}, out, err);
    std::printf("copy with changed units: %s", out.str().substr(out.str().rfind('\n', out.str().size() - 2) + 1).c_str());
    // The files the apply of every unit writes, for the rewrite alone.
    RunApply({d.AllUnits}, out, err);
    if (const auto applied = hpi::Archive::Open(d.Work))
      for (size_t i = 0; i < applied->size(); ++i) {
        const std::string path = applied->PathOf(i);
        std::vector<uint8_t> bytes;
        if (LowerAscii(path).rfind("units\\", 0) == 0 && applied->ReadFile(uint32_t(i), bytes))
          d.AppliedUnits.emplace_back(path, std::move(bytes));
      }
    std::printf("unit files the apply of every unit writes: %zu\n", d.AppliedUnits.size());
    fs::copy_file(d.Original, d.Work, fs::copy_options::overwrite_existing);
    d.Tree = (d.Dir / "tree").string();
    d.Created = (d.Dir / "created.ufo").string();
    double cpu = 0;
    if (RunProgram({HPI_TOOL_PATH, "extract", d.Original, d.Tree}, cpu) != 0)
      std::fprintf(stderr, "cannot extract %s\n", d.Original.c_str());
    d.Method = "lz77";
    if (const auto a = hpi::Archive::Open(d.Original))
      for (size_t i = 0; i < a->size(); ++i)
        if (!a->at(i).isDirectory) {
          const char* names[] = {"none", "lz77", "zlib"};
          d.Method = names[std::min<size_t>(a->at(i).compression, 2)];
          break;
        }
    std::printf("the archive's compression: %s\n", d.Method.c_str());
    d.OneFile = (d.Dir / "UNIT.FBI").string();
    WriteFile(d.OneFile, "[UNITINFO]\r\n{\r\n\tUnitNumber=9999;\r\n\tUnitName=BENCHADD;\r\n}\r\n");
    return d;
  }();
  return w;
}

// Each run starts from the generated archive.
void Reset(benchmark::State& St) {
  St.PauseTiming();
  fs::copy_file(Data().Original, Data().Work, fs::copy_options::overwrite_existing);
  St.ResumeTiming();
}

// The programs' own CPU time per run, for the CPU ratio (the benchmark's
// CPU column is this process's, which only waits).
void RunTimed(benchmark::State& St, const std::vector<std::string>& Args, const char* Failed) {
  double total = 0, cpu = 0;
  for (auto _ : St) {
    Reset(St);
    if (RunProgram(Args, cpu) != 0) St.SkipWithError(Failed);
    total += cpu;
  }
  St.counters["child_cpu_ms"] = 1000 * total / double(St.iterations());
}

void BM_HpiAddOneFile(benchmark::State& St) {
  RunTimed(St, {HPI_TOOL_PATH, "add", Data().Work, "units\\BENCHADD.FBI", Data().OneFile}, "hpi add failed");
}

// The way without the tool: every file of the archive packed anew.
void BM_HpiCreateSameFiles(benchmark::State& St) {
  RunTimed(St, {HPI_TOOL_PATH, "create", Data().Created, Data().Tree, "--compression", Data().Method},
           "hpi create failed");
}

void BM_ApplyCellPerUnit(benchmark::State& St) {
  RunTimed(St, {KESTRAVA_APPLY_PATH, Data().AllUnits}, "kestrava-apply failed");
}

// The archive rewrite alone, in process: the 2,049 unit files the apply
// writes, put into the archive in one locked rewrite. What the apply costs
// above it is reading the table and the files, and planning.
void BM_RewriteAppliedUnits(benchmark::State& St) {
  for (auto _ : St) {
    Reset(St);
    const hpi::RewriteEdit edit = [](const hpi::Archive&, hpi::Changes& Changes, std::string*) {
      for (const auto& [path, bytes] : Data().AppliedUnits) Changes.Put(path, bytes);
      return true;
    };
    if (hpi::Rewrite(Data().Work, edit, hpi::RewriteOptions()) != hpi::RewriteStatus::Done)
      St.SkipWithError("the rewrite failed");
  }
}

void BM_TableBoth(benchmark::State& St) {
  std::ofstream out("/dev/null", std::ios::binary);
  std::ostringstream err;
  for (auto _ : St)
    for (const std::string& archive : {Data().Original, Data().Changed}) {
      TableRequest request;
      request.Kind = "units";
      request.Archives = {archive};
      if (RunTable(request, out, err) != 0) St.SkipWithError("kestrava-table failed");
    }
}

void BM_Diff(benchmark::State& St) {
  std::ofstream out("/dev/null", std::ios::binary);
  std::ostringstream err;
  for (auto _ : St)
    if (RunDiff({Data().Original, Data().Changed}, out, err) != 1) St.SkipWithError("kestrava-diff found no change");
}

// Many definitions in one file, one changed cell each, applied in process:
// the time per definition stays flat as the file grows when every cell is
// found without searching the whole file again.
struct WeaponFile {
  fs::path Dir;
  std::string Original, Table;
};

const WeaponFile& Weapons(int Count) {
  static std::map<int, WeaponFile> files;
  WeaponFile& w = files[Count];
  if (!w.Dir.empty()) return w;
  w.Dir = Data().Dir / ("weapons" + std::to_string(Count));
  fs::create_directories(w.Dir / "weapons");
  for (int i = 0; i < Count; ++i)
    w.Original += "[W" + std::to_string(i) + "]\r\n{\r\n\tID=" + std::to_string(i) +
                  ";\r\n\trange=300;\r\n\t[DAMAGE]\r\n\t{\r\n\t\tdefault=50;\r\n\t}\r\n}\r\n";
  WriteFile((w.Dir / "weapons" / "W.TDF").string(), w.Original);
  TableRequest request;
  request.Kind = "weapons";
  request.IncludeTaDir = true;
  request.TaDir = w.Dir.string();
  request.Format = TableFormat::Tsv;
  std::ostringstream out, err;
  RunTable(request, out, err);
  std::string table = out.str();
  for (size_t at = table.find("\t300\t"); at != std::string::npos; at = table.find("\t300\t", at + 5))
    table.replace(at, 5, "\t310\t");
  w.Table = (w.Dir / "weapons.tsv").string();
  WriteFile(w.Table, table);
  return w;
}

void BM_ApplyWeaponsInOneFile(benchmark::State& St) {
  const WeaponFile& w = Weapons(static_cast<int>(St.range(0)));
  for (auto _ : St) {
    St.PauseTiming();
    WriteFile((w.Dir / "weapons" / "W.TDF").string(), w.Original);
    St.ResumeTiming();
    std::ostringstream out, err;
    if (RunApply({w.Table}, out, err) != 0) St.SkipWithError("kestrava-apply failed");
  }
  St.SetItemsProcessed(St.iterations() * St.range(0));
}

BENCHMARK(BM_HpiAddOneFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(5)
    ->ComputeStatistics("min", benchsupport::Fastest);
BENCHMARK(BM_HpiCreateSameFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(5)
    ->ComputeStatistics("min", benchsupport::Fastest);
BENCHMARK(BM_ApplyCellPerUnit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(5)
    ->ComputeStatistics("min", benchsupport::Fastest);
BENCHMARK(BM_RewriteAppliedUnits)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(5)
    ->ComputeStatistics("min", benchsupport::Fastest);
BENCHMARK(BM_ApplyWeaponsInOneFile)->Arg(1000)->Arg(8000)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(2)->Repetitions(3)->ComputeStatistics("min", benchsupport::Fastest);
BENCHMARK(BM_TableBoth)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(5)
    ->ComputeStatistics("min", benchsupport::Fastest);
BENCHMARK(BM_Diff)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(5)
    ->ComputeStatistics("min", benchsupport::Fastest);

// The fastest repetitions, and the programs' own CPU time of the fastest run.
class ChildCpuReporter : public benchsupport::RatioReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      auto c = r.counters.find("child_cpu_ms");
      if (r.error_occurred || r.run_type != Run::RT_Iteration || c == r.counters.end()) continue;
      double& best = childCpu[r.run_name.function_name];
      best = best == 0 ? c->second.value : std::min(best, c->second.value);
    }
    benchsupport::RatioReporter::ReportRuns(runs);
  }
  std::map<std::string, double> childCpu;
};

void PrintRatio(const ChildCpuReporter& R, const char* What, const char* Ours, const char* Ref, const char* Target) {
  auto a = R.real.find(Ours), b = R.real.find(Ref);
  if (a == R.real.end() || b == R.real.end()) return;
  std::printf("%-58s %6.2fx  (%.0f ms / %.0f ms; target %s)\n", What, a->second / b->second, a->second, b->second,
              Target);
  auto ca = R.childCpu.find(Ours), cb = R.childCpu.find(Ref);
  if (ca != R.childCpu.end() && cb != R.childCpu.end() && cb->second > 0)
    std::printf("%-58s %6.2fx  (%.0f ms / %.0f ms of the programs' CPU time)\n", "  the same in CPU time",
                ca->second / cb->second, ca->second, cb->second);
}

// The programs' own CPU time of the fastest runs: the target of an apply.
void PrintCpuRatio(const ChildCpuReporter& R, const char* What, const char* Ours, const char* Ref, const char* Target) {
  auto a = R.childCpu.find(Ours), b = R.childCpu.find(Ref);
  if (a == R.childCpu.end() || b == R.childCpu.end() || b->second <= 0) return;
  std::printf("%-58s %6.2fx  (%.0f ms / %.0f ms of the programs' CPU time; target %s)\n", What,
              a->second / b->second, a->second, b->second, Target);
}

}  // namespace

int main(int argc, char** argv) {
  Data();
  ChildCpuReporter reporter;
  if (!benchsupport::RunInterleaved(argc, argv, reporter)) return 1;
  std::printf("\nTime ratios (ours / reference), fastest repetitions, real time:\n");
  PrintRatio(reporter, "kestrava-apply, a cell in each of 2,049 units / hpi add", "BM_ApplyCellPerUnit",
             "BM_HpiAddOneFile", "report");
  PrintCpuRatio(reporter, "kestrava-apply, a cell in each of 2,049 units / hpi create", "BM_ApplyCellPerUnit",
                "BM_HpiCreateSameFiles", "<= 0.5");
  PrintRatio(reporter, "  the rewrite alone with those 2,049 files / hpi add", "BM_RewriteAppliedUnits",
             "BM_HpiAddOneFile", "report");
  PrintRatio(reporter, "kestrava-diff, 100 changed units / kestrava-table of both", "BM_Diff", "BM_TableBoth",
             "<= 2");
  // Eight times the definitions in one file: linear work takes eight times as long.
  PrintRatio(reporter, "kestrava-apply, 8,000 / 1,000 weapons in one file", "BM_ApplyWeaponsInOneFile/8000",
             "BM_ApplyWeaponsInOneFile/1000", "<= 10 (linear: 8)");
  benchmark::Shutdown();
  fs::remove_all(Data().Dir);
  return 0;
}
