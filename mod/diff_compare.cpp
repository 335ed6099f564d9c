#include "mod/diff_compare.h"

#include <algorithm>
#include <map>

#include "archive/ascii_case.h"
#include "definitions/definition_reader.h"

namespace {

struct KindFiles {
  const char* Kind;
  const char* SubDir;  // levels joined with '\', lower case
  const char* Ext;
};
const KindFiles kFiles[] = {
    {"units", "units", ".fbi"},
    {"weapons", "weapons", ".tdf"},
    {"corpses", "features\\corpses", ".tdf"},
    {"download", "download", ".tdf"},
};

bool IsKindFile(const std::string& Path, const KindFiles& K) {
  std::string lower = LowerAscii(Path);
  std::replace(lower.begin(), lower.end(), '/', '\\');
  const size_t slash = lower.rfind('\\');
  if (slash == std::string::npos || lower.compare(0, slash, K.SubDir) != 0 || slash != std::string(K.SubDir).size())
    return false;
  return lower.find(K.Ext, slash) != std::string::npos;
}

struct Key {
  std::string Name;  // qualified
  std::string Value;
  int Line = 0;
};

struct Definition {
  std::string Name;
  DefinitionPlace Place;
  std::vector<Key> Keys;  // in file order
};

// The name of a key relative to the definition's section Top: the names of
// the sections between them, then the key's own.
std::string QualifiedName(const DefinitionFile& File, const DefinitionKey& Key, int Top) {
  std::string name = Key.Name;
  for (int s = Key.Section; s >= 0 && s != Top; s = File.Sections[static_cast<size_t>(s)].Parent)
    name = File.Sections[static_cast<size_t>(s)].Name + "." + name;
  return name;
}

bool Inside(const DefinitionFile& File, int Section, int Top) {
  for (int s = Section; s >= 0; s = File.Sections[static_cast<size_t>(s)].Parent)
    if (s == Top) return true;
  return false;
}

void ReadDefinitions(const DiffFile& F, const KindFiles& K, std::vector<Definition>& Out) {
  const DefinitionFile file = ReadDefinition(F.Bytes);
  if (std::string(K.Kind) == "units") {
    // A unit file is one unit: every key in it, named after the first top-level section.
    int top = -1;
    for (size_t s = 0; s < file.Sections.size() && top < 0; ++s)
      if (file.Sections[s].Depth == 0) top = static_cast<int>(s);
    Definition d;
    d.Place = {F.Archive, F.Path, top >= 0 ? file.Sections[static_cast<size_t>(top)].Line : 1};
    bool named = false;
    for (const DefinitionKey& k : file.Keys) {
      if (!named && EqualIgnoringCase(k.Name, "UnitName") && Inside(file, k.Section, top)) {
        d.Name = k.Value;
        named = true;
      }
      d.Keys.push_back({Inside(file, k.Section, top) ? QualifiedName(file, k, top)
                                                     : QualifiedName(file, k, -1),
                        k.Value, k.Line});
    }
    if (named) Out.push_back(std::move(d));
    return;
  }
  for (size_t s = 0; s < file.Sections.size(); ++s) {
    const DefinitionSection& section = file.Sections[s];
    if (section.Depth != 0) continue;
    Definition d;
    d.Place = {F.Archive, F.Path, section.Line};
    std::string menu, unit;
    for (const DefinitionKey& k : file.Keys) {
      if (!Inside(file, k.Section, static_cast<int>(s))) continue;
      d.Keys.push_back({QualifiedName(file, k, static_cast<int>(s)), k.Value, k.Line});
      if (k.Section == static_cast<int>(s) && menu.empty() && EqualIgnoringCase(k.Name, "UNITMENU")) menu = k.Value;
      if (k.Section == static_cast<int>(s) && unit.empty() && EqualIgnoringCase(k.Name, "UNITNAME")) unit = k.Value;
    }
    d.Name = std::string(K.Kind) == "download" ? menu + "/" + unit : section.Name;
    Out.push_back(std::move(d));
  }
}

// The keys that differ: the n-th occurrence of a name (ignoring case) on one
// side against the n-th on the other.
std::vector<KeyDifference> CompareKeys(const Definition& Old, const Definition& New) {
  std::map<std::string, std::vector<const Key*>> oldKeys;
  for (const Key& k : Old.Keys) oldKeys[LowerAscii(k.Name)].push_back(&k);
  std::map<std::string, size_t> used;
  std::vector<KeyDifference> out;
  for (const Key& k : New.Keys) {
    const std::string folded = LowerAscii(k.Name);
    const auto& olds = oldKeys[folded];
    const size_t n = used[folded]++;
    if (n >= olds.size()) out.push_back({k.Name, std::nullopt, k.Value, 0, k.Line});
    else if (olds[n]->Value != k.Value) out.push_back({k.Name, olds[n]->Value, k.Value, olds[n]->Line, k.Line});
  }
  // Occurrences the new side no longer has, in the old file's order.
  std::map<std::string, size_t> seen;
  for (const Key& k : Old.Keys) {
    const std::string folded = LowerAscii(k.Name);
    if (seen[folded]++ >= used[folded]) out.push_back({k.Name, k.Value, std::nullopt, k.Line, 0});
  }
  return out;
}

}  // namespace

