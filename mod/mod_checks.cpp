#include "mod/mod_checks.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
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
      {"header-shares-line", CheckSeverity::Warning, "a [NAME]{ header on one line, which the tables do not see"},
      {"duplicate-key", CheckSeverity::Warning, "one key given twice in one section"},
      {"not-a-number", CheckSeverity::Error, "a key that must hold a number holds something else"},
      {"missing-unitnumber", CheckSeverity::Warning, "a unit without UnitNumber, which the tables give no row"},
      {"missing-weapon-id", CheckSeverity::Warning, "a weapon without ID, which the tables give no row"},
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
      {"unbuildable-unit", CheckSeverity::Note, "no build menu lists the unit and no side has it as commander"},
      {"unused-weapon", CheckSeverity::Note, "no unit, weapon or feature names the weapon"},
  };
  return rules;
}

const char* SeverityWord(CheckSeverity Severity) {
  switch (Severity) {
    case CheckSeverity::Error: return "error";
    case CheckSeverity::Warning: return "warning";
    case CheckSeverity::Note: break;
  }
  return "note";
}

size_t RuleIndex(const CheckRule* Rule) { return static_cast<size_t>(Rule - CheckRules().data()); }

bool ParsedFile::Suppresses(int Line, const CheckRule* Rule) const {
  const auto at = std::lower_bound(Suppressed.begin(), Suppressed.end(), Line,
                                   [](const SuppressedLine& S, int L) { return S.Line < L; });
  for (auto it = at; it != Suppressed.end() && it->Line == Line; ++it)
    if (std::find(it->Rules.begin(), it->Rules.end(), Rule) != it->Rules.end()) return true;
  return false;
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
  if (Normal == "gamedata\\sidedata.tdf") return DefinitionKind::SideData;
  return DefinitionKind::None;
}

// Whether the corpses table reads the file: a .tdf directly in features\corpses.
bool InCorpseTable(std::string_view Normal) {
  constexpr std::string_view dir = "features\\corpses\\";
  return Normal.substr(0, dir.size()) == dir && Normal.find('\\', dir.size()) == std::string_view::npos &&
         EndsWith(Normal, ".tdf");
}

// The findings of Found beyond kMaxFindingsPerFile of one check in one file
// are left out and counted: Found is in file order, each file's by line.
// Omitted adds what each file's own reading left out already.
std::vector<CheckFinding> Capped(const GameSources& Sources, CheckModel::Found& Found,
                                 std::vector<std::pair<size_t, OmittedFindings>>& Omitted) {
  std::vector<CheckFinding> out;
  out.reserve(Found.size());
  std::vector<size_t> count(CheckRules().size(), 0);
  std::vector<OmittedFindings> left;  // of the file at hand
  size_t nextOmitted = 0;
  const auto finishFile = [&](size_t File) {
    for (; nextOmitted < Omitted.size() && Omitted[nextOmitted].first <= File; ++nextOmitted) {
      if (Omitted[nextOmitted].first < File) continue;
      const OmittedFindings& o = Omitted[nextOmitted].second;
      auto same = std::find_if(left.begin(), left.end(), [&](const OmittedFindings& L) { return L.Rule == o.Rule; });
      if (same == left.end()) {
        left.push_back(o);
      } else {
        same->Count += o.Count;
        same->FirstLine = std::min(same->FirstLine, o.FirstLine);
      }
    }
    for (const OmittedFindings& o : left) {
      CheckFinding f;
      f.Rule = o.Rule;
      f.Place = PlaceIn(Sources, File, o.FirstLine);
      f.Omitted = o.Count;
      f.Message = std::to_string(o.Count) + " more finding" + (o.Count == 1 ? "" : "s") +
                  " of this check in this file, from this line on, not listed";
      out.push_back(std::move(f));
    }
    left.clear();
    std::fill(count.begin(), count.end(), 0);
  };
  size_t file = Found.empty() ? 0 : Found.front().first;
  for (auto& [at, finding] : Found) {
    if (at != file) {
      finishFile(file);
      file = at;
    }
    if (++count[RuleIndex(finding.Rule)] <= kMaxFindingsPerFile) {
      out.push_back(std::move(finding));
      continue;
    }
    auto same = std::find_if(left.begin(), left.end(), [&](const OmittedFindings& L) { return L.Rule == finding.Rule; });
    if (same == left.end())
      left.push_back({finding.Rule, 1, finding.Place.Line});
    else
      ++same->Count;
  }
  if (!Found.empty()) finishFile(file);
  return out;
}

