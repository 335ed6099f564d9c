#pragma once
// The checker's view of the definition files it read: each file parsed, the
// units, weapons, features and build-menu entries found in them, the names
// they can be found by, and the findings so far. Shared by the reading
// (mod_checks.cpp) and the rules (mod_checks_rules.cpp).
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "definitions/definition_reader.h"
#include "definitions/mod_checks.h"

class GameSources;

enum class DefinitionKind { None, Unit, Weapon, Download, Feature };

struct ParsedFile {
  size_t Index = 0;  // position in GameSources::Files()
  DefinitionKind Kind = DefinitionKind::None;
  DefinitionFile Definition;
  int LoneLfLine = 0;  // the first line ending in LF alone; 0 for none
  std::string Error;   // why the file could not be read; empty when it was
};

// A definition: one top-level section of a file (a unit's file has one).
struct DefinitionRef {
  const ParsedFile* File = nullptr;
  int Section = -1;
  std::string Name;  // the unit's UnitName (the file's name without one), else the section's name
  const DefinitionKey* Key(std::string_view KeyName) const { return File->Definition.FindKey(Section, KeyName); }
  int Line() const { return File->Definition.Sections[static_cast<size_t>(Section)].Line; }
};

class CheckModel {
 public:
  explicit CheckModel(const GameSources& Sources) : Sources_(Sources) {}

  std::vector<ParsedFile> Files;
  std::unordered_set<std::string> Assets;  // every file's path, lower case, '\' levels
  std::vector<std::pair<size_t, CheckFinding>> Found;  // with the file's position, for sorting

  CheckPlace PlaceOf(const ParsedFile& File, int Line) const;
  void CheckSyntax();
  void Collect();
  void CheckReferences();
  void CheckConflicts();

 private:
  void Add(const ParsedFile& File, int Line, const char* Id, const std::string& Definition, std::string Message,
           const CheckPlace* Other = nullptr);
  void AddAt(const DefinitionRef& Def, const DefinitionKey& Key, const char* Id, std::string Message);
  void Conflict(const DefinitionRef& Later, int Line, const DefinitionRef& First, int FirstLine, const char* Id,
                std::string Message);
  // Name of the top-level section that section S lies in; empty for none.
  static std::string TopName(const ParsedFile& File, int S);

  const GameSources& Sources_;
  std::vector<DefinitionRef> Units_, Weapons_, Features_, Menus_;
  std::unordered_set<std::string> WeaponNames_, FeatureNames_, UnitNames_;  // lower case
};