bool IsDefinitionPath(const std::string& Path) {
  for (const KindFiles& k : kFiles)
    if (IsKindFile(Path, k)) return true;
  return false;
}

std::vector<DefinitionDifference> CompareSources(const std::vector<DiffFile>& Old,
                                                 const std::vector<DiffFile>& New,
                                                 const std::vector<std::string>& Kinds) {
  // A file that is on both sides at the same path with the same bytes holds
  // the same definitions on both: they match each other and are not read.
  std::pair<std::vector<bool>, std::vector<bool>> same{std::vector<bool>(Old.size()), std::vector<bool>(New.size())};
  std::map<std::string, std::vector<size_t>> newByPath;
  for (size_t i = 0; i < New.size(); ++i) newByPath[LowerAscii(New[i].Path)].push_back(i);
  for (size_t i = 0; i < Old.size(); ++i) {
    auto at = newByPath.find(LowerAscii(Old[i].Path));
    if (at == newByPath.end()) continue;
    for (size_t j : at->second)
      if (!same.second[j] && New[j].Bytes == Old[i].Bytes) {
        same.first[i] = same.second[j] = true;
        break;
      }
  }
  std::vector<DefinitionDifference> out;
  for (const KindFiles& kind : kFiles) {
    if (!Kinds.empty() && std::find(Kinds.begin(), Kinds.end(), kind.Kind) == Kinds.end()) continue;
    // Definitions of one name, in source order, on each side.
    std::map<std::string, std::pair<std::vector<Definition>, std::vector<Definition>>> byName;
    for (int side = 0; side < 2; ++side)
      for (size_t i = 0; i < (side == 0 ? Old : New).size(); ++i) {
        const DiffFile& f = (side == 0 ? Old : New)[i];
        if (!IsKindFile(f.Path, kind) || (side == 0 ? same.first : same.second)[i]) continue;
        std::vector<Definition> defs;
        ReadDefinitions(f, kind, defs);
        for (Definition& d : defs) {
          auto& slot = byName[LowerAscii(d.Name)];
          (side == 0 ? slot.first : slot.second).push_back(std::move(d));
        }
      }
    for (auto& [folded, sides] : byName) {
      const auto& [olds, news] = sides;
      for (size_t n = 0; n < std::max(olds.size(), news.size()); ++n) {
        DefinitionDifference d;
        d.Table = kind.Kind;
        if (n >= olds.size()) {
          d.Kind = DefinitionDifference::Change::Added;
          d.Name = news[n].Name;
          d.New = news[n].Place;
        } else if (n >= news.size()) {
          d.Kind = DefinitionDifference::Change::Removed;
          d.Name = olds[n].Name;
          d.Old = olds[n].Place;
        } else {
          d.Keys = CompareKeys(olds[n], news[n]);
          if (d.Keys.empty()) continue;  // the same, wherever it lies now
          d.Kind = DefinitionDifference::Change::Changed;
          d.Name = news[n].Name;
          d.Old = olds[n].Place;
          d.New = news[n].Place;
        }
        out.push_back(std::move(d));
      }
    }
  }
  return out;
}
