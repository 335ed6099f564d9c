// Reading many files at once (HPIReadFiles) gives what opening and reading
// them one by one gives, damaged files and other sizes included; and the one
// pass that decrypts, sums and unscrambles chunk data agrees with the
// format's byte formulas.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "hpi/archive.h"
#include "hpi/crypt.h"
#include "hpi/hpi.h"
#include "hpi/paths.h"
#include "hpi/writer.h"
#include "hpi_test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

// What one file gives one by one: -1 when HPIOpenFile fails, else the bytes
// HPIGet copies for `count` bytes from offset 0.
struct OneByOne {
  int32_t result = -1;
  Bytes bytes;
};

OneByOne ReadAlone(HPIHANDLE h, const std::string& name, int32_t count) {
  OneByOne r;
  HPIHANDLE f = HPIOpenFile(h, name.c_str());
  if (!f) return r;
  r.bytes.assign(size_t(std::max(count, 0)) + 1, 0xEE);
  r.result = HPIGet(r.bytes.data(), f, 0, count);
  r.bytes.resize(size_t(std::max(r.result, 0)));
  EXPECT_EQ(HPICloseFile(f), 1);
  return r;
}

struct Batch {
  std::vector<Bytes> buffers;
  std::vector<int> asked;  // how often each destination was asked for
};

void* Destination(void* context, int32_t index, int32_t size) {
  Batch& b = *static_cast<Batch*>(context);
  b.asked[size_t(index)]++;
  b.buffers[size_t(index)].assign(size_t(size), 0xEE);
  return b.buffers[size_t(index)].data();
}

// Reads `names` in one batch and checks every result and byte against the
// same files read one by one: the same files fail, and a file read whole gives
// the same bytes.
void ExpectBatchMatchesOneByOne(HPIHANDLE h, const std::vector<std::string>& names,
                                const std::vector<int32_t>& sizes) {
  Batch b;
  b.buffers.resize(names.size());
  b.asked.assign(names.size(), 0);
  std::vector<const char*> pointers;
  for (const std::string& n : names) pointers.push_back(n.c_str());
  std::vector<int32_t> results(names.size(), -7);
  ASSERT_NE(HPIReadFiles(h, int32_t(names.size()), pointers.data(), sizes.data(), Destination, &b, results.data()),
            0);
  for (size_t i = 0; i < names.size(); ++i) {
    const OneByOne alone = ReadAlone(h, names[i], sizes[i]);
    if (alone.result < 0) {
      EXPECT_EQ(results[i], -1) << names[i];
      continue;
    }
    ASSERT_GE(results[i], 0) << names[i];
    // The file's size, which is what HPIGet copies when asked for more.
    EXPECT_EQ(results[i], ReadAlone(h, names[i], results[i] + 1).result) << names[i];
    if (results[i] == sizes[i] && sizes[i] > 0) {
      EXPECT_EQ(b.asked[i], 1) << names[i];
      EXPECT_EQ(b.buffers[i], alone.bytes) << names[i];
    } else {
      EXPECT_EQ(b.asked[i], 0) << names[i];  // a file of another size is not copied
    }
  }
}

}  // namespace

