// Saving costs what changed: `hpi add` of one small file and the window's
// Save of one edited unit into a 48 MB zlib archive (500 files), their CPU
// against `hpi verify` of the same archive, and their peak memory above the
// program's idle, also for an archive four times larger. Every figure is
// taken in a fresh process, all of them in one run, and printed with its
// target. The Save is driven without a window: the engine's save with
// scripted dialogs, in a child process of this program.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_save.h"
#include "archive/scripted_dialogs.h"
#include "bench/support_process.h"
#include "hpi/archive.h"
#include "hpi/writer.h"


namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 500;
constexpr size_t kFileBytes = 244 * 1024;  // 122 MB in all
constexpr int kRounds = 5;

// Game-like text with numbers drawn at random, and a stretch of noise: the
// whole packs with zlib to about two fifths of its size.
std::vector<uint8_t> FileData(std::mt19937& rng) {
  std::vector<uint8_t> d;
  d.reserve(kFileBytes);
  static const char* keys[] = {"MaxDamage", "BuildCostEnergy", "BuildTime", "Acceleration", "TurnRate",
                               "SightDistance", "WeaponOne", "Category", "Corpse", "Description"};
  while (d.size() < kFileBytes) {
    if (rng() % 16 == 0) {
      for (int i = 0; i < 64; ++i) d.push_back(uint8_t(rng()));
      continue;
    }
    const std::string line = std::string("\t") + keys[rng() % 10] + "=" + std::to_string(rng() % 100000) + ";\r\n";
    d.insert(d.end(), line.begin(), line.end());
  }
  d.resize(kFileBytes);
  return d;
}

// The 48 MB archive, and one four times larger made of four copies of its
// files under other directories (their chunks copied, so it is quick).
void MakeArchives(const std::string& small, const std::string& large) {
  std::mt19937 rng(42);
  {
    std::vector<std::vector<uint8_t>> data;
    hpi::Writer w;
    for (int i = 0; i < kFiles; ++i) {
      data.push_back(FileData(rng));
      w.AddFile("units" + std::to_string(i % 8) + "\\UNIT" + std::to_string(i) + ".FBI", data.back().data(),
                data.back().size());
    }
    hpi::Writer::Options o;
    o.method = hpi::Method::Zlib;
    w.Pack(small, o);
  }
  auto a = hpi::Archive::Open(small);
  hpi::Writer w;
  for (int copy = 0; copy < 4; ++copy)
    for (size_t i = 0; i < a->size(); ++i)
      if (!a->at(i).isDirectory) w.AddArchivedFile("copy" + std::to_string(copy) + "\\" + a->PathOf(i), *a, uint32_t(i));
  hpi::Writer::Options o;
  o.method = hpi::Method::Zlib;
  o.keepStored = true;
  w.Pack(large, o);
}

struct Usage {
  double cpu = -1;  // seconds, user + system
  long peakKb = -1;
};

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

// Runs a program to its end: its CPU time and peak resident memory, when it
// succeeded.
Usage Run(const std::vector<std::string>& args) {
  const benchsupport::ChildRun r = benchsupport::RunQuiet(args);
  Usage u;
  if (r.status == 0) {
    u.cpu = r.cpu;
    u.peakKb = r.peakKb;
  }
  return u;
}

// In the child: one Save of an edited unit into the archive, as the window
// makes it (compression ZLib). Prints its CPU, and its peak memory above the
// memory held before it started.
int SaveChild(const std::string& archive) {
  ScriptedDialogs dialogs;
  EngineState state(dialogs);
  state.CompressionSetting = [] { return 2; };
  const std::string text = "[UNITINFO]\r\n{\r\n\tUnitName=EDITED;\r\n\tMaxDamage=4242;\r\n}\r\n";
  const long idleKb = benchsupport::StatusKb("VmRSS:");
  struct rusage before {}, after {};
  getrusage(RUSAGE_SELF, &before);
  SaveFileIntoArchive(state, archive, "units3\\UNIT3.FBI", text.data(), int32_t(text.size()));
  getrusage(RUSAGE_SELF, &after);
  if (!dialogs.Messages.empty()) return 1;
  const double cpu = Seconds(after.ru_utime) + Seconds(after.ru_stime) - Seconds(before.ru_utime) -
                     Seconds(before.ru_stime);
  std::printf("%f %ld\n", cpu, benchsupport::StatusKb("VmHWM:") - idleKb);
  return 0;
}

Usage SaveInChild(const std::string& archive) {
  Usage u;
  const std::string out = benchsupport::RunSelf("save=" + archive);
  if (std::sscanf(out.c_str(), "%lf %ld", &u.cpu, &u.peakKb) != 2) return {};
  return u;
}

