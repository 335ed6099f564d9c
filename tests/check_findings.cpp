// kestrava-check's checks of what the tables leave out and what nothing
// uses, one small mod with one case of each; the comments that silence a
// line; baselines; GitHub annotations; the cap on findings of one check per
// file; the runner's progress and cancelling.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "mod/check_run.h"
#include "tools/check/check_command.h"
#include "ui_save_support.h"

#include "definition_text.h"

namespace fs = std::filesystem;

namespace {

struct CheckFindingsTest : ::testing::Test {
  fs::path Dir = fs::temp_directory_path() / ("kestrava_check_findings_" + std::to_string(::getpid()));
  std::string Mod = (Dir / "mod").string(), Out, Err;

  void SetUp() override { fs::create_directories(Dir / "mod"); }
  void TearDown() override { fs::remove_all(Dir); }

  void Write(const std::string& Rel, const std::string& Bytes) {
    fs::create_directories((Dir / "mod" / Rel).parent_path());
    testsupport::WriteBytes((Dir / "mod" / Rel).string(), Bytes);
  }

  int Run(std::vector<std::string> Args) {
    std::ostringstream out, err;
    const int status = RunCheckTool(Args, (Dir / "kestrava-check.conf").string(), out, err);
    Out = out.str();
    Err = err.str();
    return status;
  }

