// kestrava-apply writes only what may be written: a read-only archive or
// loose file is refused with a message and stays as it was; a loose file is
// replaced with its mode kept and through its symbolic link.
#include "apply_support.h"

using namespace applytest;

namespace {

const std::string kUnit = "[UNITINFO]\r\n{\r\n\tUnitNumber=101;\r\n\tUnitName=ARMX;\r\n\tMaxDamage=95;\r\n}\r\n";
const std::string kOther = "[UNITINFO]\r\n{\r\n\tUnitNumber=102;\r\n\tUnitName=ARMY;\r\n\tMaxDamage=50;\r\n}\r\n";

unsigned ModeOf(const std::string& P) {
  struct stat st {};
  EXPECT_EQ(::stat(P.c_str(), &st), 0);
  return st.st_mode & 07777;
}

}  // namespace

TEST(ApplyReadOnly, ReadOnlyFilesAreRefusedAndTheRestIsApplied) {
  TempDir dir;
  const std::string locked = dir / "locked.ufo", open = dir / "open.ufo";
  MakeArchive(locked, {{"units\\ARMX.FBI", kUnit}});
  MakeArchive(open, {{"units\\ARMY.FBI", kOther}});
  const std::string table = Replace(Replace(Export("units", {locked, open}), ",95", ",96"), ",50", ",55");
  WriteDisk(dir / "units.csv", table);
  // Read-only after the export: no write bit, which holds even for root.
  ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
  const std::string before = ReadDisk(locked);
  ToolRun r = Apply({dir / "units.csv"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "kestrava-apply: cannot write " + locked + ": it is read-only; it was not changed\n");
  EXPECT_EQ(ReadDisk(locked), before);
  EXPECT_EQ(ModeOf(locked), 0444u);
  EXPECT_EQ(ArchiveFiles(open).at("units\\ARMY.FBI"), Replace(kOther, "=50;", "=55;"));

  // A loose file likewise.
  const std::string loose = dir / "game/units/ARMX.FBI";
  WriteDisk(loose, kUnit);
  WriteDisk(dir / "loose.csv", Replace(Export("units", {}, dir / "game"), ",95", ",96"));
  ASSERT_EQ(::chmod(loose.c_str(), 0444), 0);
  r = Apply({dir / "loose.csv"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "kestrava-apply: cannot write " + loose + ": it is read-only\n");
  EXPECT_EQ(ReadDisk(loose), kUnit);
}

TEST(ApplyReadOnly, LooseFilesKeepTheirModeAndLinks) {
  TempDir dir;
  // The game directory holds a link to the modder's working copy.
  const std::string real = dir / "work/ARMX.FBI", link = dir / "game/units/ARMX.FBI";
  WriteDisk(real, kUnit);
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  fs::create_directories(dir / "game/units");
  fs::create_symlink(real, link);
  WriteDisk(dir / "units.csv", Replace(Export("units", {}, dir / "game"), ",95", ",96"));
  const ToolRun r = Apply({dir / "units.csv"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadDisk(real), Replace(kUnit, "=95;", "=96;"));
  EXPECT_EQ(ModeOf(real), 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "work"), {}), 1);  // no temporary file left
}
