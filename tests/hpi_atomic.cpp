// Packing replaces the target only when the whole archive was written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "hpi/hpi.h"
#include "hpi/testing.h"
#include "hpi_test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

int32_t Pack(const std::string& path, const Bytes& data, int method) {
  HPIHANDLE pack = HPICreate(path.c_str(), nullptr);
  if (!pack) return 0;
  HPIAddFileFromMemory(pack, "units\\new.fbi", reinterpret_cast<const char*>(data.data()), int32_t(data.size()));
  return HPIPackArchive(pack, method);
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  return names;
}

TEST(HpiAtomic, AFailedPackLeavesTheOldArchiveAlone) {
  hpitest::ScratchDir dir;
  const std::string path = dir / "old.hpi";
  ASSERT_EQ(Pack(path, hpitest::TextData(1000, 1), 1), 1);
  const Bytes old = hpitest::ReadBytes(path);
  // Random bytes keep every method's archive above the largest budget.
  Bytes bigger = hpitest::TextData(300000, 2);
  const Bytes noise = hpitest::RandomData(100000, 3);
  bigger.insert(bigger.end(), noise.begin(), noise.end());
  for (int method : {0, 1, 2}) {
    for (int64_t budget : {0, 5, 19, 20, 100, 4096, 70000}) {
      hpi::testing::FailWritesAfter(budget);
      const int32_t result = Pack(path, bigger, method);
      hpi::testing::FailWritesAfter(-1);
      EXPECT_EQ(result, 0) << "method " << method << ", budget " << budget;
      EXPECT_EQ(hpitest::ReadBytes(path), old) << "method " << method << ", budget " << budget;
      // No temporary file is left behind.
      EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"old.hpi"});
    }
  }
  // Without the injected failure the same pack replaces the archive.
  ASSERT_EQ(Pack(path, bigger, 2), 1);
  EXPECT_NE(hpitest::ReadBytes(path), old);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"old.hpi"});
}

TEST(HpiAtomic, MissingTargetDirectoryFailsAndPermissionsAreKept) {
  hpitest::ScratchDir dir;
  EXPECT_EQ(Pack(dir / "no/such/dir/a.hpi", {1, 2, 3}, 1), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "no"));

  const std::string path = dir / "kept.hpi";
  ASSERT_EQ(Pack(path, {1, 2, 3}, 1), 1);
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_EQ(Pack(path, {4, 5, 6, 7}, 2), 1);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(HpiAtomic, CreateRefusesATargetThatCannotBeMade) {
  hpitest::ScratchDir dir;
  EXPECT_EQ(HPICreate((dir / "no/such/dir/a.hpi").c_str(), nullptr), nullptr);
  std::filesystem::create_directory(dir / "taken.hpi");  // a directory of that name
  EXPECT_EQ(HPICreate((dir / "taken.hpi").c_str(), nullptr), nullptr);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.hpi"));
  EXPECT_EQ(HPICreate("", nullptr), nullptr);

  // A target that can be made: the temporary file is made at once, without a
  // name until it becomes the archive.
  const std::string path = dir / "new.hpi";
  HPIHANDLE pack = HPICreate(path.c_str(), nullptr);
  ASSERT_NE(pack, nullptr);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"taken.hpi"});
  ASSERT_EQ(HPIAddFileFromMemory(pack, "units\\a.fbi", "abc", 3), 1);
  ASSERT_EQ(HPIPackArchive(pack, 1), 1);
  std::vector<std::string> names = Names(dir.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"new.hpi", "taken.hpi"}));
}

}  // namespace
