// kestrava-apply: a table edited as a spreadsheet would, applied to archives
// and loose files, checked byte for byte against literals.
#include <nlohmann/json.hpp>

#include "apply_support.h"
#include "mod/cell_text.h"
#include "mod/definition_edit.h"
#include "definitions/definition_reader.h"
#include "definitions/table_read.h"
#include "mod/text_edit.h"

using namespace applytest;

namespace {

// A unit file with the spacing, comments and a duplicate key of real files.
const std::string kUnit =
    "[UNITINFO]\r\n{\r\n"
    "\tUnitNumber=101;\r\n"
    "\tUnitName=ARMX;\r\n"
    "\tName = Big Gun ;   // shown with blanks\r\n"
    "\t  BuildCostMetal =  36 ; // cheap\r\n"
    "\tMaxDamage=95;\r\n"
    "\tMaxDamage=99;\r\n"
    "\tMaxVelocity=1.5;\r\n"
    "}\r\n";
const std::string kOtherUnit = "[UNITINFO]\r\n{\r\n\tUnitNumber=102;\r\n\tUnitName=ARMY;\r\n\tBuildCostMetal=50;\r\n}\r\n";
// Two weapons: one with a nested section and a key written after it.
const std::string kWeapons =
    "[LASER]\r\n{\r\n\tID=5;\r\n\trange=300;\r\n\t[DAMAGE]\r\n\t{\r\n\t\tdefault=50;\r\n\t}\r\n\treloadtime=1.2;\r\n}\r\n"
    "[GUN]\r\n{\r\n\tID=6;\r\n\trange=200;\r\n}\r\n";

}  // namespace

