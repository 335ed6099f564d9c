// The checks themselves, over the files CheckSources read.
#include <cstdlib>
#include <string_view>

#include "archive/ascii_case.h"
#include "archive/source_reader.h"
#include "definitions/mod_checks_model.h"

namespace {

constexpr const char* kUnitNumberKeys[] = {"UnitNumber", "BuildCostEnergy", "BuildCostMetal", "BuildTime",
                                           "MaxDamage",  "WorkerTime",      "SightDistance",  "MaxVelocity"};
constexpr const char* kWeaponNumberKeys[] = {"ID", "Range", "Reloadtime", "Areaofeffect", "Default"};
constexpr const char* kUnitWeaponKeys[] = {"Weapon1", "Weapon2", "Weapon3", "ExplodeAs", "SelfDestructAs"};

// A decimal number: an optional sign, digits with at most one point, at least one digit.
bool IsNumber(std::string_view V) {
  size_t i = !V.empty() && (V[0] == '-' || V[0] == '+') ? 1 : 0;
  bool digit = false, point = false;
  for (; i < V.size(); ++i) {
    if (V[i] >= '0' && V[i] <= '9')
      digit = true;
    else if (V[i] == '.' && !point)
      point = true;
    else
      return false;
  }
  return digit;
}

// A value as a key for comparing: whole numbers by value, other text ignoring case.
std::string Comparable(const std::string& V) {
  if (!V.empty() && IsNumber(V) && V.find('.') == std::string::npos) {
    char* end = nullptr;
    const long long n = std::strtoll(V.c_str(), &end, 10);
    if (end && *end == '\0') return std::to_string(n);
  }
  return LowerAscii(V);
}

bool NamedIn(const char* const* Begin, const char* const* End, std::string_view Name) {
  for (auto k = Begin; k != End; ++k)
    if (EqualIgnoringCase(*k, Name)) return true;
  return false;
}

std::string FileStem(const std::string& Path) {
  const size_t slash = Path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? Path : Path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

CheckPlace CheckModel::PlaceOf(const ParsedFile& File, int Line) const {
  const SourceFile& f = Sources_.Files()[File.Index];
  return {f.Archive, f.Archive.empty() ? f.DiskPath : f.Path, Line, f.Path};
}

std::string CheckModel::TopName(const ParsedFile& File, int S) {
  const std::vector<DefinitionSection>& sections = File.Definition.Sections;
  if (S < 0) return "";
  while (sections[static_cast<size_t>(S)].Parent >= 0) S = sections[static_cast<size_t>(S)].Parent;
  return sections[static_cast<size_t>(S)].Name;
}

void CheckModel::Add(const ParsedFile& File, int Line, const char* Id, const std::string& Definition,
                     std::string Message, const CheckPlace* Other) {
  CheckFinding f;
  f.Rule = FindCheckRule(Id);
  f.Place = PlaceOf(File, Line);
  f.Definition = Definition;
  f.Message = std::move(Message);
  if (Other) {
    f.HasOther = true;
    f.Other = *Other;
  }
  Found.emplace_back(File.Index, std::move(f));
}

void CheckModel::AddAt(const DefinitionRef& Def, const DefinitionKey& Key, const char* Id, std::string Message) {
  Add(*Def.File, Key.Line, Id, Def.Name, std::move(Message));
}

void CheckModel::Conflict(const DefinitionRef& Later, int Line, const DefinitionRef& First, int FirstLine,
                          const char* Id, std::string Message) {
  const CheckPlace other = PlaceOf(*First.File, FirstLine);
  Add(*Later.File, Line, Id, Later.Name,
      std::move(Message) + " " + PlaceName(other) + ":" + std::to_string(FirstLine), &other);
}

void CheckModel::CheckSyntax() {
  for (const ParsedFile& f : Files) {
    if (!f.Error.empty()) continue;
    const DefinitionFile& d = f.Definition;
    for (const SyntaxProblem& p : d.Problems) {
      if (p.Kind == SyntaxProblemKind::UnclosedBrace)
        Add(f, p.Line, "unbalanced-braces", "", "this '{' is never closed");
      else if (p.Kind == SyntaxProblemKind::StrayCloseBrace)
        Add(f, p.Line, "unbalanced-braces", "", "this '}' has no '{' open");
    }
    if (f.LoneLfLine > 0)
      Add(f, f.LoneLfLine, "line-endings", "",
          d.LineEnds == LineEndStyle::Lf
              ? "lines end in LF alone; the tables end a line only at CR LF, so this file shows no rows there"
              : "this line ends in LF alone while others end in CR LF; the tables end a line only at CR LF");
    const bool unit = f.Kind == DefinitionKind::Unit, weapon = f.Kind == DefinitionKind::Weapon;
    const std::string stem = unit ? FileStem(Sources_.Files()[f.Index].Path) : "";
    for (const DefinitionKey& k : d.Keys) {
      if (k.Section < 0) Add(f, k.Line, "key-outside-section", "", k.Name + "=" + k.Value + " is outside any section");
      const bool numeric = unit     ? NamedIn(std::begin(kUnitNumberKeys), std::end(kUnitNumberKeys), k.Name)
                           : weapon ? NamedIn(std::begin(kWeaponNumberKeys), std::end(kWeaponNumberKeys), k.Name)
                                    : false;
      if (numeric && !IsNumber(k.Value)) {
        std::string def = TopName(f, k.Section);
        if (unit) {
          const DefinitionKey* name = nullptr;
          for (int s = 0; s < static_cast<int>(d.Sections.size()) && !name; ++s)
            if (d.Sections[static_cast<size_t>(s)].Depth == 0) name = d.FindKey(s, "UnitName");
          def = name && !name->Value.empty() ? name->Value : stem;
        }
        Add(f, k.Line, "not-a-number", def, k.Name + "=" + k.Value + " is not a number");
      }
    }
  }
}

void CheckModel::Collect() {
  for (const ParsedFile& f : Files) {
    if (!f.Error.empty()) continue;
    const std::vector<DefinitionSection>& sections = f.Definition.Sections;
    for (int s = 0; s < static_cast<int>(sections.size()); ++s) {
      if (sections[static_cast<size_t>(s)].Depth != 0) continue;
      DefinitionRef def{&f, s, sections[static_cast<size_t>(s)].Name};
      switch (f.Kind) {
        case DefinitionKind::Unit: {
          const DefinitionKey* name = def.Key("UnitName");
          def.Name = name && !name->Value.empty() ? name->Value : FileStem(Sources_.Files()[f.Index].Path);
          if (name && !name->Value.empty()) UnitNames_.insert(LowerAscii(name->Value));
          Units_.push_back(def);
          s = static_cast<int>(sections.size());  // a unit file holds one unit: its first section
          break;
        }
        case DefinitionKind::Weapon:
          WeaponNames_.insert(LowerAscii(def.Name));
          Weapons_.push_back(def);
          break;
        case DefinitionKind::Feature:
          FeatureNames_.insert(LowerAscii(def.Name));
          Features_.push_back(def);
          break;
        case DefinitionKind::Download:
          Menus_.push_back(def);
          break;
        case DefinitionKind::None:
          break;
      }
    }
  }
}

void CheckModel::CheckReferences() {
  auto refersTo = [](const DefinitionRef& Def, const char* Key, const std::unordered_set<std::string>& Names) {
    const DefinitionKey* k = Def.Key(Key);
    return k && !k->Value.empty() && !Names.count(LowerAscii(k->Value)) ? k : nullptr;
  };
  for (const DefinitionRef& u : Units_) {
    for (const char* key : kUnitWeaponKeys)
      if (const DefinitionKey* k = refersTo(u, key, WeaponNames_))
        AddAt(u, *k, "unknown-weapon", k->Name + "=" + k->Value + " names no weapon of any weapons\\*.tdf");
    if (const DefinitionKey* k = refersTo(u, "Corpse", FeatureNames_))
      AddAt(u, *k, "unknown-feature", k->Name + "=" + k->Value + " names no feature of any features\\**\\*.tdf");
    const DefinitionKey* model = u.Key("Objectname");
    if (model && !model->Value.empty() && !Assets.count("objects3d\\" + LowerAscii(model->Value) + ".3do"))
      AddAt(u, *model, "missing-model", "no objects3d\\" + model->Value + ".3do for " + model->Name + "=" + model->Value);
    const DefinitionKey* name = u.Key("UnitName");
    if (!name || name->Value.empty()) continue;
    const std::string lower = LowerAscii(name->Value);
    if (!Assets.count("scripts\\" + lower + ".cob"))
      AddAt(u, *name, "missing-script", "no scripts\\" + name->Value + ".cob for unit " + name->Value);
    if (!Assets.count("unitpics\\" + lower + ".pcx"))
      AddAt(u, *name, "missing-picture", "no unitpics\\" + name->Value + ".pcx for unit " + name->Value);
  }
  for (const DefinitionRef& f : Features_)
    if (const DefinitionKey* k = refersTo(f, "Featuredead", FeatureNames_))
      AddAt(f, *k, "unknown-feature", k->Name + "=" + k->Value + " names no feature of any features\\**\\*.tdf");
  for (const DefinitionRef& m : Menus_)
    for (const char* key : {"UNITMENU", "UNITNAME"})
      if (const DefinitionKey* k = refersTo(m, key, UnitNames_))
        AddAt(m, *k, "unknown-unit", k->Name + "=" + k->Value + " names no unit's UnitName");
}

void CheckModel::CheckConflicts() {
  // Units: the same UnitName twice; a UnitNumber shared by different names.
  std::unordered_map<std::string, const DefinitionRef*> byName;
  std::unordered_map<std::string, std::vector<const DefinitionRef*>> byNumber;
  for (const DefinitionRef& u : Units_) {
    const DefinitionKey* name = u.Key("UnitName");
    if (name && !name->Value.empty()) {
      auto [first, fresh] = byName.emplace(LowerAscii(name->Value), &u);
      if (!fresh)
        Conflict(u, name->Line, *first->second, first->second->Key("UnitName")->Line, "duplicate-unitname",
                 "UnitName " + name->Value + " is also given at");
    }
    const DefinitionKey* number = u.Key("UnitNumber");
    if (!number || number->Value.empty()) continue;
    std::vector<const DefinitionRef*>& same = byNumber[Comparable(number->Value)];
    for (const DefinitionRef* other : same)
      if (!EqualIgnoringCase(other->Name, u.Name)) {
        Conflict(u, number->Line, *other, other->Key("UnitNumber")->Line, "duplicate-unitnumber",
                 "UnitNumber " + number->Value + " of " + u.Name + " is also that of " + other->Name + " at");
        break;
      }
    same.push_back(&u);
  }

  // Weapons: a name defined twice; an ID shared by different names.
  std::unordered_map<std::string, const DefinitionRef*> weaponByName;
  std::unordered_map<std::string, std::vector<const DefinitionRef*>> byId;
  for (const DefinitionRef& w : Weapons_) {
    auto [first, fresh] = weaponByName.emplace(LowerAscii(w.Name), &w);
    if (!fresh)
      Conflict(w, w.Line(), *first->second, first->second->Line(), "duplicate-weapon",
               "weapon " + w.Name + " is also defined at");
    const DefinitionKey* id = w.Key("ID");
    if (!id || id->Value.empty()) continue;
    std::vector<const DefinitionRef*>& same = byId[Comparable(id->Value)];
    for (const DefinitionRef* other : same)
      if (!EqualIgnoringCase(other->Name, w.Name)) {
        Conflict(w, id->Line, *other, other->Key("ID")->Line, "duplicate-weapon-id",
                 "ID " + id->Value + " of weapon " + w.Name + " is also that of " + other->Name + " at");
        break;
      }
    same.push_back(&w);
  }

  // Build menus: two entries in one slot.
  std::unordered_map<std::string, const DefinitionRef*> slots;
  for (const DefinitionRef& m : Menus_) {
    const DefinitionKey *menu = m.Key("UNITMENU"), *page = m.Key("MENU"), *button = m.Key("BUTTON");
    if (!menu || !page || !button || menu->Value.empty()) continue;
    auto [first, fresh] =
        slots.emplace(LowerAscii(menu->Value) + '\n' + Comparable(page->Value) + '\n' + Comparable(button->Value), &m);
    if (fresh) continue;
    Conflict(m, m.Line(), *first->second, first->second->Line(), "menu-slot-taken",
             "UNITMENU " + menu->Value + ", MENU " + page->Value + ", BUTTON " + button->Value + " is also taken at");
  }
}
