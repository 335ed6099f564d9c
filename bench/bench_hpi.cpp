// Archive library speed against plain zlib on the same data: reading a zlib
// archive, packing with zlib, and the LZ77 codec. Prints the ratios at the end.
//
//   bench_hpi [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "hpi/hpi.h"
#include "hpi/lz77.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kChunk = 65536;
constexpr int kLevel = 6;  // the library's zlib level

struct File {
  std::string name;
  Bytes data;
};

// About 30 MB: 270 definition-like text files and 30 binary ones.
const std::vector<File>& Data() {
  static const std::vector<File> files = [] {
    std::vector<File> out;
    std::mt19937 rng(42);
    static const char* const sides[] = {"ARM", "CORE"};
    static const char* const keys[] = {"BuildCostEnergy", "BuildCostMetal", "MaxDamage", "MaxVelocity",
                                       "Acceleration", "BrakeRate", "TurnRate", "SightDistance",
                                       "EnergyMake", "MetalStorage", "BuildTime", "WorkerTime"};
    for (int f = 0; f < 300; ++f) {
      File file;
      if (f % 10 == 9) {
        // Binary: palette-indexed pixels with runs and noise.
        file.name = "anims\\pic" + std::to_string(f) + ".gaf";
        while (file.data.size() < 100000) {
          const uint8_t colour = uint8_t(rng() % 32);
          const size_t run = 1 + rng() % 12;
          for (size_t i = 0; i < run; ++i) file.data.push_back(rng() % 5 ? colour : uint8_t(rng()));
        }
      } else {
        file.name = "units\\unit" + std::to_string(f) + ".fbi";
        std::string text;
        for (int u = 0; text.size() < 100000; ++u) {
          const char* side = sides[rng() % 2];
          text += "[UNITINFO]\r\n{\r\n\tUnitName=" + std::string(side) + "U" + std::to_string(f * 100 + u) +
                  ";\r\n\tSide=" + side + ";\r\n\tDescription=Unit number " + std::to_string(rng() % 997) +
                  ";\r\n";
          for (const char* key : keys)
            if (rng() % 4) text += std::string("\t") + key + "=" + std::to_string(rng() % 5000) + ";\r\n";
          text += "}\r\n";
        }
        file.data.assign(text.begin(), text.end());
      }
      out.push_back(std::move(file));
    }
    return out;
  }();
  return files;
}

std::vector<std::pair<const uint8_t*, size_t>> Chunks(bool textOnly = false) {
  std::vector<std::pair<const uint8_t*, size_t>> chunks;
  for (const File& f : Data()) {
    if (textOnly && f.name.rfind("units", 0) != 0) continue;
    for (size_t off = 0; off < f.data.size(); off += kChunk)
      chunks.emplace_back(f.data.data() + off, std::min(kChunk, f.data.size() - off));
  }
  return chunks;
}

size_t TotalBytes() {
  size_t n = 0;
  for (const File& f : Data()) n += f.data.size();
  return n;
}

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("bench_hpi_" + std::to_string(::getpid()) + "_" + name))
      .string();
}

bool Pack(const std::string& path, int method) {
  HPIHANDLE pack = HPICreate(path.c_str(), nullptr);
  for (const File& f : Data())
    HPIAddFileFromMemory(pack, f.name.c_str(), reinterpret_cast<const char*>(f.data.data()),
                         int32_t(f.data.size()));
  return HPIPackArchive(pack, method) != 0;
}

// --- Reading ---------------------------------------------------------------

void BM_ReadZlibArchive(benchmark::State& state) {
  const std::string path = TempPath("read.hpi");
  if (!Pack(path, 2)) state.SkipWithError("pack failed");
  std::vector<char> name(HPI_NAME_BUFFER);
  Bytes buffer;
  for (auto _ : state) {
    HPIHANDLE h = HPIOpen(path.c_str());
    int32_t type = 0, size = 0;
    for (int32_t pos = HPIGetFiles(h, 0, name.data(), &type, &size); pos;
         pos = HPIGetFiles(h, pos, name.data(), &type, &size)) {
      if (type) continue;
      HPIHANDLE f = HPIOpenFile(h, name.data());
      buffer.resize(size_t(size));
      HPIGet(buffer.data(), f, 0, size);
      HPICloseFile(f);
    }
    HPIClose(h);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(TotalBytes()));
  std::filesystem::remove(path);
}

// The same chunks as zlib streams (libdeflate at the same level writes the
// very bytes the archive holds), decompressed by plain zlib.
void BM_ZlibUncompressChunks(benchmark::State& state) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(kLevel);
  std::vector<std::pair<Bytes, size_t>> streams;
  for (const auto& [p, n] : Chunks()) {
    Bytes s(libdeflate_zlib_compress_bound(c, n));
    s.resize(libdeflate_zlib_compress(c, p, n, s.data(), s.size()));
    streams.emplace_back(std::move(s), n);
  }
  libdeflate_free_compressor(c);
  Bytes out(kChunk);
  for (auto _ : state) {
    for (const auto& [s, n] : streams) {
      uLongf len = uLongf(n);
      if (uncompress(out.data(), &len, s.data(), uLong(s.size())) != Z_OK) state.SkipWithError("zlib");
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(TotalBytes()));
}