TEST(ApplyTool, ChangesValuesInPlaceAndAddsAbsentKeysInOneRewrite) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  MakeArchive(archive, {{"units\\ARMX.FBI", kUnit}, {"units\\ARMY.FBI", kOtherUnit}, {"weapons\\W.TDF", kWeapons},
                        {"readme.txt", "kept"}});
  std::string table = Export("units", {archive});
  // A spreadsheet: a value (its blanks lost), the shown one of a duplicate
  // key, an absent key filled in, and a number that only looks different.
  table = Replace(table, "101,ARMX, Big Gun ,", "101,ARMX,Small Gun,");
  table = Replace(table, ",  36 ,", ",40,");
  table = Replace(table, ",95,", ",120,");
  table = Replace(table, ",1.5,", ",1.50,");
  const size_t stealth = table.find("Stealth,") - table.find("Kamikaze,");  // next to each other
  ASSERT_EQ(stealth, 9u);
  // The Stealth cell: the 76th column (index 75).
  size_t at = table.find("101,ARMX");
  for (int c = 0; c < 75; ++c) at = table.find(',', at) + 1;
  ASSERT_EQ(table[at], ',');
  table.insert(at, "1");
  WriteDisk(dir / "units.csv", table);

  const ToolRun r = Apply({dir / "units.csv"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(r.Out, "units\\ARMX.FBI in " + archive + ": ARMX: Name, BuildCostMetal, MaxDamage, Stealth\n"
                   "4 cells in 1 file of 1 archive\n");
  const auto files = ArchiveFiles(archive);
  EXPECT_EQ(files.at("units\\ARMX.FBI"),
            "[UNITINFO]\r\n{\r\n"
            "\tUnitNumber=101;\r\n"
            "\tUnitName=ARMX;\r\n"
            "\tName = Small Gun ;   // shown with blanks\r\n"
            "\t  BuildCostMetal =  40 ; // cheap\r\n"
            "\tMaxDamage=120;\r\n"
            "\tMaxDamage=99;\r\n"
            "\tMaxVelocity=1.5;\r\n"
            "\tStealth=1;\r\n"
            "}\r\n");
  EXPECT_EQ(files.at("units\\ARMY.FBI"), kOtherUnit);
  EXPECT_EQ(files.at("weapons\\W.TDF"), kWeapons);
  EXPECT_EQ(files.at("readme.txt"), "kept");
}

TEST(ApplyTool, WeaponKeysInAndAfterNestedSectionsAndDryRun) {
  TempDir dir;
  const std::string archive = dir / "mod.hpi";
  MakeArchive(archive, {{"weapons\\W.TDF", kWeapons}});
  std::string table = Export("weapons", {archive}, "", TableFormat::Tsv);
  // LASER: Range, Default (inside [DAMAGE]) and Reloadtime (written after
  // [DAMAGE], so the table shows it empty: it is set, not added twice);
  // GUN: an absent Accuracy, added at the end of its section.
  ASSERT_NE(table.find("5\tLASER\t\t\t\t\t\t300\t\t\t\t50\t"), std::string::npos) << table;
  table = Replace(table, "5\tLASER\t\t\t\t\t\t300\t\t\t\t50\t", "5\tLASER\t\t\t\t\t\t350\t2.5\t\t\t60\t");
  const std::string gun = "6\tGUN\t\t\t\t\t\t200" + std::string(13, '\t');  // up to Accuracy
  table = Replace(table, gun, gun + "7");
  const std::string tsv = dir / "weapons.tsv";
  WriteDisk(tsv, table);
  const std::string before = ReadDisk(archive);

  const ToolRun dry = Apply({tsv, "--dry-run"});
  EXPECT_EQ(dry.Status, 0) << dry.Err;
  EXPECT_EQ(ReadDisk(archive), before) << "a dry run wrote";
  const std::string name = archive + ":weapons\\W.TDF";
  EXPECT_EQ(dry.Out, "--- " + name + "\n+++ " + name +
                         "\n"
                         "@@ -1,15 +1,16 @@\n"
                         " [LASER]\r\n {\r\n \tID=5;\r\n-\trange=300;\r\n+\trange=350;\r\n"
                         " \t[DAMAGE]\r\n \t{\r\n-\t\tdefault=50;\r\n+\t\tdefault=60;\r\n \t}\r\n"
                         "-\treloadtime=1.2;\r\n+\treloadtime=2.5;\r\n }\r\n"
                         " [GUN]\r\n {\r\n \tID=6;\r\n \trange=200;\r\n+\tAccuracy=7;\r\n }\r\n"
                         "Changed cells per column:\n  Accuracy: 1\n  Default: 1\n  Range: 1\n  Reloadtime: 1\n");

  const ToolRun r = Apply({tsv});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ArchiveFiles(archive).at("weapons\\W.TDF"),
            "[LASER]\r\n{\r\n\tID=5;\r\n\trange=350;\r\n\t[DAMAGE]\r\n\t{\r\n\t\tdefault=60;\r\n\t}\r\n"
            "\treloadtime=2.5;\r\n}\r\n"
            "[GUN]\r\n{\r\n\tID=6;\r\n\trange=200;\r\n\tAccuracy=7;\r\n}\r\n");
}

TEST(ApplyTool, NoChangeWritesNothing) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  // Values a spreadsheet shows otherwise: a number it rewrites, and one the
  // formula guard marks.
  MakeArchive(archive, {{"units\\ARMX.FBI", kUnit}, {"units\\Z.FBI", "[UNITINFO]\r\n{\r\nUnitNumber=9;\r\nName=-x;\r\n}\r\n"}});
  std::string table = Export("units", {archive});
  // As the guarded export writes it.
  if (table.find(",'-x,") == std::string::npos) table = Replace(table, ",-x,", ",'-x,");
  table = Replace(table, ",1.5,", ",1.500,");
  table = Replace(table, ",  36 ,", ",036,");
  WriteDisk(dir / "units.csv", table);
  const auto before = ModificationTime(archive);
  const std::string bytes = ReadDisk(archive);
  ::usleep(0);  // no timing: the time stamp is compared exactly, not waited for
  const ToolRun r = Apply({dir / "units.csv"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "0 cells in 0 files of 0 archives\n");
  const auto after = ModificationTime(archive);
  EXPECT_EQ(after.tv_sec, before.tv_sec);
  EXPECT_EQ(after.tv_nsec, before.tv_nsec);
  EXPECT_EQ(ReadDisk(archive), bytes);
}