TEST(HpiBatch, SameResultsAsOneByOneInEveryCase) {
  hpitest::ScratchDir dir;
  std::map<std::string, Bytes> files = {
      {"units\\big.fbi", hpitest::TextData(200000, 1)},   // four chunks
      {"units\\Small.FBI", hpitest::TextData(700, 2)},
      {"units\\empty.fbi", {}},
      {"units\\noise.bin", hpitest::RandomData(300000, 3)},  // stored chunks, read past the block cache
      {"units\\hurt.fbi", hpitest::TextData(5000, 4)},
      {"weapons\\w.tdf", hpitest::TextData(65536, 5)},
  };
  for (int i = 0; i < 150; ++i) files["many\\f" + std::to_string(i)] = hpitest::TextData(100 + 37 * size_t(i), 100 + i);
  for (hpi::Method method : {hpi::Method::Stored, hpi::Method::Lz77, hpi::Method::Zlib}) {
    for (int32_t key : {0, 0x7D}) {
      SCOPED_TRACE("method " + std::to_string(int(method)) + " key " + std::to_string(key));
      hpi::Writer w;
      for (const auto& [name, data] : files) ASSERT_TRUE(w.AddFile(name, data.data(), data.size()));
      hpi::Writer::Options o;
      o.method = method;
      o.headerKey = key;
      o.zlibLevel = 9;
      const std::string path = dir / "t.hpi";
      ASSERT_TRUE(w.Pack(path, o));
      // Damage one data byte of "units\hurt.fbi": its check must fail it in both ways.
      Bytes image = hpitest::ReadBytes(path);
      {
        std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(path);
        ASSERT_TRUE(a);
        const hpi::Entry& hurt = a->at(*a->Find("units\\hurt.fbi"));
        image[hurt.dataOffset + (method == hpi::Method::Stored ? 100 : 4 + 19 + 10)] ^= 0x5A;
      }
      hpitest::WriteBytes(path, image);
      HPIHANDLE h = HPIOpen(path.c_str());
      ASSERT_NE(h, nullptr);

      std::vector<std::string> names;
      std::vector<int32_t> sizes;
      for (const auto& [name, data] : files) {
        names.push_back(name);
        sizes.push_back(int32_t(data.size()));
      }
      // Other spellings, missing entries, a directory, and sizes other than the file's.
      const std::vector<std::pair<std::string, int32_t>> odd = {
          {"UNITS/small.fbi", 700}, {"units\\missing", 10}, {"units", 0},  {"units\\big.fbi", 1000},
          {"units\\big.fbi", 300000}, {"units\\Small.FBI", 0}, {"units\\Small.FBI", -5}, {"", 4},
          {"units\\empty.fbi", 0}, {"units\\hurt.fbi", 0}};
      for (const auto& [name, size] : odd) {
        names.push_back(name);
        sizes.push_back(size);
      }
      ExpectBatchMatchesOneByOne(h, names, sizes);

      // And the bytes are the files' own, in the order asked.
      Batch b;
      b.buffers.resize(files.size());
      b.asked.assign(files.size(), 0);
      std::vector<const char*> pointers;
      for (const auto& [name, data] : files) pointers.push_back(name.c_str());
      std::vector<int32_t> results(files.size());
      ASSERT_NE(HPIReadFiles(h, int32_t(files.size()), pointers.data(), sizes.data(), Destination, &b,
                             results.data()),
                0);
      size_t i = 0;
      for (const auto& [name, data] : files) {
        if (name == "units\\hurt.fbi" && method != hpi::Method::Stored) {
          EXPECT_EQ(results[i], -1);
        } else if (name != "units\\hurt.fbi") {
          EXPECT_EQ(results[i], int32_t(data.size())) << name;
          EXPECT_EQ(b.buffers[i], data) << name;
        }
        ++i;
      }
      EXPECT_EQ(HPIClose(h), 1);
    }
  }
}

TEST(HpiBatch, ArchivesOpenTogetherNeverShareReadBytes) {
  // Two archives of the same layout and different bytes, read in turns and
  // reopened: every read must come from its own archive.
  hpitest::ScratchDir dir;
  std::vector<std::string> paths;
  for (int k = 0; k < 2; ++k) {
    hpi::Writer w;
    std::vector<Bytes> data;
    for (int i = 0; i < 20; ++i) data.push_back(hpitest::TextData(3000, uint32_t(10 * k + i)));
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(w.AddFile("f" + std::to_string(i), data[size_t(i)].data(), 3000));
    hpi::Writer::Options o;
    o.method = hpi::Method::Stored;  // the same offsets in both
    paths.push_back(dir / ("a" + std::to_string(k) + ".hpi"));
    ASSERT_TRUE(w.Pack(paths.back(), o));
  }
  for (int round = 0; round < 3; ++round) {
    HPIHANDLE h[2] = {HPIOpen(paths[0].c_str()), HPIOpen(paths[1].c_str())};
    for (int i = 0; i < 20; ++i)
      for (int k = 0; k < 2; ++k) {
        const OneByOne r = ReadAlone(h[k], "f" + std::to_string(i), 3000);
        EXPECT_EQ(r.bytes, hpitest::TextData(3000, uint32_t(10 * k + i))) << k << " " << i;
      }
    HPIClose(h[round % 2]);
    HPIClose(h[1 - round % 2]);
  }
}

TEST(HpiBatch, RefusesBadHandlesAndAsksNoBufferForBrokenRecords) {
  const char* name = "x";
  const int32_t size = 1;
  int32_t result = 5;
  Batch b;
  b.buffers.resize(1);
  b.asked.assign(1, 0);
  EXPECT_EQ(HPIReadFiles(nullptr, 1, &name, &size, Destination, &b, &result), 0);
  EXPECT_EQ(result, 5);

  // A file record claiming 2 GiB: it fails before any buffer is asked for.
  hpitest::ScratchDir dir;
  hpi::Writer w;
  const Bytes data = hpitest::TextData(3000, 1);
  ASSERT_TRUE(w.AddFile("x", data.data(), data.size()));
  hpi::Writer::Options o;
  o.method = hpi::Method::Lz77;
  ASSERT_TRUE(w.Pack(dir / "t.hpi", o));
  Bytes image = hpitest::ReadBytes(dir / "t.hpi");
  // Root node at 20, one entry record at 28, its file record after the name "x\0".
  const uint32_t record = hpi::LoadU32(&image[28 + 4]);
  hpi::StoreU32(&image[record + 4], 0x7FFFFFFF);
  hpitest::WriteBytes(dir / "t.hpi", image);
  HPIHANDLE h = HPIOpen((dir / "t.hpi").c_str());
  ASSERT_NE(h, nullptr);
  const int32_t claimed = 0x7FFFFFFF;
  EXPECT_NE(HPIReadFiles(h, 1, &name, &claimed, Destination, &b, &result), 0);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(b.asked[0], 0);
  EXPECT_EQ(HPIReadFiles(h, -1, &name, &claimed, Destination, &b, &result), 0);
  EXPECT_NE(HPIReadFiles(h, 0, nullptr, nullptr, Destination, nullptr, nullptr), 0);
  EXPECT_EQ(HPIClose(h), 1);
}

