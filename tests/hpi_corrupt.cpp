// Damaged archives: every truncation, random byte flips and hand-made faults
// must make the open fail or only the damaged file fail, never crash, hang or
// allocate more than the archive's size can justify.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "hpi/archive.h"
#include "hpi/format.h"
#include "hpi/hpi.h"
#include "hpi/writer.h"
#include "hpi_test_util.h"

// Records the largest single allocation while a test watches.
namespace {
std::atomic<bool> gWatch{false};
std::atomic<size_t> gLargest{0};
void* Allocate(size_t n) {
  if (gWatch.load(std::memory_order_relaxed)) {
    size_t seen = gLargest.load(std::memory_order_relaxed);
    while (n > seen && !gLargest.compare_exchange_weak(seen, n)) {}
  }
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
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
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t U32(const Bytes& b, size_t at) { return hpi::LoadU32(&b[at]); }
void Put32(Bytes& b, size_t at, uint32_t v) { hpi::StoreU32(&b[at], v); }

struct Outcome {
  bool opened = false;
  int filesRead = 0, filesFailed = 0;
};

// Opens, lists and reads every file; checks every file that does read
// against `original` when given.
Outcome OpenListRead(const std::string& path, const std::map<std::string, Bytes>* original = nullptr) {
  Outcome o;
  HPIHANDLE h = HPIOpen(path.c_str());
  if (!h) return o;
  o.opened = true;
  std::vector<char> name(HPI_NAME_BUFFER);
  int32_t type = 0, size = 0, steps = 0;
  for (int32_t pos = HPIGetFiles(h, 0, name.data(), &type, &size); pos;
       pos = HPIGetFiles(h, pos, name.data(), &type, &size)) {
    if (++steps > 100000) {
      ADD_FAILURE() << "listing does not end";
      break;
    }
    if (type) continue;
    HPIHANDLE f = HPIOpenFile(h, name.data());
    if (!f) {
      ++o.filesFailed;
      continue;
    }
    Bytes data(size_t(std::max(size, 0)));
    EXPECT_EQ(HPIGet(data.data(), f, 0, size), size);
    HPICloseFile(f);
    ++o.filesRead;
    if (original) {
      auto it = original->find(name.data());
      if (it != original->end()) {
        EXPECT_EQ(data, it->second) << "damage went unnoticed in " << name.data();
      }
    }
  }
  HPIClose(h);
  return o;
}

class HpiCorrupt : public ::testing::Test {
 protected:
  // A small archive: a directory with a two-chunk LZ77 file and a stored
  // root file, or the same with every method mixed in by key and method.
  Bytes Build(hpi::Method method, int32_t key) {
    hpi::Writer w;
    for (const auto& [name, data] : files_) w.AddFile(name, data.data(), data.size());
    hpi::Writer::Options o;
    o.method = method;
    o.headerKey = key;
    EXPECT_TRUE(w.Pack(dir_ / "base.hpi", o));
    return hpitest::ReadBytes(dir_ / "base.hpi");
  }
  Outcome Try(const Bytes& bytes, bool checkContents = false) {
    hpitest::WriteBytes(path_, bytes);
    return OpenListRead(path_, checkContents ? &files_ : nullptr);
  }

  hpitest::ScratchDir dir_;
  std::string path_ = dir_ / "bad.hpi";
  std::map<std::string, Bytes> files_ = {{"d\\f", hpitest::TextData(70000, 1)},
                                         {"d\\e\\small", hpitest::TextData(300, 2)},
                                         {"g", {'g', 'g', 'g'}}};
};

TEST_F(HpiCorrupt, EveryTruncationFailsCleanly) {
  // Small enough to try every length; the compressed runs give two chunks.
  Bytes run;
  for (int i = 0; i < 65540; ++i) run.push_back(uint8_t('0' + i % 10));
  files_ = {{"d\\f", hpitest::TextData(500, 1)}, {"d\\e\\small", hpitest::TextData(300, 2)}, {"g", {'g'}}};
  for (hpi::Method m : {hpi::Method::Stored, hpi::Method::Lz77, hpi::Method::Zlib}) {
    if (m != hpi::Method::Stored) files_["d\\two"] = run;
    const Bytes full = Build(m, m == hpi::Method::Lz77 ? 0x7D : 0);
    const uint32_t dirEnd = U32(full, 8);
    ASSERT_EQ(Try(full, true).filesRead, int(files_.size()));
    for (size_t len = 0; len < full.size(); ++len) {
      const Outcome o = Try(Bytes(full.begin(), full.begin() + std::ptrdiff_t(len)), true);
      if (len < dirEnd) {
        EXPECT_FALSE(o.opened) << "cut at " << len;
      } else {
        EXPECT_GE(o.filesFailed, 1) << "cut at " << len;
      }
      if (HasFailure()) return;
    }
  }
}

TEST_F(HpiCorrupt, RandomByteFlipsNeverCrashOrOverAllocate) {
  std::mt19937 rng(20261207);
  for (int round = 0; round < 300; ++round) {
    const Bytes base = Build(hpi::Method(round % 3), round % 2 ? 0x33 : 0);
    Bytes bad = base;
    const int flips = 1 + int(rng() % 4);
    for (int i = 0; i < flips; ++i) bad[rng() % bad.size()] ^= uint8_t(1 + rng() % 255);
    hpitest::WriteBytes(path_, bad);
    gLargest = 0;
    gWatch = true;
    OpenListRead(path_);
    gWatch = false;
    EXPECT_LE(gLargest.load(), 32 * bad.size() + (1u << 20)) << "round " << round;
    if (HasFailure()) return;
  }
}

TEST_F(HpiCorrupt, StructuralDamageFailsTheOpen) {
  const Bytes good = Build(hpi::Method::Lz77, 0);
  const uint32_t rootEntries = U32(good, 24);
  const uint32_t dNode = U32(good, rootEntries + 4);  // entry 0 is the directory "d"
  ASSERT_EQ(good[rootEntries + 8], 1);
  auto expectNoOpen = [&](Bytes bad, const char* what) {
    hpitest::WriteBytes(path_, bad);
    gLargest = 0;
    gWatch = true;
    HPIHANDLE h = HPIOpen(path_.c_str());
    gWatch = false;
    EXPECT_EQ(h, nullptr) << what;
    EXPECT_LE(gLargest.load(), 32 * bad.size() + (1u << 20)) << what;
    if (h) HPIClose(h);
  };
  Bytes b = good;
  Put32(b, rootEntries + 4, 20);  // "d" is the root again
  expectNoOpen(b, "directory loop to the root");
  b = good;
  Put32(b, U32(good, dNode + 4) + 4, dNode);  // first entry of "d" is "d"
  b[U32(good, dNode + 4) + 8] = 1;
  expectNoOpen(b, "directory loop to itself");
  b = good;
  Put32(b, 20, 0xFFFFFFFF);
  expectNoOpen(b, "absurd entry count");
  b = good;
  Put32(b, 24, 0x7FFFFFF0);
  expectNoOpen(b, "entries outside the file");
  b = good;
  Put32(b, rootEntries, U32(good, 8) - 1);  // the name runs into the end of the block
  b[U32(good, 8) - 1] = 'x';
  expectNoOpen(b, "name without end");
  b = good;
  b[U32(good, rootEntries)] = 0;  // the directory "d" loses its name
  expectNoOpen(b, "empty entry name");
  {
    std::string why;
    EXPECT_FALSE(hpi::Archive::Open(path_, &why));
    EXPECT_EQ(why, "empty entry name");
  }
  b = good;
  Put32(b, 8, uint32_t(good.size() + 1));
  expectNoOpen(b, "directory end beyond the file");
  b = good;
  Put32(b, 16, 8);
  expectNoOpen(b, "directory start inside the header");
  b = good;
  Put32(b, 4, 0x4B4E4142);
  expectNoOpen(b, "saved game");
  b = good;
  Put32(b, 4, 0x00020000);
  expectNoOpen(b, "later container");
  b = good;
  b[0] = 'X';
  expectNoOpen(b, "no marker");
  expectNoOpen({}, "empty file");
  EXPECT_EQ(HPIOpen((dir_ / "missing.hpi").c_str()), nullptr);
  EXPECT_EQ(HPIOpen(dir_.path().c_str()), nullptr);
  EXPECT_EQ(HPIOpen(nullptr), nullptr);
}

TEST_F(HpiCorrupt, DataDamageFailsOnlyThatFile) {
  const Bytes good = Build(hpi::Method::Lz77, 0);
  // Root: "d" then "g"; "d": "e" then "f". Find the record of "d\f".
  const uint32_t rootEntries = U32(good, 24);
  const uint32_t dEntries = U32(good, U32(good, rootEntries + 4) + 4);
  const uint32_t fRecord = U32(good, dEntries + 9 + 4);
  const uint32_t fData = U32(good, fRecord);
  ASSERT_EQ(U32(good, fRecord + 4), 70000u);
  const uint32_t chunk0 = fData + 8, chunk1 = chunk0 + U32(good, fData);
  ASSERT_EQ(U32(good, chunk0), 0x48535153u);
  ASSERT_EQ(U32(good, chunk1), 0x48535153u);

  auto expectOnlyFFails = [&](Bytes bad, const char* what) {
    gLargest = 0;
    gWatch = true;
    const Outcome o = Try(bad, true);
    gWatch = false;
    EXPECT_TRUE(o.opened) << what;
    EXPECT_EQ(o.filesRead, 2) << what;
    EXPECT_EQ(o.filesFailed, 1) << what;
    EXPECT_LE(gLargest.load(), 32 * bad.size() + (1u << 20)) << what;
  };
  Bytes b = good;
  b[chunk1 + 19 + 5] ^= 0x40;
  expectOnlyFFails(b, "checksum");
  b = good;
  Put32(b, chunk1 + 11, 65537);
  expectOnlyFFails(b, "chunk claims more than 64 KiB");
  b = good;
  Put32(b, chunk0 + 11, 65535);
  expectOnlyFFails(b, "chunk sizes do not add up");
  b = good;
  Put32(b, chunk0 + 7, U32(good, chunk0 + 7) + 1);
  expectOnlyFFails(b, "compressed size disagrees with the chunk length");
  b = good;
  Put32(b, chunk0, 0x12345678);
  expectOnlyFFails(b, "chunk marker");
  b = good;
  Put32(b, fRecord, 0xFFFFFF00);
  expectOnlyFFails(b, "data offset outside the file");
  b = good;
  Put32(b, fRecord + 4, 0x7FFFFFFF);
  expectOnlyFFails(b, "file size far beyond the archive");
  b = good;
  Put32(b, fRecord + 4, 70001);
  expectOnlyFFails(b, "file size one more than the chunks");
  b = good;
  b[fRecord + 8] = 7;
  expectOnlyFFails(b, "unknown compression");
}

}  // namespace
