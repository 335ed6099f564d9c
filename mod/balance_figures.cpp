#include "mod/balance_figures.h"

#include <algorithm>
#include <utility>

#include "archive/ascii_case.h"
#include "definitions/column_sort.h"
#include "definitions/definition_reader.h"
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
// Made once per caption: the figures of thousands of definitions use them.
const std::string& FigureName(const char* Caption) {
  static std::unordered_map<const char*, std::string> names = [] {
    std::unordered_map<const char*, std::string> n;
    for (const char* c : WeaponFigureCaptions) n[c] = std::string(c).substr(0, std::string(c).rfind(" ("));
    for (const char* c : UnitFigureCaptions) n[c] = std::string(c).substr(0, std::string(c).rfind(" ("));
    return n;
  }();
  return names.at(Caption);
}

// A key's value as read from a definition.
struct Value {
  bool Present = false;
  std::string Text;
  std::optional<double> Number;
  void Set(std::string_view V) {
    if (Present) return;  // the first of a name counts
    Present = true;
    Text.assign(V);
    Number = ParseFigureNumber(V);
  }
};

// A number a formula needs, or why it has none.
struct Needed {
  std::optional<double> Number;
  std::string Why;
};
Needed Need(const Value& V, const char* Key) {
  if (!V.Present) return {std::nullopt, "there is no " + std::string(Key)};
  if (!V.Number) return {std::nullopt, std::string(Key) + " is not a number (" + V.Text + ")"};
  return {V.Number, ""};
}
// A divisor: the same, and above 0.
Needed NeedDivisor(const Value& V, const char* Key) {
  Needed n = Need(V, Key);
  if (n.Number && *n.Number <= 0) return {std::nullopt, std::string(Key) + " is " + V.Text + ", and a divisor must be above 0"};
  return n;
}

std::string F(double V) { return FormatFigure(V); }

Figure Empty(const std::string& Name, const std::string& Why) { return {"", Name + " cannot be worked out: " + Why, std::nullopt}; }
Figure Number(double V, std::string Tooltip) { return {F(V), std::move(Tooltip), V}; }

struct WeaponInput {
  std::string Name;  // the section name as written
  Value Default, Burst, Reloadtime, EnergyPerShot, Range, Paralyzer;
  WeaponFigures Figures;
  bool IsParalyzer() const { return Paralyzer.Number && *Paralyzer.Number != 0; }
};

struct UnitInput {
  const UnPacked* Entry = nullptr;
  Value UnitName, Weapons[3], BuildCostMetal, MaxDamage, BuildTime, WorkerTime;
};

std::string_view TextOf(const UnPacked& E) {
  if (!E.Contents || E.PFileSize <= 0) return {};
  return {E.Contents.get(), static_cast<size_t>(E.PFileSize)};
}

// Each weapon (top-level section) of a file with the keys the figures need:
// its own keys, and "default" of the [DAMAGE] section inside it.
void ReadWeapons(std::string_view Text, DefinitionView& View, std::vector<WeaponInput>& Out) {
  ReadDefinitionView(Text, View);
  std::vector<int> weaponOf(View.Sections.size(), -1);
  for (size_t s = 0; s < View.Sections.size(); ++s)
    if (View.Sections[s].Depth == 0) {
      weaponOf[s] = static_cast<int>(Out.size());
      Out.emplace_back().Name = View.Sections[s].Name;
    }
  for (const DefinitionKeyView& k : View.Keys) {
    if (k.Section < 0) continue;
    const DefinitionSection& sec = View.Sections[static_cast<size_t>(k.Section)];
    if (sec.Depth == 0) {
      WeaponInput& w = Out[static_cast<size_t>(weaponOf[static_cast<size_t>(k.Section)])];
      if (EqualIgnoringCase(k.Name, "Burst")) w.Burst.Set(k.Value);
      else if (EqualIgnoringCase(k.Name, "Reloadtime")) w.Reloadtime.Set(k.Value);
      else if (EqualIgnoringCase(k.Name, "EnergyPerShot")) w.EnergyPerShot.Set(k.Value);
      else if (EqualIgnoringCase(k.Name, "Range")) w.Range.Set(k.Value);
      else if (EqualIgnoringCase(k.Name, "Paralyzer")) w.Paralyzer.Set(k.Value);
    } else if (sec.Depth == 1 && EqualIgnoringCase(sec.Name, "DAMAGE") && EqualIgnoringCase(k.Name, "default")) {
      Out[static_cast<size_t>(weaponOf[static_cast<size_t>(sec.Parent)])].Default.Set(k.Value);
    }
  }
}

