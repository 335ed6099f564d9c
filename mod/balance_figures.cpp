#include "mod/balance_figures.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "archive/ascii_case.h"
#include "definitions/column_sort.h"
#include "definitions/definition_reader.h"
#include "hpi/parallel.h"
#include "mod/figure_index.h"
#include "mod/figure_number.h"

const std::array<const char*, kWeaponFigureCount> WeaponFigureCaptions = {
    "Damage per salvo (computed)",
    "DPS (computed)",
    "Energy per second (computed)",
};

const std::array<const char*, kUnitFigureCount> UnitFigureCaptions = {
    "DPS (computed)",   "DPS per 100 metal (computed)", "Hit points per 100 metal (computed)",
    "Range (computed)", "Built by (computed)",          "Build seconds (computed)",
};

bool IsFigureCaption(std::string_view Caption) {
  for (const char* c : WeaponFigureCaptions)
    if (EqualIgnoringCase(c, Caption)) return true;
  for (const char* c : UnitFigureCaptions)
    if (EqualIgnoringCase(c, Caption)) return true;
  return false;
}

namespace {

// Tooltips are 8-bit text as the definitions are: the operators are the
// Latin-1 multiplication and division signs (\xD7 and \xF7 written
// apart from the text after them, which could continue the escape).

// The caption of a figure without " (computed)", as its formula names it.
std::string FigureName(const char* Caption) {
  const std::string_view c(Caption);
  return std::string(c.substr(0, c.rfind(" (")));
}

// The texts the tooltips quote (names, keys' values as written), copied once
// into large blocks that keep their place, so that a value costs no
// allocation of its own and the views stay valid while the figures live.
class TextStore {
 public:
  // Takes over the texts Other kept: their views stay valid.
  void Adopt(TextStore&& Other) {
    for (auto& block : Other.Blocks_) Blocks_.push_back(std::move(block));
    Other.Blocks_.clear();
    Other.Left_ = 0;
  }
  std::string_view Keep(std::string_view Text) {
    if (Text.empty()) return {};
    if (Text.size() > Left_) {
      const size_t n = std::max(kBlock, Text.size());
      Blocks_.emplace_back(new char[n]);
      Next_ = Blocks_.back().get();
      Left_ = n;
    }
    std::memcpy(Next_, Text.data(), Text.size());
    const std::string_view kept(Next_, Text.size());
    Next_ += Text.size();
    Left_ -= Text.size();
    return kept;
  }

 private:
  static constexpr size_t kBlock = 64 * 1024;
  std::vector<std::unique_ptr<char[]>> Blocks_;
  char* Next_ = nullptr;
  size_t Left_ = 0;
};

// A key's value as read from a definition: its number, when it is one, and
// its text where a tooltip may quote it. A tooltip quotes the text of a value
// that is no number or a divisor not above 0, and of WorkerTime as written;
// every other text would only be copied to be dropped, so it is not kept.
struct Value {
  double Number = 0;  // when IsNumber
  const char* TextAt = nullptr;
  uint32_t TextSize = 0;
  bool Present = false;
  bool IsNumber = false;

  std::optional<double> Num() const { return IsNumber ? std::optional<double>(Number) : std::nullopt; }
  std::string_view Text() const { return {TextAt, TextSize}; }
  void Set(std::string_view V, TextStore& Store, bool KeepText = false) {
    if (Present) return;  // the first of a name counts
    Present = true;
    if (const std::optional<double> n = ParseFigureNumber(V)) {
      Number = *n;
      IsNumber = true;
      if (*n > 0 && !KeepText) return;
    }
    const std::string_view kept = Store.Keep(V);
    TextAt = kept.data();
    TextSize = static_cast<uint32_t>(kept.size());
  }
};

// A divisor: a number above 0.
std::optional<double> DivisorOf(const Value& V) {
  if (V.IsNumber && V.Number <= 0) return std::nullopt;
  return V.Num();
}
// Why a value gives no number.
std::string WhyNot(const Value& V, const char* Key) {
  if (!V.Present) return "there is no " + std::string(Key);
  if (!V.IsNumber) return std::string(Key) + " is not a number (" + std::string(V.Text()) + ")";
  return "";
}
// Why a value gives no divisor.
std::string WhyNotDivisor(const Value& V, const char* Key) {
  if (V.IsNumber && V.Number <= 0) return std::string(Key) + " is " + std::string(V.Text()) + ", and a divisor must be above 0";
  return WhyNot(V, Key);
}

std::string F(double V) { return FormatFigure(V); }

std::string Empty(const std::string& Name, const std::string& Why) { return Name + " cannot be worked out: " + Why; }

std::string FirstLine(const std::string& Text) { return Text.substr(0, Text.find('\n')); }

std::string Join(const std::vector<std::string>& Parts, const char* Between) {
  std::string out;
  for (size_t i = 0; i < Parts.size(); ++i) out += (i ? Between : "") + Parts[i];
  return out;
}

using WeaponValues = std::array<std::optional<double>, kWeaponFigureCount>;
using UnitValues = std::array<std::optional<double>, kUnitFigureCount>;
using WeaponTips = std::array<std::string, kWeaponFigureCount>;
using UnitTips = std::array<std::string, kUnitFigureCount>;

// Figures as kept: N numbers and a bit each that says whether it has one.
template <size_t N>
class KeptFigures {
 public:
  void Keep(const std::array<std::optional<double>, N>& Values) {
    Has_ = 0;
    for (size_t k = 0; k < N; ++k) {
      Number_[k] = Values[k].value_or(0);
      if (Values[k]) Has_ |= static_cast<uint8_t>(1u << k);
    }
  }
  std::optional<double> operator[](size_t K) const {
    return Has_ >> K & 1 ? std::optional<double>(Number_[K]) : std::nullopt;
  }

