#include "mod/balance_figures.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "archive/ascii_case.h"
#include "definitions/column_sort.h"
#include "definitions/definition_reader.h"
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

// A key's value as read from a definition.
struct Value {
  bool Present = false;
  std::string_view Text;
  std::optional<double> Number;
  void Set(std::string_view V, TextStore& Store, bool IsName = false) {
    if (Present) return;  // the first of a name counts
    Present = true;
    Text = Store.Keep(V);
    if (!IsName) Number = ParseFigureNumber(V);
  }
};

// A divisor: a number above 0.
std::optional<double> DivisorOf(const Value& V) {
  if (V.Number && *V.Number <= 0) return std::nullopt;
  return V.Number;
}
// Why a value gives no number.
std::string WhyNot(const Value& V, const char* Key) {
  if (!V.Present) return "there is no " + std::string(Key);
  if (!V.Number) return std::string(Key) + " is not a number (" + std::string(V.Text) + ")";
  return "";
}
// Why a value gives no divisor.
std::string WhyNotDivisor(const Value& V, const char* Key) {
  if (V.Number && *V.Number <= 0) return std::string(Key) + " is " + std::string(V.Text) + ", and a divisor must be above 0";
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

struct WeaponInput {
  std::string_view Name;  // the section name as written
  Value Default, Burst, Reloadtime, EnergyPerShot, Range, Paralyzer;
  WeaponValues Values;
  bool IsParalyzer() const { return Paralyzer.Number && *Paralyzer.Number != 0; }
};

struct UnitInput {
  const UnPacked* Entry = nullptr;
  Value UnitName, Weapons[3], BuildCostMetal, MaxDamage, BuildTime, WorkerTime;
  UnitValues Values;
  int Builder = -1;  // the unit that builds it (Built by), -1 when none
};

// One builder of a unit as a build menu names it (UNITMENU), linked to the
// next builder of the same unit.
struct MenuLink {
  std::string_view Builder;
  int Next = -1;
};

}  // namespace

struct BalanceFigures::Data {
  TextStore Texts;
  std::vector<WeaponInput> Weapons;  // in load order
  std::vector<UnitInput> Units;      // in load order
  NameIndex WeaponByName, UnitByName;
  // The units the build menus list (UNITNAME), each with the first of its
  // builders in Links, in load order, each builder once.
  NameIndex Listed;
  std::vector<int> FirstBuilder;
  std::vector<MenuLink> Links;
  EntryIndex UnitOfEntry;     // entry -> index in Units
  EntryIndex WeaponsOfEntry;  // entry -> index in WeaponRanges
  std::vector<std::pair<int, int>> WeaponRanges;  // a file's weapons: [first, end) in Weapons
};

