#include "mod/mod_checks.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

#include "archive/ascii_case.h"
#include "archive/source_reader.h"
#include "mod/mod_checks_model.h"
#include "hpi/parallel.h"

const std::vector<CheckRule>& CheckRules() {
  static const std::vector<CheckRule> rules = {
      {"unbalanced-braces", CheckSeverity::Error, "a '{' never closed, or a '}' with no '{' open"},
      {"key-outside-section", CheckSeverity::Warning, "a Key=Value statement outside any section"},
      {"line-endings", CheckSeverity::Warning, "lines that end in LF alone (the tables need CR LF)"},
      {"not-a-number", CheckSeverity::Error, "a key that must hold a number holds something else"},
      {"unknown-weapon", CheckSeverity::Error, "a unit names a weapon that no weapons\\*.tdf defines"},
      {"unknown-feature", CheckSeverity::Error, "a corpse or dead feature that no features\\**\\*.tdf defines"},
      {"unknown-unit", CheckSeverity::Error, "a build-menu entry names a unit that no unit file defines"},
      {"missing-model", CheckSeverity::Error, "a unit's Objectname has no objects3d\\NAME.3do"},
      {"missing-script", CheckSeverity::Error, "a unit has no scripts\\UNITNAME.cob"},
      {"missing-picture", CheckSeverity::Warning, "a unit has no unitpics\\UNITNAME.pcx"},
      {"duplicate-unitname", CheckSeverity::Warning, "two unit files give the same UnitName"},
      {"duplicate-unitnumber", CheckSeverity::Error, "two units with different UnitNames share a UnitNumber"},
      {"duplicate-weapon-id", CheckSeverity::Error, "two weapons with different names share an ID"},
      {"duplicate-weapon", CheckSeverity::Warning, "the same weapon name is defined twice"},
      {"menu-slot-taken", CheckSeverity::Error, "two build-menu entries share UNITMENU, MENU and BUTTON"},
  };
  return rules;
}

const CheckRule* FindCheckRule(std::string_view Id) {
  static const std::unordered_map<std::string_view, const CheckRule*> byId = [] {
    std::unordered_map<std::string_view, const CheckRule*> m;
    for (const CheckRule& r : CheckRules()) m.emplace(r.Id, &r);
    return m;
  }();
  const auto it = byId.find(Id);
  return it == byId.end() ? nullptr : it->second;
}

std::string PlaceName(const CheckPlace& Place) {
  return Place.Archive().empty() ? Place.Path() : Place.Archive() + ":" + Place.Path();
}

namespace {

// Levels of a path inside a source, lower-cased, '/' read as '\', appended to Out.
void AppendNormalPath(std::string& Out, std::string_view Path) {
  for (const char c : Path) Out += c == '/' ? '\\' : FoldAscii(c);
}

bool EndsWith(std::string_view S, std::string_view End) {
  return S.size() >= End.size() && S.substr(S.size() - End.size()) == End;
}

DefinitionKind KindOf(std::string_view Normal) {
  const size_t slash = Normal.find('\\');
  if (slash == std::string::npos) return DefinitionKind::None;
  const std::string_view top = Normal.substr(0, slash);
  const bool oneLevel = Normal.find('\\', slash + 1) == std::string::npos;
  if (top == "units" && oneLevel && EndsWith(Normal, ".fbi")) return DefinitionKind::Unit;
  if (top == "weapons" && oneLevel && EndsWith(Normal, ".tdf")) return DefinitionKind::Weapon;
  if (top == "download" && oneLevel && EndsWith(Normal, ".tdf")) return DefinitionKind::Download;
  if (top == "features" && EndsWith(Normal, ".tdf")) return DefinitionKind::Feature;
  return DefinitionKind::None;
}

}  // namespace

