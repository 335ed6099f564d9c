#include <gtest/gtest.h>

#include <set>

#include "archive/scripted_dialogs.h"
#include "definitions/catalogue.h"
#include "state/app_state.h"

namespace {
std::string Lower(std::string S) {
  for (char& c : S) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return S;
}
// The four key lists written out once more, independently of the program's
// own arrays: a misspelt, missing or moved key in the program shows up here.
const std::vector<std::string> kUnitKeys = {
    "UnitNumber", "UnitName", "Name", "Description", "Designation", "Version", "Side", "Copyright",
    "Objectname", "Corpse", "BuildCostEnergy", "BuildCostMetal", "BuildTime", "YardMap", "Builder",
    "WorkerTime", "EnergyMake", "MetalMake", "EnergyStorage", "MetalStorage", "EnergyUse", "MakesMetal",
    "ExtractsMetal", "Builddistance", "Buildangle", "MaxDamage", "FootprintX", "FootprintZ",
    "SightDistance", "RadarDistance", "RadarDistanceJam", "MaxVelocity", "BrakeRate", "Acceleration",
    "TurnRate", "SteeringMode", "Shootme", "CanFly", "Cruisealt", "Scale", "BankScale", "MoveRate1",
    "MoveRate2", "MovementClass", "Upright", "MaxWaterDepth", "MaxSlope", "NoAutoFire", "firestandorders",
    "StandingFireOrder", "Mobilestandorders", "DefaultMissionType", "Maneuverleashlength", "Canmove",
    "Canpatrol", "Canstop", "Canguard", "Canattack", "Canload", "CanCapture", "CanReclamate",
    "Canresurrect", "Resurrect", "Downloadable", "Weapon1", "Weapon2", "Weapon3", "Ai_weight", "Ai_limit",
    "BadTargetCategory", "Wpri_badTargetCategory", "Wsec_badTargetCategory", "NoChaseCategory",
    "Attackrunlength", "Kamikaze", "Stealth", "CloakCost", "CloakCostMoving", "Mincloakdistance",
    "HealTime", "HideDamage", "ImmuneToParalyzer", "BMCode", "ThreeD", "ZBuffer", "Ovradjust",
    "SoundCategory", "ExplodeAs", "SelfDestructAs", "Category", "TedClass", "TransMaxUnits",
    "Transportmaxunits", "Transportsize", "Antiweapons", "DamageModifier", "ActivateWhenBuilt", "Onoffable",
    "MinWaterDepth", "IsFeature", "Teleporter",
};
const std::vector<std::string> kWeaponKeys = {
    "ID", "SName", "Name", "Model", "Ballistic", "Lineofsight", "Dropped", "Range", "Reloadtime",
    "Areaofeffect", "Edgeeffectiveness", "Default", "Commandfire", "Energypershot", "Metalpershot",
    "Energy", "Metal", "Weapontimer", "Noautorange", "Noexplode", "Accuracy", "Tolerance", "Aimrate",
    "Minbarrelangle", "Startvelocity", "Weaponvelocity", "Weaponacceleration", "Turnrate", "Guidance",
    "Tracks", "Turret", "Firestarter", "Unitsonly", "Burst", "Burstrate", "Sprayangle", "Randomdecay",
    "Groundbounce", "Flighttime", "Selfprop", "Twophase", "Weapontype2", "Waterweapon", "Burnblow",
    "Toairweapon", "Vlaunch", "Stockpile", "Targetable", "Cruise", "Shakemagnitude", "Shakeduration",
    "Coverage", "Paralyzer", "Color", "Color2", "Smoketrail", "Smokedelay", "Startsmoke", "Endsmoke",
    "Rendertype", "Beamweapon", "Explosiongaf", "Explosionart", "Waterexplosiongaf", "Waterexplosionart",
    "Propeller", "Soundstart", "Soundhit", "Soundwater", "Soundtrigger",
};
const std::vector<std::string> kDownloadKeys = {
    "UnitMenu", "Menu", "Button", "UnitName", "SName",
};
const std::vector<std::string> kCorpseKeys = {
    "SName", "World", "Description", "Category", "Object", "Featuredead", "Footprintx", "Footprintz",
    "Height", "Blocking", "Hitdensity", "Metal", "Damage", "Reclaimable", "Featurereclamate",
    "Seqnamereclamate",
};
const std::vector<std::string> kFileColumns = {"ParentFile", "UnPackedFile", "PFileSize"};
}  // namespace