TEST(HpiCrypt, OnePassAgreesWithTheByteFormulas) {
  const Bytes stored = hpitest::RandomData(1000, 11);
  for (int32_t headerKey : {0, 0x7D, 0x1FF}) {
    const hpi::Cipher cipher(headerKey);
    const unsigned h = unsigned(headerKey) & 0xFF;
    const uint8_t k = uint8_t(~((h << 2) | (h >> 6)));
    for (uint64_t pos : {uint64_t(20), uint64_t(255), uint64_t(1) << 33}) {
      for (size_t n : {size_t(0), size_t(1), size_t(15), size_t(16), size_t(17), size_t(300), size_t(1000)}) {
        for (bool unscramble : {false, true}) {
          uint32_t sum = 0;
          Bytes expected(n);
          for (size_t i = 0; i < n; ++i) {
            uint8_t x = stored[i];
            if (headerKey != 0) x = uint8_t(uint8_t((pos + i) ^ k) ^ uint8_t(~x));
            sum += x;
            if (unscramble) x = uint8_t(uint8_t(x - uint8_t(i)) ^ uint8_t(i));
            expected[i] = x;
          }
          Bytes out(n), inPlace(stored.begin(), stored.begin() + std::ptrdiff_t(n));
          EXPECT_EQ(hpi::DecryptSumUnscramble(cipher, stored.data(), out.data(), n, pos, unscramble), sum);
          EXPECT_EQ(out, expected) << n << " bytes at " << pos;
          EXPECT_EQ(hpi::DecryptSumUnscramble(cipher, inPlace.data(), inPlace.data(), n, pos, unscramble), sum);
          EXPECT_EQ(inPlace, expected);
          // Applying the cipher alone is the first step of the same formula.
          Bytes applied(stored.begin(), stored.begin() + std::ptrdiff_t(n));
          cipher.Apply(applied.data(), n, pos);
          Bytes unscrambledApplied = applied;
          if (unscramble) hpi::Unscramble(unscrambledApplied.data(), n);
          EXPECT_EQ(unscrambledApplied, expected);
        }
      }
    }
  }
  // The writer's pass: scrambled bytes and their sum.
  const Bytes plain = hpitest::TextData(777, 12);
  Bytes out(plain.size());
  uint32_t sum = 0;
  for (size_t i = 0; i < plain.size(); ++i) sum += uint8_t((plain[i] ^ uint8_t(i)) + uint8_t(i));
  EXPECT_EQ(hpi::ScrambleSum(plain.data(), out.data(), plain.size()), sum);
  EXPECT_EQ(out[300], uint8_t((plain[300] ^ uint8_t(300)) + uint8_t(300)));
}

TEST(HpiPaths, LevelRangeWalksTheLevelsOfSplitLevels) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"", {}},
      {"\\", {}},
      {"a", {"a"}},
      {"units\\ARMCOM.FBI", {"units", "ARMCOM.FBI"}},
      {"//a\\\\b/", {"a", "b"}},
      {"x/y\\z", {"x", "y", "z"}}};
  for (const auto& [path, levels] : cases) {
    std::vector<std::string> walked;
    for (std::string_view level : hpi::LevelRange(path)) walked.emplace_back(level);
    EXPECT_EQ(walked, levels) << path;
    std::vector<std::string> split;
    for (std::string_view level : hpi::SplitLevels(path)) split.emplace_back(level);
    EXPECT_EQ(split, levels) << path;
  }
}

// Where an entry lands below the target: "." and empty levels dropped; any
// path that could leave the target lands nowhere.
TEST(HpiPaths, PathsBelowTheTarget) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"units\\ARMCOM.FBI", "units/ARMCOM.FBI"},
      {".\\a\\.\\b", "a/b"},
      {"a//b\\", "a/b"},
      {"..a\\b..", "..a/b.."},
      {"a\\...\\b", "a/.../b"},
      {"a\\..\\b", ""},
      {"a/..", ""},
      {"..", ""},
      {"\\a", ""},
      {"/a", ""},
      {"C:x", ""},
      {"", ""},
      {".", ""},
      {".\\.\\", ""}};
  for (const auto& [path, below] : cases) {
    EXPECT_EQ(hpi::DiskPathBelowTarget(path), below) << path;
    const auto levels = hpi::LevelsBelowTarget(path);
    ASSERT_EQ(levels.has_value(), !below.empty()) << path;
    if (!levels) continue;
    std::string joined;
    for (std::string_view level : *levels) joined += (joined.empty() ? "" : "/") + std::string(level);
    EXPECT_EQ(joined, below) << path;
  }
}