  // One case of each new check, and cases that must give none: a commander
  // named by the side data, weapons named by a unit, a weapon and a feature,
  // findings silenced by comments.
  void WriteMod() {
    Write("units/ARMA.FBI", Crlf({"[UNITINFO]", "{", "\tUnitName=ARMA;", "\tWeapon1=LASER;", "\tMaxDamage=10;",
                                  "\tmaxdamage=20;", "}"}));
    Write("units/ARMB.FBI", Crlf({"[UNITINFO]", "{", "\tUnitNumber=2;", "\tUnitName=ARMB;", "}"}));
    Write("units/ARMC.FBI", Crlf({"[UNITINFO]", "{", "\tUnitNumber=3;", "\tUnitName=ARMC;", "}"}));
    Write("units/ARMD.FBI", Crlf({"[UNITINFO]", "{", "\tUnitNumber=4;",
                                  "\tUnitName=ARMD; // kestrava-check: ignore unbuildable-unit",
                                  "\t// kestrava-check: ignore duplicate-key", "\tUnitNumber=4;",
                                  "\t// kestrava-check: ignore duplicate-key", "", "\tUnitName=ARMD;", "}"}));
    Write("download/MENU.TDF", Crlf({"[MENUENTRY1]", "{", "\tUNITMENU=ARMC;", "\tMENU=1;", "\tBUTTON=1;",
                                     "\tUNITNAME=ARMA;", "}", "[MENUENTRY2]{", "\tUNITMENU=ARMC;", "\tMENU=1;",
                                     "\tBUTTON=2;", "\tUNITNAME=ARMC;", "}"}));
    Write("gamedata/sidedata.tdf", Crlf({"[SIDE0]", "{", "\tname=ARM;", "\tcommander=armc;", "}"}));
    Write("weapons/W.TDF", Crlf({"[LASER]", "{", "\tID=1;", "\tsubweapon=named;", "}", "[NAMED]", "{", "\tID=2;", "}",
                                 "[NOID]", "{", "\trange=100;", "}", "[SPARE]", "{", "\tID=3;", "}"}));
    Write("features/corpses/C.TDF", Crlf({"[ROCK]", "{", "\tobject=noid;", "}", "[HEAP] {", "\tworld=all;", "}"}));
  }
};

const char kNoAssets[] = "--ignore=missing-model,missing-script,missing-picture";

TEST_F(CheckFindingsTest, OneCaseOfEachNewCheck) {
  WriteMod();
  EXPECT_EQ(Run({Mod, kNoAssets}), 0);  // warnings and notes only
  const std::string m = Mod + "/";
  EXPECT_EQ(Out,
            m + "download/MENU.TDF:8: warning: [MENUENTRY2] shares its line with its '{'; the tables do not see the "
                "header there [header-shares-line]\n" +
                m + "features/corpses/C.TDF:5: warning: [HEAP] shares its line with its '{'; the tables do not see "
                    "the header there, so the corpses table gives HEAP no row [header-shares-line]\n" +
                m + "units/ARMA.FBI:1: warning: unit ARMA has no UnitNumber; the tables give it no row "
                    "[missing-unitnumber]\n" +
                m + "units/ARMA.FBI:6: warning: maxdamage is given twice in [UNITINFO], at lines 5 and 6; the tables "
                    "show the first, MaxDamage=10 [duplicate-key]\n" +
                m + "units/ARMB.FBI:4: note: no build menu lists unit ARMB and no side names it as its commander "
                    "[unbuildable-unit]\n" +
                m + "units/ARMD.FBI:9: warning: UnitName is given twice in [UNITINFO], at lines 4 and 9; the tables "
                    "show the first, UnitName=ARMD [duplicate-key]\n" +
                m + "weapons/W.TDF:10: warning: weapon NOID has no ID; the tables give it no row "
                    "[missing-weapon-id]\n" +
                m + "weapons/W.TDF:14: note: no unit, weapon or feature names weapon SPARE [unused-weapon]\n");
  EXPECT_EQ(Err, "kestrava-check: 0 errors, 6 warnings, 2 notes\n");
  EXPECT_EQ(Run({Mod, kNoAssets, "--werror"}), 1);

  // JSON names the key and both lines of a key given twice; SARIF calls notes notes.
  ASSERT_EQ(Run({Mod, kNoAssets, "--format", "json"}), 0);
  const QJsonArray all = QJsonDocument::fromJson(QByteArray::fromStdString(Out)).array();
  ASSERT_EQ(all.size(), 8);
  const QJsonObject twice = all[3].toObject();
  EXPECT_EQ(twice["key"].toString(), "maxdamage");
  EXPECT_EQ(twice["definition"].toString(), "ARMA");
  EXPECT_EQ(twice["line"].toInt(), 6);
  EXPECT_EQ(twice["other"].toObject()["line"].toInt(), 5);
  ASSERT_EQ(Run({Mod, kNoAssets, "--format", "sarif"}), 0);
  const QJsonObject run = QJsonDocument::fromJson(QByteArray::fromStdString(Out)).object()["runs"][0].toObject();
  EXPECT_EQ(run["results"][4].toObject()["level"].toString(), "note");
  EXPECT_EQ(run["results"][4].toObject()["ruleId"].toString(), "unbuildable-unit");
}

// A suppression comment silences only the IDs it names, on its own line or,
// alone on a line, on the next one.
TEST_F(CheckFindingsTest, CommentsSilenceTheirLine) {
  Write("units/ARMQ.FBI",
        Crlf({"[UNITINFO]", "{", "\tUnitNumber=1;", "\tUnitName=ARMQ; //kestrava-check: ignore  missing-script ,unbuildable-unit",
              "\tObjectname=ARMQ; // kestrava-check: ignore missing-script", "// kestrava-check: ignore not-a-number",
              "\tMaxDamage=x;", "\tBuildTime=y; // kestrava-check: ignore not-a-number", "\tWorkerTime=z;",
              "\t// kestrava-check: ignore not-a-number", "}"}));
  EXPECT_EQ(Run({Mod, "--ignore", "missing-picture"}), 1);
  EXPECT_EQ(Out, Mod + "/units/ARMQ.FBI:5: error: no objects3d\\ARMQ.3do for Objectname=ARMQ [missing-model]\n" + Mod +
                     "/units/ARMQ.FBI:9: error: WorkerTime=z is not a number [not-a-number]\n");
}

// An edit above a finding keeps it silenced by the baseline; a new finding
// shows, and so does a second one of a kind the baseline holds once.
TEST_F(CheckFindingsTest, BaselineMatchesByPlaceNotLine) {
  WriteMod();
  const std::string baseline = (Dir / "known.json").string();
  EXPECT_EQ(Run({Mod, kNoAssets, "--write-baseline", baseline}), 0);
  EXPECT_EQ(Out, "");
  EXPECT_EQ(Err, "kestrava-check: baseline " + baseline + " written with 8 findings\n");
  const QJsonArray known =
      QJsonDocument::fromJson(QByteArray::fromStdString(testsupport::ReadBytes(baseline))).object()["findings"].toArray();
  ASSERT_EQ(known.size(), 8);
  EXPECT_EQ(known[3].toObject(), (QJsonObject{{"id", "duplicate-key"},
                                              {"file", "units\\ARMA.FBI"},
                                              {"definition", "ARMA"},
                                              {"key", "maxdamage"}}));

  Write("units/ARMA.FBI", Crlf({"[UNITINFO]", "{", "\tSide=ARM;", "\tName=Added above;", "\tUnitName=ARMA;",
                               "\tWeapon1=LASER;", "\tMaxDamage=10;", "\tmaxdamage=20;", "\tMAXDAMAGE=30;", "}"}));
  EXPECT_EQ(Run({Mod, kNoAssets, "--baseline", baseline}), 0);
  EXPECT_EQ(Out, Mod + "/units/ARMA.FBI:9: warning: MAXDAMAGE is given twice in [UNITINFO], at lines 7 and 9; the "
                       "tables show the first, MaxDamage=10 [duplicate-key]\n");
  EXPECT_EQ(Err, "kestrava-check: 0 errors, 1 warning\nkestrava-check: 8 known findings of baseline " + baseline +
                     " left out\n");

  EXPECT_EQ(Run({Mod, "--baseline", (Dir / "none.json").string()}), 2);
  testsupport::WriteBytes(baseline, "[1, 2]");
  EXPECT_EQ(Run({Mod, "--baseline", baseline}), 2);
  EXPECT_EQ(Err, "kestrava-check: " + baseline + ": not a kestrava-check baseline\n");
}

// Workflow annotations: the level by severity, a loose file with its line, a
// file in an archive on the archive, and '%', ',' and ':' escaped.
TEST_F(CheckFindingsTest, GithubAnnotations) {
  Write("units/A,B:C.FBI", Crlf({"[UNITINFO]", "{", "\tUnitNumber=1;", "\tUnitName=50%;", "\tMaxDamage=\x1b[2J;", "}"}));
  ASSERT_TRUE(testsupport::PackArchive(Mod + "/pack.ufo",
                                       {{"units\\P.FBI", Crlf({"[UNITINFO]", "{", "\tUnitName=P;", "}"})}}, 1));
  EXPECT_EQ(Run({Mod, kNoAssets, "--format", "github"}), 1);
  const std::string pack = Mod + "/pack.ufo";
  EXPECT_EQ(Out,
            "::warning file=" + pack + ",title=missing-unitnumber::units\\P.FBI:1: unit P has no UnitNumber; the "
            "tables give it no row [missing-unitnumber]\n"
            "::notice file=" + pack + ",title=unbuildable-unit::units\\P.FBI:3: no build menu lists unit P and no "
            "side names it as its commander [unbuildable-unit]\n"
            "::notice file=" + Mod + "/units/A%2CB%3AC.FBI,line=4,title=unbuildable-unit::no build menu lists unit "
            "50%25 and no side names it as its commander [unbuildable-unit]\n"
            "::error file=" + Mod + "/units/A%2CB%3AC.FBI,line=5,title=not-a-number::MaxDamage=\\x1b[2J is not a "
            "number [not-a-number]\n");
}

// At most a hundred findings of one check per file, then one line counting
// the rest; the counts stay true.
TEST_F(CheckFindingsTest, AHundredFindingsOfOneCheckPerFile) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 250; ++i) lines.push_back("Key" + std::to_string(i) + "=x;");
  Write("units/MANY.FBI", Crlf(lines));
  Write("units/FEW.FBI", Crlf({lines.begin(), lines.begin() + 100}));
  EXPECT_EQ(Run({Mod, "--format", "json"}), 0);
  const QJsonArray all = QJsonDocument::fromJson(QByteArray::fromStdString(Out)).array();
  ASSERT_EQ(all.size(), 100 + 101);
  EXPECT_EQ(all[99].toObject()["path"].toString().toStdString(), Mod + "/units/FEW.FBI");
  EXPECT_EQ(all[199].toObject()["line"].toInt(), 100);
  const QJsonObject rest = all[200].toObject();
  EXPECT_EQ(rest["path"].toString().toStdString(), Mod + "/units/MANY.FBI");
  EXPECT_EQ(rest["line"].toInt(), 101);
  EXPECT_EQ(rest["omitted"].toInt(), 150);
  EXPECT_EQ(rest["message"].toString(), "150 more findings of this check in this file, from this line on, not listed");
  EXPECT_EQ(Err, "kestrava-check: 0 errors, 350 warnings\n");

  // Findings across files are capped too: 150 entries naming two unknown units each.
  std::vector<std::string> menu;
  for (int i = 1; i <= 150; ++i)
    for (const std::string& l : {"[E" + std::to_string(i) + "]", std::string("{"), "\tUNITMENU=NOB" + std::to_string(i) + ";",
                                 "\tUNITNAME=NOU" + std::to_string(i) + ";", std::string("}")})
      menu.push_back(l);
  fs::create_directories(Dir / "menus" / "download");
  testsupport::WriteBytes((Dir / "menus" / "download" / "MENU.TDF").string(), Crlf(menu));
  EXPECT_EQ(Run({(Dir / "menus").string(), "--format", "json"}), 1);
  const QJsonArray refs = QJsonDocument::fromJson(QByteArray::fromStdString(Out)).array();
  ASSERT_EQ(refs.size(), 101);
  EXPECT_EQ(refs[99].toObject()["message"].toString(), "UNITNAME=NOU50 names no unit's UnitName");
  EXPECT_EQ(refs[100].toObject()["line"].toInt(), 253);  // the first left out: UNITMENU of E51
  EXPECT_EQ(refs[100].toObject()["omitted"].toInt(), 200);
  EXPECT_EQ(Err, "kestrava-check: 300 errors, 0 warnings\n");
}