void ComputeWeapon(WeaponInput& W) {
  const std::string salvoName = FigureName(WeaponFigureCaptions[wfDamagePerSalvo]);
  const std::string dpsName = FigureName(WeaponFigureCaptions[wfDps]);
  const std::string energyName = FigureName(WeaponFigureCaptions[wfEnergyPerSecond]);
  const std::string of = " (" + W.Name + ")";
  const Needed def = Need(W.Default, "[DAMAGE] default");
  // No Burst is one shot a salvo.
  const double burst = W.Burst.Number ? std::max(1.0, *W.Burst.Number) : 1.0;
  const bool burstOk = !W.Burst.Present || W.Burst.Number.has_value();
  const std::string burstWhy = burstOk ? "" : "Burst is not a number (" + W.Burst.Text + ")";
  const Needed reload = NeedDivisor(W.Reloadtime, "Reloadtime");
  Figure& salvo = W.Figures[wfDamagePerSalvo];
  std::optional<double> perSalvo;
  if (!def.Number) salvo = Empty(salvoName, def.Why + of);
  else if (!burstOk) salvo = Empty(salvoName, burstWhy + of);
  else {
    perSalvo = *def.Number * burst;
    salvo = Number(*perSalvo, salvoName + " = " + F(*def.Number) + " \xD7" " " + F(burst) + " = " + F(*perSalvo) + of +
                                  "\nDefault \xD7" " max(1, Burst)");
  }
  Figure& dps = W.Figures[wfDps];
  if (!perSalvo) dps = Empty(dpsName, (def.Number ? burstWhy : def.Why) + of);
  else if (!reload.Number) dps = Empty(dpsName, reload.Why + of);
  else {
    const double v = *perSalvo / *reload.Number;
    dps = Number(v, dpsName + " = " + F(*def.Number) + " \xD7" " " + F(burst) + " \xF7" " " + F(*reload.Number) + " = " + F(v) + of +
                        "\nDefault \xD7" " max(1, Burst) \xF7" " Reloadtime");
  }
  Figure& energy = W.Figures[wfEnergyPerSecond];
  const Needed shot = Need(W.EnergyPerShot, "EnergyPerShot");
  if (!shot.Number) energy = Empty(energyName, shot.Why + of);
  else if (!reload.Number) energy = Empty(energyName, reload.Why + of);
  else {
    const double v = *shot.Number / *reload.Number;
    energy = Number(v, energyName + " = " + F(*shot.Number) + " \xF7" " " + F(*reload.Number) + " = " + F(v) + of +
                           "\nEnergyPerShot \xF7" " Reloadtime");
  }
}

std::string Join(const std::vector<std::string>& Parts, const char* Between) {
  std::string out;
  for (size_t i = 0; i < Parts.size(); ++i) out += (i ? Between : "") + Parts[i];
  return out;
}

// The unit's weapons: DPS (ufDps) and Range (ufRange).
void WeaponFiguresOfUnit(const UnitInput& U, const std::unordered_map<std::string, const WeaponInput*>& WeaponByName,
                         UnitFigures& Out) {
  const std::string dpsName = FigureName(UnitFigureCaptions[ufDps]);
  const std::string rangeName = FigureName(UnitFigureCaptions[ufRange]);
  std::vector<std::string> unresolved, lines, sum, ranges, failed;
  std::vector<const WeaponInput*> resolved;
  double total = 0;
  std::optional<double> range;
  bool named = false;
  for (int i = 0; i < 3; ++i) {
    const Value& slot = U.Weapons[i];
    if (!slot.Present || slot.Text.empty()) continue;
    named = true;
    const std::string slotName = "Weapon" + std::to_string(i + 1);
    auto at = WeaponByName.find(LowerAscii(slot.Text));
    if (at == WeaponByName.end()) {
      unresolved.push_back(slot.Text);
      continue;
    }
    const WeaponInput& w = *at->second;
    resolved.push_back(&w);
    if (w.Range.Number) {
      range = std::max(range.value_or(*w.Range.Number), *w.Range.Number);
      ranges.push_back(F(*w.Range.Number) + " (" + w.Name + ")");
    }
    if (w.IsParalyzer()) {
      lines.push_back(slotName + ": " + w.Name + " is a paralyzer (its damage stuns), counts 0");
      sum.push_back("0");
      continue;
    }
    const Figure& d = w.Figures[wfDps];
    if (!d.Value) {
      failed.push_back(slotName + " " + w.Name + ": " + d.Tooltip);
      continue;
    }
    total += *d.Value;
    sum.push_back(d.Text);
    lines.push_back(slotName + ": " + d.Tooltip.substr(0, d.Tooltip.find('\n')));
  }
  std::string notLoaded;
  if (!unresolved.empty()) notLoaded = "No loaded weapon is named " + Join(unresolved, ", ");

  Figure& dps = Out[ufDps];
  if (!named) dps = Empty(dpsName, "the unit has no Weapon1, Weapon2 or Weapon3");
  else if (resolved.empty()) dps = Empty(dpsName, notLoaded);
  else if (!failed.empty()) dps = Empty(dpsName, Join(failed, "\n"));
  else {
    std::string tip;
    // One weapon that counts: its own formula, as the weapons table shows it.
    if (resolved.size() == 1 && !resolved.front()->IsParalyzer()) {
      const std::string& own = resolved.front()->Figures[wfDps].Tooltip;
      tip = own.substr(0, own.find('\n'));
    } else {
      tip = dpsName + " = " + Join(sum, " + ") + " = " + F(total);
      for (const std::string& l : lines) tip += "\n" + l;
    }
    if (!notLoaded.empty()) tip += "\n" + notLoaded;
    tip += "\nthe DPS of Weapon1 to Weapon3 summed; a paralyzer counts 0";
    dps = Number(total, tip);
  }
  Figure& r = Out[ufRange];
  if (!named) r = Empty(rangeName, "the unit has no Weapon1, Weapon2 or Weapon3");
  else if (resolved.empty()) r = Empty(rangeName, notLoaded);
  else if (!range) r = Empty(rangeName, "no weapon of it has a Range that is a number");
  else {
    std::string tip = ranges.size() == 1 ? rangeName + " = " + ranges.front()
                                         : rangeName + " = max(" + Join(ranges, ", ") + ") = " + F(*range);
    if (!notLoaded.empty()) tip += "\n" + notLoaded;
    r = Number(*range, tip + "\nthe largest Range of its weapons");
  }
}

