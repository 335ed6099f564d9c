#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "archive/disk_search.h"

namespace fs = std::filesystem;

TEST(DiskSearch, ResolvesAndListsIgnoringCase) {
  const fs::path dir = fs::temp_directory_path() / ("kestrava_ds_" + std::to_string(::getpid()));
  const std::string root = dir.string();
  for (const char* f : {"Units/ARMCOM.FBI", "Units/corcom.fbi", "Units/.hidden.fbi", "Units/x.fbi.bak",
                        "Units/readme.txt", "Features/Corpses/dead.TDF", "dir/a.fbi", "DIR/b.fbi"}) {
    fs::create_directories((dir / f).parent_path());
    std::ofstream(dir / f) << "x";
  }
  fs::create_directories(dir / "Units/sub.Fbi");
  EXPECT_EQ(ResolvePathIgnoringCase(root + "/units/armcom.fbi"), root + "/Units/ARMCOM.FBI");
  EXPECT_EQ(ResolvePathIgnoringCase(root + "/FEATURES/corpses/DEAD.tdf"), root + "/Features/Corpses/dead.TDF");
  EXPECT_EQ(ResolvePathIgnoringCase(root + "//Units/"), root + "/Units");
  EXPECT_EQ(ResolvePathIgnoringCase(root + "/DIR/b.fbi"), root + "/DIR/b.fbi");  // the exact spelling wins
  EXPECT_EQ(ResolvePathIgnoringCase(root + "/dir/a.fbi"), root + "/dir/a.fbi");
  for (const std::string& missing : {root + "/units/nothere.fbi", root + "/nothere/armcom.fbi",
                                     root + "/units/armcom.fbi/x", std::string()})
    EXPECT_EQ(ResolvePathIgnoringCase(missing), "") << missing;
  EXPECT_EQ(ResolvePathIgnoringCase("/"), "/");
  EXPECT_TRUE(DirectoryExistsIgnoringCase(root + "/features/CORPSES"));
  EXPECT_FALSE(DirectoryExistsIgnoringCase(root + "/units/armcom.fbi"));
  EXPECT_FALSE(DirectoryExistsIgnoringCase(root + "/weapons"));

  auto names = ListMatchingIgnoringCase(root + "/UNITS", "*.fbi");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".hidden.fbi", "ARMCOM.FBI", "corcom.fbi", "sub.Fbi"}));
  EXPECT_TRUE(ListMatchingIgnoringCase(root + "/weapons", "*.fbi").empty());
  fs::remove_all(dir);
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
  EXPECT_FALSE(WildcardMatchIgnoringCase("\xC4.fbi", "\xE4.fbi"));  // only ASCII letters fold
}
