// The checks across files: references, assets and conflicts, over the
// records the per-file work kept.
#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include "archive/ascii_case.h"
#include "mod/mod_checks_model.h"

namespace {

// A value as a key for comparing: whole numbers by value, other text ignoring case.
std::string Comparable(const std::string& V) {
  if (!V.empty() && IsPlainNumber(V) && V.find('.') == std::string::npos) {
    char* end = nullptr;
    const long long n = std::strtoll(V.c_str(), &end, 10);
    if (end && *end == '\0') return std::to_string(n);
  }
  return LowerAscii(V);
}

// A key that names something: present and not empty.
bool Names(const KeyRef& K) { return K.Line > 0 && !K.Value.empty(); }

}  // namespace

void CheckModel::Add(Found& Out, const DefinitionRecord& Def, int Line, const char* Id, std::string Message,
                     const CheckPlace* Other, std::string Key) const {
  CheckFinding f;
  f.Rule = FindCheckRule(Id);
  f.Place = PlaceIn(Sources_, Def.File, Line);
  f.Definition = Def.Name;
  f.Key = std::move(Key);
  f.Message = std::move(Message);
  if (Other) {
    f.HasOther = true;
    f.Other = *Other;
  }
  Out.emplace_back(Def.File, std::move(f));
}

void CheckModel::Conflict(Found& Out, const DefinitionRecord& Later, int Line, const DefinitionRecord& First,
                          int FirstLine, const char* Id, std::string Message, std::string Key) const {
  const CheckPlace other = PlaceIn(Sources_, First.File, FirstLine);
  Add(Out, Later, Line, Id, std::move(Message) + " " + PlaceName(other) + ":" + std::to_string(FirstLine), &other,
      std::move(Key));
}

void CheckModel::CheckReferences(Found& Out) const {
  NameSet weapons, features, units;
  ForEach(DefinitionKind::Weapon, [&](const DefinitionRecord& W) { weapons.insert(W.Name); });
  ForEach(DefinitionKind::Feature, [&](const DefinitionRecord& F) { features.insert(F.Name); });
  ForEach(DefinitionKind::Unit, [&](const DefinitionRecord& U) {
    if (Names(U[checkkeys::UnitName])) units.insert(U[checkkeys::UnitName].Value);
  });
  const auto unknown = [](const KeyRef& K, const NameSet& Known) {
    return Names(K) && Known.find(std::string_view(K.Value)) == Known.end();
  };
  const auto missing = [&](const std::string& Path) { return Assets.find(std::string_view(Path)) == Assets.end(); };

  ForEach(DefinitionKind::Unit, [&](const DefinitionRecord& U) {
    for (int key : {checkkeys::Weapon1, checkkeys::Weapon2, checkkeys::Weapon3, checkkeys::ExplodeAs,
                    checkkeys::SelfDestructAs})
      if (const KeyRef& k = U[key]; unknown(k, weapons))
        Add(Out, U, k.Line, "unknown-weapon", k.Name + "=" + k.Value + " names no weapon of any weapons\\*.tdf",
            nullptr, k.Name);
    if (const KeyRef& k = U[checkkeys::Corpse]; unknown(k, features))
      Add(Out, U, k.Line, "unknown-feature", k.Name + "=" + k.Value + " names no feature of any features\\**\\*.tdf",
          nullptr, k.Name);
    if (const KeyRef& k = U[checkkeys::Objectname]; Names(k) && missing("objects3d\\" + k.Value + ".3do"))
      Add(Out, U, k.Line, "missing-model", "no objects3d\\" + k.Value + ".3do for " + k.Name + "=" + k.Value, nullptr,
          k.Name);
    const KeyRef& name = U[checkkeys::UnitName];
    if (!Names(name)) return;
    if (missing("scripts\\" + name.Value + ".cob"))
      Add(Out, U, name.Line, "missing-script", "no scripts\\" + name.Value + ".cob for unit " + name.Value, nullptr,
          name.Name);
    if (missing("unitpics\\" + name.Value + ".pcx"))
      Add(Out, U, name.Line, "missing-picture", "no unitpics\\" + name.Value + ".pcx for unit " + name.Value, nullptr,
          name.Name);
  });
  ForEach(DefinitionKind::Feature, [&](const DefinitionRecord& F) {
    if (const KeyRef& k = F[checkkeys::Featuredead]; unknown(k, features))
      Add(Out, F, k.Line, "unknown-feature", k.Name + "=" + k.Value + " names no feature of any features\\**\\*.tdf",
          nullptr, k.Name);
  });
  ForEach(DefinitionKind::Download, [&](const DefinitionRecord& M) {
    for (int key : {checkkeys::UnitMenu, checkkeys::MenuUnitName})
      if (const KeyRef& k = M[key]; unknown(k, units))
        Add(Out, M, k.Line, "unknown-unit", k.Name + "=" + k.Value + " names no unit's UnitName", nullptr, k.Name);
  });
}

