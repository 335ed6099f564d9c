#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/scripted_dialogs.h"
#include "definitions/build_rows.h"
#include "definitions/catalogue.h"
#include "definitions/column_sort.h"
#include "definitions/table_format.h"
#include "mod/figure_number.h"
#include "state/app_state.h"

namespace {

// Lines joined with CR LF, as definition files end them.
std::string Lines(const std::vector<std::string>& L) {
  std::string out;
  for (const std::string& l : L) out += l + "\r\n";
  return out;
}

std::string FirstLine(const std::string& Text) { return Text.substr(0, Text.find('\n')); }

// A unit file with one key a line: Body holds "Key=Value;" statements.
std::string Unit(const std::string& Body) {
  std::vector<std::string> l = {"[UNITINFO]", "{"};
  for (size_t from = 0; from < Body.size();) {
    const size_t end = Body.find(';', from);
    l.push_back("\t" + Body.substr(from, end - from + 1));
    from = end + 1;
  }
  l.push_back("}");
  return Lines(l);
}

// A small mod of two sides: a weapon mounted twice, a paralyzer, a weapon no
// file defines, a builder chosen among three, divisors of 0, names in mixed
// case, and a second weapon of a name that comes later in load order.
struct Figures : ::testing::Test {
  ScriptedDialogs d;
  AppState s{d};

  UnPacked& Add(AllUnpacked& L, const std::string& Path, const std::string& Text) {
    UnPacked& e = L.NextSlot();
    e.ParentFile = "mod.ufo";
    e.UnPackedFile = Path;
    e.SetContents(Text.data(), static_cast<int32_t>(Text.size()));
    L.CommitSlot();
    return e;
  }
  void SetUp() override {
    SetUpColumns(s);
    Add(s.WeaponFiles, "weapons\\arm.tdf",
        Lines({"[ARM_LASER]", "{", "ID=1;", "range=300;", "burst=3;", "energypershot=50;", "[DAMAGE]", "{",
               "default=40;", "CORCOM=10;", "}",
               "reloadtime=1.5;",  // after the nested section: the table's cell misses it, the figure does not
               "}", "[EMG_PARA]", "{", "ID=2;", "range=200;", "reloadtime=2;", "paralyzer=1;", "[DAMAGE]", "{",
               "default=500;", "}", "}", "[ZERO_RELOAD]", "{", "ID=3;", "range=100;", "reloadtime=0;", "burst=0;",
               "energypershot=5;", "[DAMAGE]", "{", "default=10;", "}", "}"}));
    Add(s.WeaponFiles, "weapons\\core.tdf",
        Lines({"[arm_laser]", "{", "ID=4;", "reloadtime=1;", "[DAMAGE]", "{", "default=999;", "}", "}", "[Core_Gun]",
               "{", "ID=5;", "range=250;", "reloadtime=4;", "[DAMAGE]", "{", "default=100;", "}", "}"}));
    Add(s.UnitFiles, "units\\armcom.fbi",
        Unit("UnitNumber=1;UnitName=ArmCom;Side=ARM;BuildCostMetal=2500;MaxDamage=3000;BuildTime=50000;"
             "WorkerTime=300;Weapon1=arm_laser;Weapon2=ARM_LASER;Weapon3=Emg_Para;"));
    Add(s.UnitFiles, "units\\armlab.fbi",
        Unit("UnitNumber=2;UnitName=ARMLAB;Side=ARM;BuildCostMetal=600;MaxDamage=1500;WorkerTime=100;"));
    Add(s.UnitFiles, "units\\armcv.fbi",
        Unit("UnitNumber=3;UnitName=armcv;Side=ARM;BuildCostMetal=200;MaxDamage=1000;WorkerTime=150;"));
    Add(s.UnitFiles, "units\\armpw.fbi",
        Unit("UnitNumber=4;UnitName=ARMPW;Side=ARM;BuildCostMetal=0;MaxDamage=300;BuildTime=1000;"
             "Weapon1=MISSING_GUN;Weapon2=CORE_GUN;"));
    Add(s.UnitFiles, "units\\corak.fbi",
        Unit("UnitNumber=5;UnitName=CORAK;Side=CORE;BuildCostMetal=40;MaxDamage=abc;BuildTime=900;"
             "Weapon1=ZERO_RELOAD;"));
    Add(s.UnitFiles, "units\\corghost.fbi",
        Unit("UnitNumber=6;UnitName=CORGHOST;Side=CORE;BuildCostMetal=50;MaxDamage=100;Weapon1=NOPE;"));
    Add(s.DownloadFiles, "download\\arm.tdf",
        Lines({"[MENUENTRY1]", "{", "UNITMENU=ARMLAB;", "MENU=2;", "BUTTON=0;", "UNITNAME=ARMPW;", "}",
               "[MENUENTRY2]", "{", "UNITMENU=ARMCV;", "UNITNAME=armpw;", "}", "[MENUENTRY3]", "{",
               "UNITMENU=ARMCOM;", "UNITNAME=ArmPw;", "}", "[MENUENTRY4]", "{", "UNITMENU=CORLAB;",
               "UNITNAME=CORAK;", "}"}));
  }
  void BuildAll() {
    BuildRows(s, s.UnitView, s.UnitFiles, false, brAddNew, nullptr);
    BuildRows(s, s.WeaponView, s.WeaponFiles, true, brAddNew, nullptr);
    BuildRows(s, s.DownloadView, s.DownloadFiles, true, brAddNew, nullptr);
  }
  // Row Caption's cells under Captions, joined with "|".
  static std::string CellsOf(const RowTable& V, const std::string& Key, const std::string& Name,
                             const std::vector<std::string>& Captions) {
    const int keyColumn = ColumnIndexByCaption(V, Key);
    for (int i = 0; i < V.RowCount(); ++i) {
      if (V.Cell(i, keyColumn) != Name) continue;
      std::string out;
      for (const std::string& c : Captions) {
        const int col = ColumnIndexByCaption(V, c);
        out += (&c == &Captions.front() ? "" : "|") + (col > 0 ? V.Cell(i, col) : "no column " + c);
      }
      return out;
    }
    return "no row " + Name;
  }
  static int RowOf(const RowTable& V, const std::string& Key, const std::string& Name) {
    const int keyColumn = ColumnIndexByCaption(V, Key);
    for (int i = 0; i < V.RowCount(); ++i)
      if (V.Cell(i, keyColumn) == Name) return i;
    return -1;
  }
  std::string Tip(const RowTable& V, const std::string& Key, const std::string& Name, const std::string& Caption) {
    return Latin1ToUtf8(s.Figures.ToolTip(V, RowOf(V, Key, Name), ColumnIndexByCaption(V, Caption)));
  }
};

const std::vector<std::string> kUnitCaptions = {"DPS (computed)",   "DPS per 100 metal (computed)",
                                                "Hit points per 100 metal (computed)", "Range (computed)",
                                                "Built by (computed)", "Build seconds (computed)"};
const std::vector<std::string> kWeaponCaptions = {"Damage per salvo (computed)", "DPS (computed)",
                                                  "Energy per second (computed)"};

}  // namespace

