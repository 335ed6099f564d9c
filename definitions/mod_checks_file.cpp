// What is checked within one definition file, and its reduction to the
// records the checks across files read. Runs on the thread that read the file.
#include "archive/ascii_case.h"
#include "archive/source_reader.h"
#include "definitions/definition_reader.h"
#include "definitions/mod_checks_model.h"

namespace {

constexpr std::string_view kUnitNumberKeys[] = {"UnitNumber", "BuildCostEnergy", "BuildCostMetal", "BuildTime",
                                                "MaxDamage",  "WorkerTime",      "SightDistance",  "MaxVelocity"};
constexpr std::string_view kWeaponNumberKeys[] = {"ID", "Range", "Reloadtime", "Areaofeffect", "Default"};

// The keys kept per kind, in the order of the checkkeys enums.
constexpr std::string_view kUnitKeys[] = {"UnitName", "UnitNumber", "Objectname", "Corpse",        "Weapon1",
                                          "Weapon2",  "Weapon3",    "ExplodeAs",  "SelfDestructAs"};
constexpr std::string_view kWeaponKeys[] = {"ID"};
constexpr std::string_view kFeatureKeys[] = {"Featuredead"};
constexpr std::string_view kMenuKeys[] = {"UNITMENU", "MENU", "BUTTON", "UNITNAME"};

template <size_t N>
int IndexIn(const std::string_view (&Names)[N], std::string_view Name) {
  for (size_t i = 0; i < N; ++i)
    if (EqualIgnoringCase(Names[i], Name)) return static_cast<int>(i);
  return -1;
}

std::string FileStem(const std::string& Path) {
  const size_t slash = Path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? Path : Path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// Name of the top-level section that section S lies in; empty for none.
std::string TopName(const DefinitionFile& D, int S) {
  if (S < 0) return "";
  while (D.Sections[static_cast<size_t>(S)].Parent >= 0) S = D.Sections[static_cast<size_t>(S)].Parent;
  return D.Sections[static_cast<size_t>(S)].Name;
}

template <size_t N>
DefinitionRecord Record(const DefinitionFile& D, int S, size_t File, const std::string_view (&Names)[N]) {
  DefinitionRecord r;
  r.File = File;
  r.Line = D.Sections[static_cast<size_t>(S)].Line;
  r.Name = D.Sections[static_cast<size_t>(S)].Name;
  r.Keys.resize(N);
  for (const DefinitionKey& k : D.Keys) {
    if (k.Section != S) continue;
    const int i = IndexIn(Names, k.Name);
    if (i >= 0 && r.Keys[static_cast<size_t>(i)].Line == 0) r.Keys[static_cast<size_t>(i)] = {k.Name, k.Value, k.Line};
  }
  return r;
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
  const DefinitionFile d = ReadDefinition(Bytes);
  const auto add = [&](int Line, const char* Id, std::string Definition, std::string Message) {
    CheckFinding f;
    f.Rule = FindCheckRule(Id);
    f.Place = PlaceIn(Sources, File.Index, Line);
    f.Definition = std::move(Definition);
    f.Message = std::move(Message);
    File.Findings.push_back(std::move(f));
  };

  // The definitions first: findings name the unit they lie in.
  const bool unit = File.Kind == DefinitionKind::Unit, weapon = File.Kind == DefinitionKind::Weapon;
  for (int s = 0; s < static_cast<int>(d.Sections.size()); ++s) {
    if (d.Sections[static_cast<size_t>(s)].Depth != 0) continue;
    switch (File.Kind) {
      case DefinitionKind::Unit: {
        DefinitionRecord r = Record(d, s, File.Index, kUnitKeys);
        const std::string& name = r[checkkeys::UnitName].Value;
        r.Name = name.empty() ? FileStem(Sources.Files()[File.Index].Path) : name;
        File.Records.push_back(std::move(r));
        s = static_cast<int>(d.Sections.size());  // a unit file holds one unit: its first section
        break;
      }
      case DefinitionKind::Weapon:
        File.Records.push_back(Record(d, s, File.Index, kWeaponKeys));
        break;
      case DefinitionKind::Feature:
        File.Records.push_back(Record(d, s, File.Index, kFeatureKeys));
        break;
      case DefinitionKind::Download:
        File.Records.push_back(Record(d, s, File.Index, kMenuKeys));
        break;
      case DefinitionKind::None:
        break;
    }
  }
  const std::string unitName =
      !unit ? "" : File.Records.empty() ? FileStem(Sources.Files()[File.Index].Path) : File.Records.front().Name;

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
  for (const DefinitionKey& k : d.Keys) {
    if (k.Section < 0) add(k.Line, "key-outside-section", "", k.Name + "=" + k.Value + " is outside any section");
    const bool numeric = unit ? IndexIn(kUnitNumberKeys, k.Name) >= 0
                              : weapon && IndexIn(kWeaponNumberKeys, k.Name) >= 0;
    if (numeric && !IsPlainNumber(k.Value))
      add(k.Line, "not-a-number", unit ? unitName : TopName(d, k.Section), k.Name + "=" + k.Value + " is not a number");
  }
}
