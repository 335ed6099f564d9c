#include "mod/balance_figures.h"

#include <algorithm>
#include <utility>

#include "archive/ascii_case.h"
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
std::string FigureName(const char* Caption) {
  std::string name = Caption;
  return name.substr(0, name.rfind(" ("));
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

// The keys of a unit: the first of each name anywhere in its file, as the
// table takes them.
void ReadUnit(std::string_view Text, DefinitionView& View, UnitInput& U) {
  ReadDefinitionView(Text, View);
  for (const DefinitionKeyView& k : View.Keys) {
    const std::string_view n = k.Name;
    if (n.size() == 7 && (n[6] == '1' || n[6] == '2' || n[6] == '3') && EqualIgnoringCase(n.substr(0, 6), "Weapon"))
      U.Weapons[n[6] - '1'].Set(k.Value);
    else if (EqualIgnoringCase(n, "UnitName")) U.UnitName.Set(k.Value);
    else if (EqualIgnoringCase(n, "BuildCostMetal")) U.BuildCostMetal.Set(k.Value);
    else if (EqualIgnoringCase(n, "MaxDamage")) U.MaxDamage.Set(k.Value);
    else if (EqualIgnoringCase(n, "BuildTime")) U.BuildTime.Set(k.Value);
    else if (EqualIgnoringCase(n, "WorkerTime")) U.WorkerTime.Set(k.Value);
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

void ReadMenus(std::string_view Text, DefinitionView& View, Builders& Out) {
  ReadDefinitionView(Text, View);
  struct Entry {
    Value Menu, Name;
  };
  std::vector<Entry> entries(View.Sections.size());
  for (const DefinitionKeyView& k : View.Keys) {
    if (k.Section < 0 || View.Sections[static_cast<size_t>(k.Section)].Depth != 0) continue;
    Entry& e = entries[static_cast<size_t>(k.Section)];
    if (EqualIgnoringCase(k.Name, "UnitMenu")) e.Menu.Set(k.Value);
    else if (EqualIgnoringCase(k.Name, "UnitName")) e.Name.Set(k.Value);
  }
  for (const Entry& e : entries) {
    if (e.Menu.Text.empty() || e.Name.Text.empty()) continue;
    auto& list = Out.Of[LowerAscii(e.Name.Text)];
    const std::string builder = LowerAscii(e.Menu.Text);
    if (std::none_of(list.begin(), list.end(), [&](const auto& B) { return B.first == builder; }))
      list.emplace_back(builder, e.Menu.Text);
  }
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

BalanceFigures ComputeBalanceFigures(const AllUnpacked& Units, const AllUnpacked& Weapons, const AllUnpacked& Menus) {
  BalanceFigures result;
  DefinitionView view;

  // Weapons, each file's in file order; a name stands for its first weapon.
  std::vector<std::pair<const UnPacked*, std::vector<WeaponInput>>> weapons(static_cast<size_t>(Weapons.Count));
  std::unordered_map<std::string, const WeaponInput*> weaponByName;
  for (int i = 0; i < Weapons.Count; ++i) {
    auto& [entry, list] = weapons[static_cast<size_t>(i)];
    entry = &Weapons[i];
    ReadWeapons(TextOf(Weapons[i]), view, list);
    for (WeaponInput& w : list) ComputeWeapon(w);
  }
  for (auto& [entry, list] : weapons) {
    auto& out = result.Weapons_[entry];
    for (WeaponInput& w : list) {
      weaponByName.try_emplace(LowerAscii(w.Name), &w);
      out.emplace_back(LowerAscii(w.Name), w.Figures);
      ++result.WeaponCount_;
    }
  }

  Builders builders;
  for (int i = 0; i < Menus.Count; ++i) ReadMenus(TextOf(Menus[i]), view, builders);

  std::vector<UnitInput> units(static_cast<size_t>(Units.Count));
  std::unordered_map<std::string, const UnitInput*> unitByName;
  for (int i = 0; i < Units.Count; ++i) {
    UnitInput& u = units[static_cast<size_t>(i)];
    u.Entry = &Units[i];
    ReadUnit(TextOf(Units[i]), view, u);
    if (!u.UnitName.Text.empty()) unitByName.try_emplace(LowerAscii(u.UnitName.Text), &u);
  }
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
  return result;
}