TEST(FigureNumbers, ReadAndWritten) {
  const std::map<std::string, std::optional<double>> read = {
      {"40", 40},  {" 1.5\t", 1.5}, {"+3", 3}, {"-2", -2},  {".5", 0.5},   {"1e2", 100},
      {"", {}},    {"abc", {}},     {"4x", {}}, {"inf", {}}, {"nan", {}},  {"--1", {}}, {"+", {}},
  };
  for (const auto& [text, want] : read) EXPECT_EQ(ParseFigureNumber(text), want) << text;
  const std::vector<std::pair<double, std::string>> written = {
      {80, "80"},         {100.0 / 3, "33.33"}, {6.4, "6.4"}, {1.0 / 400, "0.0025"}, {2.0 / 3, "0.667"},
      {-0.0001, "-0.0001"}, {-1e-20, "0"},     {-0.0, "0"},   {0, "0"},            {1e9, "1000000000"},
      {-5.5, "-5.5"},     {12.5, "12.5"},       {3.999, "4"},
  };
  for (const auto& [value, want] : written) EXPECT_EQ(FormatFigure(value), want) << value;
}

// The quick paths for plain decimals, against the C library on many values:
// reading as strtod reads, writing as "%.2f" rounds with its zeros dropped,
// near halves and away from them.
TEST(FigureNumbers, QuickPathsAgreeWithTheCLibrary) {
  std::mt19937_64 rng(7);
  auto reference = [](double V) {
    char b[64];
    std::snprintf(b, sizeof b, "%.2f", V);
    std::string t = b;
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
    return t == "-0" ? std::string("0") : t;
  };
  for (int i = 0; i < 20000; ++i) {
    const int digits = 1 + static_cast<int>(rng() % 15), point = static_cast<int>(rng() % (digits + 1));
    std::string text;
    for (int d = 0; d < digits; ++d) text += static_cast<char>('0' + rng() % 10) + std::string(d + 1 == point ? "." : "");
    ASSERT_EQ(ParseFigureNumber(text), std::strtod(text.c_str(), nullptr)) << text;
    // Halves and near-halves of a hundredth, where rounding is decided.
    const double v = (static_cast<double>(rng() % 2000000) + 0.5 + (static_cast<double>(rng() % 3) - 1) * 1e-9) / 100 *
                     (rng() % 2 ? 1 : -1);
    if (std::fabs(v) >= 1) {
      ASSERT_EQ(FormatFigure(v), reference(v)) << v;
    }
    // Values away from a half, of every size from 1 to 1e10 and either sign,
    // and whole numbers: the quick path writes them.
    const double w = std::ldexp(static_cast<double>(rng() % (1u << 30)) / (1u << 30) + 1, static_cast<int>(rng() % 34)) *
                     (rng() % 2 ? 1 : -1);
    ASSERT_EQ(FormatFigure(w), reference(w)) << w;
    const double whole = static_cast<double>(static_cast<int64_t>(rng() % 20000000000ull) - 10000000000ll);
    ASSERT_EQ(FormatFigure(whole), reference(whole)) << whole;
  }
}