template <typename F>
Usage Median(F measure) {
  std::vector<Usage> runs;
  for (int i = 0; i < kRounds; ++i) runs.push_back(measure());
  for (const Usage& u : runs)
    if (u.cpu < 0) return {};
  std::sort(runs.begin(), runs.end(), [](const Usage& a, const Usage& b) { return a.cpu < b.cpu; });
  Usage m = runs[kRounds / 2];
  std::vector<long> peaks;
  for (const Usage& u : runs) peaks.push_back(u.peakKb);
  std::sort(peaks.begin(), peaks.end());
  m.peakKb = peaks[kRounds / 2];
  return m;
}

void PrintRatio(const char* what, double ours, double reference, double limit) {
  const double r = ours >= 0 && reference > 0 ? ours / reference : -1;
  std::printf("%-68s %6.2fx  (%.3f s / %.3f s)  target <= %.2fx  %s\n", what, r, ours, reference, limit,
              r >= 0 && r <= limit ? "met" : "NOT MET");
}

void PrintMemory(const char* what, long kb, long limitMb) {
  std::printf("%-68s %6.1f MB                       target <= %ld MB  %s\n", what, double(kb) / 1024, limitMb,
              kb >= 0 && kb <= limitMb * 1024 ? "met" : "NOT MET");
}

}  // namespace

// In a fresh process of small memory: a program started from one inherits
// the peak memory of the process it was started from in its own figure.
int Measure(const std::string& dir) {
  const std::string small = dir + "/mod.hpi", large = dir + "/large.hpi", note = dir + "/note.txt";
  const std::string tool = HPI_TOOL_PATH;
  int n = 0;
  const Usage idle = Median([&] { return Run({tool, "--help"}); });
  const Usage verify = Median([&] { return Run({tool, "verify", small}); });
  const Usage add = Median([&] { return Run({tool, "add", small, "notes\\N" + std::to_string(n++) + ".TXT", note}); });
  const Usage addZlib = Median(
      [&] { return Run({tool, "add", small, "notes\\N" + std::to_string(n++) + ".TXT", note, "--compression", "zlib"}); });
  const Usage save = Median([&] { return SaveInChild(small); });
  const Usage addLarge =
      Median([&] { return Run({tool, "add", large, "notes\\N" + std::to_string(n++) + ".TXT", note}); });
  const Usage saveLarge = Median([&] { return SaveInChild(large); });

  std::printf("\nMedians of %d runs, each in a fresh process:\n", kRounds);
  PrintRatio("hpi add of one small file (no --compression) CPU / hpi verify CPU", add.cpu, verify.cpu, 0.5);
  PrintRatio("hpi add of one small file (--compression zlib) CPU / hpi verify CPU", addZlib.cpu, verify.cpu, 0.5);
  PrintRatio("Save of one edited unit (compression ZLib) CPU / hpi verify CPU", save.cpu, verify.cpu, 0.5);
  PrintMemory("hpi add peak memory above the tool's idle (hpi --help)",
              add.peakKb >= 0 && idle.peakKb >= 0 ? add.peakKb - idle.peakKb : -1, 64);
  PrintMemory("Save peak memory above the program's idle", save.peakKb, 64);
  PrintMemory("  the same add into the archive four times larger",
              addLarge.peakKb >= 0 && idle.peakKb >= 0 ? addLarge.peakKb - idle.peakKb : -1, 64);
  PrintMemory("  the same Save into the archive four times larger", saveLarge.peakKb, 64);
  std::printf("(hpi verify: %.1f MB peak, hpi --help %.1f MB; into the larger archive hpi add takes %.3f s CPU, Save %.3f s)\n",
              double(verify.peakKb) / 1024, double(idle.peakKb) / 1024, addLarge.cpu, saveLarge.cpu);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 2 && std::strncmp(argv[1], "save=", 5) == 0) return SaveChild(argv[1] + 5);
  if (argc == 2 && std::strncmp(argv[1], "measure=", 8) == 0) return Measure(argv[1] + 8);
  const std::string dir = (fs::temp_directory_path() / ("kestrava-bench-rewrite-" + std::to_string(::getpid()))).string();
  fs::create_directories(dir);
  const std::string small = dir + "/mod.hpi", large = dir + "/large.hpi";
  MakeArchives(small, large);
  {
    FILE* f = std::fopen((dir + "/note.txt").c_str(), "wb");
    std::fputs("[MENUENTRY1]\r\n{\r\n}\r\n", f);
    std::fclose(f);
  }
  std::printf("archive: %d files, %.1f MB unpacked, %.1f MB packed with zlib; four times larger: %.1f MB\n", kFiles,
              double(kFiles) * kFileBytes / 1e6, double(fs::file_size(small)) / 1e6, double(fs::file_size(large)) / 1e6);
  std::fflush(stdout);
  std::fputs(benchsupport::RunSelf("measure=" + dir).c_str(), stdout);
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
