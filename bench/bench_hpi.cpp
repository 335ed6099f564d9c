// Archive library speed against plain zlib and cp on the same data: reading a
// zlib archive (as we write it, and at level 9 with a key, as other packers
// write it), packing with zlib, `hpi extract`, and the LZ77 codec. Each
// benchmark runs several times, interleaved with the others, and the ratios of
// the medians are printed at the end next to their targets; the reads are also
// compared in paired rounds, which a loaded machine disturbs least.
//
//   bench_hpi [--benchmark_filter=...] [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "hpi/archive.h"
#include "hpi/format.h"
#include "hpi/hpi.h"
#include "hpi/lz77.h"
#include "hpi/writer.h"
#include "support_archive.h"

extern char** environ;

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

size_t BytesOf(const std::vector<File>& files) {
  size_t n = 0;
  for (const File& f : files) n += f.data.size();
  return n;
}

std::vector<std::pair<const uint8_t*, size_t>> ChunksOf(const std::vector<File>& files) {
  std::vector<std::pair<const uint8_t*, size_t>> chunks;
  for (const File& f : files)
    for (size_t off = 0; off < f.data.size(); off += kChunk)
      chunks.emplace_back(f.data.data() + off, std::min(kChunk, f.data.size() - off));
  return chunks;
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

// Temporary files made once and removed when the program ends.
struct TempFiles {
  std::vector<std::string> paths;
  ~TempFiles() {
    std::error_code ec;
    for (const std::string& p : paths) std::filesystem::remove_all(p, ec);
  }
};
TempFiles& Temps() {
  static TempFiles t;
  return t;
}

// The benchmarks' mod archive (bench/support_archive.h): 2,049 units, 2,049
// weapon files, 400 build menus and 600 corpse files, packed with LZ77.
const std::string& ModArchive() {
  static const std::string path = [] {
    const std::string p = TempPath("mod.hpi");
    Temps().paths.push_back(p);
    GenerateCoreBenchArchive(p);
    return p;
  }();
  return path;
}

// The mod archive's files, for packing them again as other packers do.
const std::vector<File>& ModFiles() {
  static const std::vector<File> files = [] {
    std::vector<File> out;
    std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(ModArchive());
    for (size_t i = 0; a && i < a->size(); ++i) {
      if (a->at(i).isDirectory) continue;
      File f;
      f.name = a->PathOf(i);
      if (!a->ReadFile(uint32_t(i), f.data)) std::fprintf(stderr, "cannot read %s\n", f.name.c_str());
      out.push_back(std::move(f));
    }
    return out;
  }();
  return files;
}

// The archive as the library packs it (zlib, level 6, no key).
const std::string& ZlibArchive() {
  static const std::string path = [] {
    const std::string p = TempPath("read.hpi");
    Temps().paths.push_back(p);
    if (!Pack(p, 2)) std::fprintf(stderr, "pack failed\n");
    return p;
  }();
  return path;
}

// A mod archive as other packers write it: zlib level 9 and a header key, so
// every byte after the header is encrypted.
constexpr int kOtherLevel = 9;
const std::string& Zlib9KeyArchive() {
  static const std::string path = [] {
    const std::string p = TempPath("read9key.hpi");
    Temps().paths.push_back(p);
    hpi::Writer w;
    for (const File& f : ModFiles()) w.AddFile(f.name, f.data.data(), f.data.size());
    hpi::Writer::Options o;
    o.method = hpi::Method::Zlib;
    o.zlibLevel = kOtherLevel;
    o.headerKey = 0x7D;
    if (!w.Pack(p, o)) std::fprintf(stderr, "pack failed\n");
    return p;
  }();
  return path;
}

// --- Reading ---------------------------------------------------------------

// Every file one by one, as a caller of the library operations reads them:
// HPIGetFiles, then HPIOpenFile, HPIGet and HPICloseFile for each file.
// One pass over every file; false when a file could not be read.
[[gnu::noinline]] bool ReadAllOneByOne(const std::string& path, std::vector<char>& name, Bytes& buffer) {
  HPIHANDLE h = HPIOpen(path.c_str());
  if (!h) return false;
  bool ok = true;
  int32_t type = 0, size = 0;
  for (int32_t pos = HPIGetFiles(h, 0, name.data(), &type, &size); pos;
       pos = HPIGetFiles(h, pos, name.data(), &type, &size)) {
    if (type) continue;
    HPIHANDLE f = HPIOpenFile(h, name.data());
    buffer.resize(size_t(size));
    ok &= HPIGet(buffer.data(), f, 0, size) == size;
    HPICloseFile(f);
  }
  HPIClose(h);
  benchmark::DoNotOptimize(buffer.data());
  return ok;
}

void ReadOneByOne(benchmark::State& state, const std::string& path, size_t bytes) {
  std::vector<char> name(HPI_NAME_BUFFER);
  Bytes buffer;
  for (auto _ : state)
    if (!ReadAllOneByOne(path, name, buffer)) state.SkipWithError("read failed");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_ReadZlibArchive(benchmark::State& state) { ReadOneByOne(state, ZlibArchive(), TotalBytes()); }
void BM_ReadZlib9KeyArchive(benchmark::State& state) {
  ReadOneByOne(state, Zlib9KeyArchive(), BytesOf(ModFiles()));
}

// Every file in one batch call (HPIReadFiles), decoded on every core, as the
// program's archive loads read them.
void BM_ReadZlib9KeyArchiveBatch(benchmark::State& state) {
  const std::string& path = Zlib9KeyArchive();
  std::vector<char> name(HPI_NAME_BUFFER);
  std::vector<std::string> names;
  std::vector<int32_t> sizes;
  for (auto _ : state) {
    HPIHANDLE h = HPIOpen(path.c_str());
    if (!h) state.SkipWithError("open failed");
    names.clear();
    sizes.clear();
    int32_t type = 0, size = 0;
    for (int32_t pos = HPIGetFiles(h, 0, name.data(), &type, &size); pos;
         pos = HPIGetFiles(h, pos, name.data(), &type, &size))
      if (!type) {
        names.emplace_back(name.data());
        sizes.push_back(size);
      }
    std::vector<const char*> pointers;
    for (const std::string& n : names) pointers.push_back(n.c_str());
    std::vector<Bytes> buffers(names.size());
    std::vector<int32_t> results(names.size());
    auto destination = [](void* context, int32_t index, int32_t n) -> void* {
      Bytes& b = (*static_cast<std::vector<Bytes>*>(context))[size_t(index)];
      b.resize(size_t(n));
      return b.data();
    };
    HPIReadFiles(h, int32_t(names.size()), pointers.data(), sizes.data(), destination, &buffers, results.data());
    for (size_t i = 0; i < names.size(); ++i)
      if (results[i] != sizes[i]) state.SkipWithError("read failed");
    HPIClose(h);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(BytesOf(ModFiles())));
}

// The same chunks as zlib streams (libdeflate at the same level writes the
// very bytes the archive holds), decompressed by plain zlib.
// The files' chunks as zlib streams of the given level.
std::vector<std::pair<Bytes, size_t>> ZlibStreams(const std::vector<File>& files, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  std::vector<std::pair<Bytes, size_t>> streams;
  for (const auto& [p, n] : ChunksOf(files)) {
    Bytes s(libdeflate_zlib_compress_bound(c, n));
    s.resize(libdeflate_zlib_compress(c, p, n, s.data(), s.size()));
    streams.emplace_back(std::move(s), n);
  }
  libdeflate_free_compressor(c);
  return streams;
}

// One pass of zlib's uncompress over every stream; false on an error.
[[gnu::noinline]] bool UncompressAll(const std::vector<std::pair<Bytes, size_t>>& streams, Bytes& out) {
  bool ok = true;
  for (const auto& [s, n] : streams) {
    uLongf len = uLongf(n);
    ok &= uncompress(out.data(), &len, s.data(), uLong(s.size())) == Z_OK;
  }
  benchmark::DoNotOptimize(out.data());
  return ok;
}

void UncompressChunks(benchmark::State& state, const std::vector<File>& files, int level) {
  const auto streams = ZlibStreams(files, level);
  Bytes out(kChunk);
  for (auto _ : state)
    if (!UncompressAll(streams, out)) state.SkipWithError("zlib");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(BytesOf(files)));
}

// The same comparison in alternating rounds: each round times one pass of
// ours and one of zlib back to back, by the thread's CPU time, and the median
// of the per-round ratios is taken. Load that comes and goes then falls on
// both sides of a ratio alike.
double PairedReadRatio(const std::string& path, const std::vector<File>& files, int level, int rounds) {
  const auto streams = ZlibStreams(files, level);
  std::vector<char> name(HPI_NAME_BUFFER);
  Bytes buffer, out(kChunk);
  auto now = [] {
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
  };
  std::vector<double> ratios;
  for (int r = 0; r < rounds; ++r) {
    const double t0 = now();
    const bool a = ReadAllOneByOne(path, name, buffer);
    const double t1 = now();
    const bool b = UncompressAll(streams, out);
    const double t2 = now();
    if (!a || !b) return -1;
    ratios.push_back((t1 - t0) / (t2 - t1));
  }
  std::sort(ratios.begin(), ratios.end());
  return ratios[ratios.size() / 2];
}

void BM_ZlibUncompressChunks(benchmark::State& state) { UncompressChunks(state, Data(), kLevel); }
void BM_Zlib9UncompressChunks(benchmark::State& state) { UncompressChunks(state, ModFiles(), kOtherLevel); }

// --- Packing ---------------------------------------------------------------

// The compressed data of an unencrypted archive: its chunks without their
// headers, to compare with what compress2 writes for the same chunks.
uint64_t CompressedBytes(const std::string& path) {
  std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(path);
  if (!a) return 0;
  std::ifstream in(path, std::ios::binary);
  uint64_t total = 0;
  for (size_t i = 0; i < a->size(); ++i) {
    const hpi::Entry& e = a->at(i);
    if (e.isDirectory || e.compression == 0) continue;
    std::vector<uint8_t> lengths(4 * size_t(hpi::ChunkCount(e.size)));
    in.seekg(e.dataOffset);
    in.read(reinterpret_cast<char*>(lengths.data()), std::streamsize(lengths.size()));
    for (size_t k = 0; k < lengths.size(); k += 4) total += hpi::LoadU32(&lengths[k]) - hpi::kChunkHeaderSize;
  }
  return total;
}

// Output sizes for the size comparison printed at the end.
double gPackedBytes = 0, gCompress2Bytes = 0;

void BM_PackZlibArchive(benchmark::State& state) {
  const std::string path = TempPath("pack.hpi");
  for (auto _ : state)
    if (!Pack(path, 2)) state.SkipWithError("pack failed");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(TotalBytes()));
  gPackedBytes = double(CompressedBytes(path));
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
  gCompress2Bytes = double(total);
  state.counters["output_MB"] = double(total) / 1e6;
}