TEST_F(Figures, HandWrittenTable) {
  s.Figures.Show(true);
  BuildAll();
  // Unit: DPS | DPS per 100 metal | Hit points per 100 metal | Range | Built by | Build seconds
  const std::map<std::string, std::string> units = {
      // arm_laser twice (40 x 3 / 1.5 = 80 each) and a paralyzer (0)
      {"ArmCom", "160|6.4|120|300||"},
      {"ARMLAB", "||250|||"},  // no weapons; HP 1500 x 100 / 600
      {"armcv", "||500|||"},
      // the unknown weapon is left out, BuildCostMetal 0 divides nothing;
      // built by three, ArmCom has the largest WorkerTime: 1000 / 300
      {"ARMPW", "25|||250|ArmCom|3.33"},
      // its one weapon reloads in 0 seconds; MaxDamage is no number; its builder is not loaded
      {"CORAK", "|||100||"},
      {"CORGHOST", "||200|||"},  // no loaded weapon of its name
  };
  for (const auto& [name, want] : units) EXPECT_EQ(CellsOf(s.UnitView, "UnitName", name, kUnitCaptions), want) << name;
  // Weapon: Damage per salvo | DPS | Energy per second
  const std::map<std::string, std::string> weapons = {
      {"ARM_LASER", "120|80|33.33"}, {"EMG_PARA", "500|250|"},   {"ZERO_RELOAD", "10||"},
      {"arm_laser", "999|999|"},     {"Core_Gun", "100|25|"},
  };
  for (const auto& [name, want] : weapons)
    EXPECT_EQ(CellsOf(s.WeaponView, "SName", name, kWeaponCaptions), want) << name;

  // Tooltips: the formula with its numbers, or why the cell is empty.
  EXPECT_EQ(FirstLine(Tip(s.WeaponView, "SName", "ARM_LASER", "DPS (computed)")), "DPS = 40 × 3 ÷ 1.5 = 80 (ARM_LASER)");
  EXPECT_NE(Tip(s.WeaponView, "SName", "ZERO_RELOAD", "DPS (computed)").find("Reloadtime is 0"), std::string::npos);
  EXPECT_NE(Tip(s.WeaponView, "SName", "Core_Gun", "Energy per second (computed)").find("no EnergyPerShot"),
            std::string::npos);
  const std::string com = Tip(s.UnitView, "UnitName", "ArmCom", "DPS (computed)");
  EXPECT_EQ(FirstLine(com), "DPS = 80 + 80 + 0 = 160");
  EXPECT_NE(com.find("EMG_PARA is a paralyzer"), std::string::npos);
  const std::string pw = Tip(s.UnitView, "UnitName", "ARMPW", "DPS (computed)");
  EXPECT_EQ(FirstLine(pw), "DPS = 100 × 1 ÷ 4 = 25 (Core_Gun)");
  EXPECT_NE(pw.find("No loaded weapon is named MISSING_GUN"), std::string::npos);
  EXPECT_NE(Tip(s.UnitView, "UnitName", "ARMPW", "DPS per 100 metal (computed)").find("BuildCostMetal is 0"),
            std::string::npos);
  const std::string builtBy = Tip(s.UnitView, "UnitName", "ARMPW", "Built by (computed)");
  EXPECT_NE(builtBy.find("ARMLAB (WorkerTime 100)"), std::string::npos) << builtBy;
  EXPECT_NE(builtBy.find("armcv (WorkerTime 150)"), std::string::npos) << builtBy;
  EXPECT_EQ(FirstLine(Tip(s.UnitView, "UnitName", "ARMPW", "Build seconds (computed)")),
            "Build seconds = 1000 ÷ 300 = 3.33 (built by ArmCom)");
  const std::string corak = Tip(s.UnitView, "UnitName", "CORAK", "DPS (computed)");
  EXPECT_NE(corak.find("Reloadtime is 0"), std::string::npos) << corak;
  EXPECT_NE(Tip(s.UnitView, "UnitName", "CORAK", "Built by (computed)").find("CORLAB"), std::string::npos);
  EXPECT_NE(Tip(s.UnitView, "UnitName", "CORAK", "Hit points per 100 metal (computed)").find("MaxDamage is not a number"),
            std::string::npos);
  EXPECT_NE(Tip(s.UnitView, "UnitName", "CORGHOST", "DPS (computed)").find("NOPE"), std::string::npos);
  EXPECT_NE(Tip(s.UnitView, "UnitName", "ARMLAB", "DPS (computed)").find("no Weapon1"), std::string::npos);
  // A key column has no figure tooltip.
  EXPECT_EQ(s.Figures.ToolTip(s.UnitView, 0, 1), "");
}

