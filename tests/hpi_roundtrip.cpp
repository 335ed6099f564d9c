// Round trips through the writer and reader, by the library operations.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "hpi/archive.h"
#include "hpi/hpi.h"
#include "hpi/writer.h"
#include "hpi_test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Reads every file of an archive through the library operations.
std::map<std::string, Bytes> ReadAll(const std::string& path) {
  std::map<std::string, Bytes> files;
  HPIHANDLE h = HPIOpen(path.c_str());
  EXPECT_NE(h, nullptr) << path;
  if (!h) return files;
  std::vector<char> name(HPI_NAME_BUFFER);
  int32_t type = -1, size = -1;
  for (int32_t pos = HPIGetFiles(h, 0, name.data(), &type, &size); pos != 0;
       pos = HPIGetFiles(h, pos, name.data(), &type, &size)) {
    if (type) continue;
    HPIHANDLE f = HPIOpenFile(h, name.data());
    EXPECT_NE(f, nullptr) << name.data();
    if (!f) continue;
    Bytes data(size_t(size) + 1, 0xEE);
    EXPECT_EQ(HPIGet(data.data(), f, 0, size), size);
    EXPECT_EQ(data.back(), 0xEE) << "wrote past the requested count";
    data.pop_back();
    files[name.data()] = std::move(data);
    EXPECT_EQ(HPICloseFile(f), 1);
  }
  EXPECT_EQ(HPIClose(h), 1);
  return files;
}

struct Case {
  int method;
  int32_t key;
};

class RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(RoundTrip, EveryFileComesBackByteForByte) {
  hpitest::ScratchDir dir;
  std::map<std::string, Bytes> in = {
      {"empty.txt", {}},
      {"units\\ARMCOM.FBI", hpitest::TextData(3000, 1)},
      {"units\\sub\\deep\\x65535.bin", hpitest::TextData(65535, 2)},
      {"units\\sub\\x65536.bin", hpitest::TextData(65536, 3)},
      {"units\\sub\\x65537.bin", hpitest::TextData(65537, 4)},
      {"noise\\random.bin", hpitest::RandomData(150000, 5)},
      {"noise\\one", {0x42}},
  };
  const std::string path = dir / "a.hpi";
  if (GetParam().key == 0) {
    HPIHANDLE pack = HPICreate(path.c_str(), nullptr);
    ASSERT_NE(pack, nullptr);
    for (const auto& [name, data] : in)
      ASSERT_EQ(HPIAddFileFromMemory(pack, name.c_str(), reinterpret_cast<const char*>(data.data()),
                                     int32_t(data.size())), 1);
    ASSERT_EQ(HPIPackArchive(pack, GetParam().method), 1);
  } else {
    hpi::Writer w;
    for (const auto& [name, data] : in) ASSERT_TRUE(w.AddFile(name, data.data(), data.size()));
    hpi::Writer::Options o;
    o.method = hpi::Method(GetParam().method);
    o.headerKey = GetParam().key;
    std::string error;
    ASSERT_TRUE(w.Pack(path, o, &error)) << error;
    EXPECT_NE(hpitest::ReadBytes(path)[12], 0);
  }
  EXPECT_EQ(ReadAll(path), in);
}

INSTANTIATE_TEST_SUITE_P(Methods, RoundTrip,
                         ::testing::Values(Case{0, 0}, Case{1, 0}, Case{2, 0}, Case{0, 0x7D}, Case{1, 0x7D},
                                           Case{2, 0x7D}, Case{1, 0x80}, Case{2, 255}));

}  // namespace
