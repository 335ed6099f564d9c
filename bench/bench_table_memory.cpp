// kestrava-table's peak memory: the weapons of one archive holding many small
// weapon records, printed as CSV and as JSON to /dev/null, against loading the
// archive and building its rows alone. Output written as it is formatted adds
// little to what the rows themselves take. Prints the figures and the ratios
// with their targets; an optional argument sets the number of records.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "archive/scripted_dialogs.h"
#include "definitions/catalogue.h"
#include "hpi/hpi.h"
#include "state/sources.h"
#include "tools/table/table_command.h"

// Live heap bytes and their peak since the last ResetPeak.
namespace {
std::atomic<size_t> gLive{0}, gPeak{0};
void* Allocate(size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  const size_t live = gLive.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) + malloc_usable_size(p);
  size_t peak = gPeak.load(std::memory_order_relaxed);
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {}
  return p;
}
void Free(void* p) {
  if (!p) return;
  gLive.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
  std::free(p);
}
}  // namespace

void* operator new(size_t n) { return Allocate(n); }
void* operator new[](size_t n) { return Allocate(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  try {
    return Allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, size_t) noexcept { Free(p); }
void operator delete[](void* p, size_t) noexcept { Free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Free(p); }

namespace {

double Mb(size_t Bytes) { return double(Bytes) / 1e6; }

// The peak of live heap, above what was live before, while Work runs.
template <typename F>
size_t PeakDuring(F Work) {
  const size_t before = gLive.load();
  gPeak = before;
  Work();
  return gPeak.load() - before;
}

size_t LoadPlusRows(const std::string& Archive) {
  return PeakDuring([&] {
    ScriptedDialogs dialogs;
    auto state = std::make_unique<AppState>(dialogs);
    SetUpColumns(*state);
    state->AutosizeSetting = [] { return false; };
    OpenArchiveFiles(*state, {Archive});
  });
}

size_t Table(const std::string& Archive, TableFormat Format) {
  return PeakDuring([&] {
    TableRequest request;
    request.Kind = "weapons";
    request.Archives = {Archive};
    request.Format = Format;
    std::ofstream out("/dev/null", std::ios::binary);
    std::ostringstream err;
    if (RunTable(request, out, err) != 0) std::fprintf(stderr, "kestrava-table failed: %s", err.str().c_str());
  });
}

}  // namespace

int main(int argc, char** argv) {
  const int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300000;
  const auto dir = std::filesystem::temp_directory_path() / ("kestrava_bench_table_memory_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string archive = (dir / "weapons.ufo").string();
  {
    std::string tdf;
    for (int i = 0; i < records; ++i)
      tdf += "[W" + std::to_string(i) + "]\r\n{\r\nID=" + std::to_string(i % 256) + ";\r\nName=w" +
             std::to_string(i) + ";\r\n}\r\n";
    HPIHANDLE pack = HPICreate(archive.c_str(), nullptr);
    HPIAddFileFromMemory(pack, "weapons\\MANY.TDF", tdf.data(), static_cast<int32_t>(tdf.size()));
    if (!HPIPackArchive(pack, 1)) {
      std::fprintf(stderr, "cannot write %s\n", archive.c_str());
      return 1;
    }
    std::printf("data: %d weapon records, %.1f MB of definitions, archive %.1f MB\n", records, Mb(tdf.size()),
                Mb(std::filesystem::file_size(archive)));
  }
  const size_t rows = LoadPlusRows(archive);
  const size_t csv = Table(archive, TableFormat::Csv);
  const size_t json = Table(archive, TableFormat::Json);
  std::printf("peak heap, load plus rows            %8.1f MB\n", Mb(rows));
  std::printf("peak heap, kestrava-table weapons CSV  %8.1f MB  (%.2fx load plus rows; target <= 1.2)\n", Mb(csv),
              double(csv) / double(rows));
  std::printf("peak heap, kestrava-table weapons JSON %8.1f MB  (%.2fx load plus rows; target <= 1.2)\n", Mb(json),
              double(json) / double(rows));
  std::filesystem::remove_all(dir);
  return 0;
}
