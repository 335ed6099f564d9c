// The library operations: listing positions, lookups, handles, extraction,
// refusals and the game-directory lookup.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "hpi/archive.h"
#include "hpi/hpi.h"
#include "hpi/writer.h"
#include "hpi_test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An archive with nested and empty directories, names in mixed case.
class HpiApi : public ::testing::Test {
 protected:
  void SetUp() override {
    hpi::Writer w;
    ASSERT_TRUE(w.AddFile("Units\\ARMCOM.fbi", a_.data(), a_.size()));
    ASSERT_TRUE(w.AddFile("units\\corpses\\Dead.FBI", b_.data(), b_.size()));
    ASSERT_TRUE(w.AddFile("b.txt", b_.data(), b_.size()));
    ASSERT_TRUE(w.AddDirectory("Empty"));
    ASSERT_TRUE(w.AddFile("A.txt", a_.data(), a_.size()));
    std::string error;
    ASSERT_TRUE(w.Pack(path_, {}, &error)) << error;
    h_ = HPIOpen(path_.c_str());
    ASSERT_NE(h_, nullptr);
  }
  void TearDown() override {
    if (h_) {
      EXPECT_EQ(HPIClose(h_), 1);
    }
  }

  std::vector<std::string> Dir(const char* dir) {
    std::vector<std::string> out;
    std::vector<char> name(HPI_NAME_BUFFER);
    int32_t type = -1, size = -1;
    for (int32_t pos = HPIDir(h_, 0, dir, name.data(), &type, &size); pos;
         pos = HPIDir(h_, pos, dir, name.data(), &type, &size))
      out.push_back(std::string(type ? "d " : "f ") + std::to_string(size) + " " + name.data());
    return out;
  }

  hpitest::ScratchDir dir_;
  std::string path_ = dir_ / "t.hpi";
  Bytes a_ = hpitest::TextData(70000, 1), b_ = hpitest::TextData(10, 2);
  HPIHANDLE h_ = nullptr;
};

TEST_F(HpiApi, ListingsWalkDepthFirstInNameOrder) {
  std::vector<char> name(HPI_NAME_BUFFER);
  int32_t type = -1, size = -1;
  std::vector<std::string> walk;
  int32_t pos = 0;
  while ((pos = HPIGetFiles(h_, pos, name.data(), &type, &size)) != 0)
    walk.push_back(std::string(type ? "d " : "f ") + std::to_string(size) + " " + name.data());
  EXPECT_EQ(walk, (std::vector<std::string>{"f 70000 A.txt", "f 10 b.txt", "d 0 Empty", "d 0 Units",
                                            "f 70000 Units\\ARMCOM.fbi", "d 0 Units\\corpses",
                                            "f 10 Units\\corpses\\Dead.FBI"}));
  // Past the end and a negative position both end the listing.
  EXPECT_EQ(HPIGetFiles(h_, 7, name.data(), &type, &size), 0);
  EXPECT_EQ(HPIGetFiles(h_, -3, name.data(), &type, &size), 0);

  EXPECT_EQ(Dir(""), (std::vector<std::string>{"f 70000 A.txt", "f 10 b.txt", "d 0 Empty", "d 0 Units"}));
  EXPECT_EQ(Dir("UNITS"), (std::vector<std::string>{"f 70000 ARMCOM.fbi", "d 0 corpses"}));
  EXPECT_EQ(Dir("units\\CORPSES\\"), (std::vector<std::string>{"f 10 Dead.FBI"}));
  EXPECT_TRUE(Dir("empty").empty());
  EXPECT_TRUE(Dir("nothing").empty());
  EXPECT_TRUE(Dir("A.txt").empty());
}

TEST_F(HpiApi, FilesOpenIgnoringCaseAndReadInPieces) {
  for (const char* spelling : {"units\\armcom.FBI", "UNITS\\ARMCOM.FBI", "Units/ArmCom.fbi"}) {
    HPIHANDLE f = HPIOpenFile(h_, spelling);
    ASSERT_NE(f, nullptr) << spelling;
    Bytes got(a_.size());
    EXPECT_EQ(HPIGet(got.data(), f, 0, int32_t(got.size())), int32_t(a_.size()));
    EXPECT_EQ(got, a_);
    // A read past the end copies what there is.
    Bytes tail(100);
    EXPECT_EQ(HPIGet(tail.data(), f, int32_t(a_.size()) - 10, 100), 10);
    EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + 10, a_.end() - 10));
    EXPECT_EQ(HPIGet(tail.data(), f, -1, 10), 0);
    EXPECT_EQ(HPICloseFile(f), 1);
  }
  EXPECT_EQ(HPIOpenFile(h_, "units"), nullptr);
  EXPECT_EQ(HPIOpenFile(h_, "units\\missing.fbi"), nullptr);
  EXPECT_EQ(HPIOpenFile(h_, "A.txt\\x"), nullptr);
  EXPECT_EQ(HPIOpenFile(h_, ""), nullptr);
}

