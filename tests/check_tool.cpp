// kestrava-check: a planted mistake for each check, in an archive and in
// loose files, with its exact place; cases that must give no finding; the
// JSON and SARIF forms read back by Qt's own parser; silencing and exit
// statuses, in-process and as a program.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/check/check_command.h"
#include "tools/common/shown_path.h"
#include "ui_save_support.h"

#include "definition_text.h"

namespace fs = std::filesystem;

namespace {

struct CheckToolTest : ::testing::Test {
  fs::path Dir = fs::temp_directory_path() / ("kestrava_check_" + std::to_string(::getpid()));
  std::string Base, Mod, Out, Err;

  void SetUp() override {
    fs::create_directories(Dir / "mod");
    Base = (Dir / "base.hpi").string();
    Mod = (Dir / "mod").string();
    ASSERT_TRUE(testsupport::PackArchive(
        Base,
        {{"units\\ARMBASE.FBI", Crlf({"[UNITINFO]", "{", "\tUnitNumber=1;", "\tUnitName=ARMBASE;",
                                      "\tObjectname=ARMBASE;", "\tCorpse=ARMBASE_DEAD;", "\tWeapon1=GUN;",
                                      "\tExplodeAs=CANNON;", "}"})},
         {"weapons\\BASE.TDF", Crlf({"[GUN]", "{", "\tID=1;", "\trange=300;", "\t[DAMAGE]", "\t\t{",
                                     "\t\tdefault=10;", "\t\t}", "}", "[CANNON]", "{", "\tID=2;", "}"})},
         {"features\\corpses\\BASE.TDF",
          Crlf({"[ARMBASE_DEAD]", "{", "\tfeaturedead=ARMBASE_HEAP;", "}", "[ARMBASE_HEAP]", "{", "}"})},
         {"download\\BASE.TDF",
          Crlf({"[MENUENTRY1]", "{", "\tUNITMENU=ARMBASE;", "\tMENU=1;", "\tBUTTON=0;", "\tUNITNAME=ARMBASE;", "}"})},
         {"objects3d\\ARMBASE.3do", "model"},
         {"scripts\\ARMBASE.cob", "script"},
         {"unitpics\\ARMBASE.pcx", "picture"}},
        1));
  }
  void TearDown() override { fs::remove_all(Dir); }

  void WriteLoose(const std::string& Rel, const std::string& Bytes) {
    fs::create_directories((Dir / "mod" / Rel).parent_path());
    testsupport::WriteBytes((Dir / "mod" / Rel).string(), Bytes);
  }

  // A mod without mistakes: names in other letter case, references into the
  // base game, a nested [DAMAGE] section, assets named in other case.
  void WriteCleanMod() {
    ASSERT_TRUE(testsupport::PackArchive(
        Mod + "/mod.ufo",
        {{"units\\ARMNEW.FBI", Crlf({"[UNITINFO]", "{", "\tUnitNumber=2;", "\tUnitName=armnew;", "\tObjectname=ArmNew;",
                                     "\tCorpse=armbase_dead;", "\tWeapon1=gun;", "\tExplodeAs=Laser;", "}"})},
         {"weapons\\MOD.TDF", Crlf({"[LASER]", "{", "\tID=3;", "\t[DAMAGE]", "\t\t{", "\t\tdefault=12;", "\t\t}",
                                    "\trange=500;", "}"})},
         {"Objects3d\\armnew.3DO", "m"},
         {"SCRIPTS\\ArmNew.cob", "s"},
         {"unitpics\\armnew.PCX", "p"}},
        2));
    WriteLoose("download/MOD.TDF",
               Crlf({"[E2]", "{", "\tUNITMENU=armnew;", "\tMENU=1;", "\tBUTTON=1;", "\tUNITNAME=ARMNEW;", "}"}));
  }