TEST(ApplyTool, RefusalsNameTheirRowsAndTheRestIsApplied) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  MakeArchive(archive, {{"units\\ARMX.FBI", kUnit}, {"units\\ARMY.FBI", kOtherUnit}, {"weapons\\W.TDF", kWeapons}});
  const std::string table = Export("units", {archive});
  std::vector<std::string> lines;
  for (size_t start = 0; start < table.size();) {
    const size_t end = table.find("\r\n", start);
    lines.push_back(table.substr(start, end - start));
    start = end + 2;
  }
  ASSERT_EQ(lines.size(), 3u);  // captions, ARMX, ARMY
  const std::string armx = lines[1], army = lines[2];
  std::vector<std::string> rows = {
      lines[0],
      Replace(army, ",50,", ",55,"),                                           // row 2: applied
      Replace(Replace(armx, ",95,", ",96,"), archive, dir / "gone.ufo"),       // row 3: a missing archive
      Replace(Replace(armx, ",95,", ",97,"), "units\\ARMX.FBI", "weapons\\W.TDF"),  // row 4: another table's file
      "",                                                                      // row 5: set below
      Replace(armx, ",ARMX, Big Gun ,", ",ARMX,Big Gun \xE2\x82\xAC,"),        // row 6: not Latin-1
      Replace(armx, ",95,", ",,"),                                             // row 7: emptied
      Replace(army, ",50,", ",56,"),                                           // row 8: ARMY again
  };
  // Row 5: the file changed since the export (another size).
  const std::string size = armx.substr(armx.rfind(',') + 1);
  rows[4] = Replace(armx, ",95,", ",98,").substr(0, armx.rfind(',') + 1) + std::to_string(std::stoi(size) + 1);
  std::string edited;
  for (const std::string& l : rows) edited += l + "\r\n";
  WriteDisk(dir / "units.csv", edited);

  const ToolRun r = Apply({dir / "units.csv"});
  EXPECT_EQ(r.Status, 1);
  const std::string p = "kestrava-apply: ";
  EXPECT_NE(r.Err.find(p + "row 3: cannot read archive " + dir / "gone.ufo"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find(p + "row 4: weapons\\W.TDF is not one of the units table's files"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find(p + "row 5: units\\ARMX.FBI in " + archive + " changed since the table was written"),
            std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find(p + "row 6: the cell Name holds the character \xE2\x82\xAC"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find(p + "row 7: the cell MaxDamage was emptied"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find(p + "row 8: changes the same definition as row 2"), std::string::npos) << r.Err;
  EXPECT_EQ(r.Out, "units\\ARMY.FBI in " + archive + ": ARMY: BuildCostMetal\n1 cell in 1 file of 1 archive\n");
  const auto files = ArchiveFiles(archive);
  EXPECT_EQ(files.at("units\\ARMX.FBI"), kUnit);
  EXPECT_EQ(files.at("units\\ARMY.FBI"), Replace(kOtherUnit, "=50;", "=55;"));

  // Bad usage: no such table, and a table without the columns that name files.
  EXPECT_EQ(Apply({dir / "none.csv"}).Status, 2);
  WriteDisk(dir / "bare.csv", "UnitName,BuildCostMetal\r\nARMX,1\r\n");
  EXPECT_EQ(Apply({dir / "bare.csv"}).Status, 2);
  EXPECT_EQ(Apply({}).Status, 2);
}

// A file found in its archive whose data is damaged: its rows are refused,
// and another archive's change is applied.
TEST(ApplyTool, AFileThatCannotBeReadRefusesOnlyItsRows) {
  TempDir dir;
  const std::string damaged = dir / "a.ufo", good = dir / "b.ufo";
  MakeArchive(damaged, {{"units\\ARMX.FBI", kUnit}});
  MakeArchive(good, {{"units\\ARMY.FBI", kOtherUnit}});
  std::string table = Export("units", {damaged, good});
  table = Replace(Replace(table, ",95,", ",96,"), ",50,", ",55,");
  WriteDisk(dir / "units.csv", table);
  {
    // One byte of the packed data flipped (after the chunk sizes and the chunk header).
    const auto a = hpi::Archive::Open(damaged);
    ASSERT_TRUE(a);
    const size_t at = a->at(*a->Find("units\\ARMX.FBI")).dataOffset + 4 + 19 + 3;
    std::string bytes = ReadDisk(damaged);
    ASSERT_LT(at, bytes.size());
    bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
    WriteDisk(damaged, bytes);
  }
  const std::string before = ReadDisk(damaged);
  const ToolRun r = Apply({dir / "units.csv"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("kestrava-apply: row 2: cannot read units\\ARMX.FBI in " + damaged + ": "), std::string::npos)
      << r.Err;
  EXPECT_NE(r.Err.find("; nothing applied\n"), std::string::npos) << r.Err;
  EXPECT_EQ(r.Out, "units\\ARMY.FBI in " + good + ": ARMY: BuildCostMetal\n1 cell in 1 file of 1 archive\n");
  EXPECT_EQ(ArchiveFiles(good).at("units\\ARMY.FBI"), Replace(kOtherUnit, "=50;", "=55;"));
  EXPECT_EQ(ReadDisk(damaged), before);
}

TEST(ApplyTool, LooseFilesAreWrittenInPlace) {
  TempDir dir;
  // A name of 8-bit bytes: the table shows each as its Latin-1 character.
  const std::string file = dir / "game/Units/Arm\xE4X.fbi";
  WriteDisk(file, kUnit);
  std::string table = Export("units", {}, dir / "game", TableFormat::Json);
  table = Replace(table, "\"MaxDamage\":\"95\"", "\"MaxDamage\":\"100\"");
  WriteDisk(dir / "units.json", table);
  const ToolRun r = Apply({dir / "units.json"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, dir / "game/Units/Arm\xC3\xA4X.fbi" + ": ARMX: MaxDamage\n1 cell in 1 file of 0 archives\n");
  EXPECT_EQ(ReadDisk(file), Replace(kUnit, "MaxDamage=95;", "MaxDamage=100;"));
}

TEST(ApplyTool, ApplyThenDiffReportsExactlyTheAppliedCells) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo", original = dir / "original.ufo";
  MakeArchive(archive, {{"units\\ARMX.FBI", kUnit}, {"units\\ARMY.FBI", kOtherUnit}, {"weapons\\W.TDF", kWeapons}});
  fs::copy_file(archive, original);
  std::string table = Export("weapons", {archive});
  table = Replace(table, "6,GUN,,,,,,200,", "6,GUN,,,,,,250,");
  table = Replace(table, ",50,", ",75,");
  WriteDisk(dir / "weapons.csv", table);
  ASSERT_EQ(Apply({dir / "weapons.csv"}).Status, 0);

  const ToolRun d = Diff({original, archive, "--format", "json"});
  EXPECT_EQ(d.Status, 1) << d.Err;
  const nlohmann::json report = nlohmann::json::parse(d.Out);
  const nlohmann::json expected = nlohmann::json::parse(R"([
    {"kind": "weapons", "name": "GUN", "change": "changed",
     "old": {"archive": ")" + original + R"(", "path": "weapons\\W.TDF", "line": 11},
     "new": {"archive": ")" + archive + R"(", "path": "weapons\\W.TDF", "line": 11},
     "keys": [{"key": "range", "old": "200", "new": "250", "old_line": 14, "new_line": 14}]},
    {"kind": "weapons", "name": "LASER", "change": "changed",
     "old": {"archive": ")" + original + R"(", "path": "weapons\\W.TDF", "line": 1},
     "new": {"archive": ")" + archive + R"(", "path": "weapons\\W.TDF", "line": 1},
     "keys": [{"key": "DAMAGE.default", "old": "50", "new": "75", "old_line": 7, "new_line": 7}]}])");
  EXPECT_EQ(report, expected) << d.Out;
}

// A key is found whatever its letter case and the blanks inside its name,
// and only a key of that very name.
TEST(ApplyText, KeysAreFoundIgnoringCaseAndBlanksWithin) {
  const std::string text = "[UNITINFO]\r\n{\r\n\tMaxDamages=1;\r\n\tmax Damage = 95 ;\r\n}\r\n";
  DefinitionView file;
  ReadDefinitionView(text, file);
  std::vector<TextEdit> edits;
  std::vector<std::string> problems;
  ASSERT_TRUE(PlanDefinitionEdits(DefinitionRecords(text, file), "", "UnitName", {{"MaxDamage", "95", "120"}}, edits,
                                  problems));
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(ApplyEdits(text, edits), "[UNITINFO]\r\n{\r\n\tMaxDamages=1;\r\n\tmax Damage = 120 ;\r\n}\r\n");
}

// A cell whose value is not where the table showed it gets no edit and is
// named by its position, so that only the applied cells are counted.
TEST(ApplyText, ACellThatCannotBeEditedIsNamedByItsPosition) {
  const std::string text = "[UNITINFO]\r\n{\r\n\tMaxDamage=95;\r\n}\r\n";
  DefinitionView file;
  ReadDefinitionView(text, file);
  std::vector<TextEdit> edits;
  std::vector<std::string> problems;
  std::vector<size_t> failed;
  ASSERT_TRUE(PlanDefinitionEdits(DefinitionRecords(text, file), "", "UnitName",
                                  {{"Name", "Old", "New"}, {"MaxDamage", "95", "120"}, {"Side", "ARM", "CORE"}}, edits,
                                  problems, &failed));
  EXPECT_EQ(failed, (std::vector<size_t>{0, 2}));
  EXPECT_EQ(problems.size(), 2u);
  EXPECT_EQ(ApplyEdits(text, edits), "[UNITINFO]\r\n{\r\n\tMaxDamage=120;\r\n}\r\n");
}

TEST(ApplyText, TablesAsSpreadsheetsSaveThem) {
  ReadTable t;
  std::string why;
  // CSV: a byte order mark, LF line ends, quotes, a line break in a cell, a short row.
  ASSERT_TRUE(ParseTable("\xEF\xBB\xBF" "A,B,C\n\"x,\"\"y\"\"\",\"1\r\n2\",z\nq\n", TableFormat::Csv, t, why)) << why;
  ASSERT_EQ(t.Captions, (std::vector<std::string>{"A", "B", "C"}));
  ASSERT_EQ(t.Rows.size(), 2u);
  EXPECT_EQ(t.Rows[0].Number, 2);
  EXPECT_EQ(*t.CellsOf(t.Rows[0])[0], "x,\"y\"");
  EXPECT_EQ(*t.CellsOf(t.Rows[0])[1], "1\r\n2");
  EXPECT_EQ(t.Rows[1].Number, 3);
  EXPECT_EQ(t.CellsOf(t.Rows[1]).size(), 1u);
  EXPECT_FALSE(ParseTable("A\n\"open", TableFormat::Csv, t, why));
  // A lone CR is text; the last record needs no line end.
  ASSERT_TRUE(ParseTable("A,B\r\nx\ry,\r\r\n,z", TableFormat::Csv, t, why));
  ASSERT_EQ(t.Rows.size(), 2u);
  EXPECT_EQ(t.CellsOf(t.Rows[0]), (std::vector<std::optional<std::string>>{"x\ry", "\r"}));
  EXPECT_EQ(t.CellsOf(t.Rows[1]), (std::vector<std::optional<std::string>>{"", "z"}));
  // A row of empty cells is no row, and a comma that ends the text.
  ASSERT_TRUE(ParseTable("A,B,C\r\n,,\r\nx,", TableFormat::Csv, t, why));
  ASSERT_EQ(t.Rows.size(), 1u);
  EXPECT_EQ(t.Rows[0].Number, 3);
  EXPECT_EQ(t.CellsOf(t.Rows[0]), (std::vector<std::optional<std::string>>{"x", ""}));
  ASSERT_TRUE(ParseTable("A\tB\r\na\\tb\\\\\tc\\nd\r\n", TableFormat::Tsv, t, why));
  EXPECT_EQ(*t.CellsOf(t.Rows[0])[0], "a\tb\\");
  EXPECT_EQ(*t.CellsOf(t.Rows[0])[1], "c\nd");
  ASSERT_TRUE(ParseTable(R"([{"A":"1","B":null},{"B":2}])", TableFormat::Json, t, why));
  EXPECT_EQ(t.Captions, (std::vector<std::string>{"A", "B"}));
  EXPECT_FALSE(t.CellsOf(t.Rows[0])[1].has_value());
  EXPECT_EQ(*t.CellsOf(t.Rows[1])[1], "2");
  EXPECT_FALSE(t.CellsOf(t.Rows[1])[0].has_value());
  EXPECT_FALSE(ParseTable(R"({"A":"1"})", TableFormat::Json, t, why));

  EXPECT_TRUE(SameNumber("1.50", "1.5"));
  EXPECT_TRUE(SameNumber("010", "10"));
  EXPECT_TRUE(SameNumber(" 1e3", "1000"));
  EXPECT_TRUE(SameNumber("-0", "0.00"));
  EXPECT_TRUE(SameNumber("0.050", ".05"));
  EXPECT_FALSE(SameNumber("1.5", "15"));
  EXPECT_FALSE(SameNumber("-1", "1"));
  EXPECT_FALSE(SameNumber("12345678901234567890", "12345678901234567891"));
  EXPECT_FALSE(SameNumber("1.5x", "1.5"));
  EXPECT_FALSE(SameNumber("", "0"));

  EXPECT_EQ(*Utf8ToLatin1("G\xC3\xBCn \xC2\xA0"), "G\xFCn \xA0");
  std::string bad;
  EXPECT_FALSE(Utf8ToLatin1("a\xE2\x82\xAC", &bad));
  EXPECT_EQ(bad, "\xE2\x82\xAC");
  EXPECT_FALSE(Utf8ToLatin1("\xFC"));         // Latin-1 itself is not UTF-8
  EXPECT_FALSE(Utf8ToLatin1("\xC1\x81"));     // an overlong "A"

  // A diff of edits far apart makes two hunks; a last line without a line end is marked.
  std::string old;
  for (int i = 1; i <= 12; ++i) old += "l" + std::to_string(i) + "\n";
  old += "end";
  const std::string updated = *ApplyEdits(old, {{old.find("l2"), 2, "L2"}, {old.find("end"), 3, "END"}});
  EXPECT_EQ(UnifiedDiff(old, updated, "f", "f"),
            "--- f\n+++ f\n@@ -1,5 +1,5 @@\n l1\n-l2\n+L2\n l3\n l4\n l5\n"
            "@@ -10,4 +10,4 @@\n l10\n l11\n l12\n-end\n\\ No newline at end of file\n+END\n\\ No newline at end of file\n");
}

TEST(ApplyTool, NamesFromFilesReachTheTerminalEscaped) {
  TempDir dir;
  const std::string archive = dir / "m\x1b]0;x\x07.ufo";
  const std::string unit = "[UNITINFO]\r\n{\r\n\tUnitNumber=7;\r\n\tUnitName=AR\x1b[2JMX;\r\n\tMaxDamage=95;\r\n}\r\n";
  MakeArchive(archive, {{"units\\X\x9b.FBI", unit}});
  WriteDisk(dir / "units.csv", Replace(Export("units", {archive}), ",95,", ",96,"));

  // The dry run's diff keeps tabs and CR LF line ends, and escapes the rest.
  const ToolRun dry = Apply({dir / "units.csv", "--dry-run"});
  EXPECT_EQ(dry.Status, 0) << dry.Err;
  EXPECT_NE(dry.Out.find(" \tUnitName=AR\\x1b[2JMX;\r\n-\tMaxDamage=95;\r\n+\tMaxDamage=96;\r\n"), std::string::npos)
      << dry.Out;
  const ToolRun r = Apply({dir / "units.csv"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "units\\X\\x9b.FBI in " + dir / "m\\x1b]0;x\\x07.ufo" +
                       ": AR\\x1b[2JMX: MaxDamage\n1 cell in 1 file of 1 archive\n");
  for (const std::string& out : {dry.Out, r.Out})
    EXPECT_EQ(out.find_first_of("\x1b\x07\x9b"), std::string::npos);
}

TEST(ApplyTool, ComputedColumnsAreNotAppliedAndGetOneNote) {
  TempDir dir;
  const std::string archive = dir / "mod.hpi";
  MakeArchive(archive, {{"weapons\\W.TDF", kWeapons}});
  TableRequest request;
  request.Kind = "weapons";
  request.Archives = {archive};
  request.Format = TableFormat::Tsv;
  request.Computed = true;
  request.Columns = {"ID", "SName", "Range", "DPS (computed)", "Damage per salvo (computed)", "ParentFile",
                     "UnPackedFile"};
  std::ostringstream out, err;
  ASSERT_EQ(RunTable(request, out, err), 0) << err.str();
  std::string table = out.str();
  // LASER: 50 a salvo every 1.2 seconds. Both of its figures and GUN's empty one are changed, and one key.
  table = Replace(table, "5\tLASER\t300\t41.67\t50\t", "5\tLASER\t310\t99\t70\t");
  table = Replace(table, "6\tGUN\t200\t\t\t", "6\tGUN\t200\t12\t\t");
  WriteDisk(dir / "w.tsv", table);

  const ToolRun r = Apply({dir / "w.tsv"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "kestrava-apply: note: DPS (computed), Damage per salvo (computed) are balance figures worked out "
                   "from the definitions, not keys; a change in them is not applied\n");
  EXPECT_EQ(ArchiveFiles(archive).at("weapons\\W.TDF"), Replace(kWeapons, "range=300", "range=310"));
}

// A unit file written as the tables read it is compared with its keys where
// they lie: the first of a key given twice is the one shown and changed, a
// value the CSV had to quote is no change, and the name keeps its blanks.
TEST(ApplyTool, UnitsReadAsTheTablesReadThemAreComparedWithTheirKeys) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  const std::string unit =
      "[UNITINFO]\r\n{\r\n\tUnitNumber=5;\r\n\tUnitName=ARMY ;\r\n\tName=Gun, \"big\";\r\n"
      "\tMaxDamage=95; // first\r\n\tmaxdamage=50;\r\n}\r\n";
  MakeArchive(archive, {{"units\\ARMY.FBI", unit}});
  std::string table = Export("units", {archive});
  ASSERT_NE(table.find(",\"Gun, \"\"big\"\"\","), std::string::npos) << table;
  WriteDisk(dir / "units.csv", Replace(table, ",95,", ",100,"));
  const ToolRun r = Apply({dir / "units.csv"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "units\\ARMY.FBI in " + archive + ": ARMY : MaxDamage\n1 cell in 1 file of 1 archive\n");
  EXPECT_EQ(ArchiveFiles(archive)["units\\ARMY.FBI"],
            "[UNITINFO]\r\n{\r\n\tUnitNumber=5;\r\n\tUnitName=ARMY ;\r\n\tName=Gun, \"big\";\r\n"
            "\tMaxDamage=100; // first\r\n\tmaxdamage=50;\r\n}\r\n");
}
