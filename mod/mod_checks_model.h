#pragma once
// The checker's view of the definition files it read. Each file is parsed,
// checked on its own (syntax) and reduced to records on the thread that read
// it, so that only what the checks across files need is kept: per definition
// its name, its place and the few keys the checks look at. Shared by the
// reading (mod_checks.cpp), the per-file work (mod_checks_file.cpp) and the
// checks across files (mod_checks_rules.cpp).
#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/ascii_case.h"
#include "mod/mod_checks.h"

class GameSources;

// SideData is gamedata\sidedata.tdf: only its commanders are read, for the
// units that no build menu lists.
enum class DefinitionKind { None, Unit, Weapon, Download, Feature, SideData };

// Names hashed and compared without regard to ASCII letter case, looked up
// by a view without a lower-case copy.
struct FoldedHash {
  using is_transparent = void;
  size_t operator()(std::string_view S) const {
    size_t h = 14695981039346656037ull;  // FNV-1a
    for (char c : S) h = (h ^ static_cast<unsigned char>(FoldAscii(c))) * 1099511628211ull;
    return h;
  }
};
struct FoldedEqual {
  using is_transparent = void;
  bool operator()(std::string_view A, std::string_view B) const { return EqualIgnoringCase(A, B); }
};
// Sets and maps of such names hold views: the names are the records' texts
// or the sources' paths, kept for as long as the checks run.
using NameSet = std::unordered_set<std::string_view, FoldedHash, FoldedEqual>;
template <typename Value>
using NameMap = std::unordered_map<std::string_view, Value, FoldedHash, FoldedEqual>;

// A key as written, with its line; Line 0 when the definition lacks it.
struct KeyRef {
  std::string Name, Value;
  int Line = 0;
};

// The keys the checks across files read, by kind; the first of each name in
// the definition's own section counts.
namespace checkkeys {
enum Unit { UnitName, UnitNumber, Objectname, Corpse, Weapon1, Weapon2, Weapon3, ExplodeAs, SelfDestructAs };
enum Weapon { ID };
enum Feature { Featuredead };
enum Menu { UnitMenu, Menu, Button, MenuUnitName };
enum Side { Commander };
}  // namespace checkkeys

// One definition: a top-level section (a unit file's first one).
struct DefinitionRecord {
  size_t File = 0;   // position in GameSources::Files()
  int Line = 0;      // its header's line
  std::string Name;  // a unit's UnitName (the file's name without one), else the section's name
  std::vector<KeyRef> Keys;  // indexed by the kind's checkkeys enum
  // Weapons and features: the values of their keys that are not numbers, any
  // of which may name a weapon.
  std::vector<std::string> Names;
  const KeyRef& operator[](int K) const { return Keys[static_cast<size_t>(K)]; }
};

// A "// kestrava-check: ignore ID,ID..." comment: the line it silences and the checks.
struct SuppressedLine {
  int Line = 0;
  std::vector<const CheckRule*> Rules;
};

// Findings of one check beyond kMaxFindingsPerFile in one file.
struct OmittedFindings {
  const CheckRule* Rule = nullptr;
  size_t Count = 0;
  int FirstLine = 0;
};

struct ParsedFile {
  size_t Index = 0;  // position in GameSources::Files()
  DefinitionKind Kind = DefinitionKind::None;
  bool CorpseTable = false;  // a features\corpses\*.tdf, which the corpses table reads
  std::string Error;  // why the file could not be read; empty when it was
  std::vector<CheckFinding> Findings;  // its own findings (syntax, numbers), at most kMaxFindingsPerFile per check
  std::vector<OmittedFindings> Omitted;  // its own findings beyond those
  std::vector<SuppressedLine> Suppressed;  // by line
  std::vector<DefinitionRecord> Records;

  // Whether a comment of the file silences Rule on Line.
  bool Suppresses(int Line, const CheckRule* Rule) const;
};

// The position of a rule in CheckRules().
size_t RuleIndex(const CheckRule* Rule);

// A decimal number: an optional sign, digits with at most one point, at least one digit.
bool IsPlainNumber(std::string_view V);
// The place of line Line of file Index of Sources.
CheckPlace PlaceIn(const GameSources& Sources, size_t Index, int Line);
// Parses Bytes and fills File's findings and records.
void CheckOneFile(const GameSources& Sources, std::string_view Bytes, ParsedFile& File);

class CheckModel {
 public:
  explicit CheckModel(const GameSources& Sources) : Sources_(Sources) {}

  // Findings with their file's position, for sorting.
  using Found = std::vector<std::pair<size_t, CheckFinding>>;

  std::vector<ParsedFile> Files;
  // Every file's path ('\' levels, lower case) with the position of the last
  // file of that path.
  NameMap<size_t> Assets;

  // The checks across files; each only reads the model, so that they can run
  // on two threads at once.
  void CheckReferences(Found& Out) const;
  void CheckConflicts(Found& Out) const;
  // Units no build menu lists and no side commands; weapons nothing names.
  void CheckUnused(Found& Out) const;

 private:
  void Add(Found& Out, const DefinitionRecord& Def, int Line, const char* Id, std::string Message,
           const CheckPlace* Other = nullptr, std::string Key = "") const;
  void Conflict(Found& Out, const DefinitionRecord& Later, int Line, const DefinitionRecord& First, int FirstLine,
                const char* Id, std::string Message, std::string Key = "") const;
  // The records of every readable file of one kind, in file order.
  template <typename F>
  void ForEach(DefinitionKind Kind, F Visit) const {
    for (const ParsedFile& f : Files)
      if (f.Kind == Kind)
        for (const DefinitionRecord& r : f.Records) Visit(r);
  }

  const GameSources& Sources_;
};