  int Run(std::vector<std::string> Args, const std::string& Config = "") {
    std::ostringstream out, err;
    const std::string config = (Dir / "kestrava-check.conf").string();
    if (!Config.empty()) testsupport::WriteBytes(config, Config);
    const int status = RunCheckTool(Args, config, out, err);
    Out = out.str();
    Err = err.str();
    return status;
  }
};

// A mod with one planted mistake or more for each check, and cases that must
// give no finding: names in other letter case, references into the base
// game, keys inside and after a nested [DAMAGE] section, assets named in
// other case.
const std::map<std::string, std::string> kPlanted = {
    {"units\\ARMNEW.FBI", Crlf({"[UNITINFO]", "{", "\tUnitNumber=1;", "\tUnitName=armnew;", "\tObjectname=ArmNew;",
                                "\tCorpse=armbase_dead;", "\tWeapon1=gun;", "\tWeapon2=NOSUCH;", "}"})},
    {"weapons\\MOD.TDF", Crlf({"[LASER]", "{", "\tID=2;", "\t[DAMAGE]", "\t\t{", "\t\tdefault=x1;", "\t\t}",
                               "\trange=5OO;", "}", "[gun]", "{", "\tID=1;", "}"})},
    {"Objects3d\\armnew.3DO", "m"},
    {"SCRIPTS\\ArmNew.cob", "s"},
    {"unitpics\\armnew.PCX", "p"},
    {"download\\MOD.TDF", Crlf({"[E1]", "{", "\tUNITMENU=ARMBASE;", "\tMENU=1;", "\tBUTTON=0;", "\tUNITNAME=nosuch;", "}",
                                "[E2]", "{", "\tUNITMENU=armnew;", "\tMENU=1;", "\tBUTTON=1;", "\tUNITNAME=ARMNEW;", "}"})},
    {"features\\corpses\\MOD.TDF", Crlf({"[MODHEAP]", "{", "\tfeaturedead=NOHEAP;", "}"})},
    {"units\\ARMBAD.FBI", Crlf({"BadKey=1;", "[UNITINFO]", "{", "\tUnitNumber=7x;", "\tUnitName=ARMBASE;",
                                "\tObjectname=NOMODEL;", "\tCorpse=NOCORPSE;", "\tWeapon3=GUN;", "}", "}"})},
    {"units\\ARMNOART.FBI", Crlf({"[UNITINFO]", "{", "\tUnitNumber=9;", "\tUnitName=ARMNOART;", "\tObjectname=armbase;", "}"})},
    {"units\\ARMOPEN.FBI", "[UNITINFO]\n{\n\tUnitNumber=10;\n"},
};

// The findings of kPlanted after base.hpi, as "PATH:LINE: REST" with PATH
// inside the mod; in the order of a directory's loose files.
std::vector<std::string> PlantedFindings(const std::string& Base) {
  const std::string b = Base + ":";
  return {
      "download\\MOD.TDF:1: error: UNITMENU ARMBASE, MENU 1, BUTTON 0 is also taken at " + b +
          "download\\BASE.TDF:1 [menu-slot-taken]",
      "download\\MOD.TDF:6: error: UNITNAME=nosuch names no unit's UnitName [unknown-unit]",
      "features\\corpses\\MOD.TDF:3: error: featuredead=NOHEAP names no feature of any features\\**\\*.tdf [unknown-feature]",
      "units\\ARMBAD.FBI:1: warning: BadKey=1 is outside any section [key-outside-section]",
      "units\\ARMBAD.FBI:4: error: UnitNumber=7x is not a number [not-a-number]",
      "units\\ARMBAD.FBI:5: warning: UnitName ARMBASE is also given at " + b + "units\\ARMBASE.FBI:4 [duplicate-unitname]",
      "units\\ARMBAD.FBI:6: error: no objects3d\\NOMODEL.3do for Objectname=NOMODEL [missing-model]",
      "units\\ARMBAD.FBI:7: error: Corpse=NOCORPSE names no feature of any features\\**\\*.tdf [unknown-feature]",
      "units\\ARMBAD.FBI:10: error: this '}' has no '{' open [unbalanced-braces]",
      "units\\ARMNEW.FBI:3: error: UnitNumber 1 of armnew is also that of ARMBASE at " + b +
          "units\\ARMBASE.FBI:3 [duplicate-unitnumber]",
      "units\\ARMNEW.FBI:8: error: Weapon2=NOSUCH names no weapon of any weapons\\*.tdf [unknown-weapon]",
      "units\\ARMNOART.FBI:4: error: no scripts\\ARMNOART.cob for unit ARMNOART [missing-script]",
      "units\\ARMNOART.FBI:4: warning: no unitpics\\ARMNOART.pcx for unit ARMNOART [missing-picture]",
      "units\\ARMNOART.FBI:4: note: no build menu lists unit ARMNOART and no side names it as its commander "
      "[unbuildable-unit]",
      "units\\ARMOPEN.FBI:1: warning: lines end in LF alone; the tables end a line only at CR LF, so this file shows "
      "no rows there [line-endings]",
      "units\\ARMOPEN.FBI:1: note: no build menu lists unit ARMOPEN and no side names it as its commander "
      "[unbuildable-unit]",
      "units\\ARMOPEN.FBI:2: error: this '{' is never closed [unbalanced-braces]",
      "weapons\\MOD.TDF:1: note: no unit, weapon or feature names weapon LASER [unused-weapon]",
      "weapons\\MOD.TDF:3: error: ID 2 of weapon LASER is also that of CANNON at " + b +
          "weapons\\BASE.TDF:12 [duplicate-weapon-id]",
      "weapons\\MOD.TDF:6: error: default=x1 is not a number [not-a-number]",
      "weapons\\MOD.TDF:8: error: range=5OO is not a number [not-a-number]",
      "weapons\\MOD.TDF:10: warning: weapon gun is also defined at " + b + "weapons\\BASE.TDF:1 [duplicate-weapon]",
  };
}

std::vector<std::string> SortedLines(const std::string& Text) {
  std::vector<std::string> lines;
  std::stringstream in(Text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST_F(CheckToolTest, EveryPlantedMistakeAtItsPlaceInLooseFiles) {
  for (const auto& [path, bytes] : kPlanted) {
    std::string disk = path;
    std::replace(disk.begin(), disk.end(), '\\', '/');
    WriteLoose(disk, bytes);
  }
  EXPECT_EQ(Run({Base, Mod}), 1);
  std::string want;
  for (std::string line : PlantedFindings(Base)) {
    // A loose file is named by its disk path.
    const size_t colon = line.find(':');
    std::replace(line.begin(), line.begin() + static_cast<long>(colon), '\\', '/');
    want += Mod + "/" + line + "\n";
  }
  EXPECT_EQ(Out, want);
  EXPECT_EQ(Err, "kestrava-check: 14 errors, 5 warnings, 3 notes\n");

  // JSON, read back by Qt: a loose file has no archive.
  ASSERT_EQ(Run({Base, Mod, "--format", "json"}), 1);
  const QJsonArray all = QJsonDocument::fromJson(QByteArray::fromStdString(Out)).array();
  ASSERT_EQ(all.size(), 22);
  const QJsonObject loose = all[3].toObject();
  EXPECT_EQ(loose["id"].toString(), "key-outside-section");
  EXPECT_TRUE(loose["archive"].isNull());
  EXPECT_EQ(loose["path"].toString().toStdString(), Mod + "/units/ARMBAD.FBI");
  EXPECT_EQ(loose["line"].toInt(), 1);
  EXPECT_TRUE(loose["definition"].isNull());
  EXPECT_EQ(all[20].toObject()["definition"].toString(), "LASER");  // a key after the nested section
}

TEST_F(CheckToolTest, EveryPlantedMistakeAtItsPlaceInAnArchive) {
  const std::string mod = Mod + "/mod.ufo";
  ASSERT_TRUE(testsupport::PackArchive(mod, kPlanted, 2));
  EXPECT_EQ(Run({Base, mod}), 1);
  std::string want;
  for (const std::string& line : PlantedFindings(Base)) want += mod + ":" + line + "\n";
  EXPECT_EQ(SortedLines(Out), SortedLines(want));
  EXPECT_EQ(Err, "kestrava-check: 14 errors, 5 warnings, 3 notes\n");

  // JSON: a conflict names the archive, the path inside it and the other place.
  ASSERT_EQ(Run({Base, mod, "--format", "json"}), 1);
  const QJsonArray all = QJsonDocument::fromJson(QByteArray::fromStdString(Out)).array();
  ASSERT_EQ(all.size(), 22);
  QJsonObject conflict;
  for (const QJsonValue& v : all)
    if (v.toObject()["id"].toString() == "duplicate-unitnumber") conflict = v.toObject();
  EXPECT_EQ(conflict["severity"].toString(), "error");
  EXPECT_EQ(conflict["archive"].toString().toStdString(), mod);
  EXPECT_EQ(conflict["path"].toString(), "units\\ARMNEW.FBI");
  EXPECT_EQ(conflict["line"].toInt(), 3);
  EXPECT_EQ(conflict["definition"].toString(), "armnew");
  EXPECT_EQ(conflict["other"].toObject()["archive"].toString().toStdString(), Base);
  EXPECT_EQ(conflict["other"].toObject()["path"].toString(), "units\\ARMBASE.FBI");
  EXPECT_EQ(conflict["other"].toObject()["line"].toInt(), 3);
}

TEST_F(CheckToolTest, SarifNamesTheArchiveAsTheFilesParent) {
  WriteCleanMod();
  WriteLoose("units/ARMX.FBI",
             Crlf({"[UNITINFO]", "{", "\tUnitName=ARMBASE;", "\tObjectname=ARMBASE;", "\tUnitNumber=9;", "}"}));
  ASSERT_EQ(Run({Base, Mod, "--format", "sarif"}), 0);
  const QJsonObject log = QJsonDocument::fromJson(QByteArray::fromStdString(Out)).object();
  EXPECT_EQ(log["version"].toString(), "2.1.0");
  const QJsonObject run = log["runs"].toArray()[0].toObject();
  EXPECT_EQ(run["tool"].toObject()["driver"].toObject()["rules"].toArray().size(), 21);
  const QJsonArray results = run["results"].toArray();
  ASSERT_EQ(results.size(), 1);
  const QJsonObject r = results[0].toObject();
  EXPECT_EQ(r["ruleId"].toString(), "duplicate-unitname");
  EXPECT_EQ(r["level"].toString(), "warning");
  const QJsonObject here = r["locations"].toArray()[0].toObject()["physicalLocation"].toObject();
  EXPECT_EQ(here["region"].toObject()["startLine"].toInt(), 3);
  EXPECT_TRUE(here["artifactLocation"].toObject()["uri"].toString().endsWith("/mod/units/ARMX.FBI"));
  const QJsonObject there = r["relatedLocations"].toArray()[0].toObject()["physicalLocation"].toObject();
  EXPECT_EQ(there["artifactLocation"].toObject()["uri"].toString(), "units/ARMBASE.FBI");
  const QJsonArray artifacts = run["artifacts"].toArray();
  const QJsonObject inner = artifacts[there["artifactLocation"].toObject()["index"].toInt()].toObject();
  const QJsonObject parent = artifacts[inner["parentIndex"].toInt(-1)].toObject();
  EXPECT_TRUE(parent["location"].toObject()["uri"].toString().endsWith("/base.hpi"));
}

// Findings are written one at a time into the JSON array and the SARIF
// results: both stay valid JSON and hold every finding the text shows.
TEST_F(CheckToolTest, EveryFindingReachesTheJsonAndSarifReports) {
  WriteCleanMod();
  for (const char* name : {"ARMA", "ARMB", "ARMC"})
    WriteLoose(std::string("units/") + name + ".FBI",
               Crlf({"[UNITINFO]", "{", std::string("\tUnitName=") + name + ";", "\tWeapon1=NOSUCH;", "}"}));
  ASSERT_EQ(Run({Base, Mod}), 1);
  const size_t findings = static_cast<size_t>(std::count(Out.begin(), Out.end(), '\n'));
  ASSERT_GE(findings, 3u);
  QJsonParseError error;
  ASSERT_EQ(Run({Base, Mod, "--format", "json"}), 1);
  const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(Out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << Out;
  EXPECT_EQ(static_cast<size_t>(json.array().size()), findings);
  ASSERT_EQ(Run({Base, Mod, "--format", "sarif"}), 1);
  const QJsonDocument sarif = QJsonDocument::fromJson(QByteArray::fromStdString(Out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << Out;
  const QJsonObject run = sarif.object()["runs"].toArray()[0].toObject();
  EXPECT_EQ(static_cast<size_t>(run["results"].toArray().size()), findings);
  EXPECT_TRUE(run.contains("tool"));
}

TEST_F(CheckToolTest, CleanModGivesNoFinding) {
  WriteCleanMod();
  EXPECT_EQ(Run({Base, Mod, "--werror"}), 0);
  EXPECT_EQ(Out, "");
  EXPECT_EQ(Err, "kestrava-check: 0 errors, 0 warnings\n");
  // The mod alone: its references into the base game are reported.
  EXPECT_EQ(Run({Mod}), 1);
  EXPECT_NE(Out.find("Corpse=armbase_dead names no feature"), std::string::npos);
  EXPECT_NE(Out.find("Weapon1=gun names no weapon"), std::string::npos);
}

TEST_F(CheckToolTest, LaterSourceReplacesAFileOfTheSamePath) {
  WriteLoose("units/armbase.fbi", Crlf({"[UNITINFO]", "{", "\tUnitNumber=1;", "\tUnitName=ARMBASE;", "\tWeapon1=GUN;",
                                        "\tExplodeAs=CANNON;", "}"}));
  // One unit ARMBASE, read from the mod: no duplicate, and the base's
  // model, script and picture still count.
  EXPECT_EQ(Run({Base, Mod}), 0) << Out;
  EXPECT_EQ(Out, "");
}

TEST_F(CheckToolTest, SilencingAndExitStatuses) {
  WriteCleanMod();
  WriteLoose("units/ARMW.FBI", Crlf({"[UNITINFO]", "{", "\tUnitName=ARMW;", "\tObjectname=ARMBASE;", "\tUnitNumber=5;",
                                     "}", "Stray=1;"}));
  EXPECT_EQ(Run({Base, Mod}), 1);  // missing-script is an error
  EXPECT_EQ(Err, "kestrava-check: 1 error, 2 warnings, 1 note\n");
  EXPECT_EQ(Run({Base, Mod, "--ignore", "missing-script"}), 0);
  EXPECT_EQ(Err, "kestrava-check: 0 errors, 2 warnings, 1 note\n");
  EXPECT_EQ(Run({Base, Mod, "--ignore=missing-script,missing-picture", "--werror"}), 1);
  EXPECT_EQ(Run({Base, "--ignore", "missing-script", "--ignore", "missing-picture,key-outside-section", Mod,
                 "--werror"}),
            0)
      << Out;

  // A note never changes the exit status, not even with --werror.
  EXPECT_EQ(Run({Base, Mod, "--ignore=missing-script,missing-picture,key-outside-section", "--werror"}), 0);
  EXPECT_EQ(Err, "kestrava-check: 0 errors, 0 warnings, 1 note\n");

  // The configuration file: IDs to ignore and paths whose findings are dropped.
  EXPECT_EQ(Run({Base, Mod}, "# mine\nignore = missing-picture\nskip = UNITS/armw.*  # this one\n"), 0);
  EXPECT_EQ(Out, "");
  EXPECT_EQ(Run({Base, Mod}, "ignore = key-outside-section, missing-picture\n"), 1);
  EXPECT_EQ(Out.find("missing-picture"), std::string::npos);
  EXPECT_NE(Out.find("[missing-script]"), std::string::npos);
  EXPECT_EQ(Run({Base, Mod}, "ignore = no-such-check\n"), 2);
  EXPECT_NE(Err.find("kestrava-check.conf:1: unknown check ID no-such-check"), std::string::npos);
  EXPECT_EQ(Run({Base, Mod}, "\nwhatever = 1\n"), 2);
  EXPECT_NE(Err.find(":2: unknown setting whatever"), std::string::npos);
  fs::remove(Dir / "kestrava-check.conf");

  // Bad usage and sources that cannot be read at all.
  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(Run({Base, "--ignore", "nonsense"}), 2);
  EXPECT_NE(Err.find("unknown check ID nonsense"), std::string::npos);
  EXPECT_EQ(Run({Base, "--format", "xml"}), 2);
  EXPECT_EQ(Run({Base, (Dir / "missing.ufo").string()}), 2);
  EXPECT_NE(Err.find("cannot read " + (Dir / "missing.ufo").string()), std::string::npos);
  EXPECT_EQ(Out, "");
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(Out.find("menu-slot-taken"), std::string::npos);

  // A damaged archive inside a game directory is reported and fails the run.
  testsupport::WriteBytes(Mod + "/broken.hpi", "not an archive");
  EXPECT_EQ(Run({Base, Mod, "--ignore", "missing-script"}), 1);
  EXPECT_NE(Err.find("cannot read archive " + Mod + "/broken.hpi"), std::string::npos);
}

TEST_F(CheckToolTest, TheProgramWritesFindingsAndCounts) {
  WriteCleanMod();
  WriteLoose("units/ARMW.FBI",
             Crlf({"[UNITINFO]", "{", "\tUnitName=ARMW;", "\tObjectname=ARMBASE;", "\tUnitNumber=5;", "}"}));
  const std::string out = (Dir / "out.txt").string(), err = (Dir / "err.txt").string();
  const int rc = std::system(("cd '" + Dir.string() + "' && printf 'ignore = missing-picture\\n' > kestrava-check.conf && '" +
                              KESTRAVA_CHECK_PATH + "' base.hpi mod >'" + out + "' 2>'" + err + "'")
                                 .c_str());
  ASSERT_TRUE(WIFEXITED(rc));
  EXPECT_EQ(WEXITSTATUS(rc), 1);
  EXPECT_EQ(testsupport::ReadBytes(out),
            "mod/units/ARMW.FBI:3: error: no scripts\\ARMW.cob for unit ARMW [missing-script]\n"
            "mod/units/ARMW.FBI:3: note: no build menu lists unit ARMW and no side names it as its commander "
            "[unbuildable-unit]\n");
  EXPECT_EQ(testsupport::ReadBytes(err), "kestrava-check: 1 error, 0 warnings, 1 note\n");
  // A failed write to standard output is reported and fails the run.
  const int full =
      std::system(("'" + std::string(KESTRAVA_CHECK_PATH) + "' '" + Mod + "' >/dev/full 2>'" + err + "'").c_str());
  EXPECT_EQ(WEXITSTATUS(full), 1);
  EXPECT_NE(testsupport::ReadBytes(err).find("cannot write"), std::string::npos);
}

// The sample game directory and archive: the only errors and warnings are the
// models, scripts and pictures the sample does not ship, one of each per unit;
// the notes are the units no build menu of the sample lists (it has no side
// data) and the weapons no unit names.
TEST(CheckSample, OnlyTheAssetsTheSampleDoesNotShip) {
  std::ostringstream out, err;
  const int status = RunCheckTool({KESTRAVA_SAMPLE_GAME, KESTRAVA_SAMPLE_ARCHIVE, "--format", "json"},
                                  "no-such-dir/kestrava-check.conf", out, err);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err.str(), "kestrava-check: 34 errors, 17 warnings, 11 notes\n");
  std::map<std::string, int> perId;
  for (const QJsonValue& v : QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).array())
    ++perId[v.toObject()["id"].toString().toStdString()];
  EXPECT_EQ(perId, (std::map<std::string, int>{{"missing-model", 17},
                                                {"missing-picture", 17},
                                                {"missing-script", 17},
                                                {"unbuildable-unit", 8},
                                                {"unused-weapon", 3}}));
}

}  // namespace

// Help that cannot be written is reported, not a silent success.
TEST(CheckTool, HelpThatCannotBeWrittenIsReported) {
  std::ostringstream out, err;
  out.setstate(std::ios::badbit);
  EXPECT_EQ(RunCheckTool({"--help"}, "no-such-dir/kestrava-check.conf", out, err), 2);
  EXPECT_EQ(err.str(), "kestrava-check: cannot write to standard output\n");
}

// Values and entry names of a mod reach the text report with their control
// bytes escaped: no escape code reaches the terminal.
TEST_F(CheckToolTest, ControlBytesOfTheModAreEscapedInText) {
  ASSERT_TRUE(testsupport::PackArchive(
      Mod + "/mod.ufo",
      {{"units\\E\x1b[31m.FBI", Crlf({"[UNITINFO]", "{", "\tUnitNumber=2;", "\tUnitName=ARMNEW;", "\tObjectname=ARMBASE;",
                                      "\tWeapon1=GUN\x1b[2J;", "}"})}},
      2));
  Run({Base, Mod});
  EXPECT_EQ(Out.find('\x1b'), std::string::npos) << Out;
  EXPECT_NE(Out.find("$'units\\\\E\\x1b[31m.FBI':"), std::string::npos) << Out;
  EXPECT_NE(Out.find("GUN\\x1b[2J"), std::string::npos) << Out;
}

// Findings of one line come in the order the checks make them: a unit's own
// references before the conflicts it takes part in; each file's lines name it.
TEST_F(CheckToolTest, FindingsOfOneLineKeepTheirOrder) {
  WriteLoose("units/DUPA.FBI",
             Crlf({"[UNITINFO]", "{", "\tUnitName=ARMDUP;", "\tObjectname=ARMBASE;", "\tUnitNumber=3;", "}"}));
  WriteLoose("units/DUPB.FBI",
             Crlf({"[UNITINFO]", "{", "\tUnitName=ARMDUP;", "\tObjectname=ARMBASE;", "\tUnitNumber=3;", "}"}));
  EXPECT_EQ(Run({Base, Mod}), 1);
  const std::string a = Mod + "/units/DUPA.FBI", b = Mod + "/units/DUPB.FBI";
  const std::string note = ":3: note: no build menu lists unit ARMDUP and no side names it as its commander "
                           "[unbuildable-unit]\n";
  EXPECT_EQ(Out, a + ":3: error: no scripts\\ARMDUP.cob for unit ARMDUP [missing-script]\n" +      //
                     a + ":3: warning: no unitpics\\ARMDUP.pcx for unit ARMDUP [missing-picture]\n" +  //
                     a + note +                                                                       //
                     b + ":3: error: no scripts\\ARMDUP.cob for unit ARMDUP [missing-script]\n" +      //
                     b + ":3: warning: no unitpics\\ARMDUP.pcx for unit ARMDUP [missing-picture]\n" +  //
                     b + ":3: warning: UnitName ARMDUP is also given at " + a + ":3 [duplicate-unitname]\n" +
                     b + note);
}

// Control bytes anywhere in a text, and those just outside the printable
// range, are escaped; other bytes are kept as they are, after what Out held.
TEST(CheckText, ControlBytesAreEscapedWhereverTheyStand) {
  std::string out = "kept:";
  hpitool::AppendShownText(out, "\x01" "abcdef" "\x02"  // a control first and last of eight
                                "ghijklmn"              // eight printable
                                "opq" "\x1f" "rstu"      // the last lower control among printable bytes
                                "vwxyzABC"
                                "DEFG" "\x7f" "HIJ"      // the first upper control among printable bytes
                                "KLMNOPQR"
                                "S" "\x9f" "\xa0\xe9" " ~"  // the last upper control, Latin-1, the printable ends
                                "\t\r\n");
  EXPECT_EQ(out, "kept:\\x01abcdef\\x02ghijklmnopq\\x1frstuvwxyzABCDEFG\\x7fHIJKLMNOPQRS\\x9f\xa0\xe9 ~\\t\\r\\n");
  EXPECT_EQ(hpitool::ShownText("plain text, longer than eight bytes"), "plain text, longer than eight bytes");
}

// A long report, written in parts, keeps every finding in its order: 5,100
// findings, a hundred in each of 51 files.
TEST_F(CheckToolTest, ALongReportKeepsEveryFindingInOrder) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 100; ++i) lines.push_back("Key" + std::to_string(i) + "=1;");
  std::string want;
  for (int f = 10; f <= 60; ++f) {
    const std::string file = "units/MANY" + std::to_string(f) + ".FBI";
    WriteLoose(file, Crlf(lines));
    for (int i = 1; i <= 100; ++i)
      want += Mod + "/" + file + ":" + std::to_string(i) + ": warning: Key" + std::to_string(i) +
              "=1 is outside any section [key-outside-section]\n";
  }
  EXPECT_EQ(Run({Base, Mod}), 0);
  EXPECT_EQ(Out, want);
}

// A file inside an archive names the archive as its parent, also when the
// archive is the run's first artifact (index 0).
TEST_F(CheckToolTest, SarifGivesTheFirstArtifactItsChildren) {
  const std::string mod = Mod + "/mod.ufo";
  ASSERT_TRUE(testsupport::PackArchive(
      mod, {{"units\\ARMX.FBI", Crlf({"[UNITINFO]", "{", "\tUnitNumber=5;", "\tUnitName=ARMX;", "\tObjectname=ARMBASE;",
                                      "\tWeapon1=NOSUCH;", "}"})}},
      1));
  ASSERT_EQ(Run({mod, "--format", "sarif"}), 1);
  const QJsonObject run =
      QJsonDocument::fromJson(QByteArray::fromStdString(Out)).object()["runs"].toArray()[0].toObject();
  const QJsonArray artifacts = run["artifacts"].toArray();
  ASSERT_GE(artifacts.size(), 2);
  EXPECT_TRUE(artifacts[0].toObject()["location"].toObject()["uri"].toString().endsWith("/mod.ufo"));
  for (const QJsonValue& result : run["results"].toArray()) {
    const QJsonObject at = result.toObject()["locations"].toArray()[0].toObject()["physicalLocation"].toObject();
    const QJsonObject file = artifacts[at["artifactLocation"].toObject()["index"].toInt()].toObject();
    EXPECT_EQ(file["location"].toObject()["uri"].toString(), "units/ARMX.FBI");
    EXPECT_EQ(file["parentIndex"].toInt(-1), 0);
  }
}