// The runner the window uses: progress for every definition file, the
// configuration applied, and a cancelled run that reports nothing.
TEST_F(CheckFindingsTest, RunnerReportsProgressAndStops) {
  WriteMod();
  GameSources sources;
  std::string why;
  ASSERT_TRUE(sources.Add(Mod, why)) << why;
  CheckConfig config;
  ASSERT_EQ(ReadCheckConfig("ignore = missing-model, missing-script,missing-picture\nskip = units/ARM?.fbi\n", config), "");
  std::atomic<size_t> calls{0}, total{0};
  CheckControl control;
  control.Progress = [&](size_t, size_t Total) {
    ++calls;
    total = Total;
  };
  const CheckOutcome outcome = RunChecks(sources, config, control);
  EXPECT_FALSE(outcome.Cancelled);
  EXPECT_EQ(calls.load(), 8u);  // four units, a menu, the side data, weapons, corpses
  EXPECT_EQ(total.load(), 8u);
  std::vector<std::string> ids;
  for (const CheckFinding& f : outcome.Findings) ids.push_back(f.Rule->Id);
  EXPECT_EQ(ids, (std::vector<std::string>{"header-shares-line", "header-shares-line", "missing-weapon-id",
                                           "unused-weapon"}));

  std::atomic<bool> cancel{true};
  control.Cancel = &cancel;
  const CheckOutcome stopped = RunChecks(sources, config, control);
  EXPECT_TRUE(stopped.Cancelled);
  EXPECT_TRUE(stopped.Findings.empty());
}

}  // namespace
