// Extraction of a deeply nested archive through the program's extraction
// mode: directories and files are created level by level, so the cost per
// entry must not grow with the depth (well under a second for 2,000 levels).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/engine.h"
#include "archive/scripted_dialogs.h"

namespace fs = std::filesystem;

namespace {

void Put32(std::string& B, size_t At, uint32_t V) {
  for (int i = 0; i < 4; ++i) B[At + size_t(i)] = char((V >> (8 * i)) & 0xFF);
}

// A plain archive Depth directories deep ("d0\d1\..."), every directory
// holding a small file listed after its subdirectory, so that a depth-first
// walk goes all the way down and writes the files on the way back up.
std::string DeepArchive(int Depth) {
  std::string b(20, '\0');
  std::vector<std::pair<size_t, std::string>> files;  // file record, contents
  size_t subdirRecord = 0;
  for (int level = 0; level <= Depth; ++level) {
    const bool hasSubdir = level < Depth, hasFile = level > 0;
    const uint32_t count = uint32_t(hasSubdir) + uint32_t(hasFile);
    const size_t node = b.size();
    if (level > 0) Put32(b, subdirRecord + 4, uint32_t(node));
    b.resize(node + 8 + 9 * count);
    Put32(b, node, count);
    Put32(b, node + 4, uint32_t(node + 8));
    size_t record = node + 8;
    if (hasSubdir) {
      Put32(b, record, uint32_t(b.size()));
      b += "d" + std::to_string(level) + '\0';
      b[record + 8] = 1;
      subdirRecord = record;
      record += 9;
    }
    if (hasFile) {
      Put32(b, record, uint32_t(b.size()));
      b += std::string("f.txt") + '\0';
      Put32(b, record + 4, uint32_t(b.size()));
      files.push_back({b.size(), "level " + std::to_string(level) + "\n"});
      b.resize(b.size() + 9);
    }
  }
  b.replace(0, 4, "HAPI");
  Put32(b, 4, 0x00010000);
  Put32(b, 8, uint32_t(b.size()));
  Put32(b, 16, 20);
  for (const auto& [record, data] : files) {
    Put32(b, record, uint32_t(b.size()));
    Put32(b, record + 4, uint32_t(data.size()));
    b += data;
  }
  return b;
}

void BM_ExtractNested2000Levels(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / ("kestrava_bench_extract_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string archive = (dir / "deep.hpi").string();
  const std::string bytes = DeepArchive(2000);
  std::ofstream(archive, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  ScriptedDialogs dialogs;
  EngineState engine(dialogs);
  // A new target each time: removing a tree just before writing one again
  // would time the file system's reuse of the freed inodes.
  std::string out;
  int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    out = (dir / ("out" + std::to_string(run++))).string();
    fs::create_directory(out);
    engine.ExtractDir = out + "/";
    state.ResumeTiming();
    ReadwriteHPIDir(engine, nullptr, archive, rwExtractArchive);
  }
  state.counters["entries"] = 4000;
  // Every file was written, down to the deepest level.
  const std::string count = "test \"$(find '" + out + "' -name f.txt | wc -l)\" = 2000";
  if (std::system(count.c_str()) != 0) state.SkipWithError("not every file was extracted");
  // Deeper than the system's path limit: `rm` removes such a tree, the
  // standard library's whole-path removal does not.
  if (std::system(("rm -rf '" + dir.string() + "'").c_str()) != 0) state.SkipWithError("cannot remove the data");
}

}  // namespace

BENCHMARK(BM_ExtractNested2000Levels)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

BENCHMARK_MAIN();