// The first exception of jobs run on several threads, which must not let
// one out: kept, and thrown again on the calling thread once they are done.
class JobFailure {
 public:
  template <typename F>
  void Run(F Work) {
    try {
      Work();
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!failed_) failed_ = std::current_exception();
      any_.store(true, std::memory_order_relaxed);
    }
  }
  bool Any() const { return any_.load(std::memory_order_relaxed); }
  void Rethrow() const {
    if (failed_) std::rethrow_exception(failed_);
  }

 private:
  std::mutex mutex_;
  std::exception_ptr failed_;
  std::atomic<bool> any_{false};
};

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
    model.Files[k].CorpseTable = InCorpseTable(normal[wanted[k]]);
  }
  std::atomic<size_t> done{0};
  JobFailure failure;
  Sources.Read(wanted, [&](size_t I, std::string_view Bytes, const std::string& Error) {
    if (Control.Cancelled() || failure.Any()) return;
    failure.Run([&] {
      ParsedFile& f = model.Files[slotOf[I]];
      f.Error = Error;
      if (Error.empty()) CheckOneFile(Sources, Bytes, f);
      const size_t now = done.fetch_add(1, std::memory_order_relaxed) + 1;
      if (Control.Progress) Control.Progress(now, wanted.size());
    });
  });
  failure.Rethrow();
  CheckOutcome out;
  if (Control.Cancelled()) {
    out.Cancelled = true;
    return out;
  }

  // The references and the unused definitions are checked on one thread;
  // on the other the conflicts, then each file's own findings are gathered.
  // Those come first, then the references, the conflicts and the unused.
  CheckModel::Found found, references, conflicts, unused;
  std::vector<std::pair<size_t, OmittedFindings>> omitted;
  hpi::ParallelFor(2, 2, [&](size_t Job) {
    failure.Run([&] {
      if (Job == 0) {
        model.CheckReferences(references);
        model.CheckUnused(unused);
        return;
      }
      model.CheckConflicts(conflicts);
      for (ParsedFile& f : model.Files) {
        if (!f.Error.empty()) out.Unreadable.push_back(PlaceName(PlaceIn(Sources, f.Index, 0)) + ": " + f.Error);
        for (CheckFinding& finding : f.Findings) found.emplace_back(f.Index, std::move(finding));
        for (const OmittedFindings& o : f.Omitted) omitted.emplace_back(f.Index, o);
        f.Findings.clear();
      }
    });
  });
  failure.Rethrow();
  // The findings across files that a comment of their own file silences.
  const auto suppressed = [&](const std::pair<size_t, CheckFinding>& F) {
    return model.Files[slotOf[F.first]].Suppresses(F.second.Place.Line, F.second.Rule);
  };
  found.reserve(found.size() + references.size() + conflicts.size() + unused.size());
  for (CheckModel::Found* more : {&references, &conflicts, &unused})
    std::copy_if(std::make_move_iterator(more->begin()), std::make_move_iterator(more->end()),
                 std::back_inserter(found), [&](const auto& F) { return !suppressed(F); });

  // By file, then by line; findings of one line in the order they were made.
  // Meanwhile the other thread gives back the model's memory: the findings
  // point at the sources, not at it.
  hpi::ParallelFor(2, 2, [&](size_t Job) {
    if (Job == 1) {
      std::vector<ParsedFile>().swap(model.Files);
      return;
    }
    failure.Run([&] {
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
      CheckModel::Found sorted;
      sorted.reserve(order.size());
      for (size_t i : order) sorted.push_back(std::move(found[i]));
      out.Findings = Capped(Sources, sorted, omitted);
    });
  });
  failure.Rethrow();
  return out;
}