// Keys read only where they count: a paralyzer and ranges read from weapon
// rows once a unit mounts them, builders' WorkerTime once a menu names them;
// a builder named twice (in two cases, loaded or not) counts once.
TEST_F(Figures, MountedWeaponsAndBuildersNamedTwice) {
  Add(s.WeaponFiles, "weapons\\stun.tdf",
      Lines({"[Stun_Gun]", "{", "ID=6;", "range=400;", "paralyzer=1;", "reloadtime=1;", "[DAMAGE]", "{", "default=90;", "}",
             "}", "[Long_Gun]", "{", "ID=7;", "range=900;", "reloadtime=3;", "[DAMAGE]", "{", "default=30;", "}", "}"}));
  Add(s.UnitFiles, "units\\corstun.fbi",
      Unit("UnitNumber=7;UnitName=CORSTUN;Side=CORE;BuildCostMetal=100;BuildTime=600;Weapon1=stun_gun;Weapon2=LONG_GUN;"));
  Add(s.DownloadFiles, "download\\core.tdf",
      Lines({"[MENUENTRY1]", "{", "UNITMENU=armlab;", "UNITNAME=CORSTUN;", "}", "[MENUENTRY2]", "{", "UNITMENU=NOLAB;",
             "UNITNAME=corstun;", "}", "[MENUENTRY3]", "{", "UNITMENU=ARMLAB;", "UNITNAME=CorStun;", "}", "[MENUENTRY4]",
             "{", "UNITMENU=nolab;", "UNITNAME=CORSTUN;", "}", "[MENUENTRY5]", "{", "UNITMENU=ARMCV;", "UNITNAME=CORSTUN;",
             "}"}));
  s.Figures.Show(true);
  BuildAll();
  EXPECT_EQ(CellsOf(s.UnitView, "UnitName", "CORSTUN", kUnitCaptions), "10|10||900|armcv|4");
  EXPECT_EQ(CellsOf(s.WeaponView, "SName", "Stun_Gun", kWeaponCaptions), "90|90|");
  EXPECT_EQ(Tip(s.UnitView, "UnitName", "CORSTUN", "DPS (computed)"),
            "DPS = 0 + 10 = 10\n"
            "Weapon1: Stun_Gun is a paralyzer (its damage stuns), counts 0\n"
            "Weapon2: DPS = 30 × 1 ÷ 3 = 10 (Long_Gun)\n"
            "the DPS of Weapon1 to Weapon3 summed; a paralyzer counts 0");
  EXPECT_EQ(Tip(s.UnitView, "UnitName", "CORSTUN", "Range (computed)"),
            "Range = max(400 (Stun_Gun), 900 (Long_Gun)) = 900\nthe largest Range of its weapons");
  EXPECT_EQ(Tip(s.UnitView, "UnitName", "CORSTUN", "Built by (computed)"),
            "Built by: armcv (WorkerTime 150), of the builders the one with the largest WorkerTime\n"
            "Also built by ARMLAB (WorkerTime 100)\n"
            "Build menus of units not loaded: NOLAB");
  EXPECT_EQ(FirstLine(Tip(s.UnitView, "UnitName", "CORSTUN", "Build seconds (computed)")),
            "Build seconds = 600 ÷ 150 = 4 (built by armcv)");
}

