#pragma once
// kestrava-diff's comparison: the definitions of two versions of a mod,
// matched by identity without regard to letter case (units by UnitName,
// weapons and corpses by section name, build-menu entries by UNITMENU plus
// UNITNAME), compared key by key. Every key counts: keys of nested sections,
// keys after them, keys no table shows. Key names are compared without regard
// to case, values byte for byte. Where a definition lies does not count.
#include <optional>
#include <string>
#include <vector>

// One definition file of a source: its archive (empty for a loose file) and
// its path as the game sees it, levels joined with '\'.
struct DiffFile {
  std::string Archive;
  std::string Path;
  std::string Bytes;
};

struct DefinitionPlace {
  std::string Archive;  // empty for a loose file
  std::string Path;
  int Line = 0;         // of the definition's section header (of UnitName for a unit without one)
};

struct KeyDifference {
  std::string Key;                  // nested keys as SECTION.key
  std::optional<std::string> Old;   // nullopt: the key is not there
  std::optional<std::string> New;
  int OldLine = 0;  // the key's own line on each side; 0 where it is not there
  int NewLine = 0;
};

struct DefinitionDifference {
  enum class Change { Added, Removed, Changed } Kind;
  std::string Table;  // units, weapons, corpses or download
  std::string Name;   // a build-menu entry as UNITMENU/UNITNAME
  std::optional<DefinitionPlace> Old, New;
  std::vector<KeyDifference> Keys;  // for Changed: every key that differs, in file order
};

// Whether Path (levels joined with '\\' or '/') is a file of one of the
// four kinds: in its sub-directory, with its extension in its name, as the
// tables pick them.
bool IsDefinitionPath(const std::string& Path);

// The differences of the kinds in Kinds (all four when empty), grouped by
// kind in the order units, weapons, corpses, download, each group in name order.
std::vector<DefinitionDifference> CompareSources(const std::vector<DiffFile>& Old,
                                                 const std::vector<DiffFile>& New,
                                                 const std::vector<std::string>& Kinds);
