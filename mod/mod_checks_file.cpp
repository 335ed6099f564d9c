// What is checked within one definition file, and its reduction to the
// records the checks across files read. Runs on the thread that read the file.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
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
constexpr std::string_view kSideKeys[] = {"commander"};

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
      feature({}, kFeatureKeys), menu({}, kMenuKeys), side({}, kSideKeys);
  switch (Kind) {
    case DefinitionKind::Unit: return &unit;
    case DefinitionKind::Weapon: return &weapon;
    case DefinitionKind::Feature: return &feature;
    case DefinitionKind::Download: return &menu;
    case DefinitionKind::SideData: return &side;
    case DefinitionKind::None: break;
  }
  return nullptr;
}

bool Blank(char C) { return C == ' ' || C == '\t'; }

// The 1-based line of byte Offset.
int LineOf(const DefinitionView& D, size_t Offset) {
  return static_cast<int>(std::upper_bound(D.LineStarts.begin(), D.LineStarts.end(), Offset) - D.LineStarts.begin());
}

// The "// kestrava-check: ignore ID,ID..." comments of Bytes, by line: one at
// the end of a line silences its own line, one alone on its line the next.
// IDs no check has are passed over.
std::vector<SuppressedLine> ReadSuppressions(std::string_view Bytes, const DefinitionView& D) {
  constexpr std::string_view kMark = "kestrava-check:";
  std::vector<SuppressedLine> out;
  // memmem passes over a text without the mark faster than a search for its first letter.
  const auto next = [&](size_t From) {
    const void* hit = ::memmem(Bytes.data() + From, Bytes.size() - From, kMark.data(), kMark.size());
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - Bytes.data()) : std::string_view::npos;
  };
  for (size_t at = next(0); at != std::string_view::npos; at = next(at + 1)) {
    const int line = LineOf(D, at);
    const size_t lineStart = D.LineStarts[static_cast<size_t>(line - 1)];
    size_t slash = at;
    while (slash > lineStart && Blank(Bytes[slash - 1])) --slash;
    if (slash < lineStart + 2 || Bytes.substr(slash - 2, 2) != "//") continue;
    size_t before = slash - 2;
    while (before > lineStart && Blank(Bytes[before - 1])) --before;
    const bool alone = before == lineStart;
    size_t i = at + kMark.size();
    while (i < Bytes.size() && Blank(Bytes[i])) ++i;
    if (Bytes.substr(i, 6) != "ignore" || i + 6 >= Bytes.size() || !Blank(Bytes[i + 6])) continue;
    const size_t end = std::min(Bytes.find_first_of("\r\n", i), Bytes.size());
    SuppressedLine s;
    s.Line = alone ? line + 1 : line;
    std::string_view list = Bytes.substr(i + 6, end - i - 6);
    while (!list.empty()) {
      const size_t comma = std::min(list.find(','), list.size());
      std::string_view id = list.substr(0, comma);
      while (!id.empty() && Blank(id.front())) id.remove_prefix(1);
      while (!id.empty() && Blank(id.back())) id.remove_suffix(1);
      if (const CheckRule* rule = FindCheckRule(id)) s.Rules.push_back(rule);
      list.remove_prefix(std::min(comma + 1, list.size()));
    }
    if (!s.Rules.empty()) out.push_back(std::move(s));
  }
  std::stable_sort(out.begin(), out.end(), [](const SuppressedLine& A, const SuppressedLine& B) { return A.Line < B.Line; });
  return out;
}