 private:
  double Number_[N] = {};
  uint8_t Has_ = 0;
};

struct WeaponInput {
  std::string_view Name;  // the section name as written
  uint32_t NameHash = 0;  // NameIndex::HashOf(Name)
  // Range and Paralyzer count only for the units that mount the weapon: they
  // are read once a unit does (MountKeysRead), or at once from its file.
  bool MountKeysRead = false, HasRange = false, Paralyzer = false;
  double Range = 0;  // when HasRange
  Value Default, Burst, Reloadtime, EnergyPerShot;
  KeptFigures<kWeaponFigureCount> Figures;
  bool IsParalyzer() const { return Paralyzer; }
};

// Weapon1 to Weapon3 of a unit: none, or a name no loaded weapon has, or
// else the index of the weapon in Weapons.
constexpr int kNoWeapon = -2;
constexpr int kUnknownWeapon = -1;

struct UnitInput {
  const UnPacked* Entry = nullptr;
  std::string_view UnitName;
  uint32_t NameHash = 0;  // NameIndex::HashOf(UnitName)
  bool WorkerTimeRead = false;  // read once a build menu names the unit as builder
  int Builder = -1;  // the unit that builds it (Built by), -1 when none
  int Mounts[3] = {kNoWeapon, kNoWeapon, kNoWeapon};
  std::string_view Unknown[3];  // the name as written, of a kUnknownWeapon
  Value BuildCostMetal, MaxDamage, BuildTime, WorkerTime;
  KeptFigures<kUnitFigureCount> Figures;
};

// A unit that the build menus list (UNITNAME), with the first of its
// builders in Links.
struct ListedUnit {
  std::string_view Name;
  int FirstBuilder = -1;
};

// One builder of a unit as a build menu names it (UNITMENU), linked to the
// next builder of the same unit.
struct MenuLink {
  int Builder = -1;       // its index in Units; -1 when no loaded unit has the name
  std::string_view Name;  // the name as written, of a builder not loaded
  int Next = -1;
};

}  // namespace

struct BalanceFigures::Data {
  TextStore Texts;
  std::vector<WeaponInput> Weapons;  // in load order
  std::vector<UnitInput> Units;      // in load order
  NameIndex WeaponByName, UnitByName;
  // The units the build menus list, each with its builders in Links, in
  // load order, each builder once.
  NameIndex Listed;  // name -> index in ListedUnits
  std::vector<ListedUnit> ListedUnits;
  std::vector<MenuLink> Links;
  EntryIndex UnitFiles;                            // entry -> its position in the list of units
  std::vector<int> UnitOfFile;                     // position -> index in Units, -1 when none
  EntryIndex WeaponFiles;                          // entry -> its position in the list of weapons
  std::vector<std::pair<int, int>> WeaponsOfFile;  // position -> its weapons: [first, end) in Weapons

  auto WeaponName() const {
    return [this](int I) { return Weapons[static_cast<size_t>(I)].Name; };
  }
  auto UnitName() const {
    return [this](int I) { return Units[static_cast<size_t>(I)].UnitName; };
  }
  auto ListedName() const {
    return [this](int I) { return ListedUnits[static_cast<size_t>(I)].Name; };
  }
};

