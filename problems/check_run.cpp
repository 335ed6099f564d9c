#include "problems/check_run.h"

#include "archive/source_reader.h"
#include "mod/check_config.h"
#include "mod/check_run.h"

ProblemCheck RunProblemCheck(const ProblemSources& Sources, const std::string& ConfigPath,
                             const std::atomic<bool>& Cancel, std::function<void(size_t, size_t)> Progress) {
  ProblemCheck out;
  CheckConfig config;
  if (std::string why; !LoadCheckConfig(ConfigPath, config, why)) {
    out.Notes.push_back(why);
    out.Failed = true;
    return out;
  }

  GameSources sources;
  for (const std::string& archive : Sources.Archives) {
    std::string why;
    if (!sources.Add(archive, why)) out.Notes.push_back("cannot read " + archive + ": " + why);
  }
  if (!Sources.LooseDirectory.empty()) {
    std::string why;
    if (!sources.AddLooseFiles(Sources.LooseDirectory, why))
      out.Notes.push_back("cannot read " + Sources.LooseDirectory + ": " + why);
  }
  CheckControl control;
  control.Cancel = &Cancel;
  control.Progress = std::move(Progress);
  const CheckOutcome outcome = RunChecks(sources, config, control);
  if (outcome.Cancelled || Cancel.load()) {
    out.Cancelled = true;
    return out;
  }
  for (const std::string& line : outcome.Unreadable) out.Notes.push_back("cannot read " + line);
  for (const CheckFinding& f : outcome.Findings) {
    Problem p;
    p.Severity = f.Rule->Severity;
    p.Id = f.Rule->Id;
    p.Archive = f.Place.Archive();
    p.File = f.Place.Path();
    p.Place = PlaceName(f.Place);
    p.Line = f.Place.Line;
    p.Definition = f.Definition;
    p.Message = f.Message;
    p.Key = f.Key;
    out.Problems.push_back(std::move(p));
  }
  return out;
}
