// kestrava-table: what it says about the definitions that give no row, the
// rows themselves unchanged; and an archive of more units than the window's
// lists take, exported whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/scripted_dialogs.h"
#include "hpi/hpi.h"
#include "mod/left_out.h"
#include "state/app_state.h"
#include "state/sources.h"
#include "definitions/catalogue.h"
#include "tools/table/table_command.h"

#include "definition_text.h"

namespace fs = std::filesystem;

namespace {

bool MakeArchive(const std::string& Path, const std::map<std::string, std::string>& Content) {
  HPIHANDLE pack = HPICreate(Path.c_str(), nullptr);
  for (const auto& [name, data] : Content)
    if (!HPIAddFileFromMemory(pack, name.c_str(), data.data(), static_cast<int32_t>(data.size()))) return false;
  return HPIPackArchive(pack, 1) != 0;
}

struct TableLeftOutTest : ::testing::Test {
  fs::path Dir = fs::temp_directory_path() / ("kestrava_table_left_out_" + std::to_string(::getpid()));
  std::string Archive = (Dir / "mod.ufo").string();
  void SetUp() override { fs::create_directories(Dir); }
  void TearDown() override { fs::remove_all(Dir); }

  int Run(const std::vector<std::string>& Args, std::string& Out, std::string& Err) {
    TableRequest request;
    EXPECT_EQ(ParseTableArguments(Args, request), "");
    std::ostringstream out, err;
    const int status = RunTable(request, out, err);
    Out = out.str();
    Err = err.str();
    return status;
  }
};

const std::map<std::string, std::string> kMod = {
    {"units\\ARMA.FBI", Crlf({"[UNITINFO]", "{", "\tUnitName=ARMA;", "}"})},
    {"units\\ARMB.FBI", Crlf({"[UNITINFO]", "{", "\tUnitNumber=2;", "\tUnitName=ARMB;", "}"})},
    {"units\\ARMC.FBI", "[UNITINFO]\n{\n\tUnitNumber=3;\n\tUnitName=ARMC;\n}\n"},
    {"units\\ARMD.FBI", Crlf({"[UNITINFO]", "{", "\tUnitNumber=;", "\tUnitName=ARMD;", "}"})},
    {"units\\ARME.FBI", Crlf({"[UNITINFO]", "{", "\tUnitName=ARME;", "}"})},
    {"units\\ARMF.FBI", Crlf({"[UNITINFO]", "{", "\tUnitName=ARMF;", "}"})},
    {"units\\ARMG.FBI", Crlf({"[UNITINFO]", "{", "\tUnitName=ARMG;", "}"})},
    {"weapons\\W.TDF", Crlf({"[LASER]", "{", "\tID=1;", "\t[DAMAGE]", "\t{", "\tdefault=1;", "\t}", "}", "[NOID]", "{",
                             "\trange=1;", "}", "[LATE]", "{", "\t[DAMAGE]", "\t{", "\tdefault=1;", "\t}", "\tID=5;",
                             "}"})},
    {"features\\corpses\\C.TDF",
     Crlf({"[ROCK]", "{", "\tworld=all;", "}", "[HEAP]{", "\tworld=all;", "}", "[HEAP2] {", "\tworld=all;", "}"})},
    {"download\\M.TDF", Crlf({"[E1]", "{", "\tUNITMENU=ARMB;", "\tUNITNAME=ARMB;", "}", "[E2]", "{", "\tMENU=1;", "}"})},
};

TEST_F(TableLeftOutTest, SaysWhatGivesNoRowAndWhy) {
  ASSERT_TRUE(MakeArchive(Archive, kMod));
  std::string out, err;
  EXPECT_EQ(Run({"units", Archive, "--columns", "UnitNumber,UnitName"}, out, err), 0);
  EXPECT_EQ(out, "UnitNumber,UnitName\r\n2,ARMB\r\n");
  EXPECT_EQ(err,
            "kestrava-table: 5 of 7 units give no row, without UnitNumber: ARMA (units\\ARMA.FBI), ARMD "
            "(units\\ARMD.FBI), ARME (units\\ARME.FBI) and 2 more\n"
            "kestrava-table: 1 of 7 units gives no row, in a file whose lines end in LF alone: ARMC "
            "(units\\ARMC.FBI)\n");

  // A weapon whose ID follows its nested section still gives a row.
  EXPECT_EQ(Run({"weapons", Archive, "--columns", "ID,SName"}, out, err), 0);
  EXPECT_EQ(out, "ID,SName\r\n1,LASER\r\n5,\r\n");
  EXPECT_EQ(err, "kestrava-table: 1 of 3 weapons gives no row, without ID: NOID (weapons\\W.TDF)\n");

  EXPECT_EQ(Run({"corpses", Archive, "--columns", "SName"}, out, err), 0);
  EXPECT_EQ(out, "SName\r\nROCK\r\n");
  EXPECT_EQ(err,
            "kestrava-table: 2 of 3 corpses give no row, with a [NAME]{ header on one line: HEAP "
            "(features\\corpses\\C.TDF), HEAP2 (features\\corpses\\C.TDF)\n");

  EXPECT_EQ(Run({"download", Archive, "--columns", "UnitMenu"}, out, err), 0);
  EXPECT_EQ(out, "UnitMenu\r\nARMB\r\n");
  EXPECT_EQ(err, "kestrava-table: 1 of 2 build-menu entries gives no row, without UnitMenu: E2 (download\\M.TDF)\n");
}

// A unit file of LF line ends whose first line holds its number gives a row
// (the table reads it as one line): it is not named as giving none.
TEST_F(TableLeftOutTest, NamesOnlyUnitsThatGiveNoRow) {
  ASSERT_TRUE(MakeArchive(Archive, {{"units\\ARMH.FBI", "UnitNumber=8;\nUnitName=ARMH;\n"},
                                    {"units\\ARMI.FBI", "[UNITINFO]\n{\n\tUnitNumber=9;\n}\n"}}));
  std::string out, err;
  EXPECT_EQ(Run({"units", Archive, "--columns", "UnitNumber"}, out, err), 0);
  EXPECT_EQ(out, "UnitNumber\r\n8\r\n");
  EXPECT_EQ(err, "kestrava-table: 1 of 2 units gives no row, in a file whose lines end in LF alone: units\\ARMI.FBI\n");
}

// 3,000 units, more than the window's lists take: the tool exports every one;
// the window's list still stops at its 2049.
TEST_F(TableLeftOutTest, ExportsMoreUnitsThanTheWindowHolds) {
  std::map<std::string, std::string> many;
  for (int i = 1; i <= 3000; ++i)
    many["units\\U" + std::to_string(i) + ".FBI"] =
        Crlf({"[UNITINFO]", "{", "\tUnitNumber=" + std::to_string(i) + ";", "\tUnitName=U" + std::to_string(i) + ";", "}"});
  ASSERT_TRUE(MakeArchive(Archive, many));
  std::string out, err;
  EXPECT_EQ(Run({"units", Archive, "--columns", "UnitNumber", "--sort", "UnitNumber"}, out, err), 0);
  EXPECT_EQ(err, "");
  std::string want = "UnitNumber\r\n";
  for (int i = 1; i <= 3000; ++i) want += std::to_string(i) + "\r\n";
  EXPECT_EQ(out, want);

  ScriptedDialogs dialogs;
  auto state = std::make_unique<AppState>(dialogs);
  SetUpColumns(*state);
  OpenArchiveFiles(*state, {Archive});
  EXPECT_EQ(state->UnitFiles.Count, 2049);
  EXPECT_EQ(dialogs.Messages, std::vector<std::string>{"Error in ReadwriteHPIDir with file " + Archive});
}

// Many files, read in blocks on every core: the definitions named for each
// reason are still the first ones in list order, whichever block they lie in,
// and the counts are those of the whole list.
TEST(FindLeftOutOrder, NamesTheFirstInListOrderOverManyFiles) {
  AllUnpacked list(AllUnpacked::kUnbounded);
  const std::set<int> noNumber = {5, 130, 131, 150, 170, 299, 450}, loneLf = {140, 400}, directories = {7, 300};
  for (int i = 0; i < 500; ++i) {
    UnPacked& e = list.NextSlot();
    const std::string name = "U" + std::to_string(i);
    e.UnPackedFile = "units\\" + name + ".FBI";
    std::string text = Crlf({"[UNITINFO]", "{", "\tUnitNumber=" + std::to_string(i + 1) + ";", "\tUnitName=" + name + ";", "}"});
    if (noNumber.count(i)) text = Crlf({"[UNITINFO]", "{", "\tUnitName=" + name + ";", "}"});
    if (loneLf.count(i)) text = "[UNITINFO]\n{\n\tUnitNumber=1;\n\tUnitName=" + name + ";\n}\n";
    if (directories.count(i)) {
      e.Kind = kKindDirectory;
      text.clear();
    }
    e.SetContents(text.data(), static_cast<int32_t>(text.size()));
    list.CommitSlot();
  }
  const LeftOutReport report = FindLeftOut(list, TableKind::Units);
  EXPECT_EQ(report.Definitions, 498u);
  EXPECT_EQ(report.LeftOut, 9u);
  const LeftOutReport::Reason& none = report.Reasons[static_cast<size_t>(LeftOutReason::NoCaption)];
  EXPECT_EQ(none.Count, 7u);
  EXPECT_EQ(none.First, (std::vector<std::string>{"U5 (units\\U5.FBI)", "U130 (units\\U130.FBI)",
                                                  "U131 (units\\U131.FBI)"}));
  const LeftOutReport::Reason& lf = report.Reasons[static_cast<size_t>(LeftOutReason::LoneLf)];
  EXPECT_EQ(lf.Count, 2u);
  EXPECT_EQ(lf.First, (std::vector<std::string>{"U140 (units\\U140.FBI)", "U400 (units\\U400.FBI)"}));
  EXPECT_EQ(report.Reasons[static_cast<size_t>(LeftOutReason::HeaderSharesLine)].Count, 0u);
}

}  // namespace