namespace {

using Data = BalanceFigures::Data;

// Works out the figures of weapon W into Values, and into Tips the tooltips
// too when asked for.
void WorkOutWeapon(const WeaponInput& W, WeaponValues& Values, WeaponTips* Tips) {
  const std::optional<double> def = W.Default.Num();
  // No Burst is one shot a salvo.
  const double burst = W.Burst.IsNumber ? std::max(1.0, W.Burst.Number) : 1.0;
  const bool burstOk = !W.Burst.Present || W.Burst.IsNumber;
  const std::optional<double> reload = DivisorOf(W.Reloadtime);
  std::optional<double> perSalvo;
  if (def && burstOk) perSalvo = *def * burst;
  Values[wfDamagePerSalvo] = perSalvo;
  Values[wfDps] = perSalvo && reload ? std::optional<double>(*perSalvo / *reload) : std::nullopt;
  const std::optional<double> shot = W.EnergyPerShot.Num();
  Values[wfEnergyPerSecond] = shot && reload ? std::optional<double>(*shot / *reload) : std::nullopt;
  if (!Tips) return;

  const std::string salvoName = FigureName(WeaponFigureCaptions[wfDamagePerSalvo]);
  const std::string dpsName = FigureName(WeaponFigureCaptions[wfDps]);
  const std::string energyName = FigureName(WeaponFigureCaptions[wfEnergyPerSecond]);
  const std::string of = " (" + std::string(W.Name) + ")";
  const std::string defWhy = WhyNot(W.Default, "[DAMAGE] default");
  const std::string burstWhy = burstOk ? "" : "Burst is not a number (" + std::string(W.Burst.Text()) + ")";
  const std::string reloadWhy = WhyNotDivisor(W.Reloadtime, "Reloadtime");
  std::string& salvo = (*Tips)[wfDamagePerSalvo];
  if (!def) salvo = Empty(salvoName, defWhy + of);
  else if (!burstOk) salvo = Empty(salvoName, burstWhy + of);
  else
    salvo = salvoName + " = " + F(*def) + " \xD7" " " + F(burst) + " = " + F(*perSalvo) + of +
            "\nDefault \xD7" " max(1, Burst)";
  std::string& dps = (*Tips)[wfDps];
  if (!perSalvo) dps = Empty(dpsName, (def ? burstWhy : defWhy) + of);
  else if (!reload) dps = Empty(dpsName, reloadWhy + of);
  else
    dps = dpsName + " = " + F(*def) + " \xD7" " " + F(burst) + " \xF7" " " + F(*reload) + " = " + F(*Values[wfDps]) + of +
          "\nDefault \xD7" " max(1, Burst) \xF7" " Reloadtime";
  std::string& energy = (*Tips)[wfEnergyPerSecond];
  if (!shot) energy = Empty(energyName, WhyNot(W.EnergyPerShot, "EnergyPerShot") + of);
  else if (!reload) energy = Empty(energyName, reloadWhy + of);
  else
    energy = energyName + " = " + F(*shot) + " \xF7" " " + F(*reload) + " = " + F(*Values[wfEnergyPerSecond]) + of +
             "\nEnergyPerShot \xF7" " Reloadtime";
}

// The tooltip of figure K of weapon W.
std::string WeaponTip(const WeaponInput& W, size_t K) {
  WeaponValues values;
  WeaponTips tips;
  WorkOutWeapon(W, values, &tips);
  return tips[K];
}

// The unit's weapons: DPS (ufDps) and Range (ufRange).
void WeaponFiguresOfUnit(const Data& D, const UnitInput& U, UnitValues& Values, UnitTips* Tips) {
  // The parts of the tooltips, made only when they are asked for.
  struct Parts {
    std::vector<std::string> unresolved, lines, sum, ranges, failed;
  };
  std::optional<Parts> parts;
  if (Tips) parts.emplace();
  const WeaponInput* resolved[3] = {};
  size_t resolvedCount = 0;
  bool anyFailed = false;
  double total = 0;
  std::optional<double> range;
  bool named = false;
  for (int i = 0; i < 3; ++i) {
    const int at = U.Mounts[i];
    if (at == kNoWeapon) continue;
    named = true;
    if (at == kUnknownWeapon) {
      if (Tips) parts->unresolved.emplace_back(U.Unknown[i]);
      continue;
    }
    const WeaponInput& w = D.Weapons[static_cast<size_t>(at)];
    resolved[resolvedCount++] = &w;
    const std::string slotName = Tips ? "Weapon" + std::to_string(i + 1) : std::string();
    if (w.HasRange) {
      range = std::max(range.value_or(w.Range), w.Range);
      if (Tips) parts->ranges.push_back(F(w.Range) + " (" + std::string(w.Name) + ")");
    }
    if (w.IsParalyzer()) {
      if (Tips) {
        parts->lines.push_back(slotName + ": " + std::string(w.Name) + " is a paralyzer (its damage stuns), counts 0");
        parts->sum.emplace_back("0");
      }
      continue;
    }
    const std::optional<double> d = w.Figures[wfDps];
    if (!d) {
      anyFailed = true;
      if (Tips) parts->failed.push_back(slotName + " " + std::string(w.Name) + ": " + WeaponTip(w, wfDps));
      continue;
    }
    total += *d;
    if (Tips) {
      parts->sum.push_back(F(*d));
      parts->lines.push_back(slotName + ": " + FirstLine(WeaponTip(w, wfDps)));
    }
  }
  Values[ufDps] = named && resolvedCount > 0 && !anyFailed ? std::optional<double>(total) : std::nullopt;
  Values[ufRange] = named && resolvedCount > 0 ? range : std::nullopt;
  if (!Tips) return;
  const auto& [unresolved, lines, sum, ranges, failed] = *parts;

  const std::string dpsName = FigureName(UnitFigureCaptions[ufDps]);
  const std::string rangeName = FigureName(UnitFigureCaptions[ufRange]);
  std::string notLoaded;
  if (!unresolved.empty()) notLoaded = "No loaded weapon is named " + Join(unresolved, ", ");
  std::string& dps = (*Tips)[ufDps];
  if (!named) dps = Empty(dpsName, "the unit has no Weapon1, Weapon2 or Weapon3");
  else if (resolvedCount == 0) dps = Empty(dpsName, notLoaded);
  else if (anyFailed) dps = Empty(dpsName, Join(failed, "\n"));
  else {
    // One weapon that counts: its own formula, as the weapons table shows it.
    if (resolvedCount == 1 && !resolved[0]->IsParalyzer()) {
      dps = FirstLine(WeaponTip(*resolved[0], wfDps));
    } else {
      dps = dpsName + " = " + Join(sum, " + ") + " = " + F(total);
      for (const std::string& l : lines) dps += "\n" + l;
    }
    if (!notLoaded.empty()) dps += "\n" + notLoaded;
    dps += "\nthe DPS of Weapon1 to Weapon3 summed; a paralyzer counts 0";
  }
  std::string& r = (*Tips)[ufRange];
  if (!named) r = Empty(rangeName, "the unit has no Weapon1, Weapon2 or Weapon3");
  else if (resolvedCount == 0) r = Empty(rangeName, notLoaded);
  else if (!range) r = Empty(rangeName, "no weapon of it has a Range that is a number");
  else {
    r = ranges.size() == 1 ? rangeName + " = " + ranges.front() : rangeName + " = max(" + Join(ranges, ", ") + ") = " + F(*range);
    if (!notLoaded.empty()) r += "\n" + notLoaded;
    r += "\nthe largest Range of its weapons";
  }
}

// A figure per 100 metal: Of times 100 divided by BuildCostMetal; the tooltip
// into Tip when asked for.
std::optional<double> Per100Metal(const char* Caption, const char* OfName, std::optional<double> Of,
                                  const std::string& OfWhy, const UnitInput& U, std::string* Tip) {
  const std::optional<double> metal = DivisorOf(U.BuildCostMetal);
  const std::optional<double> v = Of && metal ? std::optional<double>(*Of * 100 / *metal) : std::nullopt;
  if (Tip) {
    const std::string name = FigureName(Caption);
    if (!Of) *Tip = Empty(name, OfWhy);
    else if (!metal) *Tip = Empty(name, WhyNotDivisor(U.BuildCostMetal, "BuildCostMetal"));
    else
      *Tip = name + " = " + F(*Of) + " \xD7" " 100 \xF7" " " + F(*metal) + " = " + F(*v) + "\n" + std::string(OfName) +
             " \xD7" " 100 \xF7" " BuildCostMetal";
  }
  return v;
}

// Built by and Build seconds: of the loaded units whose build menus list U,
// the one with the largest WorkerTime (a builder without one only when none
// has one).
void BuilderFigures(const Data& D, const UnitInput& U, UnitValues& Values, int& Builder, UnitTips* Tips) {
  Builder = -1;
  Values[ufBuiltBy] = std::nullopt;
  Values[ufBuildSeconds] = std::nullopt;
  const int listed = U.UnitName.empty() ? -1 : D.Listed.Find(U.UnitName, U.NameHash, D.ListedName());
  std::vector<int> found;
  std::vector<std::string> notLoaded;
  if (listed >= 0)
    for (int l = D.ListedUnits[static_cast<size_t>(listed)].FirstBuilder; l >= 0; l = D.Links[static_cast<size_t>(l)].Next) {
      const MenuLink& link = D.Links[static_cast<size_t>(l)];
      const int b = link.Builder;
      if (b < 0) {
        if (Tips) notLoaded.emplace_back(link.Name);
        continue;
      }
      if (Tips) found.push_back(b);
      const Value& w = D.Units[static_cast<size_t>(b)].WorkerTime;
      if (Builder < 0) Builder = b;
      else if (const Value& best = D.Units[static_cast<size_t>(Builder)].WorkerTime;
               w.IsNumber && (!best.IsNumber || w.Number > best.Number))
        Builder = b;
    }
  const UnitInput* best = Builder >= 0 ? &D.Units[static_cast<size_t>(Builder)] : nullptr;
  const std::optional<double> time = U.BuildTime.Num();
  std::optional<double> worker;
  if (best) worker = DivisorOf(best->WorkerTime);
  if (best && time && worker) Values[ufBuildSeconds] = *time / *worker;
  if (!Tips) return;

  const std::string byName = FigureName(UnitFigureCaptions[ufBuiltBy]);
  const std::string secondsName = FigureName(UnitFigureCaptions[ufBuildSeconds]);
  if (listed < 0) {
    const std::string why =
        "no loaded build menu lists " + (U.UnitName.empty() ? std::string("a unit without UnitName") : std::string(U.UnitName));
    (*Tips)[ufBuiltBy] = Empty(byName, why);
    (*Tips)[ufBuildSeconds] = Empty(secondsName, why);
    return;
  }
  if (!best) {
    const std::string why = "the build menus that list it belong to no loaded unit (" + Join(notLoaded, ", ") + ")";
    (*Tips)[ufBuiltBy] = Empty(byName, why);
    (*Tips)[ufBuildSeconds] = Empty(secondsName, why);
    return;
  }
  const std::string missing = notLoaded.empty() ? "" : "\nBuild menus of units not loaded: " + Join(notLoaded, ", ");
  auto described = [](const UnitInput& B) {
    return std::string(B.UnitName) + " (WorkerTime " + (B.WorkerTime.Present ? std::string(B.WorkerTime.Text()) : std::string("missing")) + ")";
  };
  std::vector<std::string> others;
  for (int b : found)
    if (b != Builder) others.push_back(described(D.Units[static_cast<size_t>(b)]));
  std::string tip = byName + ": " + described(*best) + ", of the builders the one with the largest WorkerTime";
  if (!others.empty()) tip += "\nAlso built by " + Join(others, ", ");
  (*Tips)[ufBuiltBy] = tip + missing;

  if (!time) (*Tips)[ufBuildSeconds] = Empty(secondsName, WhyNot(U.BuildTime, "BuildTime"));
  else if (!worker)
    (*Tips)[ufBuildSeconds] = Empty(secondsName, WhyNotDivisor(best->WorkerTime, "WorkerTime") + " (of " + std::string(best->UnitName) + ")");
  else
    (*Tips)[ufBuildSeconds] = secondsName + " = " + F(*time) + " \xF7" " " + F(*worker) + " = " + F(*Values[ufBuildSeconds]) +
                              " (built by " + std::string(best->UnitName) + ")\nBuildTime \xF7" " the builder's WorkerTime";
}

// Works out the figures of unit U into Values and Builder, and into Tips the
// tooltips too when asked for.
void WorkOutUnit(const Data& D, const UnitInput& U, UnitValues& Values, int& Builder, UnitTips* Tips) {
  WeaponFiguresOfUnit(D, U, Values, Tips);
  Values[ufDpsPer100Metal] =
      Per100Metal(UnitFigureCaptions[ufDpsPer100Metal], "DPS", Values[ufDps],
                  Tips ? "there is no DPS (see its column)" : std::string(), U, Tips ? &(*Tips)[ufDpsPer100Metal] : nullptr);
  Values[ufHitPointsPer100Metal] =
      Per100Metal(UnitFigureCaptions[ufHitPointsPer100Metal], "MaxDamage", U.MaxDamage.Num(),
                  Tips ? WhyNot(U.MaxDamage, "MaxDamage") : std::string(), U, Tips ? &(*Tips)[ufHitPointsPer100Metal] : nullptr);
  BuilderFigures(D, U, Values, Builder, Tips);
}

std::string_view TextOf(const UnPacked& E) {
  if (!E.Contents || E.PFileSize <= 0) return {};
  return {E.Contents.get(), static_cast<size_t>(E.PFileSize)};
}

// A weapon's Range and Paralyzer as written (empty for none).
void SetMountKeys(WeaponInput& W, std::string_view Range, std::string_view Paralyzer) {
  if (const std::optional<double> r = ParseFigureNumber(Range)) {
    W.Range = *r;
    W.HasRange = true;
  }
  const std::optional<double> p = ParseFigureNumber(Paralyzer);
  W.Paralyzer = p && *p != 0;
  W.MountKeysRead = true;
}

// Each weapon (top-level section) of a file with the keys the figures need:
// its own keys, and "default" of the [DAMAGE] section inside it.
void ReadWeapons(std::string_view Text, DefinitionView& View, TextStore& Store, std::vector<WeaponInput>& Out) {
  ReadDefinitionView(Text, View);
  const size_t first = Out.size();
  std::vector<int> weaponOf(View.Sections.size(), -1);
  for (size_t s = 0; s < View.Sections.size(); ++s)
    if (View.Sections[s].Depth == 0) {
      weaponOf[s] = static_cast<int>(Out.size() - first);
      WeaponInput& w = Out.emplace_back();
      w.Name = Store.Keep(View.Sections[s].Name);
      w.NameHash = NameIndex::HashOf(w.Name);
    }
  // Range and Paralyzer: the first of each in a weapon's section counts.
  std::vector<std::optional<std::string_view>> range(Out.size() - first), paralyzer(Out.size() - first);
  auto weapon = [&](int Section) { return static_cast<size_t>(weaponOf[static_cast<size_t>(Section)]); };
  for (const DefinitionKeyView& k : View.Keys) {
    if (k.Section < 0) continue;
    const DefinitionSection& sec = View.Sections[static_cast<size_t>(k.Section)];
    if (sec.Depth == 0) {
      const size_t i = weapon(k.Section);
      WeaponInput& w = Out[first + i];
      if (EqualIgnoringCase(k.Name, "Burst")) w.Burst.Set(k.Value, Store);
      else if (EqualIgnoringCase(k.Name, "Reloadtime")) w.Reloadtime.Set(k.Value, Store);
      else if (EqualIgnoringCase(k.Name, "EnergyPerShot")) w.EnergyPerShot.Set(k.Value, Store);
      else if (EqualIgnoringCase(k.Name, "Range")) {
        if (!range[i]) range[i] = k.Value;
      } else if (EqualIgnoringCase(k.Name, "Paralyzer")) {
        if (!paralyzer[i]) paralyzer[i] = k.Value;
      }
    } else if (sec.Depth == 1 && EqualIgnoringCase(sec.Name, "DAMAGE") && EqualIgnoringCase(k.Name, "default")) {
      Out[first + weapon(sec.Parent)].Default.Set(k.Value, Store);
    }
  }
  for (size_t i = 0; i < range.size(); ++i)
    SetMountKeys(Out[first + i], range[i].value_or(std::string_view()), paralyzer[i].value_or(std::string_view()));
}

// The rows of each entry of a list, in the table's order: entry i's rows
// are Rows[First[i]] up to Rows[First[i + 1]].
struct RowsOfEntries {
  std::vector<int> First;
  std::vector<const Row*> Rows;
  EntryIndex Index;  // entry -> its position in the list
};

RowsOfEntries GroupRows(const RowTable& View, const AllUnpacked& List) {
  RowsOfEntries g{{}, {}, EntryIndex(static_cast<size_t>(List.Count))};
  for (int i = 0; i < List.Count; ++i) g.Index.Set(&List[i], i);
  std::vector<int> entryOf(static_cast<size_t>(View.RowCount()));
  g.First.assign(static_cast<size_t>(List.Count) + 1, 0);
  const UnPacked* last = nullptr;  // a file's rows mostly follow each other: one look-up for them
  int lastAt = -1;
  for (int r = 0; r < View.RowCount(); ++r) {
    const UnPacked* entry = View.RowAt(r).Data;
    const int e = entry == last && last ? lastAt : g.Index.Find(entry);
    last = entry;
    lastAt = e;
    entryOf[static_cast<size_t>(r)] = e;
    if (e >= 0) ++g.First[static_cast<size_t>(e) + 1];
  }
  for (size_t i = 1; i < g.First.size(); ++i) g.First[i] += g.First[i - 1];
  g.Rows.resize(static_cast<size_t>(g.First.back()));
  std::vector<int> next(g.First.begin(), g.First.end() - 1);
  for (int r = 0; r < View.RowCount(); ++r)
    if (const int e = entryOf[static_cast<size_t>(r)]; e >= 0)
      g.Rows[static_cast<size_t>(next[static_cast<size_t>(e)]++)] = &View.RowAt(r);
  return g;
}

// A few columns of a table (at most kMost), read from a row in one pass
// over its cells.
class CellPicker {
 public:
  static constexpr size_t kMost = 8;