CheckOutcome CheckSources(const GameSources& Sources, const CheckControl& Control) {
  const std::vector<SourceFile>& files = Sources.Files();
  // Every file's normal path, end to end in one text, and views of them.
  std::string paths;
  std::vector<size_t> ends(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    AppendNormalPath(paths, files[i].Path);
    ends[i] = paths.size();
  }
  std::vector<std::string_view> normal(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    const size_t start = i == 0 ? 0 : ends[i - 1];
    normal[i] = std::string_view(paths).substr(start, ends[i] - start);
  }

  // The game's view: a later file of the same path replaces an earlier one.
  CheckModel model(Sources);
  for (size_t i = 0; i < files.size(); ++i) model.Assets[normal[i]] = i;
  std::vector<size_t> wanted;
  for (size_t i = 0; i < files.size(); ++i)
    if (model.Assets[normal[i]] == i && KindOf(normal[i]) != DefinitionKind::None) wanted.push_back(i);

  model.Files.resize(wanted.size());
  std::vector<size_t> slotOf(files.size());
  for (size_t k = 0; k < wanted.size(); ++k) {
    slotOf[wanted[k]] = k;
    model.Files[k].Index = wanted[k];
    model.Files[k].Kind = KindOf(normal[wanted[k]]);
  }
  std::atomic<size_t> done{0};
  Sources.Read(wanted, [&](size_t I, std::string_view Bytes, const std::string& Error) {
    if (Control.Cancelled()) return;
    ParsedFile& f = model.Files[slotOf[I]];
    f.Error = Error;
    if (Error.empty()) CheckOneFile(Sources, Bytes, f);
    const size_t now = done.fetch_add(1, std::memory_order_relaxed) + 1;
    if (Control.Progress) Control.Progress(now, wanted.size());
  });
  CheckOutcome out;
  if (Control.Cancelled()) {
    out.Cancelled = true;
    return out;
  }

  // The references are checked on one thread; on the other the conflicts,
  // then each file's own findings are gathered. Those come first, then the
  // references, then the conflicts.
  CheckModel::Found found, references, conflicts;
  hpi::ParallelFor(2, 2, [&](size_t Job) {
    if (Job == 0) {
      model.CheckReferences(references);
      return;
    }
    model.CheckConflicts(conflicts);
    for (ParsedFile& f : model.Files) {
      if (!f.Error.empty()) out.Unreadable.push_back(PlaceName(PlaceIn(Sources, f.Index, 0)) + ": " + f.Error);
      for (CheckFinding& finding : f.Findings) found.emplace_back(f.Index, std::move(finding));
      f.Findings.clear();
    }
  });
  found.reserve(found.size() + references.size() + conflicts.size());
  for (CheckModel::Found* more : {&references, &conflicts})
    std::move(more->begin(), more->end(), std::back_inserter(found));

  // By file, then by line; findings of one line in the order they were made.
  // Meanwhile the other thread gives back the model's memory: the findings
  // point at the sources, not at it.
  hpi::ParallelFor(2, 2, [&](size_t Job) {
    if (Job == 1) {
      std::vector<ParsedFile>().swap(model.Files);
      return;
    }
    // Counted out by file first, then each file's sorted by line.
    std::vector<size_t> start(files.size() + 1, 0);
    for (const auto& [file, finding] : found) ++start[file + 1];
    for (size_t f = 1; f < start.size(); ++f) start[f] += start[f - 1];
    std::vector<size_t> order(found.size());
    std::vector<size_t> next(start.begin(), start.end() - 1);
    for (size_t i = 0; i < found.size(); ++i) order[next[found[i].first]++] = i;
    for (size_t f = 0; f < files.size(); ++f)
      std::stable_sort(order.begin() + static_cast<std::ptrdiff_t>(start[f]),
                       order.begin() + static_cast<std::ptrdiff_t>(start[f + 1]),
                       [&](size_t A, size_t B) { return found[A].second.Place.Line < found[B].second.Place.Line; });
    out.Findings.reserve(order.size());
    for (size_t i : order) out.Findings.push_back(std::move(found[i].second));
  });
  return out;
}