// A figure per 100 metal: Of times 100 divided by BuildCostMetal.
Figure Per100Metal(const std::string& Name, const std::string& OfName, std::optional<double> Of, const std::string& OfWhy,
                   const UnitInput& U) {
  if (!Of) return Empty(Name, OfWhy);
  const Needed metal = NeedDivisor(U.BuildCostMetal, "BuildCostMetal");
  if (!metal.Number) return Empty(Name, metal.Why);
  const double v = *Of * 100 / *metal.Number;
  return Number(v, Name + " = " + F(*Of) + " \xD7" " 100 \xF7" " " + F(*metal.Number) + " = " + F(v) + "\n" + OfName +
                       " \xD7" " 100 \xF7" " BuildCostMetal");
}

struct Builders {
  // Folded UNITNAME -> the UNITMENU names that list it (folded, and as first
  // written), in load order, each once.
  std::unordered_map<std::string, std::vector<std::pair<std::string, std::string>>> Of;
};

void AddMenuEntry(std::string_view Menu, std::string_view Name, Builders& Out) {
  if (Menu.empty() || Name.empty()) return;
  auto& list = Out.Of[LowerAscii(std::string(Name))];
  const std::string builder = LowerAscii(std::string(Menu));
  if (std::none_of(list.begin(), list.end(), [&](const auto& B) { return B.first == builder; }))
    list.emplace_back(builder, std::string(Menu));
}

// The rows of each entry of a table, in the table's order.
std::unordered_map<const UnPacked*, std::vector<const Row*>> RowsByEntry(const RowTable& View) {
  std::unordered_map<const UnPacked*, std::vector<const Row*>> rows;
  rows.reserve(static_cast<size_t>(View.RowCount()));
  for (int i = 0; i < View.RowCount(); ++i) {
    const Row& r = View.RowAt(i);
    if (r.Data) rows[r.Data].push_back(&r);
  }
  return rows;
}