void CheckModel::CheckConflicts(Found& Out) const {
  // Definitions sharing a value with an earlier one of another name: the
  // first such earlier one is named.
  using Seen = std::unordered_map<std::string, std::vector<const DefinitionRecord*>>;
  const auto sharedWith = [](Seen& Values, const std::string& Value, const DefinitionRecord& D,
                             int Key) -> const DefinitionRecord* {
    std::vector<const DefinitionRecord*>& same = Values[Comparable(Value)];
    const DefinitionRecord* other = nullptr;
    for (const DefinitionRecord* s : same)
      if (!other && !EqualIgnoringCase(s->Name, D.Name) && (*s)[Key].Line > 0) other = s;
    same.push_back(&D);
    return other;
  };

  // Units: the same UnitName twice; a UnitNumber shared by different names.
  NameMap<const DefinitionRecord*> unitByName;
  Seen numbers;
  ForEach(DefinitionKind::Unit, [&](const DefinitionRecord& U) {
    if (const KeyRef& name = U[checkkeys::UnitName]; Names(name)) {
      const auto [first, fresh] = unitByName.emplace(name.Value, &U);
      if (!fresh)
        Conflict(Out, U, name.Line, *first->second, (*first->second)[checkkeys::UnitName].Line, "duplicate-unitname",
                 "UnitName " + name.Value + " is also given at", name.Name);
    }
    const KeyRef& number = U[checkkeys::UnitNumber];
    if (!Names(number)) return;
    if (const DefinitionRecord* other = sharedWith(numbers, number.Value, U, checkkeys::UnitNumber))
      Conflict(Out, U, number.Line, *other, (*other)[checkkeys::UnitNumber].Line, "duplicate-unitnumber",
               "UnitNumber " + number.Value + " of " + U.Name + " is also that of " + other->Name + " at", number.Name);
  });

  // Weapons: a name defined twice; an ID shared by different names.
  NameMap<const DefinitionRecord*> weaponByName;
  Seen ids;
  ForEach(DefinitionKind::Weapon, [&](const DefinitionRecord& W) {
    const auto [first, fresh] = weaponByName.emplace(W.Name, &W);
    if (!fresh)
      Conflict(Out, W, W.Line, *first->second, first->second->Line, "duplicate-weapon",
               "weapon " + W.Name + " is also defined at");
    const KeyRef& id = W[checkkeys::ID];
    if (!Names(id)) return;
    if (const DefinitionRecord* other = sharedWith(ids, id.Value, W, checkkeys::ID))
      Conflict(Out, W, id.Line, *other, (*other)[checkkeys::ID].Line, "duplicate-weapon-id",
               "ID " + id.Value + " of weapon " + W.Name + " is also that of " + other->Name + " at", id.Name);
  });

  // Build menus: two entries in one slot.
  std::unordered_map<std::string, const DefinitionRecord*> slots;
  ForEach(DefinitionKind::Download, [&](const DefinitionRecord& M) {
    const KeyRef &menu = M[checkkeys::UnitMenu], &page = M[checkkeys::Menu], &button = M[checkkeys::Button];
    if (!Names(menu) || page.Line == 0 || button.Line == 0) return;
    const auto [first, fresh] = slots.emplace(
        LowerAscii(menu.Value) + '\n' + Comparable(page.Value) + '\n' + Comparable(button.Value), &M);
    if (!fresh)
      Conflict(Out, M, M.Line, *first->second, first->second->Line, "menu-slot-taken",
               "UNITMENU " + menu.Value + ", MENU " + page.Value + ", BUTTON " + button.Value + " is also taken at");
  });
}

void CheckModel::CheckUnused(Found& Out) const {
  // Units: built from a build-menu entry, or a side's commander.
  NameSet built;
  ForEach(DefinitionKind::Download, [&](const DefinitionRecord& M) {
    if (const KeyRef& k = M[checkkeys::MenuUnitName]; Names(k)) built.insert(k.Value);
  });
  ForEach(DefinitionKind::SideData, [&](const DefinitionRecord& S) {
    if (const KeyRef& k = S[checkkeys::Commander]; Names(k)) built.insert(k.Value);
  });
  ForEach(DefinitionKind::Unit, [&](const DefinitionRecord& U) {
    if (built.find(std::string_view(U.Name)) != built.end()) return;
    const KeyRef& name = U[checkkeys::UnitName];
    Add(Out, U, name.Line > 0 ? name.Line : U.Line, "unbuildable-unit",
        "no build menu lists unit " + U.Name + " and no side names it as its commander");
  });

  // Weapons: named by a unit's weapon keys, or by any value of another
  // weapon or of a feature. Each value is looked up among the weapons' names.
  NameMap<bool> named;
  ForEach(DefinitionKind::Weapon, [&](const DefinitionRecord& W) { named.emplace(W.Name, false); });
  const auto use = [&](std::string_view Value) {
    if (const auto it = named.find(Value); it != named.end()) it->second = true;
  };
  ForEach(DefinitionKind::Unit, [&](const DefinitionRecord& U) {
    for (int key : {checkkeys::Weapon1, checkkeys::Weapon2, checkkeys::Weapon3, checkkeys::ExplodeAs,
                    checkkeys::SelfDestructAs})
      if (const KeyRef& k = U[key]; Names(k)) use(k.Value);
  });
  for (DefinitionKind kind : {DefinitionKind::Weapon, DefinitionKind::Feature})
    ForEach(kind, [&](const DefinitionRecord& D) {
      for (const std::string& v : D.Names)
        if (!EqualIgnoringCase(v, D.Name)) use(v);
    });
  ForEach(DefinitionKind::Weapon, [&](const DefinitionRecord& W) {
    if (!named.find(std::string_view(W.Name))->second)
      Add(Out, W, W.Line, "unused-weapon", "no unit, weapon or feature names weapon " + W.Name);
  });
}