// --- Extracting ------------------------------------------------------------

// Runs a program and returns the CPU time (user + system) it used, or -1.
double RunForCpu(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  struct rusage ru {};
  if (wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(ru.ru_utime) + seconds(ru.ru_stime);
}

const std::string& ExtractedTree() {
  static const std::string dir = [] {
    const std::string d = TempPath("tree");
    Temps().paths.push_back(d);
    RunForCpu({HPI_TOOL_PATH, "extract", ModArchive(), d});
    return d;
  }();
  return dir;
}

// Times by CPU a command that writes a fresh directory: Command(out) gives
// its arguments for the output directory `out`, a new one for each run. The
// trees written are removed only when the program ends: on ext4 without a
// journal, a file created soon after thousands were deleted makes the kernel
// pass over every inode freed in the last 30 seconds before it takes one (its
// "recently deleted" check), which would cost both commands far more CPU than
// their own work, and by how much would depend on what was deleted last.
void TimeCommandWritingTree(benchmark::State& state, const char* name,
                            const std::function<std::vector<std::string>(const std::string&)>& Command) {
  static int runs = 0;
  for (auto _ : state) {
    const std::string out = TempPath(std::string(name) + "_" + std::to_string(++runs));
    Temps().paths.push_back(out);
    const double cpu = RunForCpu(Command(out));
    if (cpu < 0) state.SkipWithError((std::string(name) + " failed").c_str());
    state.SetIterationTime(cpu);
  }
}

// `hpi extract` of the mod archive into a fresh directory, timed by CPU.
void BM_HpiExtract(benchmark::State& state) {
  const std::string archive = ModArchive();
  TimeCommandWritingTree(state, "extract", [&](const std::string& Out) {
    return std::vector<std::string>{HPI_TOOL_PATH, "extract", archive, Out};
  });
}

// `cp -r` of the tree that extraction makes, timed by CPU.
void BM_CopyExtractedTree(benchmark::State& state) {
  const std::string tree = ExtractedTree();
  TimeCommandWritingTree(state, "copy", [&](const std::string& Out) {
    return std::vector<std::string>{"/bin/cp", "-r", tree, Out};
  });
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

// The repetitions run interleaved at random and each table shows only once
// its last repetition is done, minutes after the header: a line on standard
// error tells as each repetition of a workload starts. A repetition begins with
// a run of one iteration, or with another workload than the call before (later
// repetitions reuse the first one's iteration count).
void Started(const char* Name, const benchmark::State& State) {
  static std::map<std::string, int> repetitions;
  static std::string last;
  if (last == Name && State.max_iterations != 1) return;
  last = Name;
  std::fprintf(stderr, "starting %s, repetition %d\n", Name, ++repetitions[Name]);
}

benchmark::internal::Benchmark* Workload(const char* Name, void (*Run)(benchmark::State&)) {
  return benchmark::RegisterBenchmark(Name, [Name, Run](benchmark::State& state) {
    Started(Name, state);
    Run(state);
  });
}

void RegisterWorkloads() {
  Workload("BM_ReadZlibArchive", BM_ReadZlibArchive)->Unit(benchmark::kMillisecond)->UseRealTime();
  Workload("BM_ZlibUncompressChunks", BM_ZlibUncompressChunks)->Unit(benchmark::kMillisecond)->UseRealTime();
  Workload("BM_ReadZlib9KeyArchive", BM_ReadZlib9KeyArchive)->Unit(benchmark::kMillisecond)->UseRealTime();
  Workload("BM_ReadZlib9KeyArchiveBatch", BM_ReadZlib9KeyArchiveBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
  Workload("BM_Zlib9UncompressChunks", BM_Zlib9UncompressChunks)->Unit(benchmark::kMillisecond)->UseRealTime();
  Workload("BM_HpiExtract", BM_HpiExtract)->Unit(benchmark::kMillisecond)->UseManualTime();
  Workload("BM_CopyExtractedTree", BM_CopyExtractedTree)->Unit(benchmark::kMillisecond)->UseManualTime();
  Workload("BM_PackZlibArchive", BM_PackZlibArchive)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
  Workload("BM_ZlibCompress2Chunks", BM_ZlibCompress2Chunks)->Unit(benchmark::kMillisecond)->UseRealTime();
  Workload("BM_Lz77Encode", BM_Lz77Encode)->Unit(benchmark::kMillisecond)->UseRealTime();
  Workload("BM_ZlibLevel6Encode", BM_ZlibLevel6Encode)->Unit(benchmark::kMillisecond)->UseRealTime();
  Workload("BM_Lz77Decode", BM_Lz77Decode)->Unit(benchmark::kMillisecond)->UseRealTime();
  Workload("BM_ZlibLevel6Decode", BM_ZlibLevel6Decode)->Unit(benchmark::kMillisecond)->UseRealTime();
}

// Keeps each benchmark's real time per iteration for the ratios: the median
// when repetitions were asked for, else the single run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(1) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      std::string name = r.benchmark_name();
      name = name.substr(0, name.find('/'));
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      if ((r.run_type == Run::RT_Iteration && !medians.count(name)) || median) {
        times[name] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
        if (median) medians.insert(name);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, std::pair<double, double>> times;  // wall, CPU
  std::set<std::string> medians;
};

// Prints one figure: the ratio of wall times, which decides the target (0:
// only reported), and beside it the ratio of CPU times, the work done, which
// a loaded machine disturbs far less.
void PrintRatio(const RatioReporter& r, const char* what, const char* ours, const char* ref, double limit,
                bool cpuToo = true) {
  auto a = r.times.find(ours), b = r.times.find(ref);
  if (a == r.times.end() || b == r.times.end()) return;
  const double wall = a->second.first / b->second.first;
  std::printf("%-56s %6.2fx", what, wall);
  if (cpuToo)
    std::printf("  (CPU %5.2fx)", a->second.second / b->second.second);
  else
    std::printf("              ");
  if (limit > 0)
    std::printf("  target <= %.2fx  %s\n", limit, wall <= limit ? "met" : "NOT MET");
  else
    std::printf("  reported\n");
}

void PrintSize(const char* what, double value, double limit) {
  std::printf("%-56s %6.3fx                target <= %.2fx  %s\n", what, value, limit,
              value <= limit ? "met" : "NOT MET");
}

}  // namespace

int main(int argc, char** argv) {
  // Several interleaved runs of every benchmark unless the caller says
  // otherwise: the ratios then compare medians taken under the same load.
  std::vector<char*> args(argv, argv + argc);
  bool repetitions = false, filtered = false;
  for (int i = 1; i < argc; ++i) {
    repetitions |= std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0;
    filtered |= std::strncmp(argv[i], "--benchmark_filter", 18) == 0;
  }
  constexpr int kRounds = 15;
  static char kRepetitions[] = "--benchmark_repetitions=9";
  static char kInterleave[] = "--benchmark_enable_random_interleaving=true";
  static char kAggregates[] = "--benchmark_report_aggregates_only=true";
  if (!repetitions) args.insert(args.begin() + 1, {kRepetitions, kInterleave, kAggregates});
  int count = int(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  std::printf("data: %zu files, %.1f MB; mod: %zu files, %.1f MB\n", Data().size(), double(TotalBytes()) / 1e6,
              ModFiles().size(), double(BytesOf(ModFiles())) / 1e6);
  RegisterWorkloads();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios of median times (ours / reference; CPU of every thread for the all-core runs):\n");
  PrintRatio(reporter, "read zlib archive / zlib uncompress", "BM_ReadZlibArchive", "BM_ZlibUncompressChunks",
             1.3);
  PrintRatio(reporter, "read zlib-9 keyed mod archive / zlib uncompress", "BM_ReadZlib9KeyArchive",
             "BM_Zlib9UncompressChunks", 0.6);
  PrintRatio(reporter, "  the same in one batch read (all cores)", "BM_ReadZlib9KeyArchiveBatch",
             "BM_Zlib9UncompressChunks", 0);
  PrintRatio(reporter, "pack zlib archive (all cores) / compress2 single thread", "BM_PackZlibArchive",
             "BM_ZlibCompress2Chunks", 0.4);
  if (gPackedBytes > 0 && gCompress2Bytes > 0)
    PrintSize("pack zlib compressed data / compress2 output size", gPackedBytes / gCompress2Bytes, 1.01);
  PrintRatio(reporter, "hpi extract CPU / cp -r CPU", "BM_HpiExtract", "BM_CopyExtractedTree", 1.0, false);
  PrintRatio(reporter, "LZ77 encode / zlib level 6 encode", "BM_Lz77Encode", "BM_ZlibLevel6Encode", 1.0);
  PrintRatio(reporter, "LZ77 decode / zlib level 6 decode", "BM_Lz77Decode", "BM_ZlibLevel6Decode", 0);
  if (!filtered) {
    std::printf("\nPaired rounds (one pass each, back to back; median of %d per-round CPU time ratios):\n", kRounds);
    const double a = PairedReadRatio(ZlibArchive(), Data(), kLevel, kRounds);
    const double b = PairedReadRatio(Zlib9KeyArchive(), ModFiles(), kOtherLevel, kRounds);
    std::printf("%-56s %6.2fx  target <= 1.30x  %s\n", "read zlib archive / zlib uncompress", a,
                a > 0 && a <= 1.3 ? "met" : "NOT MET");
    std::printf("%-56s %6.2fx  target <= 0.60x  %s\n", "read zlib-9 keyed mod archive / zlib uncompress", b,
                b > 0 && b <= 0.6 ? "met" : "NOT MET");
  }
  benchmark::Shutdown();
  return 0;
}
