#include "definitions/catalogue.h"

#include <span>

// The definition keys shown as columns, in column order. The spelling (case
// included) is both the column caption and the key looked up in a definition.
const std::array<const char*, 101> UnitKeys = {
    "UnitNumber", "UnitName", "Name", "Description", "Designation", "Version", "Side",
    "Copyright", "Objectname", "Corpse", "BuildCostEnergy", "BuildCostMetal", "BuildTime",
    "YardMap", "Builder", "WorkerTime", "EnergyMake", "MetalMake", "EnergyStorage",
    "MetalStorage", "EnergyUse", "MakesMetal", "ExtractsMetal", "Builddistance",
    "Buildangle", "MaxDamage", "FootprintX", "FootprintZ", "SightDistance", "RadarDistance",
    "RadarDistanceJam", "MaxVelocity", "BrakeRate", "Acceleration", "TurnRate",
    "SteeringMode", "Shootme", "CanFly", "Cruisealt", "Scale", "BankScale", "MoveRate1",
    "MoveRate2", "MovementClass", "Upright", "MaxWaterDepth", "MaxSlope", "NoAutoFire",
    "firestandorders", "StandingFireOrder", "Mobilestandorders", "DefaultMissionType",
    "Maneuverleashlength", "Canmove", "Canpatrol", "Canstop", "Canguard", "Canattack",
    "Canload", "CanCapture", "CanReclamate", "Canresurrect", "Resurrect", "Downloadable",
    "Weapon1", "Weapon2", "Weapon3", "Ai_weight", "Ai_limit", "BadTargetCategory",
    "Wpri_badTargetCategory", "Wsec_badTargetCategory", "NoChaseCategory",
    "Attackrunlength", "Kamikaze", "Stealth", "CloakCost", "CloakCostMoving",
    "Mincloakdistance", "HealTime", "HideDamage", "ImmuneToParalyzer", "BMCode", "ThreeD",
    "ZBuffer", "Ovradjust", "SoundCategory", "ExplodeAs", "SelfDestructAs", "Category",
    "TedClass", "TransMaxUnits", "Transportmaxunits", "Transportsize", "Antiweapons",
    "DamageModifier", "ActivateWhenBuilt", "Onoffable", "MinWaterDepth", "IsFeature",
    "Teleporter",
};

const std::array<const char*, 70> WeaponKeys = {
    "ID", "SName", "Name", "Model", "Ballistic", "Lineofsight", "Dropped", "Range",
    "Reloadtime", "Areaofeffect", "Edgeeffectiveness", "Default", "Commandfire",
    "Energypershot", "Metalpershot", "Energy", "Metal", "Weapontimer", "Noautorange",
    "Noexplode", "Accuracy", "Tolerance", "Aimrate", "Minbarrelangle", "Startvelocity",
    "Weaponvelocity", "Weaponacceleration", "Turnrate", "Guidance", "Tracks", "Turret",
    "Firestarter", "Unitsonly", "Burst", "Burstrate", "Sprayangle", "Randomdecay",
    "Groundbounce", "Flighttime", "Selfprop", "Twophase", "Weapontype2", "Waterweapon",
    "Burnblow", "Toairweapon", "Vlaunch", "Stockpile", "Targetable", "Cruise",
    "Shakemagnitude", "Shakeduration", "Coverage", "Paralyzer", "Color", "Color2",
    "Smoketrail", "Smokedelay", "Startsmoke", "Endsmoke", "Rendertype", "Beamweapon",
    "Explosiongaf", "Explosionart", "Waterexplosiongaf", "Waterexplosionart", "Propeller",
    "Soundstart", "Soundhit", "Soundwater", "Soundtrigger",
};

const std::array<const char*, 5> DownloadKeys = {
    "UnitMenu", "Menu", "Button", "UnitName", "SName",
};

const std::array<const char*, 16> CorpseKeys = {
    "SName", "World", "Description", "Category", "Object", "Featuredead", "Footprintx",
    "Footprintz", "Height", "Blocking", "Hitdensity", "Metal", "Damage", "Reclaimable",
    "Featurereclamate", "Seqnamereclamate",
};

const std::array<const char*, 3> FileColumns = {
    "ParentFile", "UnPackedFile", "PFileSize",
};

namespace {

struct Kind {
  AllUnpacked& List;
  RowTable& View;
  std::span<const char* const> Keys;
  const char* Ext;
  const char* SubDir;
};

// Appends a column sized to its caption, with the fitted width kept as fixed.
void AddFittedColumn(RowTable& View, AllUnpacked& List, const char* Caption) {
  View.AddColumn(Caption, 0);
  View.FitColumnToHeader(View.ColumnCount() - 1);
  List.KeyList.emplace_back(Caption);
}

}  // namespace

void SetUpColumns(TableState& State) {
  const Kind kinds[] = {
      {State.UnitFiles, State.UnitView, UnitKeys, "fbi", "units"},
      {State.WeaponFiles, State.WeaponView, WeaponKeys, "tdf", "weapons"},
      {State.DownloadFiles, State.DownloadView, DownloadKeys, "tdf", "download"},
      {State.CorpseFiles, State.CorpseView, CorpseKeys, "tdf", "features\\corpses"},
  };
  for (const Kind& k : kinds) {
    k.View.BeginUpdate();
    k.List.Ext = k.Ext;
    k.List.SubDir = k.SubDir;
    k.List.Count = 0;
    k.List.BuiltCount = 0;
    State.SortColumnOf(k.View) = 0;
    k.List.KeyList.clear();
    for (const char* key : k.Keys) AddFittedColumn(k.View, k.List, key);
    k.View.FitColumnToHeader(0);
  }
  // The loaded file's own fields close every table, in the same order.
  for (const char* caption : FileColumns)
    for (const Kind& k : kinds) AddFittedColumn(k.View, k.List, caption);
  for (const Kind& k : kinds) k.View.EndUpdate();
}
