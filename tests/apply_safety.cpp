// kestrava-apply against tables that would lose or corrupt data: a caption
// twice, one file named two ways, a stale table, numbers a spreadsheet's
// locale damaged, spreadsheet dialects, another writer between planning and
// writing, unsafe values; and tables of every key.
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "apply_support.h"
#include "definitions/table_read.h"
#include "hpi/parallel.h"
#include "mod/cell_text.h"
#include "mod/definition_edit.h"
#include "mod/text_edit.h"
#include "tools/common/guarded_main.h"

using namespace applytest;

namespace {

const std::string kArmx =
    "[UNITINFO]\r\n{\r\n\tUnitNumber=101;\r\n\tUnitName=ARMX;\r\n\tName=Gun;\r\n\tBuildCostMetal=1172;\r\n"
    "\tMaxVelocity=2.175;\r\n\tAcceleration=0.015;\r\n\tTurnRate=1.1;\r\n\tMaxDamage=95;\r\n}\r\n";
const std::string kArmy = "[UNITINFO]\r\n{\r\n\tUnitNumber=102;\r\n\tUnitName=ARMY;\r\n\tMaxDamage=50;\r\n}\r\n";

// kestrava-table's CSV of Columns of the units (or Kind) in Archive.
std::string ExportColumns(const std::string& Archive, const std::string& Columns, const std::string& Kind = "units",
                          bool AllKeys = false) {
  TableRequest request;
  request.Kind = Kind;
  request.Archives = {Archive};
  request.AllKeys = AllKeys;
  if (!Columns.empty())
    for (size_t start = 0;;) {
      const size_t comma = Columns.find(',', start);
      request.Columns.push_back(Columns.substr(start, comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  std::ostringstream out, err;
  EXPECT_EQ(RunTable(request, out, err), 0) << err.str();
  return out.str();
}

std::vector<std::string> Lines(const std::string& Table) {
  std::vector<std::string> lines;
  std::istringstream in(Table);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Join(const std::vector<std::string>& Lines) {
  std::string text;
  for (const std::string& l : Lines) text += l + "\r\n";
  return text;
}

const std::string kCannotTell =
    "kestrava-apply: the table has neither a File CRC-32 nor a PFileSize column: changes made since the export "
    "cannot be detected\n";

bool Has(const std::string& Text, const std::string& Part) { return Text.find(Part) != std::string::npos; }

bool EndsWith(const std::string& Text, const std::string& End) {
  return Text.size() >= End.size() && Text.compare(Text.size() - End.size(), End.size(), End) == 0;
}

// The CRC-32 of Bytes by zlib, as a spreadsheet may give a checksum back:
// upper case, without its prefix and leading zeros.
std::string Crc(const std::string& Bytes) {
  char text[16];
  std::snprintf(text, sizeof text, "%lX",
                crc32(0, reinterpret_cast<const Bytef*>(Bytes.data()), static_cast<uInt>(Bytes.size())));
  return text;
}

}  // namespace

// Edits that overlap would write bytes twice or lose them: refused whole.
TEST(ApplySafety, OverlappingEditsAreRefused) {
  struct Case {
    std::vector<TextEdit> Edits;
    std::optional<std::string> Result;
  };
  const std::string text = "abcde";
  const std::vector<Case> cases = {
      {{{0, 2, "X"}, {2, 2, "Y"}}, "XYe"},           // side by side
      {{{2, 0, "1"}, {2, 0, "2"}}, "ab12cde"},       // two insertions at one place keep their order
      {{{1, 0, "i"}, {1, 2, "R"}}, "aiRde"},         // an insertion before a replacement
      {{{5, 0, "!"}}, "abcde!"},                     // at the end
      {{{0, 2, "X"}, {1, 1, "Y"}}, std::nullopt},    // one starts inside another
      {{{1, 2, "X"}, {1, 2, "Y"}}, std::nullopt},    // one value given twice
      {{{1, 2, "R"}, {1, 0, "i"}}, std::nullopt},    // an insertion inside what is replaced
      {{{4, 2, ""}}, std::nullopt},                  // past the end
      {{{6, 0, "z"}}, std::nullopt},
  };
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(ApplyEdits(text, cases[i].Edits), cases[i].Result) << i;
}

// A caption given twice is bad input, whatever its letter case and whether
// the unit has the key; nothing is written.
TEST(ApplySafety, ACaptionGivenTwiceIsRefused) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  MakeArchive(archive, {{"units\\ARMX.FBI", kArmx}});
  const std::string before = ReadDisk(archive);
  for (const std::string caption : {"BuildCostMetal", "buildcostmetal", "Stealth"}) {
    SCOPED_TRACE(caption);
    const std::string other = caption == "Stealth" ? "Stealth" : "BuildCostMetal";
    WriteDisk(dir / "t.csv", "UnitName," + other + ",ParentFile,UnPackedFile," + caption + "\r\nARMX,7," + archive +
                                 ",units\\ARMX.FBI,7\r\n");
    const ToolRun r = Apply({dir / "t.csv"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_TRUE(Has(r.Err, "the caption " + caption + " is given twice, in columns 2 and 5")) << r.Err;
    EXPECT_EQ(ReadDisk(archive), before);
  }
}

// Rows that name one definition in other spellings (the file's separator and
// letter case, the section's letter case) are one definition: the second is
// refused and the first applied once.
TEST(ApplySafety, OneDefinitionNamedTwoWaysTakesOneRow) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  const std::string weapons = "[LASER]\r\n{\r\n\tID=5;\r\n\trange=300;\r\n}\r\n";
  MakeArchive(archive, {{"units\\ARMX.FBI", kArmx}, {"weapons\\W.TDF", weapons}});
  struct Case {
    std::string Table, File, Expected;
  };
  const std::vector<Case> cases = {
      {"UnitName,MaxDamage,ParentFile,UnPackedFile\r\nARMX,96," + archive + ",units\\ARMX.FBI\r\nARMX,97," + archive +
           ",units/armx.fbi\r\n",
       "units\\ARMX.FBI", Replace(kArmx, "=95;", "=96;")},
      {"SName,Range,ParentFile,UnPackedFile\r\nLASER,310," + archive + ",weapons\\W.TDF\r\nlaser,320," + archive +
           ",weapons\\W.TDF\r\n",
       "weapons\\W.TDF", Replace(weapons, "=300;", "=310;")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    MakeArchive(archive, {{"units\\ARMX.FBI", kArmx}, {"weapons\\W.TDF", weapons}});
    WriteDisk(dir / "t.csv", c.Table);
    const ToolRun r = Apply({dir / "t.csv"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Has(r.Err, "kestrava-apply: row 3: changes the same definition as row 2; nothing applied")) << r.Err;
    EXPECT_EQ(ArchiveFiles(archive).at(c.File), c.Expected);
  }
}

// What would end a value early or start a comment or a section is refused
// cell by cell; a lone '/' is a plain byte.
TEST(ApplySafety, UnsafeValuesAreRefused) {
  const std::vector<std::pair<std::string, std::string>> unsafe = {
      {"a;b", "\";\""}, {"a{b", "\"{\""}, {"a}b", "\"}\""}, {"a//b", "\"//\""},
      {"a/*b", "\"/*\""}, {"a\nb", "a line break"}, {"a\rb", "a line break"}};
  for (const auto& [value, named] : unsafe) EXPECT_TRUE(Has(UnsafeValue(value), named)) << value;
  EXPECT_EQ(UnsafeValue("a/b *c"), "");

  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  MakeArchive(archive, {{"units\\ARMX.FBI", kArmx}});
  WriteDisk(dir / "t.csv", "UnitName,Name,Description,Designation,Version,Copyright,Side,Objectname,"
                           "ParentFile,UnPackedFile\r\n"
                           "ARMX,a;b,a{b,a}b,a//b,a/*b,\"a\nb\",a/b," + archive + ",units\\ARMX.FBI\r\n");
  const ToolRun r = Apply({dir / "t.csv"});
  EXPECT_EQ(r.Status, 1);
  for (const std::string key : {"Name", "Description", "Designation", "Version", "Copyright", "Side"})
    EXPECT_TRUE(Has(r.Err, "the cell " + key + " holds ")) << key << "\n" << r.Err;
  EXPECT_EQ(ArchiveFiles(archive).at("units\\ARMX.FBI"),
            Replace(kArmx, "\tMaxDamage=95;\r\n", "\tMaxDamage=95;\r\n\tObjectname=a/b;\r\n"));
}

// Another writer changes a file after the plan was made: its change stays,
// in an archive and in a loose file, and the row is reported.
TEST(ApplySafety, AFileChangedWhileApplyingIsNotOverwritten) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  const std::string loose = dir / "ta/units/ARMY.FBI";
  MakeArchive(archive, {{"units\\ARMX.FBI", kArmx}});
  WriteDisk(loose, kArmy);
  WriteDisk(dir / "t.csv", "UnitName,MaxDamage,ParentFile,UnPackedFile\r\nARMX,96," + archive +
                               ",units\\ARMX.FBI\r\nARMY,51,Not packed !," + loose + "\r\n");
  const std::string theirs = Replace(kArmx, "Name=Gun;", "Name=Gun2;");
  std::ostringstream out, err;
  const int status = RunApply({dir / "t.csv"}, out, err, [&] {
    MakeArchive(archive, {{"units\\ARMX.FBI", theirs}});
    WriteDisk(loose, Replace(kArmy, "=50;", "=49;"));
  });
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(Has(err.str(), "units\\ARMX.FBI changed while the table was being applied")) << err.str();
  EXPECT_TRUE(Has(err.str(), loose + " changed while the table was being applied")) << err.str();
  EXPECT_EQ(ArchiveFiles(archive).at("units\\ARMX.FBI"), theirs);
  EXPECT_EQ(ReadDisk(loose), Replace(kArmy, "=50;", "=49;"));

  // Unchanged meanwhile (a writer that only looked): applied.
  WriteDisk(loose, kArmy);
  MakeArchive(archive, {{"units\\ARMX.FBI", kArmx}});
  const ToolRun r = Apply({dir / "t.csv"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ArchiveFiles(archive).at("units\\ARMX.FBI"), Replace(kArmx, "=95;", "=96;"));
  EXPECT_EQ(ReadDisk(loose), Replace(kArmy, "=50;", "=51;"));
}

// A file changed since the export, even to the same size, is told by its
// checksum; PFileSize still serves older tables; a table with neither says
// that it cannot tell.
TEST(ApplySafety, AStaleTableIsToldByItsChecksum) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  MakeArchive(archive, {{"units\\ARMX.FBI", kArmx}});
  const std::vector<std::string> table = Lines(ExportColumns(archive, "UnitName,Name,MaxDamage,ParentFile,UnPackedFile"));
  ASSERT_EQ(table.size(), 2u);
  ASSERT_EQ(table[0], "UnitName,Name,MaxDamage,ParentFile,UnPackedFile,File CRC-32");
  const std::string checksum = table[1].substr(table[1].rfind(',') + 1);
  // A teammate's change of the same length after the export.
  const std::string theirs = Replace(kArmx, "MaxDamage=95;", "MaxDamage=85;");
  MakeArchive(archive, {{"units\\ARMX.FBI", theirs}});
  const std::string row = Replace(table[1], "Gun,", "Cannon,");
  struct Case {
    std::string Captions, Row;
    int Status;
    std::string Message;  // in standard error
  };
  const std::string noChecksum = row.substr(0, row.rfind(','));
  const std::vector<Case> cases = {
      {table[0], row, 1, "units\\ARMX.FBI in " + archive + " changed since the table was written (its File CRC-32 was " +
                             checksum},
      {table[0], Replace(row, checksum, Crc(theirs)), 0, ""},
      {"UnitName,Name,MaxDamage,ParentFile,UnPackedFile,PFileSize", noChecksum + "," + std::to_string(kArmx.size() + 1),
       1, "changed since the table was written (" + std::to_string(kArmx.size() + 1) + " bytes then, " +
              std::to_string(kArmx.size()) + " now)"},
      {"UnitName,Name,MaxDamage,ParentFile,UnPackedFile,PFileSize", noChecksum + "," + std::to_string(kArmx.size()), 0,
       ""},
      {"UnitName,Name,MaxDamage,ParentFile,UnPackedFile", noChecksum, 0, kCannotTell},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Captions);
    MakeArchive(archive, {{"units\\ARMX.FBI", theirs}});
    WriteDisk(dir / "t.csv", c.Captions + "\r\n" + c.Row + "\r\n");
    const ToolRun r = Apply({dir / "t.csv"});
    EXPECT_EQ(r.Status, c.Status) << r.Err;
    if (c.Message.empty()) EXPECT_EQ(r.Err, "");
    else EXPECT_TRUE(Has(r.Err, c.Message)) << r.Err;
    // Where the table cannot tell, its old MaxDamage goes back in.
    EXPECT_EQ(ArchiveFiles(archive).at("units\\ARMX.FBI"),
              c.Status == 0 ? Replace(Replace(theirs, "Name=Gun;", "Name=Cannon;"), "=85;", "=95;") : theirs);
  }
  // The checksum as a spreadsheet may give it back.
  EXPECT_TRUE(SameChecksum("0x00ab12cd", "0x00ab12cd"));
  EXPECT_TRUE(SameChecksum("AB12CD", "0x00ab12cd"));
  EXPECT_TRUE(SameChecksum(" 0X00AB12CD ", "0x00ab12cd"));
  EXPECT_FALSE(SameChecksum("0x00ab12ce", "0x00ab12cd"));
  EXPECT_FALSE(SameChecksum("", "0x00ab12cd"));
}

// Numbers as a spreadsheet in another locale gives them back: a decimal
// comma or a thousands separator is never written; a decimal point dropped
// only when asked for; the dry run counts the changes of each column.
TEST(ApplySafety, NumbersDamagedByALocaleAreRefused) {
  struct Case {
    std::string Old, New;
    LocaleDamage Damage;
  };
  const std::vector<Case> cases = {
      {"1.1", "1,1", LocaleDamage::Separator},      {"1172", "1,172", LocaleDamage::Separator},
      {"1172", "1 172", LocaleDamage::Separator},   {"1172000", "1.172.000", LocaleDamage::Separator},
      {"-1.5", "-1,5", LocaleDamage::Separator},    {"1172", "1\xA0" "172", LocaleDamage::Separator},
      {"2.175", "2175", LocaleDamage::PointDropped}, {"0.015", "15", LocaleDamage::PointDropped},
      {"-0.5", "-5", LocaleDamage::PointDropped},   {"2.50", "250", LocaleDamage::PointDropped},
      {"2.175", "2.5", LocaleDamage::None},         {"2.175", "3", LocaleDamage::None},
      {"0.5", "-5", LocaleDamage::None},            {"12", "120", LocaleDamage::None},
      {"ARM", "1,1", LocaleDamage::None},           {"1", "CORE", LocaleDamage::None},
      {"1.5", "1.75", LocaleDamage::None},          {"", "1,1", LocaleDamage::None},
  };
  for (const Case& c : cases) EXPECT_EQ(FindLocaleDamage(c.Old, c.New), c.Damage) << c.Old << " -> " << c.New;

  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  MakeArchive(archive, {{"units\\ARMX.FBI", kArmx}, {"units\\ARMY.FBI", kArmy}});
  const std::string captions = "UnitName,BuildCostMetal,MaxVelocity,Acceleration,TurnRate,MaxDamage,ParentFile,UnPackedFile";
  WriteDisk(dir / "t.csv", captions + "\r\nARMX,\"1,172\",2175,15,\"1,1\",96," + archive + ",units\\ARMX.FBI\r\n" +
                               "ARMY,,,,,55," + archive + ",units\\ARMY.FBI\r\n");
  const ToolRun dry = Apply({dir / "t.csv", "--dry-run"});
  EXPECT_EQ(dry.Status, 1);
  EXPECT_TRUE(Has(dry.Err, "row 2: the cell BuildCostMetal holds 1,172 where the file has 1172, which the game does "
                           "not read as a number (a spreadsheet's decimal comma or thousands separator?)"))
      << dry.Err;
  EXPECT_TRUE(Has(dry.Err, "row 2: the cell TurnRate holds 1,1 where the file has 1.1")) << dry.Err;
  EXPECT_TRUE(Has(dry.Err, "row 2: the cell MaxVelocity holds 2175 where the file has 2.175: its decimal point "
                           "dropped")) << dry.Err;
  EXPECT_TRUE(Has(dry.Err, "row 2: the cell Acceleration holds 15 where the file has 0.015")) << dry.Err;
  EXPECT_TRUE(EndsWith(dry.Out, "\nChanged cells per column:\n  MaxDamage: 2\n")) << dry.Out;

  const ToolRun r = Apply({dir / "t.csv", "--accept-locale-changes"});
  EXPECT_EQ(r.Status, 1);  // the separators are still refused
  EXPECT_EQ(ArchiveFiles(archive).at("units\\ARMX.FBI"),
            Replace(Replace(Replace(kArmx, "=2.175;", "=2175;"), "=0.015;", "=15;"), "=95;", "=96;"));
}

// Tables as spreadsheets in other locales and programs save them.
TEST(ApplySafety, SpreadsheetDialectsAreRead) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  struct Case {
    std::string Name, Table;
    int Status;
    std::string Message;  // in standard error
    std::string Name2;    // the Name the unit gets, 8-bit
  };
  const std::string p = "ParentFile", u = "UnPackedFile";
  const std::vector<Case> cases = {
      {"semicolons", "UnitName;Name;" + p + ";" + u + "\r\nARMX;\"Big; Gun\";" + archive + ";units\\ARMX.FBI\r\n", 1,
       "holds \";\"", "Gun"},
      {"semicolons", "UnitName;Name;" + p + ";" + u + "\r\nARMX;Big Gun;" + archive + ";units\\ARMX.FBI\r\n", 0, "",
       "Big Gun"},
      {"tabs in .csv", "UnitName\tName\t" + p + "\t" + u + "\nARMX\tBig Gun\t" + archive + "\tunits\\ARMX.FBI\n", 0, "",
       "Big Gun"},
      {"CR alone", "UnitName,Name," + p + "," + u + "\rARMX,Big Gun," + archive + ",units\\ARMX.FBI\r", 0, "",
       "Big Gun"},
      {"Windows-1252", "UnitName,Name," + p + "," + u + "\r\nARMX,Ca\xF1\xF3n \x80," + archive + ",units\\ARMX.FBI\r\n",
       1, "the table is not UTF-8; it was read as Windows-1252", "Gun"},
      {"Windows-1252", "UnitName,Name," + p + "," + u + "\r\nARMX,Ca\xF1\xF3n," + archive + ",units\\ARMX.FBI\r\n", 0,
       "kestrava-apply: " + (dir / "t.csv") + ": the table is not UTF-8; it was read as Windows-1252\n", "Ca\xF1\xF3n"},
      {"UTF-16", std::string("\xFF\xFEU\0n\0", 6), 2, "saved as UTF-16", "Gun"},
      {"UTF-16 without a mark", std::string("U\0n\0i\0t\0N\0a\0m\0e\0", 16), 2, "saved as UTF-16", "Gun"},
      {"bars", "UnitName|Name|" + p + "|" + u + "\r\nARMX|Big Gun|" + archive + "|units\\ARMX.FBI\r\n", 2,
       "the captions are separated by \"|\"", "Gun"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    MakeArchive(archive, {{"units\\ARMX.FBI", kArmx}});
    WriteDisk(dir / "t.csv", c.Table);
    const ToolRun r = Apply({dir / "t.csv"});
    EXPECT_EQ(r.Status, c.Status) << r.Err;
    // These tables have no column that tells changed files.
    const std::string err = c.Status == 2 ? r.Err : Replace(r.Err, kCannotTell, "");
    if (c.Message.empty()) EXPECT_EQ(err, "");
    else EXPECT_TRUE(Has(err, c.Message)) << err;
    EXPECT_EQ(ArchiveFiles(archive).at("units\\ARMX.FBI"), Replace(kArmx, "Name=Gun;", "Name=" + c.Name2 + ";"));
  }
}

// Blank lines a spreadsheet leaves are no rows; their numbers still count.
TEST(ApplySafety, BlankLinesCostNothing) {
  std::string text = "A,B\r\n";
  for (int i = 0; i < 100000; ++i) text += i % 2 ? "\r\n" : ",\r\n";
  text += "x,y\r\n";
  ReadTable t;
  std::string why;
  ASSERT_TRUE(ParseTable(text, TableFormat::Csv, t, why)) << why;
  ASSERT_EQ(t.Rows.size(), 1u);
  EXPECT_EQ(t.Rows[0].Number, 100002);
  EXPECT_EQ(t.CellsOf(t.Rows[0]), (ReadTableCells{"x", "y"}));
}

// Every key the definitions hold, exported and applied: a translation changed
// in one unit and added to another that lacks it.
TEST(ApplySafety, EveryKeyGoesThroughASpreadsheet) {
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  const std::string armx = Replace(kArmx, "\tName=Gun;\r\n", "\tName=Gun;\r\n\tFrenchName=Canon;\r\n\tzKey=1;\r\n");
  MakeArchive(archive, {{"units\\ARMX.FBI", armx}, {"units\\ARMY.FBI", kArmy}});
  const std::vector<std::string> table = Lines(ExportColumns(archive, "", "units", true));
  ASSERT_EQ(table.size(), 3u);
  const std::string tail = ",ParentFile,UnPackedFile,PFileSize,FrenchName,zKey,File CRC-32";
  ASSERT_EQ(table[0].substr(table[0].size() - tail.size()), tail);
  EXPECT_TRUE(Has(table[1], ",Canon,1,0x"));
  EXPECT_TRUE(Has(table[2], ",,,0x"));
  // Only some columns, one of them a key of no catalogue column.
  EXPECT_EQ(Lines(ExportColumns(archive, "UnitName,FrenchName", "units", true)),
            (std::vector<std::string>{"UnitName,FrenchName", "ARMX,Canon", "ARMY,"}));

  std::vector<std::string> edited = table;
  edited[1] = Replace(edited[1], ",Canon,", ",Canon lourd,");
  edited[2] = Replace(edited[2], ",,,0x", ",Mouche,,0x");
  WriteDisk(dir / "t.csv", Join(edited));
  const ToolRun r = Apply({dir / "t.csv"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  const auto files = ArchiveFiles(archive);
  EXPECT_EQ(files.at("units\\ARMX.FBI"), Replace(armx, "=Canon;", "=Canon lourd;"));
  EXPECT_EQ(files.at("units\\ARMY.FBI"), Replace(kArmy, "\tMaxDamage=50;\r\n", "\tMaxDamage=50;\r\n\tFrenchName=Mouche;\r\n"));
}

// A job that throws (out of memory) stops the others and reaches the caller;
// a tool's main turns it into a message and exit status 2.
TEST(ApplySafety, ExceptionsEndInAMessage) {
  std::atomic<int> done{0};
  EXPECT_THROW(hpi::ParallelFor(1000, 4,
                                [&](size_t I) {
                                  if (I == 10) throw std::bad_alloc();
                                  ++done;
                                }),
               std::bad_alloc);
  EXPECT_LT(done.load(), 1000);
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunGuarded("tool", []() -> int { throw std::bad_alloc(); }), 2);
  EXPECT_EQ(RunGuarded("tool", []() -> int { throw std::runtime_error("odd"); }), 2);
  EXPECT_EQ(RunGuarded("tool", [] { return 1; }), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "tool: out of memory; nothing more was done\ntool: stopped by an unexpected error: odd\n");
}