// A row's cell of column Column (-1: none) as a key's value; an empty cell is no key.
void Take(Value& Into, const Row& R, int Column) {
  if (Column <= 0) return;
  const std::string_view v = R.Cell(static_cast<size_t>(Column));
  if (!v.empty()) Into.Set(v);
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

// The weapons of one file from its rows. False when the rows cannot stand
// for the definitions: a key follows a nested section's close, or two rows
// name one weapon; the file is then read itself.
bool WeaponsFromRows(const std::vector<const Row*>& Rows, const RowTable& View, std::vector<WeaponInput>& Out) {
  const int sname = ColumnIndexByCaption(View, "SName"), def = ColumnIndexByCaption(View, "Default"),
            burst = ColumnIndexByCaption(View, "Burst"), reload = ColumnIndexByCaption(View, "Reloadtime"),
            energy = ColumnIndexByCaption(View, "Energypershot"), range = ColumnIndexByCaption(View, "Range"),
            paralyzer = ColumnIndexByCaption(View, "Paralyzer");
  for (const Row* r : Rows) {
    WeaponInput& w = Out.emplace_back();
    w.Name = r->Cell(static_cast<size_t>(sname));
    for (size_t k = 0; k + 1 < Out.size(); ++k)
      if (EqualIgnoringCase(Out[k].Name, w.Name)) return false;
    Take(w.Default, *r, def);
    Take(w.Burst, *r, burst);
    Take(w.Reloadtime, *r, reload);
    Take(w.EnergyPerShot, *r, energy);
    Take(w.Range, *r, range);
    Take(w.Paralyzer, *r, paralyzer);
  }
  return true;
}

void BuilderFigures(const UnitInput& U, const Builders& Menus,
                    const std::unordered_map<std::string, const UnitInput*>& UnitByName, UnitFigures& Out) {
  const std::string byName = FigureName(UnitFigureCaptions[ufBuiltBy]);
  const std::string secondsName = FigureName(UnitFigureCaptions[ufBuildSeconds]);
  auto at = U.UnitName.Text.empty() ? Menus.Of.end() : Menus.Of.find(LowerAscii(U.UnitName.Text));
  if (at == Menus.Of.end()) {
    const std::string why = "no loaded build menu lists " + (U.UnitName.Text.empty() ? std::string("a unit without UnitName") : U.UnitName.Text);
    Out[ufBuiltBy] = Empty(byName, why);
    Out[ufBuildSeconds] = Empty(secondsName, why);
    return;
  }
  std::vector<const UnitInput*> found;
  std::vector<std::string> notLoaded;
  for (const auto& [name, written] : at->second) {
    auto b = UnitByName.find(name);
    if (b == UnitByName.end()) notLoaded.push_back(written);
    else found.push_back(b->second);
  }
  const std::string missing = notLoaded.empty() ? "" : "\nBuild menus of units not loaded: " + Join(notLoaded, ", ");
  if (found.empty()) {
    const std::string why = "the build menus that list it belong to no loaded unit (" + Join(notLoaded, ", ") + ")";
    Out[ufBuiltBy] = Empty(byName, why);
    Out[ufBuildSeconds] = Empty(secondsName, why);
    return;
  }
  // The largest WorkerTime; a builder without one only when none has one.
  const UnitInput* best = found.front();
  for (const UnitInput* b : found)
    if (b->WorkerTime.Number && (!best->WorkerTime.Number || *b->WorkerTime.Number > *best->WorkerTime.Number)) best = b;
  auto described = [](const UnitInput& B) {
    return B.UnitName.Text + " (WorkerTime " + (B.WorkerTime.Present ? B.WorkerTime.Text : std::string("missing")) + ")";
  };
  std::vector<std::string> others;
  for (const UnitInput* b : found)
    if (b != best) others.push_back(described(*b));
  std::string tip = byName + ": " + described(*best) + ", of the builders the one with the largest WorkerTime";
  if (!others.empty()) tip += "\nAlso built by " + Join(others, ", ");
  Out[ufBuiltBy] = {best->UnitName.Text, tip + missing, std::nullopt};

  const Needed time = Need(U.BuildTime, "BuildTime");
  const Needed worker = NeedDivisor(best->WorkerTime, "WorkerTime");
  if (!time.Number) Out[ufBuildSeconds] = Empty(secondsName, time.Why);
  else if (!worker.Number) Out[ufBuildSeconds] = Empty(secondsName, worker.Why + " (of " + best->UnitName.Text + ")");
  else {
    const double v = *time.Number / *worker.Number;
    Out[ufBuildSeconds] = Number(v, secondsName + " = " + F(*time.Number) + " \xF7" " " + F(*worker.Number) + " = " + F(v) +
                                        " (built by " + best->UnitName.Text + ")\nBuildTime \xF7" " the builder's WorkerTime");
  }
}

}  // namespace

const UnitFigures* BalanceFigures::UnitOf(const UnPacked* Entry) const {
  auto at = Units_.find(Entry);
  return at == Units_.end() ? nullptr : &at->second;
}

const WeaponFigures* BalanceFigures::WeaponOf(const UnPacked* Entry, std::string_view Section) const {
  auto at = Weapons_.find(Entry);
  if (at == Weapons_.end()) return nullptr;
  for (const auto& [name, figures] : at->second)
    if (EqualIgnoringCase(name, Section)) return &figures;
  return nullptr;
}

