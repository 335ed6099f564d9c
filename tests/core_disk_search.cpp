#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "archive/disk_search.h"

namespace fs = std::filesystem;

namespace {

struct TempDir {
  fs::path Path;
  TempDir() {
    Path = fs::temp_directory_path() / ("kestrava_ds_" + std::to_string(::getpid()) + "_" +
                                        std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::create_directories(Path);
  }
  ~TempDir() { fs::remove_all(Path); }
  void Touch(const std::string& Rel) {
    fs::create_directories((Path / Rel).parent_path());
    std::ofstream(Path / Rel) << "x";
  }
};

}  // namespace

TEST(DiskSearch, ResolvesEveryLevelIgnoringCase) {
  TempDir t;
  t.Touch("Units/ARMCOM.FBI");
  t.Touch("Features/Corpses/dead.TDF");
  std::string root = t.Path.string();
  EXPECT_EQ(ResolvePathIgnoringCase(root + "/units/armcom.fbi"), root + "/Units/ARMCOM.FBI");
  EXPECT_EQ(ResolvePathIgnoringCase(root + "/FEATURES/corpses/DEAD.tdf"),
            root + "/Features/Corpses/dead.TDF");
  EXPECT_EQ(ResolvePathIgnoringCase(root + "//Units/"), root + "/Units");
  EXPECT_EQ(ResolvePathIgnoringCase(root + "/units/nothere.fbi"), "");
  EXPECT_EQ(ResolvePathIgnoringCase(root + "/nothere/armcom.fbi"), "");
  // A file is not a directory level.
  EXPECT_EQ(ResolvePathIgnoringCase(root + "/units/armcom.fbi/x"), "");
  EXPECT_EQ(ResolvePathIgnoringCase(""), "");
  EXPECT_EQ(ResolvePathIgnoringCase("/"), "/");

  EXPECT_TRUE(DirectoryExistsIgnoringCase(root + "/UNITS"));
  EXPECT_TRUE(DirectoryExistsIgnoringCase(root + "/features/CORPSES"));
  EXPECT_FALSE(DirectoryExistsIgnoringCase(root + "/units/armcom.fbi"));
  EXPECT_FALSE(DirectoryExistsIgnoringCase(root + "/weapons"));
}

TEST(DiskSearch, ExactSpellingWinsOverOtherCase) {
  TempDir t;
  t.Touch("dir/a.fbi");
  t.Touch("DIR/b.fbi");
  std::string root = t.Path.string();
  EXPECT_EQ(ResolvePathIgnoringCase(root + "/DIR/b.fbi"), root + "/DIR/b.fbi");
  EXPECT_EQ(ResolvePathIgnoringCase(root + "/dir/a.fbi"), root + "/dir/a.fbi");
}

TEST(DiskSearch, ListsMatchingEntriesOfEveryKind) {
  TempDir t;
  t.Touch("units/ARMCOM.FBI");
  t.Touch("units/corcom.fbi");
  t.Touch("units/.hidden.fbi");
  t.Touch("units/x.fbi.bak");
  t.Touch("units/readme.txt");
  fs::create_directories(t.Path / "units/sub.Fbi");
  auto names = ListMatchingIgnoringCase(t.Path.string() + "/UNITS", "*.fbi");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".hidden.fbi", "ARMCOM.FBI", "corcom.fbi", "sub.Fbi"}));
  EXPECT_TRUE(ListMatchingIgnoringCase(t.Path.string() + "/weapons", "*.fbi").empty());
}

TEST(DiskSearch, WildcardRules) {
  EXPECT_TRUE(WildcardMatchIgnoringCase("TOTALA1.GP3", "*.gp*"));
  EXPECT_TRUE(WildcardMatchIgnoringCase("a.gp", "*.gp*"));
  EXPECT_FALSE(WildcardMatchIgnoringCase("a.hpi", "*.gp*"));
  EXPECT_TRUE(WildcardMatchIgnoringCase("ab.c", "a?.C"));
  EXPECT_FALSE(WildcardMatchIgnoringCase("abc.c", "a?.c"));
  EXPECT_TRUE(WildcardMatchIgnoringCase("x.y.fbi", "*.fbi"));
  EXPECT_FALSE(WildcardMatchIgnoringCase("x.fbi.bak", "*.fbi"));
  EXPECT_TRUE(WildcardMatchIgnoringCase("", "*"));
  EXPECT_FALSE(WildcardMatchIgnoringCase("", "?"));
  // Only ASCII letters fold: bytes above 127 compare as they are.
  EXPECT_FALSE(WildcardMatchIgnoringCase("\xC4.fbi", "\xE4.fbi"));
}