// --- Packing ---------------------------------------------------------------

void BM_PackZlibArchive(benchmark::State& state) {
  const std::string path = TempPath("pack.hpi");
  for (auto _ : state)
    if (!Pack(path, 2)) state.SkipWithError("pack failed");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(TotalBytes()));
  state.counters["archive_MB"] = double(std::filesystem::file_size(path)) / 1e6;
  std::filesystem::remove(path);
}

void BM_ZlibCompress2Chunks(benchmark::State& state) {
  const auto chunks = Chunks();
  Bytes out(compressBound(kChunk));
  size_t total = 0;
  for (auto _ : state) {
    total = 0;
    for (const auto& [p, n] : chunks) {
      uLongf len = uLongf(out.size());
      compress2(out.data(), &len, p, uLong(n), kLevel);
      total += len;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(TotalBytes()));
  state.counters["output_MB"] = double(total) / 1e6;
}

// --- LZ77 ------------------------------------------------------------------

void BM_Lz77Encode(benchmark::State& state) {
  const auto chunks = Chunks(true);
  hpi::lz77::Encoder enc;
  Bytes out;
  size_t in = 0, total = 0;
  for (auto _ : state) {
    in = total = 0;
    for (const auto& [p, n] : chunks) {
      enc.Encode(p, n, out);
      in += n;
      total += out.size();
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in));
  // Literals only would take 9 bits per byte.
  state.counters["size_vs_literals"] = double(total) / (double(in) * 9 / 8);
  state.counters["size_vs_input"] = double(total) / double(in);
}

void BM_ZlibLevel6Encode(benchmark::State& state) {
  const auto chunks = Chunks(true);
  Bytes out(compressBound(kChunk));
  size_t in = 0, total = 0;
  for (auto _ : state) {
    in = total = 0;
    for (const auto& [p, n] : chunks) {
      uLongf len = uLongf(out.size());
      compress2(out.data(), &len, p, uLong(n), 6);
      in += n;
      total += len;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in));
  state.counters["size_vs_input"] = double(total) / double(in);
}

void BM_Lz77Decode(benchmark::State& state) {
  const auto chunks = Chunks(true);
  hpi::lz77::Encoder enc;
  std::vector<std::pair<Bytes, size_t>> streams;
  size_t in = 0;
  for (const auto& [p, n] : chunks) {
    Bytes s;
    enc.Encode(p, n, s);
    streams.emplace_back(std::move(s), n);
    in += n;
  }
  Bytes out(kChunk);
  for (auto _ : state) {
    for (const auto& [s, n] : streams)
      if (!hpi::lz77::Decode(s.data(), s.size(), out.data(), n)) state.SkipWithError("lz77");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in));
}

void BM_ZlibLevel6Decode(benchmark::State& state) {
  const auto chunks = Chunks(true);
  std::vector<std::pair<Bytes, size_t>> streams;
  size_t in = 0;
  for (const auto& [p, n] : chunks) {
    Bytes s(compressBound(uLong(n)));
    uLongf len = uLongf(s.size());
    compress2(s.data(), &len, p, uLong(n), 6);
    s.resize(len);
    streams.emplace_back(std::move(s), n);
    in += n;
  }
  Bytes out(kChunk);
  for (auto _ : state) {
    for (const auto& [s, n] : streams) {
      uLongf len = uLongf(n);
      uncompress(out.data(), &len, s.data(), uLong(s.size()));
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in));
}

BENCHMARK(BM_ReadZlibArchive)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZlibUncompressChunks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PackZlibArchive)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZlibCompress2Chunks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lz77Encode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZlibLevel6Encode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lz77Decode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZlibLevel6Decode)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each benchmark's real time per iteration for the ratios: the median
// when repetitions were asked for, else the single run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      std::string name = r.benchmark_name();
      name = name.substr(0, name.find('/'));
      if (r.run_type == Run::RT_Iteration && !medians.count(name)) times[name] = r.GetAdjustedRealTime();
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        times[name] = r.GetAdjustedRealTime();
        medians.insert(name);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
  std::set<std::string> medians;
};

void PrintRatio(const RatioReporter& r, const char* what, const char* ours, const char* ref, const char* target) {
  auto a = r.times.find(ours), b = r.times.find(ref);
  if (a == r.times.end() || b == r.times.end()) return;
  std::printf("%-44s %6.2fx  (target %s)\n", what, a->second / b->second, target);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("data: %zu files, %.1f MB\n", Data().size(), double(TotalBytes()) / 1e6);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nTime ratios (ours / reference):\n");
  PrintRatio(reporter, "read zlib archive / zlib uncompress", "BM_ReadZlibArchive", "BM_ZlibUncompressChunks",
             "<= 1.3");
  PrintRatio(reporter, "pack zlib archive / compress2 single thread", "BM_PackZlibArchive",
             "BM_ZlibCompress2Chunks", "<= 0.7");
  PrintRatio(reporter, "LZ77 encode / zlib level 6 encode", "BM_Lz77Encode", "BM_ZlibLevel6Encode", "<= 1.0");
  PrintRatio(reporter, "LZ77 decode / zlib level 6 decode", "BM_Lz77Decode", "BM_ZlibLevel6Decode", "report");
  benchmark::Shutdown();
  return 0;
}