TEST_F(HpiApi, BadAndStaleHandlesAreRefused) {
  char buf[8];
  int32_t type, size;
  HPIHANDLE f = HPIOpenFile(h_, "b.txt");
  ASSERT_NE(f, nullptr);
  // Handles of one kind are not taken for another.
  EXPECT_EQ(HPIGet(buf, h_, 0, 4), 0);
  EXPECT_EQ(HPIGetFiles(f, 0, buf, &type, &size), 0);
  EXPECT_EQ(HPICloseFile(h_), 0);
  EXPECT_EQ(HPICloseFile(f), 1);
  EXPECT_EQ(HPICloseFile(f), 0);
  EXPECT_EQ(HPIGet(buf, f, 0, 4), 0);
  int junk = 0;
  EXPECT_EQ(HPIOpenFile(&junk, "b.txt"), nullptr);
  EXPECT_EQ(HPIClose(&junk), 0);
  EXPECT_EQ(HPIClose(nullptr), 0);
  EXPECT_EQ(HPIAddFileFromMemory(h_, "x", "y", 1), 0);

  // Packing a handle that is not a live new-archive handle throws.
  EXPECT_THROW(HPIPackArchive(h_, 1), hpi::InvalidPointer);
  EXPECT_THROW(HPIPackArchive(nullptr, 1), hpi::InvalidPointer);
  HPIHANDLE pack = HPICreate((dir_ / "p.hpi").c_str(), nullptr);
  ASSERT_NE(pack, nullptr);
  EXPECT_EQ(HPIPackArchive(pack, 0), 1);
  EXPECT_THROW(HPIPackArchive(pack, 0), hpi::InvalidPointer);
  EXPECT_EQ(HPIAddFileFromMemory(pack, "x", "y", 1), 0);

  // An unknown method fails and uses the handle up as well.
  pack = HPICreate((dir_ / "q.hpi").c_str(), nullptr);
  EXPECT_EQ(HPIPackArchive(pack, 3), 0);
  EXPECT_THROW(HPIPackArchive(pack, 0), hpi::InvalidPointer);
}

TEST_F(HpiApi, ExtractWritesTheFileAndCreatesDirectories) {
  const std::string target = dir_ / "out/deep/er/armcom.fbi";
  EXPECT_NE(HPIExtractFile(h_, "UNITS\\armcom.fbi", target.c_str()), 0);
  EXPECT_EQ(hpitest::ReadBytes(target), a_);
  EXPECT_EQ(HPIExtractFile(h_, "units\\nothing", (dir_ / "out/n").c_str()), 0);
  EXPECT_EQ(HPIExtractFile(h_, "units", (dir_ / "out/u").c_str()), 0);
  // The parent is a file: nothing can be written there.
  EXPECT_EQ(HPIExtractFile(h_, "b.txt", (target + "/x").c_str()), 0);
  EXPECT_EQ(HPIExtractFile(nullptr, "b.txt", (dir_ / "out/b").c_str()), 0);
}

TEST(HpiWriter, RefusesBadPathsAndReplacesDuplicates) {
  hpitest::ScratchDir dir;
  const std::string path = dir / "w.hpi";
  HPIHANDLE pack = HPICreate(path.c_str(), nullptr);
  ASSERT_NE(pack, nullptr);
  EXPECT_EQ(HPIAddFileFromMemory(pack, "dir\\file", "one", 3), 1);
  EXPECT_EQ(HPIAddFileFromMemory(pack, "DIR\\FILE", "second", 6), 1);  // replaces
  EXPECT_EQ(HPIAddFileFromMemory(pack, "dir", "x", 1), 0);              // is a directory
  EXPECT_EQ(HPIAddFileFromMemory(pack, "dir\\file\\x", "x", 1), 0);     // below a file
  EXPECT_EQ(HPIAddFileFromMemory(pack, "..\\evil", "x", 1), 0);
  EXPECT_EQ(HPIAddFileFromMemory(pack, "a\\.\\b", "x", 1), 0);
  EXPECT_EQ(HPIAddFileFromMemory(pack, "\\\\", "x", 1), 0);
  EXPECT_EQ(HPIAddFileFromMemory(pack, "neg", "x", -1), 0);
  EXPECT_EQ(HPIAddFileFromMemory(pack, "null", nullptr, 4), 0);
  std::string deep;
  for (int i = 0; i < 1100; ++i) deep += "d\\";
  EXPECT_EQ(HPIAddFileFromMemory(pack, (deep + "f").c_str(), "x", 1), 0);
  EXPECT_EQ(HPIAddFileFromMemory(pack, std::string(65536, 'n').c_str(), "x", 1), 0);
  EXPECT_EQ(HPIAddFileFromMemory(pack, "\\lead\\ok", "y", 1), 1);
  ASSERT_EQ(HPIPackArchive(pack, 2), 1);

  std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(path);
  ASSERT_TRUE(a);
  ASSERT_EQ(a->size(), 4u);
  EXPECT_EQ(a->PathOf(1), "dir\\FILE");  // the directory keeps its first spelling
  EXPECT_EQ(a->PathOf(3), "lead\\ok");
  Bytes data;
  ASSERT_TRUE(a->ReadFile(1, data));
  EXPECT_EQ(std::string(data.begin(), data.end()), "second");

  hpi::Writer w;
  hpi::Writer::Options o;
  o.headerKey = 256;
  EXPECT_FALSE(w.Pack(dir / "k.hpi", o));
}

TEST(HpiGameDir, ComesFromTheEnvironment) {
  std::vector<char> buf(HPI_NAME_BUFFER, 'x');
  ::setenv("TA_DIR", "/games/ta", 1);
  EXPECT_NE(GetTADirectory(buf.data()), 0);
  EXPECT_STREQ(buf.data(), "/games/ta");
  ::unsetenv("TA_DIR");
  buf.assign(buf.size(), 'x');
  EXPECT_EQ(GetTADirectory(buf.data()), 0);
  EXPECT_STREQ(buf.data(), "");
  // A value longer than the buffer is cut, never written past it.
  ::setenv("TA_DIR", std::string(70000, 'd').c_str(), 1);
  buf.push_back('G');
  GetTADirectory(buf.data());
  EXPECT_EQ(std::string(buf.data()).size(), size_t(HPI_NAME_BUFFER - 1));
  EXPECT_EQ(buf.back(), 'G');
  ::unsetenv("TA_DIR");
}

}  // namespace