// Whether the header of section S is followed on its line by its "{".
bool HeaderSharesLine(std::string_view Bytes, const DefinitionSection& S) {
  size_t i = Bytes.find(']', S.HeaderOffset);
  if (i == std::string_view::npos) return false;
  for (++i; i < Bytes.size() && Blank(Bytes[i]); ++i) {
  }
  return i < Bytes.size() && Bytes[i] == '{';
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
  // Side data is read for its commanders only; nothing else there is checked.
  const bool findings = File.Kind != DefinitionKind::SideData;
  if (findings) File.Suppressed = ReadSuppressions(Bytes, d);
  std::vector<size_t> perRule(CheckRules().size(), 0);
  const auto add = [&](int Line, const char* Id, std::string Definition, std::string Message, std::string Key = "",
                       int OtherLine = 0) {
    const CheckRule* rule = FindCheckRule(Id);
    if (!findings || File.Suppresses(Line, rule)) return;
    if (++perRule[RuleIndex(rule)] > kMaxFindingsPerFile) {
      auto same = std::find_if(File.Omitted.begin(), File.Omitted.end(),
                               [&](const OmittedFindings& O) { return O.Rule == rule; });
      if (same == File.Omitted.end())
        File.Omitted.push_back({rule, 1, Line});
      else
        ++same->Count;
      return;
    }
    CheckFinding f;
    f.Rule = rule;
    f.Place = PlaceIn(Sources, File.Index, Line);
    f.Definition = std::move(Definition);
    f.Key = std::move(Key);
    f.Message = std::move(Message);
    if (OtherLine > 0) {
      f.HasOther = true;
      f.Other = PlaceIn(Sources, File.Index, OtherLine);
    }
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
  // The definition a section lies in: its top-level section's record.
  const auto topRecord = [&](int S) {
    if (S < 0) return -1;
    while (d.Sections[static_cast<size_t>(S)].Parent >= 0) S = d.Sections[static_cast<size_t>(S)].Parent;
    return recordOf[static_cast<size_t>(S)];
  };

  for (const SyntaxProblem& p : d.Problems) {
    if (p.Kind == SyntaxProblemKind::UnclosedBrace)
      add(p.Line, "unbalanced-braces", "", "this '{' is never closed");
    else if (p.Kind == SyntaxProblemKind::StrayCloseBrace)
      add(p.Line, "unbalanced-braces", "", "this '}' has no '{' open");
    else if (p.Kind == SyntaxProblemKind::TooDeep)
      add(p.Line, "unbalanced-braces", "",
          "this '{' nests more than " + std::to_string(kMaxNesting) +
              " levels deep, as no definition does; braces nested that deep are only counted, not read as sections");
  }
  if (d.LoneLfLine > 0)
    add(d.LoneLfLine, "line-endings", "",
        d.LineEnds == LineEndStyle::Lf
            ? "lines end in LF alone; the tables end a line only at CR LF, so this file shows no rows there"
            : "this line ends in LF alone while others end in CR LF; the tables end a line only at CR LF");

  // The tables of weapons, build menus and corpses take a section's name from
  // a line holding "[NAME]" alone.
  if (File.Kind == DefinitionKind::Weapon || File.Kind == DefinitionKind::Download || File.CorpseTable)
    for (const DefinitionSection& s : d.Sections)
      if (s.Depth == 0 && HeaderSharesLine(Bytes, s))
        add(s.Line, "header-shares-line", s.Name,
            "[" + s.Name + "] shares its line with its '{'; the tables do not see the header there" +
                (File.CorpseTable ? ", so the corpses table gives " + s.Name + " no row" : ""));

  // Keys the tables look up take the first line holding them: for a unit
  // anywhere in its file, for a weapon anywhere in its section.
  int unitNumber = -1;  // the unit file's first UnitNumber key, -1 when none
  std::vector<int> weaponId(File.Kind == DefinitionKind::Weapon ? File.Records.size() : 0, -1);
  const bool kept = File.Kind == DefinitionKind::Weapon || File.Kind == DefinitionKind::Feature;
  for (size_t i = 0; i < d.Keys.size(); ++i) {
    const DefinitionKeyView& k = d.Keys[i];
    if (k.Section < 0) add(k.Line, "key-outside-section", "", Statement(k) + " is outside any section", std::string(k.Name));
    const KeyRole role = roles ? roles->Of(k.Name) : KeyRole();
    if (role.Number && !IsPlainNumber(k.Value))
      add(k.Line, "not-a-number", unit ? unitName : TopName(d, k.Section), Statement(k) + " is not a number",
          std::string(k.Name));
    if (unit && unitNumber < 0 && EqualIgnoringCase(k.Name, "UnitNumber")) unitNumber = static_cast<int>(i);
    const int top = topRecord(k.Section);
    if (!weaponId.empty() && top >= 0 && weaponId[static_cast<size_t>(top)] < 0 && EqualIgnoringCase(k.Name, "ID"))
      weaponId[static_cast<size_t>(top)] = static_cast<int>(i);
    // A name holds no blank; numbers name nothing.
    if (kept && top >= 0 && !k.Value.empty() && k.Value.find_first_of(" \t") == std::string_view::npos &&
        !IsPlainNumber(k.Value))
      File.Records[static_cast<size_t>(top)].Names.emplace_back(k.Value);
    // The first of each kept name directly in a definition's section.
    if (role.Kept < 0 || k.Section < 0) continue;
    const int record = recordOf[static_cast<size_t>(k.Section)];
    if (record < 0) continue;
    KeyRef& keptKey = File.Records[static_cast<size_t>(record)].Keys[static_cast<size_t>(role.Kept)];
    if (keptKey.Line == 0) keptKey = {std::string(k.Name), std::string(k.Value), k.Line};
  }
  if (unitSection >= 0) {
    const DefinitionRecord& u = File.Records.front();
    if (unitNumber < 0)
      add(u.Line, "missing-unitnumber", unitName, "unit " + unitName + " has no UnitNumber; the tables give it no row",
          "UnitNumber");
    else if (d.Keys[static_cast<size_t>(unitNumber)].Value.empty())
      add(d.Keys[static_cast<size_t>(unitNumber)].Line, "missing-unitnumber", unitName,
          "UnitNumber of unit " + unitName + " is empty; the tables give it no row", "UnitNumber");
  }
  for (size_t r = 0; r < weaponId.size(); ++r) {
    const DefinitionRecord& w = File.Records[r];
    if (weaponId[r] < 0)
      add(w.Line, "missing-weapon-id", w.Name, "weapon " + w.Name + " has no ID; the tables give it no row", "ID");
    else if (d.Keys[static_cast<size_t>(weaponId[r])].Value.empty())
      add(d.Keys[static_cast<size_t>(weaponId[r])].Line, "missing-weapon-id", w.Name,
          "ID of weapon " + w.Name + " is empty; the tables give it no row", "ID");
  }

  // One key twice directly in one section: the keys sorted by section and
  // by a hash of their folded name, so that keys of one name stand together
  // in file order (equal hashes are compared by name).
  thread_local std::vector<std::pair<uint64_t, size_t>> order;  // (section, hash) as one key; the key's index
  order.clear();
  for (size_t i = 0; i < d.Keys.size(); ++i) {
    if (d.Keys[i].Section < 0) continue;
    const auto hash = static_cast<uint32_t>(FoldedHash()(d.Keys[i].Name));
    order.emplace_back((uint64_t(static_cast<uint32_t>(d.Keys[i].Section)) << 32) | hash, i);
  }
  std::sort(order.begin(), order.end());
  for (size_t j = 1; j < order.size(); ++j) {
    if (order[j].first != order[j - 1].first) continue;
    const DefinitionKeyView& later = d.Keys[order[j].second];
    // The first key of the same name before it in this run of equal hashes.
    const DefinitionKeyView* shown = nullptr;
    for (size_t f = j; f-- > 0 && order[f].first == order[j].first;)
      if (EqualIgnoringCase(d.Keys[order[f].second].Name, later.Name)) shown = &d.Keys[order[f].second];
    if (!shown) continue;
    const std::string section = d.Sections[static_cast<size_t>(later.Section)].Name;
    add(later.Line, "duplicate-key", unit ? unitName : TopName(d, later.Section),
        std::string(later.Name) + " is given twice in [" + section + "], at lines " + std::to_string(shown->Line) +
            " and " + std::to_string(later.Line) + "; the tables show the first, " + Statement(*shown),
        std::string(later.Name), shown->Line);
  }
  // A thread keeps the storage of an ordinary file for the next, not of a huge one.
  if (d.Keys.capacity() > kKeptKeys) d = DefinitionView();
  if (order.capacity() > kKeptKeys) std::vector<std::pair<uint64_t, size_t>>().swap(order);
}
