// kestrava-apply on values that a spreadsheet would take for formulas, in
// every form kestrava-table writes them, and keys added beside nested sections.
#include <unistd.h>

#include "apply_support.h"

using namespace applytest;

namespace {

// Definition files end their lines in CR LF, as the game's do.
const std::string kUnit = "[UNITINFO]\r\n{\r\n\tUnitNumber=1;\r\n\tName='=x;\r\n\tDescription=''=y;\r\n}\r\n";

std::string ExportUnits(const std::string& Archive, TableFormat Format, bool Guard) {
  TableRequest request;
  request.Kind = "units";
  request.Archives = {Archive};
  request.Format = Format;
  request.FormulaGuard = Guard;
  std::ostringstream out, err;
  EXPECT_EQ(RunTable(request, out, err), 0) << err.str();
  return out.str();
}

}  // namespace

TEST(ApplyCellForms, UnchangedTablesOfEveryFormChangeNothing) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  MakeArchive(archive, {{"units\\ARMX.FBI", kUnit}});
  const struct { const char* Name; TableFormat Format; bool Guard; } forms[] = {
      {"guarded.csv", TableFormat::Csv, true},
      {"plain.csv", TableFormat::Csv, false},
      {"guarded.tsv", TableFormat::Tsv, true},
      {"plain.json", TableFormat::Json, true},
  };
  for (const auto& f : forms) {
    WriteDisk(dir / f.Name, ExportUnits(archive, f.Format, f.Guard));
    const ToolRun r = Apply({dir / f.Name});
    EXPECT_EQ(r.Status, 0) << f.Name << r.Err;
    EXPECT_EQ(r.Out, "0 cells in 0 files of 0 archives\n") << f.Name;
  }
  EXPECT_EQ(ArchiveFiles(archive).at("units\\ARMX.FBI"), kUnit);

  // A guard typed in a CSV cell is taken off; a JSON cell is the value itself.
  std::string csv = ExportUnits(archive, TableFormat::Csv, true);
  WriteDisk(dir / "new.csv", Replace(csv, "''=x", "'=z"));
  EXPECT_EQ(Apply({dir / "new.csv"}).Status, 0);
  std::string json = ExportUnits(archive, TableFormat::Json, true);
  WriteDisk(dir / "new.json", Replace(json, "\"''=y\"", "\"'=w\""));
  EXPECT_EQ(Apply({dir / "new.json"}).Status, 0);
  EXPECT_EQ(ArchiveFiles(archive).at("units\\ARMX.FBI"), "[UNITINFO]\r\n{\r\n\tUnitNumber=1;\r\n\tName==z;\r\n\tDescription='=w;\r\n}\r\n");
}

TEST(ApplyCellForms, GuardedSectionAndArchiveNamesFindTheirDefinition) {
  TempDir dir;
  struct Back {
    fs::path Path = fs::current_path();
    ~Back() { fs::current_path(Path); }
  } back;
  fs::current_path(dir.Path);
  MakeArchive("-mod.ufo", {{"weapons\\W.TDF", "[=W2]\r\n{\r\n\tID=5;\r\n\trange=300;\r\n}\r\n"}});
  TableRequest request;
  request.Kind = "weapons";
  request.Archives = {"-mod.ufo"};
  std::ostringstream out, err;
  EXPECT_EQ(RunTable(request, out, err), 0) << err.str();
  const std::string table = out.str();
  EXPECT_NE(table.find("'-mod.ufo"), std::string::npos);
  EXPECT_NE(table.find("'=W2"), std::string::npos);
  WriteDisk(dir / "w.csv", Replace(table, ",300,", ",310,"));
  const ToolRun r = Apply({dir / "w.csv"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ArchiveFiles("-mod.ufo").at("weapons\\W.TDF"), "[=W2]\r\n{\r\n\tID=5;\r\n\trange=310;\r\n}\r\n");
}

TEST(ApplyCellForms, AbsentKeysOfAWeaponWithDamageGoWhereTheTableReadsThem) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  MakeArchive(archive, {{"weapons\\W.TDF", "[LASER]\r\n{\r\n\tID=5;\r\n\trange=300;\r\n\t[DAMAGE]\r\n\t{\r\n\t\tarmcom=50;\r\n\t}\r\n}\r\n"}});
  const std::string row = "5\tLASER\t\t\t\t\t\t300\t\t\t\t\t";
  const std::string changed = "5\tLASER\t\t\t\t\t\t300\t2.5\t\t\t99\t";  // Reloadtime and Default
  WriteDisk(dir / "w.tsv", Replace(Export("weapons", {archive}, "", TableFormat::Tsv), row, changed));
  const ToolRun r = Apply({dir / "w.tsv"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ArchiveFiles(archive).at("weapons\\W.TDF"),
            "[LASER]\r\n{\r\n\tID=5;\r\n\trange=300;\r\n\tReloadtime=2.5;\r\n\t[DAMAGE]\r\n\t{\r\n\t\tarmcom=50;\r\n\t\tDefault=99;\r\n\t}\r\n}\r\n");
  EXPECT_NE(Export("weapons", {archive}, "", TableFormat::Tsv).find(changed), std::string::npos);
}