TEST(Catalogue, ColumnsKeyListsAndKindFields) {
  ScriptedDialogs d;
  AppState s(d);
  s.UnitSortColumn = 7;
  s.CorpseSortColumn = 3;
  SetUpColumns(s);

  struct Expect {
    RowTable& View;
    AllUnpacked& List;
    int Columns;
    const char* First;
    const char* Ext;
    const char* SubDir;
  } kinds[] = {
      {s.UnitView, s.UnitFiles, 104, "UnitNumber", "fbi", "units"},
      {s.WeaponView, s.WeaponFiles, 73, "ID", "tdf", "weapons"},
      {s.DownloadView, s.DownloadFiles, 8, "UnitMenu", "tdf", "download"},
      {s.CorpseView, s.CorpseFiles, 19, "SName", "tdf", "features\\corpses"},
  };
  for (auto& k : kinds) {
    SCOPED_TRACE(k.First);
    ASSERT_EQ(k.View.ColumnCount(), k.Columns);
    ASSERT_EQ(static_cast<int>(k.List.KeyList.size()), k.Columns);
    EXPECT_EQ(k.View.ColumnCaption(0), k.First);
    EXPECT_EQ(k.View.RowCount(), 0);
    EXPECT_EQ(k.List.Ext, k.Ext);
    EXPECT_EQ(k.List.SubDir, k.SubDir);
    EXPECT_EQ(k.List.Count, 0);
    EXPECT_EQ(k.List.BuiltCount, 0);
    EXPECT_EQ(s.SortColumnOf(k.View), 0);
    std::set<std::string> folded;
    for (int c = 0; c < k.Columns; ++c) {
      EXPECT_EQ(k.List.KeyList[c], k.View.ColumnCaption(c));
      EXPECT_GT(k.View.ColumnWidth(c), 0);
      EXPECT_TRUE(folded.insert(Lower(k.View.ColumnCaption(c))).second) << k.View.ColumnCaption(c);
    }
    EXPECT_EQ(k.View.ColumnCaption(k.Columns - 3), "ParentFile");
    EXPECT_EQ(k.View.ColumnCaption(k.Columns - 2), "UnPackedFile");
    EXPECT_EQ(k.View.ColumnCaption(k.Columns - 1), "PFileSize");
  }
  // Positions the table tools rely on, and spellings that are easy to get wrong.
  const std::vector<std::string>& u = s.UnitFiles.KeyList;
  EXPECT_EQ(u[1] + "," + u[2] + "," + u[3] + "," + u[6], "UnitName,Name,Description,Side");
  EXPECT_EQ(u[23] + "," + u[48] + "," + u[67], "Builddistance,firestandorders,Ai_weight");
  EXPECT_EQ(u[91] + "," + u[92] + "," + u[101], "TransMaxUnits,Transportmaxunits,ParentFile");
  EXPECT_EQ(s.WeaponFiles.KeyList[67] + "," + s.WeaponFiles.KeyList[70], "Soundhit,ParentFile");
  EXPECT_EQ(s.DownloadFiles.KeyList,
            (std::vector<std::string>{"UnitMenu", "Menu", "Button", "UnitName", "SName", "ParentFile",
                                      "UnPackedFile", "PFileSize"}));
  EXPECT_EQ(s.CorpseFiles.KeyList[15], "Seqnamereclamate");
  EXPECT_STREQ(UnitKeys.back(), "Teleporter");
  EXPECT_STREQ(WeaponKeys.back(), "Soundtrigger");
  // A caption's width is what fits the caption: longer captions are wider.
  EXPECT_GT(s.UnitView.ColumnWidth(70), s.UnitView.ColumnWidth(0));  // Wpri_badTargetCategory
}

TEST(Catalogue, MatchesAnIndependentCopyOfTheKeyLists) {
  ScriptedDialogs d;
  AppState s(d);
  SetUpColumns(s);
  const std::pair<RowTable*, const std::vector<std::string>*> tables[] = {
      {&s.UnitView, &kUnitKeys}, {&s.WeaponView, &kWeaponKeys}, {&s.DownloadView, &kDownloadKeys}, {&s.CorpseView, &kCorpseKeys}};
  ASSERT_EQ(kUnitKeys.size() + kWeaponKeys.size() + kDownloadKeys.size() + kCorpseKeys.size(), 101u + 70u + 5u + 16u);
  for (const auto& [view, keys] : tables) {
    std::vector<std::string> expected = *keys;
    expected.insert(expected.end(), kFileColumns.begin(), kFileColumns.end());
    std::vector<std::string> captions;
    for (int c = 0; c < view->ColumnCount(); ++c) captions.push_back(view->ColumnCaption(c));
    EXPECT_EQ(captions, expected);
    EXPECT_EQ(s.FilesOf(*view).KeyList, expected);
  }
}