  template <size_t N>
  CellPicker(const RowTable& View, const char* const (&Captions)[N]) {
    static_assert(N <= kMost);
    for (const char* c : Captions) {
      const int column = ColumnIndexByCaption(View, c);
      Has_[Captions_] = column > 0;
      if (column > 0) {
        // Kept in ascending order of sub-item, as SubItemsAt takes them.
        size_t i = Count_++;
        for (; i > 0 && SubItems_[i - 1] > static_cast<size_t>(column - 1); --i) {
          SubItems_[i] = SubItems_[i - 1];
          Caption_[i] = Caption_[i - 1];
        }
        SubItems_[i] = static_cast<size_t>(column - 1);
        Caption_[i] = Captions_;
      }
      ++Captions_;
    }
    for (size_t i = 0; i < Count_; ++i) At_[Caption_[i]] = i;
  }
  // Whether the table has the K-th column.
  bool Has(size_t K) const { return Has_[K]; }
  // Reads the cells of row R.
  void Pick(const Row& R) {
    Row_ = &R;
    R.SubItemsAt(SubItems_.data(), Count_, Found_.data());
  }
  // The picked row's cell of the K-th column (the row's caption when the
  // table has no such column, as column 0 is).
  std::string_view Cell(size_t K) const { return Has_[K] ? Found_[At_[K]] : std::string_view(Row_->Caption); }

