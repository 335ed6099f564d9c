// kestrava-diff: definitions matched by identity across two versions, every
// key compared, and the report in its three formats.
#include <nlohmann/json.hpp>

#include "apply_support.h"

using namespace applytest;

namespace {

std::string Unit(const std::string& Name, const std::string& Keys) {
  return "[UNITINFO]\r\n{\r\n\tUnitName=" + Name + ";\r\n" + Keys + "}\r\n";
}

void WriteOld(const std::string& Dir) {
  WriteDisk(Dir + "/units/A.FBI", Unit("ARMA", "\tBuildCostMetal=10;\r\n"));
  WriteDisk(Dir + "/units/B.FBI", Unit("ARMB", "\tSide=ARM;\r\n"));
  WriteDisk(Dir + "/units/C.FBI", Unit("ARMC", ""));
  WriteDisk(Dir + "/weapons/W.TDF",
            "[LASER]\r\n{\r\n\tID=5;\r\n\t[DAMAGE]\r\n\t{\r\n\t\tdefault=50;\r\n\t}\r\n\treloadtime=1;\r\n}\r\n");
  WriteDisk(Dir + "/download/M.TDF", "[MENUENTRY1]\r\n{\r\n\tUNITMENU=ARMCOM;\r\n\tMENU=2;\r\n\tUNITNAME=ARMA;\r\n}\r\n");
  WriteDisk(Dir + "/features/corpses/C.TDF", "[ARMA_DEAD]\r\n{\r\n\tworld=all;\r\n}\r\n");
}

}  // namespace

TEST(DiffTool, MatchesByIdentityAndComparesEveryKey) {
  TempDir dir;
  const std::string oldDir = dir / "old", newDir = dir / "new";
  WriteOld(oldDir);
  // ARMA moved to another file and its keys spelled in other case: the same.
  WriteDisk(newDir + "/units/Moved.fbi", "[UNITINFO]\r\n{\r\n\tunitname=ARMA;\r\n\tBUILDCOSTMETAL=10;\r\n}\r\n");
  WriteDisk(newDir + "/units/B.FBI", Unit("ARMB", "\tSide=arm;\r\n"));  // values count byte for byte
  WriteDisk(newDir + "/units/D.FBI", Unit("ARMD", ""));
  // A key after the nested section and one no table shows.
  WriteDisk(newDir + "/weapons/W.TDF",
            "[laser]\r\n{\r\n\tID=5;\r\n\t[DAMAGE]\r\n\t{\r\n\t\tdefault=50;\r\n\t}\r\n\treloadtime=2;\r\n\tFoo=1;\r\n}\r\n");
  WriteDisk(newDir + "/download/M.TDF", "[X]\r\n{\r\n\tunitmenu=ARMCOM;\r\n\tMENU=3;\r\n\tUnitName=ARMA;\r\n}\r\n");
  WriteDisk(newDir + "/features/corpses/C.TDF", "[ARMA_DEAD]\r\n{\r\n\tworld=all;\r\n}\r\n");

  const ToolRun r = Diff({oldDir, newDir});
  EXPECT_EQ(r.Status, 1) << r.Err;
  EXPECT_EQ(r.Out,
            "units\n"
            "  changed ARMB (units\\B.FBI:1 → units\\B.FBI:1)\n"
            "    Side: ARM → arm\n"
            "  removed ARMC (units\\C.FBI:1)\n"
            "  added ARMD (units\\D.FBI:1)\n"
            "\n"
            "weapons\n"
            "  changed laser (weapons\\W.TDF:1 → weapons\\W.TDF:1)\n"
            "    reloadtime: 1 → 2\n"
            "    Foo: (none) → 1\n"
            "\n"
            "download\n"
            "  changed ARMCOM/ARMA (download\\M.TDF:1 → download\\M.TDF:1)\n"
            "    MENU: 2 → 3\n"
            "\n"
            "5 definitions differ: 1 added, 1 removed, 3 changed\n");

  const ToolRun weapons = Diff({oldDir, newDir, "--kind", "weapons", "--format", "csv"});
  EXPECT_EQ(weapons.Status, 1);
  EXPECT_EQ(weapons.Out,
            "kind,name,change,key,old,new,old_place,new_place\r\n"
            "weapons,laser,changed,reloadtime,1,2,weapons\\W.TDF:8,weapons\\W.TDF:8\r\n"
            "weapons,laser,changed,Foo,,1,weapons\\W.TDF:1,weapons\\W.TDF:9\r\n");
  // One definition: the count in the singular; JSON gives each key's lines.
  const std::string text = Diff({oldDir, newDir, "--kind", "weapons"}).Out;
  EXPECT_TRUE(text.ends_with("\n1 definition differs: 0 added, 0 removed, 1 changed\n")) << text;
  const nlohmann::json keys = nlohmann::json::parse(Diff({oldDir, newDir, "--kind", "weapons", "--format", "json"}).Out)[0]["keys"];
  EXPECT_EQ(keys[0]["old_line"], 8);
  EXPECT_EQ(keys[1]["old_line"], nullptr);
  EXPECT_EQ(keys[1]["new_line"], 9);

  const ToolRun same = Diff({oldDir, oldDir});
  EXPECT_EQ(same.Status, 0);
  EXPECT_EQ(same.Out, "0 definitions differ: 0 added, 0 removed, 0 changed\n");
  EXPECT_EQ(Diff({oldDir, dir / "missing"}).Status, 2);
  EXPECT_EQ(Diff({oldDir, newDir, "--kind", "tanks"}).Status, 2);
}