// A mod large enough that its weapon files are read on two threads: every
// weapon's DPS and the units' DPS and Range agree with the formulas, also
// for files that must be read themselves (a key after a nested section,
// one weapon name twice, more weapons than rows) in either half.
TEST_F(Figures, ManyWeaponFilesReadInTwoHalves) {
  const int files = 700;
  for (int f = 0; f < files; ++f) {
    std::vector<std::string> l;
    for (int k = 0; k < 3; ++k) {
      // Section 2 of every 50th file (from the 13th) repeats the name of section 0.
      const std::string name = f % 50 == 13 && k == 2 ? "w" + std::to_string(f) + "_0" : "W" + std::to_string(f) + "_" + std::to_string(k);
      l.insert(l.end(), {"[" + name + "]", "{", "ID=" + std::to_string(f * 3 + k) + ";", "range=" + std::to_string(100 + f) + ";"});
      if (k == 1) l.push_back("burst=2;");
      const std::string reload = "reloadtime=" + std::to_string(k == 1 ? 2 : 1) + ";";
      // Every 50th file (from the 7th, and from the 21st) has Reloadtime
      // after [DAMAGE], where no row reaches.
      const bool late = f % 50 == 7 || f % 50 == 21;
      if (!late) l.push_back(reload);
      l.insert(l.end(), {"[DAMAGE]", "{", "default=" + std::to_string(10 + f + k) + ";", "}"});
      if (late) l.push_back(reload);
      l.push_back("}");
    }
    // And an empty section, which gives no row: read itself, the file holds
    // one weapon more than it has rows.
    if (f % 50 == 21) l.insert(l.end(), {"[W" + std::to_string(f) + "_EMPTY]", "{", "}"});
    Add(s.WeaponFiles, "weapons\\w" + std::to_string(f) + ".tdf", Lines(l));
  }
  for (int u = 0; u < 50; ++u)
    Add(s.UnitFiles, "units\\many" + std::to_string(u) + ".fbi",
        Unit("UnitNumber=" + std::to_string(100 + u) + ";UnitName=MANY" + std::to_string(u) + ";BuildCostMetal=100;Weapon1=w" +
             std::to_string(u * 14) + "_0;"));
  s.Figures.Show(true);
  BuildAll();
  ASSERT_GE(s.WeaponView.RowCount(), 3 * files);
  // DPS of W<f>_<k>: (10 + f + k) x max(1, Burst) / Reloadtime, which is 10 + f + k here.
  int checked = 0;
  for (int f = 0; f < files; ++f)
    for (int k = 0; k < 3; ++k) {
      if (f % 50 == 13 && k == 2) continue;  // its row shows the first weapon of its name
      const std::string name = "W" + std::to_string(f) + "_" + std::to_string(k);
      ASSERT_EQ(CellsOf(s.WeaponView, "SName", name, {"DPS (computed)"}), std::to_string(10 + f + k)) << name;
      ++checked;
    }
  EXPECT_EQ(checked, 3 * files - files / 50);
  for (int u = 0; u < 50; ++u)
    EXPECT_EQ(CellsOf(s.UnitView, "UnitName", "MANY" + std::to_string(u), {"DPS (computed)", "Range (computed)"}),
              std::to_string(10 + u * 14) + "|" + std::to_string(100 + u * 14))
        << u;
}