 private:
  size_t Captions_ = 0, Count_ = 0;
  std::array<bool, kMost> Has_{};        // per caption: whether the table has its column
  std::array<size_t, kMost> At_{};       // per caption the table has: its place in SubItems_
  std::array<size_t, kMost> SubItems_{}; // the sub-items of the columns there are, ascending
  std::array<size_t, kMost> Caption_{};  // and the position of each among the captions
  std::array<std::string_view, kMost> Found_;
  const Row* Row_ = nullptr;
};

// A picked cell as a key's value: an empty cell, or a column the table
// lacks, is no key.
void Take(Value& Into, const CellPicker& Picker, size_t K, TextStore& Store, bool KeepText = false) {
  if (!Picker.Has(K)) return;
  if (const std::string_view cell = Picker.Cell(K); !cell.empty()) Into.Set(cell, Store, KeepText);
}

// The bytes passed over after a close: blanks, line ends, statement ends.
constexpr std::array<bool, 256> kPassedAfterClose = [] {
  std::array<bool, 256> passed{};
  for (const char c : {' ', '\t', '\r', '\n', ';'}) passed[static_cast<unsigned char>(c)] = true;
  return passed;
}();

// Whether a key follows the close of a nested section somewhere in Text: a
// table row ends at the first close, so such a key is missing from it. Only
// the bytes after each "}" are looked at; anything but another "}", a
// section header or the end counts (a comment is passed over).
bool KeyAfterClose(std::string_view Text) {
  size_t at = Text.find('}');
  while (at != std::string_view::npos) {
    size_t k = at + 1;
    for (;;) {
      while (k < Text.size() && kPassedAfterClose[static_cast<unsigned char>(Text[k])]) ++k;
      if (k + 1 < Text.size() && Text[k] == '/' && Text[k + 1] == '/') {
        k = Text.find('\n', k);
        if (k == std::string_view::npos) return false;
        continue;
      }
      break;
    }
    if (k >= Text.size()) return false;
    if (Text[k] == '}') {  // another close, looked past at once
      at = k;
      continue;
    }
    if (Text[k] != '[' && Text[k] != '\0') return true;
    at = Text.find('}', k);
  }
  return false;
}

// What the figures are read from besides Data: the tables' rows of each
// weapon and unit, for the keys read only where they count, and the columns
// of those keys.
struct Sources {
  std::vector<const Row*> WeaponRow;  // per weapon: its row; null when its file was read itself
  std::vector<const Row*> UnitRow;    // per unit
  CellPicker MountKeys, WorkerTime;
  Sources(const TableState& State)
      : MountKeys(State.WeaponView, {"Range", "Paralyzer"}), WorkerTime(State.UnitView, {"WorkerTime"}) {}
};

enum WeaponCell { wcSName, wcDefault, wcBurst, wcReload, wcEnergy, kWeaponCells };

// The weapons of one file from its Count rows, into Out[0, Count) and their
// rows into RowOf. False when the rows cannot stand for the definitions: two
// rows name one weapon; the file is then read itself.
bool WeaponsFromRows(const Row* const* Rows, size_t Count, CellPicker& Picker, TextStore& Store, WeaponInput* Out,
                     const Row** RowOf) {
  for (size_t i = 0; i < Count; ++i) {
    Picker.Pick(*Rows[i]);
    const std::string_view name = Picker.Cell(wcSName);
    const uint32_t hash = NameIndex::HashOf(name);
    for (size_t k = 0; k < i; ++k)
      if (Out[k].NameHash == hash && EqualIgnoringCase(Out[k].Name, name)) return false;
    WeaponInput& w = Out[i];
    w.Name = Store.Keep(name);
    w.NameHash = hash;
    Take(w.Default, Picker, wcDefault, Store);
    Take(w.Burst, Picker, wcBurst, Store);
    Take(w.Reloadtime, Picker, wcReload, Store);
    Take(w.EnergyPerShot, Picker, wcEnergy, Store);
    RowOf[i] = Rows[i];
  }
  return true;
}

void WorkOutWeapons(WeaponInput* Weapons, size_t Count) {
  for (size_t w = 0; w < Count; ++w) {
    WeaponValues values;
    WorkOutWeapon(Weapons[w], values, nullptr);
    Weapons[w].Figures.Keep(values);
  }
}

// From this many weapon rows on, two threads read them, each the files of
// about half the rows; below, a thread costs more than it saves.
constexpr size_t kWeaponRowsForTwoThreads = 2048;

// Also runs Alongside, with the texts it keeps, on the thread of the second
// half of the files, before it (all on this thread for a small mod).
void ReadAllWeapons(const TableState& State, Data& D, Sources& S, const std::function<void(TextStore&)>& Alongside) {
  const AllUnpacked& list = State.WeaponFiles;
  RowsOfEntries rows = GroupRows(State.WeaponView, list);
  const size_t rowCount = rows.Rows.size();
  auto rowsBefore = [&](int File) { return static_cast<size_t>(rows.First[static_cast<size_t>(File)]); };
  // A file's weapons are its rows, one each, weapon k being row k; a file
  // read itself mostly holds as many (its rows are its sections). Those are
  // put in place; the few files whose number differs (kept in ownCount)
  // have the list put together anew below.
  D.Weapons.resize(rowCount);
  S.WeaponRow.assign(rowCount, nullptr);
  std::vector<uint8_t> ownCount(static_cast<size_t>(list.Count), 0);
  std::vector<std::vector<WeaponInput>> readItself(static_cast<size_t>(list.Count));
  // The second thread also reads the units and build menus (about as much
  // work as a fifth of the weapon rows): it takes the files of fewer rows.
  const int middle = static_cast<int>(std::upper_bound(rows.First.begin(), rows.First.end() - 1, static_cast<int>(rowCount * 3 / 5)) -
                                      rows.First.begin());
  const int bounds[] = {0, std::min(middle, list.Count), list.Count};
  TextStore secondTexts;
  hpi::ParallelFor(2, rowCount >= kWeaponRowsForTwoThreads ? 2 : 1, [&](size_t Part) {
    CellPicker picker(State.WeaponView, {"SName", "Default", "Burst", "Reloadtime", "Energypershot"});
    TextStore& texts = Part == 0 ? D.Texts : secondTexts;
    if (Part == 1) Alongside(texts);
    DefinitionView view;
    std::vector<WeaponInput> read;
    for (int i = bounds[Part]; i < bounds[Part + 1]; ++i) {
      const size_t at = rowsBefore(i), end = rowsBefore(i + 1);
      if (at == end) continue;  // no row: nothing of it is loaded
      if (!KeyAfterClose(TextOf(list[i])) &&
          WeaponsFromRows(rows.Rows.data() + at, end - at, picker, texts, D.Weapons.data() + at, S.WeaponRow.data() + at)) {
        WorkOutWeapons(D.Weapons.data() + at, end - at);
        continue;
      }
      read.clear();
      ReadWeapons(TextOf(list[i]), view, texts, read);
      WorkOutWeapons(read.data(), read.size());
      std::fill(S.WeaponRow.begin() + static_cast<std::ptrdiff_t>(at), S.WeaponRow.begin() + static_cast<std::ptrdiff_t>(end),
                nullptr);
      if (read.size() == end - at) {
        std::move(read.begin(), read.end(), D.Weapons.begin() + static_cast<std::ptrdiff_t>(at));
      } else {
        ownCount[static_cast<size_t>(i)] = 1;
        readItself[static_cast<size_t>(i)] = std::move(read);
        read = {};
      }
    }
  });
  D.Texts.Adopt(std::move(secondTexts));
  D.WeaponsOfFile.assign(static_cast<size_t>(list.Count), {0, 0});
  if (std::find(ownCount.begin(), ownCount.end(), 1) == ownCount.end()) {
    for (int i = 0; i < list.Count; ++i)
      D.WeaponsOfFile[static_cast<size_t>(i)] = {static_cast<int>(rowsBefore(i)), static_cast<int>(rowsBefore(i + 1))};
  } else {
    std::vector<WeaponInput> weapons;
    std::vector<const Row*> rowOf;
    weapons.reserve(rowCount);
    rowOf.reserve(rowCount);
    for (int i = 0; i < list.Count; ++i) {
      const size_t at = rowsBefore(i), end = rowsBefore(i + 1);
      if (at == end) continue;
      const size_t first = weapons.size();
      if (ownCount[static_cast<size_t>(i)]) {
        std::vector<WeaponInput>& read = readItself[static_cast<size_t>(i)];
        weapons.insert(weapons.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
        rowOf.resize(weapons.size(), nullptr);
      } else {
        weapons.insert(weapons.end(), std::make_move_iterator(D.Weapons.begin() + static_cast<std::ptrdiff_t>(at)),
                       std::make_move_iterator(D.Weapons.begin() + static_cast<std::ptrdiff_t>(end)));
        rowOf.insert(rowOf.end(), S.WeaponRow.begin() + static_cast<std::ptrdiff_t>(at),
                     S.WeaponRow.begin() + static_cast<std::ptrdiff_t>(end));
      }
      D.WeaponsOfFile[static_cast<size_t>(i)] = {static_cast<int>(first), static_cast<int>(weapons.size())};
    }
    D.Weapons = std::move(weapons);
    S.WeaponRow = std::move(rowOf);
  }
  D.WeaponFiles = std::move(rows.Index);
  // A name stands for its first weapon in load order.
  D.WeaponByName = NameIndex(D.Weapons.size());
  for (size_t w = 0; w < D.Weapons.size(); ++w)
    D.WeaponByName.Add(D.Weapons[w].Name, D.Weapons[w].NameHash, static_cast<int>(w), D.WeaponName());
}

// A unit's Weapon1 to Weapon3 as its row holds them.
using MountNames = std::array<std::string_view, 3>;

enum UnitCell { ucName, ucWeapon1, ucWeapon2, ucWeapon3, ucCost, ucMaxDamage, ucBuildTime, kUnitCells };

// The units' rows: their keys, and Weapon1 to Weapon3 as the rows hold them
// (Slots, views of the rows, resolved by ResolveMounts once the weapons are
// all read). Texts are kept in Texts.
void ReadUnits(const TableState& State, Data& D, Sources& S, TextStore& Texts, std::vector<MountNames>& Slots) {
  const AllUnpacked& list = State.UnitFiles;
  RowsOfEntries rows = GroupRows(State.UnitView, list);
  CellPicker picker(State.UnitView, {"UnitName", "Weapon1", "Weapon2", "Weapon3", "BuildCostMetal", "MaxDamage", "BuildTime"});
  D.Units.reserve(static_cast<size_t>(list.Count));
  S.UnitRow.reserve(static_cast<size_t>(list.Count));
  Slots.reserve(static_cast<size_t>(list.Count));
  D.UnitOfFile.assign(static_cast<size_t>(list.Count), -1);
  D.UnitByName = NameIndex(static_cast<size_t>(list.Count));
  for (int i = 0; i < list.Count; ++i) {
    const auto at = static_cast<size_t>(rows.First[static_cast<size_t>(i)]);
    if (at == static_cast<size_t>(rows.First[static_cast<size_t>(i) + 1])) continue;
    const Row& row = *rows.Rows[at];  // a unit file is one definition
    picker.Pick(row);
    const int index = static_cast<int>(D.Units.size());
    UnitInput& u = D.Units.emplace_back();
    u.Entry = &list[i];
    if (picker.Has(ucName)) u.UnitName = Texts.Keep(picker.Cell(ucName));
    MountNames& slots = Slots.emplace_back();
    for (size_t k = 0; k < 3; ++k)
      if (picker.Has(ucWeapon1 + k)) slots[k] = picker.Cell(ucWeapon1 + k);
    Take(u.BuildCostMetal, picker, ucCost, Texts);
    Take(u.MaxDamage, picker, ucMaxDamage, Texts);
    Take(u.BuildTime, picker, ucBuildTime, Texts);
    S.UnitRow.push_back(&row);
    D.UnitOfFile[static_cast<size_t>(i)] = index;
    if (!u.UnitName.empty()) {
      u.NameHash = NameIndex::HashOf(u.UnitName);
      D.UnitByName.Add(u.UnitName, u.NameHash, index, D.UnitName());
    }
  }
  D.UnitFiles = std::move(rows.Index);
}

// Each unit's Weapon1 to Weapon3 resolved among the weapons; a weapon's
// Range and Paralyzer read once a unit mounts it.
void ResolveMounts(Data& D, Sources& S, const std::vector<MountNames>& Slots) {
  for (size_t u = 0; u < D.Units.size(); ++u) {
    UnitInput& unit = D.Units[u];
    for (size_t k = 0; k < 3; ++k) {
      const std::string_view name = Slots[u][k];
      if (name.empty()) continue;
      const int w = D.WeaponByName.Find(name, D.WeaponName());
      unit.Mounts[k] = w < 0 ? kUnknownWeapon : w;
      if (w < 0) {
        unit.Unknown[k] = D.Texts.Keep(name);
        continue;
      }
      WeaponInput& weapon = D.Weapons[static_cast<size_t>(w)];
      if (weapon.MountKeysRead) continue;
      S.MountKeys.Pick(*S.WeaponRow[static_cast<size_t>(w)]);
      SetMountKeys(weapon, S.MountKeys.Has(0) ? S.MountKeys.Cell(0) : std::string_view(),
                   S.MountKeys.Has(1) ? S.MountKeys.Cell(1) : std::string_view());
    }
  }
}

// The build menus' entries: which units list which (UNITMENU -> UNITNAME).
// A builder's WorkerTime is read once a menu names it.
void ReadMenus(const TableState& State, Data& D, Sources& S, TextStore& Texts) {
  const AllUnpacked& list = State.DownloadFiles;
  const RowsOfEntries rows = GroupRows(State.DownloadView, list);
  CellPicker picker(State.DownloadView, {"UnitMenu", "UnitName"});
  D.Listed = NameIndex(static_cast<size_t>(State.UnitFiles.Count));
  D.Links.reserve(rows.Rows.size());
  for (const Row* r : rows.Rows) {  // in load order, each file's rows in the table's order
    picker.Pick(*r);
    const std::string_view menu = picker.Cell(0), name = picker.Cell(1);
    if (menu.empty() || name.empty()) continue;
    const int listed = D.Listed.Add(name, NameIndex::HashOf(name), static_cast<int>(D.ListedUnits.size()), D.ListedName());
    if (static_cast<size_t>(listed) == D.ListedUnits.size()) D.ListedUnits.push_back({Texts.Keep(name), -1});
    const int builder = D.UnitByName.Find(menu, D.UnitName());
    int* tail = &D.ListedUnits[static_cast<size_t>(listed)].FirstBuilder;
    bool known = false;
    for (; *tail >= 0 && !known; tail = &D.Links[static_cast<size_t>(*tail)].Next) {
      const MenuLink& link = D.Links[static_cast<size_t>(*tail)];
      // Names equal ignoring case are one unit, loaded or not.
      known = builder >= 0 ? link.Builder == builder : link.Builder < 0 && EqualIgnoringCase(link.Name, menu);
    }
    if (known) continue;
    *tail = static_cast<int>(D.Links.size());
    D.Links.push_back({builder, builder < 0 ? Texts.Keep(menu) : std::string_view(), -1});
    if (builder < 0) continue;
    UnitInput& b = D.Units[static_cast<size_t>(builder)];
    if (b.WorkerTimeRead) continue;
    b.WorkerTimeRead = true;
    S.WorkerTime.Pick(*S.UnitRow[static_cast<size_t>(builder)]);
    Take(b.WorkerTime, S.WorkerTime, 0, Texts, true);
  }
}

}  // namespace

BalanceFigures::BalanceFigures() = default;
BalanceFigures::~BalanceFigures() = default;
BalanceFigures::BalanceFigures(BalanceFigures&&) noexcept = default;
BalanceFigures& BalanceFigures::operator=(BalanceFigures&&) noexcept = default;

size_t BalanceFigures::UnitCount() const { return D_ ? D_->Units.size() : 0; }
size_t BalanceFigures::WeaponCount() const { return D_ ? D_->Weapons.size() : 0; }

FigureRef BalanceFigures::UnitOf(const UnPacked* Entry) const {
  const int file = D_ ? D_->UnitFiles.Find(Entry) : -1;
  const int u = file < 0 ? -1 : D_->UnitOfFile[static_cast<size_t>(file)];
  return u < 0 ? FigureRef() : FigureRef{FigureRef::kUnit, u};
}

FigureRef BalanceFigures::WeaponOf(const UnPacked* Entry, std::string_view Section) const {
  const int file = D_ ? D_->WeaponFiles.Find(Entry) : -1;
  if (file < 0) return {};
  const auto [first, end] = D_->WeaponsOfFile[static_cast<size_t>(file)];
  // A file's weapon names often differ only at their end: the hashes tell them apart first.
  const uint32_t hash = first < end ? NameIndex::HashOf(Section) : 0;
  for (int w = first; w < end; ++w) {
    const WeaponInput& weapon = D_->Weapons[static_cast<size_t>(w)];
    if (weapon.NameHash == hash && EqualIgnoringCase(weapon.Name, Section)) return {FigureRef::kWeapon, w};
  }
  return {};
}

std::optional<double> BalanceFigures::Value(FigureRef Of, size_t K) const {
  if (Of.Kind == FigureRef::kUnit && K < kUnitFigureCount) return D_->Units[static_cast<size_t>(Of.Index)].Figures[K];
  if (Of.Kind == FigureRef::kWeapon && K < kWeaponFigureCount) return D_->Weapons[static_cast<size_t>(Of.Index)].Figures[K];
  return std::nullopt;
}

std::string BalanceFigures::Text(FigureRef Of, size_t K) const {
  if (Of.Kind == FigureRef::kUnit && K == ufBuiltBy) {
    const int b = D_->Units[static_cast<size_t>(Of.Index)].Builder;
    return b < 0 ? std::string() : std::string(D_->Units[static_cast<size_t>(b)].UnitName);
  }
  const std::optional<double> v = Value(Of, K);
  return v ? FormatFigure(*v) : std::string();
}

Figure BalanceFigures::Worked(FigureRef Of, size_t K) const {
  Figure f{Text(Of, K), "", Value(Of, K)};
  if (Of.Kind == FigureRef::kUnit && K < kUnitFigureCount) {
    UnitValues values;
    UnitTips tips;
    int builder = -1;
    WorkOutUnit(*D_, D_->Units[static_cast<size_t>(Of.Index)], values, builder, &tips);
    f.Tooltip = std::move(tips[K]);
  } else if (Of.Kind == FigureRef::kWeapon && K < kWeaponFigureCount) {
    f.Tooltip = WeaponTip(D_->Weapons[static_cast<size_t>(Of.Index)], K);
  }
  return f;
}

BalanceFigures ComputeBalanceFigures(const TableState& State) {
  BalanceFigures result;
  result.D_ = std::make_unique<BalanceFigures::Data>();
  Data& d = *result.D_;
  Sources sources(State);
  std::vector<MountNames> mounts;
  ReadAllWeapons(State, d, sources, [&](TextStore& Texts) {
    ReadUnits(State, d, sources, Texts, mounts);
    ReadMenus(State, d, sources, Texts);
  });
  ResolveMounts(d, sources, mounts);
  for (UnitInput& u : d.Units) {
    UnitValues values;
    WorkOutUnit(d, u, values, u.Builder, nullptr);
    u.Figures.Keep(values);
  }
  return result;
}