TEST(DiffTool, ArchivesAndCsvCellsThatLookLikeFormulas) {
  TempDir dir;
  MakeArchive(dir / "old.hpi", {{"units\\A.FBI", Unit("ARMA", "\tName=Tank;\r\n")}});
  MakeArchive(dir / "new.hpi", {{"units\\A.FBI", Unit("ARMA", "\tName==HYPERLINK(1);\r\n")}});
  const ToolRun r = Diff({dir / "old.hpi", dir / "new.hpi", "--format", "csv"});
  EXPECT_EQ(r.Status, 1) << r.Err;
  const std::string place = "units\\A.FBI:4 in ";  // the line of the Name key
  EXPECT_EQ(r.Out, "kind,name,change,key,old,new,old_place,new_place\r\n"
                   "units,ARMA,changed,Name,Tank,'=HYPERLINK(1)," + place + dir / "old.hpi" + "," + place +
                       dir / "new.hpi" + "\r\n");
}

TEST(DiffTool, ControlBytesAreEscapedInTheTextReport) {
  TempDir dir;
  MakeArchive(dir / "old.ufo", {{"weapons\\W.TDF", "[GUN]\r\n{\r\n\tID=6;\r\n\trange=200;\r\n}\r\n"}});
  MakeArchive(dir / "new.ufo", {{"weapons\\W.TDF", "[GUN]\r\n{\r\n\tID=6;\r\n\trange=2\x1b[2J;\r\n}\r\n"}});
  const ToolRun r = Diff({dir / "old.ufo", dir / "new.ufo"});
  EXPECT_EQ(r.Status, 1) << r.Err;
  EXPECT_NE(r.Out.find("range: 200 → 2\\x1b[2J\n"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Out.find('\x1b'), std::string::npos);
}

// Every count of a key's occurrences on the two sides: an occurrence the new
// side no longer has is reported, down to a key removed outright.
TEST(DiffTool, EachOccurrenceOfAKeyIsCompared) {
  struct Case {
    std::string OldKeys, NewKeys;
    std::vector<std::string> Rows;  // CSV rows, up to the places
  };
  const std::vector<Case> cases = {
      {"\tMaxDamage=5;\r\n", "", {"units,ARMA,changed,MaxDamage,5,,"}},
      {"\tMaxDamage=5;\r\n\tMaxDamage=6;\r\n", "\tMaxDamage=5;\r\n", {"units,ARMA,changed,MaxDamage,6,,"}},
      {"\tMaxDamage=5;\r\n\tMaxDamage=6;\r\n", "", {"units,ARMA,changed,MaxDamage,5,,", "units,ARMA,changed,MaxDamage,6,,"}},
      {"", "\tMaxDamage=5;\r\n", {"units,ARMA,changed,MaxDamage,,5,"}},
      {"\tMaxDamage=5;\r\n", "\tmaxdamage=5;\r\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.OldKeys + " -> " + c.NewKeys);
    TempDir dir;
    WriteDisk(dir / "old/units/A.FBI", Unit("ARMA", c.OldKeys));
    WriteDisk(dir / "new/units/A.FBI", Unit("ARMA", c.NewKeys));
    const ToolRun r = Diff({dir / "old", dir / "new", "--format", "csv"});
    EXPECT_EQ(r.Status, c.Rows.empty() ? 0 : 1) << r.Err;
    std::vector<std::string> rows;
    std::istringstream lines(r.Out);
    std::string line;
    std::getline(lines, line);  // the captions
    while (std::getline(lines, line)) rows.push_back(line);
    ASSERT_EQ(rows.size(), c.Rows.size()) << r.Out;
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].rfind(c.Rows[i], 0), 0u) << rows[i];
  }
}