BalanceFigures ComputeBalanceFigures(const TableState& State) {
  BalanceFigures result;
  DefinitionView view;
  const AllUnpacked &Units = State.UnitFiles, &Weapons = State.WeaponFiles, &Menus = State.DownloadFiles;

  // Weapons, file by file in load order; a name stands for its first weapon.
  const auto weaponRows = RowsByEntry(State.WeaponView);
  std::vector<std::pair<const UnPacked*, std::vector<WeaponInput>>> weapons;
  weapons.reserve(static_cast<size_t>(Weapons.Count));
  std::unordered_map<std::string, const WeaponInput*> weaponByName;
  for (int i = 0; i < Weapons.Count; ++i) {
    auto at = weaponRows.find(&Weapons[i]);
    if (at == weaponRows.end()) continue;  // no row: nothing of it is loaded
    auto& [entry, list] = weapons.emplace_back(&Weapons[i], std::vector<WeaponInput>());
    if (KeyAfterClose(TextOf(Weapons[i])) || !WeaponsFromRows(at->second, State.WeaponView, list)) {
      list.clear();
      ReadWeapons(TextOf(Weapons[i]), view, list);
    }
    for (WeaponInput& w : list) ComputeWeapon(w);
  }
  for (auto& [entry, list] : weapons)
    for (WeaponInput& w : list) weaponByName.try_emplace(LowerAscii(w.Name), &w);

  Builders builders;
  {
    const auto menuRows = RowsByEntry(State.DownloadView);
    const int menu = ColumnIndexByCaption(State.DownloadView, "UnitMenu"),
              name = ColumnIndexByCaption(State.DownloadView, "UnitName");
    for (int i = 0; i < Menus.Count; ++i)
      if (auto at = menuRows.find(&Menus[i]); at != menuRows.end())
        for (const Row* r : at->second)
          AddMenuEntry(r->Cell(static_cast<size_t>(menu)), r->Cell(static_cast<size_t>(name)), builders);
  }

  const auto unitRows = RowsByEntry(State.UnitView);
  const RowTable& uv = State.UnitView;
  const int unitName = ColumnIndexByCaption(uv, "UnitName"), cost = ColumnIndexByCaption(uv, "BuildCostMetal"),
            maxDamage = ColumnIndexByCaption(uv, "MaxDamage"), buildTime = ColumnIndexByCaption(uv, "BuildTime"),
            workerTime = ColumnIndexByCaption(uv, "WorkerTime");
  const int weaponColumns[3] = {ColumnIndexByCaption(uv, "Weapon1"), ColumnIndexByCaption(uv, "Weapon2"),
                                ColumnIndexByCaption(uv, "Weapon3")};
  std::vector<UnitInput> units;
  units.reserve(static_cast<size_t>(Units.Count));
  std::unordered_map<std::string, const UnitInput*> unitByName;
  for (int i = 0; i < Units.Count; ++i) {
    auto at = unitRows.find(&Units[i]);
    if (at == unitRows.end()) continue;
    const Row& r = *at->second.front();  // a unit file is one definition
    UnitInput& u = units.emplace_back();
    u.Entry = &Units[i];
    Take(u.UnitName, r, unitName);
    for (int k = 0; k < 3; ++k) Take(u.Weapons[k], r, weaponColumns[k]);
    Take(u.BuildCostMetal, r, cost);
    Take(u.MaxDamage, r, maxDamage);
    Take(u.BuildTime, r, buildTime);
    Take(u.WorkerTime, r, workerTime);
  }
  for (const UnitInput& u : units)
    if (!u.UnitName.Text.empty()) unitByName.try_emplace(LowerAscii(u.UnitName.Text), &u);
  result.Units_.reserve(units.size());
  for (const UnitInput& u : units) {
    UnitFigures& f = result.Units_[u.Entry];
    WeaponFiguresOfUnit(u, weaponByName, f);
    f[ufDpsPer100Metal] = Per100Metal(FigureName(UnitFigureCaptions[ufDpsPer100Metal]), "DPS", f[ufDps].Value,
                                      "there is no DPS (see its column)", u);
    const Needed hp = Need(u.MaxDamage, "MaxDamage");
    f[ufHitPointsPer100Metal] =
        Per100Metal(FigureName(UnitFigureCaptions[ufHitPointsPer100Metal]), "MaxDamage", hp.Number, hp.Why, u);
    BuilderFigures(u, builders, unitByName, f);
  }
  // The weapons' figures are moved out last: the units' read them above.
  for (auto& [entry, list] : weapons) {
    auto& out = result.Weapons_[entry];
    out.reserve(list.size());
    for (WeaponInput& w : list) {
      out.emplace_back(LowerAscii(w.Name), std::move(w.Figures));
      ++result.WeaponCount_;
    }
  }
  return result;
}
