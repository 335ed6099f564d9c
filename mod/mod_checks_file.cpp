// What is checked within one definition file, and its reduction to the
// records the checks across files read. Runs on the thread that read the file.
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "archive/ascii_case.h"
#include "archive/source_reader.h"
#include "definitions/definition_reader.h"
#include "mod/mod_checks_model.h"

namespace {

// Keys a thread's reading keeps room for between files.
constexpr size_t kKeptKeys = 1 << 14;

constexpr std::string_view kUnitNumberKeys[] = {"UnitNumber", "BuildCostEnergy", "BuildCostMetal", "BuildTime",
                                                "MaxDamage",  "WorkerTime",      "SightDistance",  "MaxVelocity"};
constexpr std::string_view kWeaponNumberKeys[] = {"ID", "Range", "Reloadtime", "Areaofeffect", "Default"};

// The keys kept per kind, in the order of the checkkeys enums.
constexpr std::string_view kUnitKeys[] = {"UnitName", "UnitNumber", "Objectname", "Corpse",        "Weapon1",
                                          "Weapon2",  "Weapon3",    "ExplodeAs",  "SelfDestructAs"};
constexpr std::string_view kWeaponKeys[] = {"ID"};
constexpr std::string_view kFeatureKeys[] = {"Featuredead"};
constexpr std::string_view kMenuKeys[] = {"UNITMENU", "MENU", "BUTTON", "UNITNAME"};

std::string FileStem(const std::string& Path) {
  const size_t slash = Path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? Path : Path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// Name of the top-level section that section S lies in; empty for none.
std::string TopName(const DefinitionView& D, int S) {
  if (S < 0) return "";
  while (D.Sections[static_cast<size_t>(S)].Parent >= 0) S = D.Sections[static_cast<size_t>(S)].Parent;
  return D.Sections[static_cast<size_t>(S)].Name;
}

// "Name=Value" as read.
std::string Statement(const DefinitionKeyView& K) {
  std::string s;
  s.reserve(K.Name.size() + 1 + K.Value.size());
  return s.append(K.Name).append(1, '=').append(K.Value);
}

// What a key of a definition kind is to the checks: a number, kept for the
// checks across files (its index in the kind's checkkeys enum), or neither.
struct KeyRole {
  bool Number = false;
  int Kept = -1;
};

// The roles of one kind's key names, found by length and first letter
// first: most keys have none, and are passed over without a comparison.
class KeyRoles {
 public:
  KeyRoles(std::span<const std::string_view> Numbers, std::span<const std::string_view> Kept)
      : kept_(Kept.size()) {
    for (size_t i = 0; i < Kept.size(); ++i) Role(Kept[i]).Kept = static_cast<int>(i);
    for (const std::string_view name : Numbers) Role(name).Number = true;
  }

  KeyRole Of(std::string_view Name) const {
    if (Name.empty() || Name.size() >= byLength_.size() || !(firsts_[Name.size()] & FirstBit(Name))) return {};
    for (const Entry& e : byLength_[Name.size()])
      if (EqualIgnoringCase(e.Name, Name)) return e.Role;
    return {};
  }
  size_t KeptCount() const { return kept_; }

 private:
  struct Entry {
    std::string_view Name;
    KeyRole Role;
  };
  // A bit for the first letter, the same in either case (other bytes may share bits).
  static uint32_t FirstBit(std::string_view Name) { return uint32_t(1) << (static_cast<unsigned char>(Name[0]) & 31); }
  KeyRole& Role(std::string_view Name) {
    std::vector<Entry>& same = byLength_.at(Name.size());
    firsts_[Name.size()] |= FirstBit(Name);
    for (Entry& e : same)
      if (EqualIgnoringCase(e.Name, Name)) return e.Role;
    return same.emplace_back(Entry{Name, {}}).Role;
  }
  std::array<std::vector<Entry>, 24> byLength_;
  std::array<uint32_t, 24> firsts_{};  // per length, the FirstBit of its names
  size_t kept_;
};

// The key roles of a definition of Kind; null for a file of no kind.
const KeyRoles* RolesOf(DefinitionKind Kind) {
  static const KeyRoles unit(kUnitNumberKeys, kUnitKeys), weapon(kWeaponNumberKeys, kWeaponKeys),
      feature({}, kFeatureKeys), menu({}, kMenuKeys);
  switch (Kind) {
    case DefinitionKind::Unit: return &unit;
    case DefinitionKind::Weapon: return &weapon;
    case DefinitionKind::Feature: return &feature;
    case DefinitionKind::Download: return &menu;
    case DefinitionKind::None: break;
  }
  return nullptr;
}

}  // namespace

bool IsPlainNumber(std::string_view V) {
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

CheckPlace PlaceIn(const GameSources& Sources, size_t Index, int Line) {
  return {&Sources.Files()[Index], Line};
}

void CheckOneFile(const GameSources& Sources, std::string_view Bytes, ParsedFile& File) {
  // One reading per thread, its storage reused from file to file.
  thread_local DefinitionView d;
  ReadDefinitionView(Bytes, d);
  const auto add = [&](int Line, const char* Id, std::string Definition, std::string Message) {
    CheckFinding f;
    f.Rule = FindCheckRule(Id);
    f.Place = PlaceIn(Sources, File.Index, Line);
    f.Definition = std::move(Definition);
    f.Message = std::move(Message);
    File.Findings.push_back(std::move(f));
  };
  const bool unit = File.Kind == DefinitionKind::Unit;
  const std::string stem = unit ? FileStem(Sources.Files()[File.Index].Path) : "";
  const KeyRoles* roles = RolesOf(File.Kind);

  // One record per top-level section; a unit file holds one unit, its first section.
  const size_t keptCount = roles ? roles->KeptCount() : 0;
  std::vector<int> recordOf(d.Sections.size(), -1);
  int unitSection = -1;
  for (size_t s = 0; s < d.Sections.size() && unitSection < 0; ++s) {
    if (d.Sections[s].Depth != 0) continue;
    if (unit) unitSection = static_cast<int>(s);
    recordOf[s] = static_cast<int>(File.Records.size());
    DefinitionRecord& r = File.Records.emplace_back();
    r.File = File.Index;
    r.Line = d.Sections[s].Line;
    r.Name = d.Sections[s].Name;
    r.Keys.resize(keptCount);
  }
  std::string unitName = stem;
  if (unitSection >= 0) {
    for (const DefinitionKeyView& k : d.Keys)
      if (k.Section == unitSection && EqualIgnoringCase(k.Name, "UnitName")) {
        if (!k.Value.empty()) unitName = k.Value;
        break;
      }
    File.Records.front().Name = unitName;
  }

  for (const SyntaxProblem& p : d.Problems) {
    if (p.Kind == SyntaxProblemKind::UnclosedBrace)
      add(p.Line, "unbalanced-braces", "", "this '{' is never closed");
    else if (p.Kind == SyntaxProblemKind::StrayCloseBrace)
      add(p.Line, "unbalanced-braces", "", "this '}' has no '{' open");
  }
  if (d.LoneLfLine > 0)
    add(d.LoneLfLine, "line-endings", "",
        d.LineEnds == LineEndStyle::Lf
            ? "lines end in LF alone; the tables end a line only at CR LF, so this file shows no rows there"
            : "this line ends in LF alone while others end in CR LF; the tables end a line only at CR LF");
  for (const DefinitionKeyView& k : d.Keys) {
    if (k.Section < 0) add(k.Line, "key-outside-section", "", Statement(k) + " is outside any section");
    const KeyRole role = roles ? roles->Of(k.Name) : KeyRole();
    if (role.Number && !IsPlainNumber(k.Value))
      add(k.Line, "not-a-number", unit ? unitName : TopName(d, k.Section), Statement(k) + " is not a number");
    // The first of each kept name directly in a definition's section.
    if (role.Kept < 0 || k.Section < 0) continue;
    const int record = recordOf[static_cast<size_t>(k.Section)];
    if (record < 0) continue;
    KeyRef& kept = File.Records[static_cast<size_t>(record)].Keys[static_cast<size_t>(role.Kept)];
    if (kept.Line == 0) kept = {std::string(k.Name), std::string(k.Value), k.Line};
  }
  // A thread keeps the storage of an ordinary file for the next, not of a huge one.
  if (d.Keys.capacity() > kKeptKeys) d = DefinitionView();
}