namespace {

using Data = BalanceFigures::Data;

// Works out the figures of weapon W into Values, and into Tips the tooltips
// too when asked for.
void WorkOutWeapon(const WeaponInput& W, WeaponValues& Values, WeaponTips* Tips) {
  const std::optional<double> def = W.Default.Number;
  // No Burst is one shot a salvo.
  const double burst = W.Burst.Number ? std::max(1.0, *W.Burst.Number) : 1.0;
  const bool burstOk = !W.Burst.Present || W.Burst.Number.has_value();
  const std::optional<double> reload = DivisorOf(W.Reloadtime);
  std::optional<double> perSalvo;
  if (def && burstOk) perSalvo = *def * burst;
  Values[wfDamagePerSalvo] = perSalvo;
  Values[wfDps] = perSalvo && reload ? std::optional<double>(*perSalvo / *reload) : std::nullopt;
  const std::optional<double> shot = W.EnergyPerShot.Number;
  Values[wfEnergyPerSecond] = shot && reload ? std::optional<double>(*shot / *reload) : std::nullopt;
  if (!Tips) return;

  const std::string salvoName = FigureName(WeaponFigureCaptions[wfDamagePerSalvo]);
  const std::string dpsName = FigureName(WeaponFigureCaptions[wfDps]);
  const std::string energyName = FigureName(WeaponFigureCaptions[wfEnergyPerSecond]);
  const std::string of = " (" + std::string(W.Name) + ")";
  const std::string defWhy = WhyNot(W.Default, "[DAMAGE] default");
  const std::string burstWhy = burstOk ? "" : "Burst is not a number (" + std::string(W.Burst.Text) + ")";
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
  std::vector<std::string> unresolved, lines, sum, ranges, failed;  // for the tooltips
  const WeaponInput* resolved[3] = {};
  size_t resolvedCount = 0;
  bool anyFailed = false;
  double total = 0;
  std::optional<double> range;
  bool named = false;
  for (int i = 0; i < 3; ++i) {
    const Value& slot = U.Weapons[i];
    if (!slot.Present || slot.Text.empty()) continue;
    named = true;
    const int at = D.WeaponByName.Find(slot.Text);
    if (at < 0) {
      if (Tips) unresolved.emplace_back(slot.Text);
      continue;
    }
    const WeaponInput& w = D.Weapons[static_cast<size_t>(at)];
    resolved[resolvedCount++] = &w;
    const std::string slotName = Tips ? "Weapon" + std::to_string(i + 1) : std::string();
    if (w.Range.Number) {
      range = std::max(range.value_or(*w.Range.Number), *w.Range.Number);
      if (Tips) ranges.push_back(F(*w.Range.Number) + " (" + std::string(w.Name) + ")");
    }
    if (w.IsParalyzer()) {
      if (Tips) {
        lines.push_back(slotName + ": " + std::string(w.Name) + " is a paralyzer (its damage stuns), counts 0");
        sum.emplace_back("0");
      }
      continue;
    }
    const std::optional<double>& d = w.Values[wfDps];
    if (!d) {
      anyFailed = true;
      if (Tips) failed.push_back(slotName + " " + std::string(w.Name) + ": " + WeaponTip(w, wfDps));
      continue;
    }
    total += *d;
    if (Tips) {
      sum.push_back(F(*d));
      lines.push_back(slotName + ": " + FirstLine(WeaponTip(w, wfDps)));
    }
  }
  Values[ufDps] = named && resolvedCount > 0 && !anyFailed ? std::optional<double>(total) : std::nullopt;
  Values[ufRange] = named && resolvedCount > 0 ? range : std::nullopt;
  if (!Tips) return;

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
  const int listed = U.UnitName.Text.empty() ? -1 : D.Listed.Find(U.UnitName.Text);
  std::vector<int> found;
  std::vector<std::string> notLoaded;
  if (listed >= 0)
    for (int l = D.FirstBuilder[static_cast<size_t>(listed)]; l >= 0; l = D.Links[static_cast<size_t>(l)].Next) {
      const MenuLink& link = D.Links[static_cast<size_t>(l)];
      const int b = D.UnitByName.Find(link.Builder);
      if (b < 0) {
        if (Tips) notLoaded.emplace_back(link.Builder);
        continue;
      }
      if (Tips) found.push_back(b);
      const Value& w = D.Units[static_cast<size_t>(b)].WorkerTime;
      if (Builder < 0) Builder = b;
      else if (const Value& best = D.Units[static_cast<size_t>(Builder)].WorkerTime;
               w.Number && (!best.Number || *w.Number > *best.Number))
        Builder = b;
    }
  const UnitInput* best = Builder >= 0 ? &D.Units[static_cast<size_t>(Builder)] : nullptr;
  const std::optional<double> time = U.BuildTime.Number;
  const std::optional<double> worker = best ? DivisorOf(best->WorkerTime) : std::nullopt;
  if (best && time && worker) Values[ufBuildSeconds] = *time / *worker;
  if (!Tips) return;

  const std::string byName = FigureName(UnitFigureCaptions[ufBuiltBy]);
  const std::string secondsName = FigureName(UnitFigureCaptions[ufBuildSeconds]);
  if (listed < 0) {
    const std::string why =
        "no loaded build menu lists " + (U.UnitName.Text.empty() ? std::string("a unit without UnitName") : std::string(U.UnitName.Text));
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
    return std::string(B.UnitName.Text) + " (WorkerTime " + (B.WorkerTime.Present ? std::string(B.WorkerTime.Text) : std::string("missing")) + ")";
  };
  std::vector<std::string> others;
  for (int b : found)
    if (b != Builder) others.push_back(described(D.Units[static_cast<size_t>(b)]));
  std::string tip = byName + ": " + described(*best) + ", of the builders the one with the largest WorkerTime";
  if (!others.empty()) tip += "\nAlso built by " + Join(others, ", ");
  (*Tips)[ufBuiltBy] = tip + missing;

  if (!time) (*Tips)[ufBuildSeconds] = Empty(secondsName, WhyNot(U.BuildTime, "BuildTime"));
  else if (!worker)
    (*Tips)[ufBuildSeconds] = Empty(secondsName, WhyNotDivisor(best->WorkerTime, "WorkerTime") + " (of " + std::string(best->UnitName.Text) + ")");
  else
    (*Tips)[ufBuildSeconds] = secondsName + " = " + F(*time) + " \xF7" " " + F(*worker) + " = " + F(*Values[ufBuildSeconds]) +
                              " (built by " + std::string(best->UnitName.Text) + ")\nBuildTime \xF7" " the builder's WorkerTime";
}

// Works out the figures of unit U into Values and Builder, and into Tips the
// tooltips too when asked for.
void WorkOutUnit(const Data& D, const UnitInput& U, UnitValues& Values, int& Builder, UnitTips* Tips) {
  WeaponFiguresOfUnit(D, U, Values, Tips);
  Values[ufDpsPer100Metal] =
      Per100Metal(UnitFigureCaptions[ufDpsPer100Metal], "DPS", Values[ufDps],
                  Tips ? "there is no DPS (see its column)" : std::string(), U, Tips ? &(*Tips)[ufDpsPer100Metal] : nullptr);
  Values[ufHitPointsPer100Metal] =
      Per100Metal(UnitFigureCaptions[ufHitPointsPer100Metal], "MaxDamage", U.MaxDamage.Number,
                  Tips ? WhyNot(U.MaxDamage, "MaxDamage") : std::string(), U, Tips ? &(*Tips)[ufHitPointsPer100Metal] : nullptr);
  BuilderFigures(D, U, Values, Builder, Tips);
}

std::string_view TextOf(const UnPacked& E) {
  if (!E.Contents || E.PFileSize <= 0) return {};
  return {E.Contents.get(), static_cast<size_t>(E.PFileSize)};
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
      Out.emplace_back().Name = Store.Keep(View.Sections[s].Name);
    }
  auto weapon = [&](int Section) -> WeaponInput& { return Out[first + static_cast<size_t>(weaponOf[static_cast<size_t>(Section)])]; };
  for (const DefinitionKeyView& k : View.Keys) {
    if (k.Section < 0) continue;
    const DefinitionSection& sec = View.Sections[static_cast<size_t>(k.Section)];
    if (sec.Depth == 0) {
      WeaponInput& w = weapon(k.Section);
      if (EqualIgnoringCase(k.Name, "Burst")) w.Burst.Set(k.Value, Store);
      else if (EqualIgnoringCase(k.Name, "Reloadtime")) w.Reloadtime.Set(k.Value, Store);
      else if (EqualIgnoringCase(k.Name, "EnergyPerShot")) w.EnergyPerShot.Set(k.Value, Store);
      else if (EqualIgnoringCase(k.Name, "Range")) w.Range.Set(k.Value, Store);
      else if (EqualIgnoringCase(k.Name, "Paralyzer")) w.Paralyzer.Set(k.Value, Store);
    } else if (sec.Depth == 1 && EqualIgnoringCase(sec.Name, "DAMAGE") && EqualIgnoringCase(k.Name, "default")) {
      weapon(sec.Parent).Default.Set(k.Value, Store);
    }
  }
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
  for (int r = 0; r < View.RowCount(); ++r) {
    const int e = g.Index.Find(View.RowAt(r).Data);
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

// A few columns of a table, read from a row in one pass over its cells.
class CellPicker {
 public:
  CellPicker(const RowTable& View, std::initializer_list<const char*> Captions) {
    std::vector<std::pair<size_t, size_t>> wanted;  // sub-item, position among the captions
    for (const char* c : Captions) {
      const int column = ColumnIndexByCaption(View, c);
      if (column > 0) wanted.emplace_back(static_cast<size_t>(column - 1), Columns_.size());
      Columns_.push_back(column);
    }
    std::sort(wanted.begin(), wanted.end());
    for (const auto& [subItem, slot] : wanted) {
      SubItems_.push_back(subItem);
      Slots_.push_back(slot);
    }
    Found_.resize(wanted.size());
  }
  // Whether the table has the K-th column.
  bool Has(size_t K) const { return Columns_[K] > 0; }
  // Cells[K]: the row's cell of the K-th column (the row's caption when the
  // table has no such column, as column 0 is).
  void Pick(const Row& R, std::string_view* Cells) const {
    for (size_t k = 0; k < Columns_.size(); ++k) Cells[k] = Columns_[k] > 0 ? std::string_view() : std::string_view(R.Caption);
    R.SubItemsAt(SubItems_.data(), SubItems_.size(), Found_.data());
    for (size_t i = 0; i < Found_.size(); ++i) Cells[Slots_[i]] = Found_[i];
  }

 private:
  std::vector<int> Columns_;       // per caption: its column, 0 when the table has none
  std::vector<size_t> SubItems_;   // the sub-items of the columns there are, ascending
  std::vector<size_t> Slots_;      // and the position of each among the captions
  mutable std::vector<std::string_view> Found_;
};

// A picked cell as a key's value: an empty cell, or a column the table
// lacks, is no key.
void Take(Value& Into, const CellPicker& Picker, size_t K, const std::string_view* Cells, TextStore& Store,
          bool IsName = false) {
  if (Picker.Has(K) && !Cells[K].empty()) Into.Set(Cells[K], Store, IsName);
}

// Whether a key follows the close of a nested section somewhere in Text: a
// table row ends at the first close, so such a key is missing from it. Only
// the bytes after each "}" are looked at; anything but another "}", a
// section header or the end counts (a comment is passed over).
bool KeyAfterClose(std::string_view Text) {
  for (size_t at = Text.find('}'); at != std::string_view::npos; at = Text.find('}', at)) {
    size_t k = at + 1;
    for (;;) {
      while (k < Text.size() && (Text[k] == ' ' || Text[k] == '\t' || Text[k] == '\r' || Text[k] == '\n' || Text[k] == ';'))
        ++k;
      if (k + 1 < Text.size() && Text[k] == '/' && Text[k + 1] == '/') {
        k = Text.find('\n', k);
        if (k == std::string_view::npos) return false;
        continue;
      }
      break;
    }
    if (k < Text.size() && Text[k] != '}' && Text[k] != '[' && Text[k] != '\0') return true;
    at = k;
  }
  return false;
}

enum WeaponCell { wcSName, wcDefault, wcBurst, wcReload, wcEnergy, wcRange, wcParalyzer, kWeaponCells };

// The weapons of one file from its rows, appended to Out. False when the
// rows cannot stand for the definitions: two rows name one weapon; the file
// is then read itself.
bool WeaponsFromRows(const Row* const* Rows, size_t Count, const CellPicker& Picker, TextStore& Store,
                     std::vector<WeaponInput>& Out) {
  const size_t first = Out.size();
  std::string_view cells[kWeaponCells];
  for (size_t i = 0; i < Count; ++i) {
    Picker.Pick(*Rows[i], cells);
    for (size_t k = first; k < Out.size(); ++k)
      if (EqualIgnoringCase(Out[k].Name, cells[wcSName])) return false;
    WeaponInput& w = Out.emplace_back();
    w.Name = Store.Keep(cells[wcSName]);
    Take(w.Default, Picker, wcDefault, cells, Store);
    Take(w.Burst, Picker, wcBurst, cells, Store);
    Take(w.Reloadtime, Picker, wcReload, cells, Store);
    Take(w.EnergyPerShot, Picker, wcEnergy, cells, Store);
    Take(w.Range, Picker, wcRange, cells, Store);
    Take(w.Paralyzer, Picker, wcParalyzer, cells, Store);
  }
  return true;
}

void ReadAllWeapons(const TableState& State, Data& D) {
  const AllUnpacked& list = State.WeaponFiles;
  const RowsOfEntries rows = GroupRows(State.WeaponView, list);
  const CellPicker picker(State.WeaponView,
                          {"SName", "Default", "Burst", "Reloadtime", "Energypershot", "Range", "Paralyzer"});
  DefinitionView view;
  D.Weapons.reserve(rows.Rows.size());
  D.WeaponRanges.reserve(static_cast<size_t>(list.Count));
  D.WeaponsOfEntry = EntryIndex(static_cast<size_t>(list.Count));
  for (int i = 0; i < list.Count; ++i) {
    const auto at = static_cast<size_t>(rows.First[static_cast<size_t>(i)]);
    const auto end = static_cast<size_t>(rows.First[static_cast<size_t>(i) + 1]);
    if (at == end) continue;  // no row: nothing of it is loaded
    const size_t first = D.Weapons.size();
    if (KeyAfterClose(TextOf(list[i])) || !WeaponsFromRows(rows.Rows.data() + at, end - at, picker, D.Texts, D.Weapons)) {
      D.Weapons.resize(first);
      ReadWeapons(TextOf(list[i]), view, D.Texts, D.Weapons);
    }
    D.WeaponsOfEntry.Set(&list[i], static_cast<int>(D.WeaponRanges.size()));
    D.WeaponRanges.emplace_back(static_cast<int>(first), static_cast<int>(D.Weapons.size()));
  }
  // A name stands for its first weapon in load order.
  D.WeaponByName = NameIndex(D.Weapons.size());
  for (size_t w = 0; w < D.Weapons.size(); ++w) {
    WorkOutWeapon(D.Weapons[w], D.Weapons[w].Values, nullptr);
    D.WeaponByName.Add(D.Weapons[w].Name, static_cast<int>(w));
  }
}

// The build menus' entries: which units list which (UNITMENU -> UNITNAME).
void ReadMenus(const TableState& State, Data& D) {
  const AllUnpacked& list = State.DownloadFiles;
  const RowsOfEntries rows = GroupRows(State.DownloadView, list);
  const CellPicker picker(State.DownloadView, {"UnitMenu", "UnitName"});
  D.Listed = NameIndex(static_cast<size_t>(State.UnitFiles.Count));
  D.Links.reserve(rows.Rows.size());
  std::string_view cells[2];
  for (const Row* r : rows.Rows) {  // in load order, each file's rows in the table's order
    picker.Pick(*r, cells);
    const std::string_view menu = cells[0], name = cells[1];
    if (menu.empty() || name.empty()) continue;
    const int listed = D.Listed.Add(D.Texts.Keep(name), static_cast<int>(D.FirstBuilder.size()));
    if (static_cast<size_t>(listed) == D.FirstBuilder.size()) D.FirstBuilder.push_back(-1);
    int* tail = &D.FirstBuilder[static_cast<size_t>(listed)];
    bool known = false;
    for (; *tail >= 0 && !known; tail = &D.Links[static_cast<size_t>(*tail)].Next)
      known = EqualIgnoringCase(D.Links[static_cast<size_t>(*tail)].Builder, menu);
    if (known) continue;
    *tail = static_cast<int>(D.Links.size());
    D.Links.push_back({D.Texts.Keep(menu), -1});
  }
}

enum UnitCell { ucName, ucWeapon1, ucWeapon2, ucWeapon3, ucCost, ucMaxDamage, ucBuildTime, ucWorkerTime, kUnitCells };

void ReadUnits(const TableState& State, Data& D) {
  const AllUnpacked& list = State.UnitFiles;
  const RowsOfEntries rows = GroupRows(State.UnitView, list);
  const CellPicker picker(State.UnitView, {"UnitName", "Weapon1", "Weapon2", "Weapon3", "BuildCostMetal", "MaxDamage",
                                           "BuildTime", "WorkerTime"});
  D.Units.reserve(static_cast<size_t>(list.Count));
  D.UnitOfEntry = EntryIndex(static_cast<size_t>(list.Count));
  D.UnitByName = NameIndex(static_cast<size_t>(list.Count));
  std::string_view cells[kUnitCells];
  for (int i = 0; i < list.Count; ++i) {
    const auto at = static_cast<size_t>(rows.First[static_cast<size_t>(i)]);
    if (at == static_cast<size_t>(rows.First[static_cast<size_t>(i) + 1])) continue;
    picker.Pick(*rows.Rows[at], cells);  // a unit file is one definition
    UnitInput& u = D.Units.emplace_back();
    u.Entry = &list[i];
    Take(u.UnitName, picker, ucName, cells, D.Texts, true);
    for (size_t k = 0; k < 3; ++k) Take(u.Weapons[k], picker, ucWeapon1 + k, cells, D.Texts, true);
    Take(u.BuildCostMetal, picker, ucCost, cells, D.Texts);
    Take(u.MaxDamage, picker, ucMaxDamage, cells, D.Texts);
    Take(u.BuildTime, picker, ucBuildTime, cells, D.Texts);
    Take(u.WorkerTime, picker, ucWorkerTime, cells, D.Texts);
    D.UnitOfEntry.Set(u.Entry, static_cast<int>(D.Units.size() - 1));
    if (!u.UnitName.Text.empty()) D.UnitByName.Add(u.UnitName.Text, static_cast<int>(D.Units.size() - 1));
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
  const int u = D_ ? D_->UnitOfEntry.Find(Entry) : -1;
  return u < 0 ? FigureRef() : FigureRef{FigureRef::kUnit, u};
}

FigureRef BalanceFigures::WeaponOf(const UnPacked* Entry, std::string_view Section) const {
  const int range = D_ ? D_->WeaponsOfEntry.Find(Entry) : -1;
  if (range < 0) return {};
  const auto [first, end] = D_->WeaponRanges[static_cast<size_t>(range)];
  for (int w = first; w < end; ++w)
    if (EqualIgnoringCase(D_->Weapons[static_cast<size_t>(w)].Name, Section)) return {FigureRef::kWeapon, w};
  return {};
}

std::optional<double> BalanceFigures::Value(FigureRef Of, size_t K) const {
  if (Of.Kind == FigureRef::kUnit && K < kUnitFigureCount) return D_->Units[static_cast<size_t>(Of.Index)].Values[K];
  if (Of.Kind == FigureRef::kWeapon && K < kWeaponFigureCount) return D_->Weapons[static_cast<size_t>(Of.Index)].Values[K];
  return std::nullopt;
}

std::string BalanceFigures::Text(FigureRef Of, size_t K) const {
  if (Of.Kind == FigureRef::kUnit && K == ufBuiltBy) {
    const int b = D_->Units[static_cast<size_t>(Of.Index)].Builder;
    return b < 0 ? std::string() : std::string(D_->Units[static_cast<size_t>(b)].UnitName.Text);
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
  ReadAllWeapons(State, d);
  ReadMenus(State, d);
  ReadUnits(State, d);
  for (UnitInput& u : d.Units) WorkOutUnit(d, u, u.Values, u.Builder, nullptr);
  return result;
}
