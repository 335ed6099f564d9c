#include "tools/check/check_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstring>
#include <new>
#include <sstream>

#include "archive/source_reader.h"
#include "mod/check_baseline.h"
#include "mod/check_run.h"
#include "tools/check/check_report.h"
#include "tools/common/plain_help.h"
#include "mod/mod_checks.h"

#ifndef KESTRAVA_VERSION
#define KESTRAVA_VERSION "0"
#endif

namespace {

const char kPrefix[] = "kestrava-check: ";

std::string Count(size_t N, const char* What) { return std::to_string(N) + " " + What + (N == 1 ? "" : "s"); }

std::string HelpFooter() {
  std::string s =
      "\nSources are read as the game reads them, base game first: a directory stands for\n"
      "every archive in it (.ufo, .hpi, .gp*, .ccx) and every loose file below it.\n"
      "A kestrava-check.conf in the current directory may hold lines 'ignore = ID,ID...'\n"
      "and 'skip = PATTERN' ('*' and '?' wildcards, letter case ignored); '#' starts a comment.\n"
      "A comment '// kestrava-check: ignore ID,ID...' at the end of a line silences those\n"
      "checks on that line; alone on its line, on the line below. At most 100 findings of\n"
      "one check are listed per file; one more line counts the rest.\n"
      "Exit status: 0 no error (warnings and notes allowed), 1 an error (or a warning with\n"
      "--werror, or a file that could not be read), 2 bad usage, a source or baseline that\n"
      "cannot be read at all, or too little memory. Notes never change it.\n"
      "\nChecks:\n";
  for (const CheckRule& r : CheckRules())
    s += std::string("  ") + r.Id + std::string(22 - std::strlen(r.Id), ' ') +
         SeverityWord(r.Severity) + std::string(9 - std::strlen(SeverityWord(r.Severity)), ' ') + r.Summary + "\n";
  return s;
}

}  // namespace

int ParseCheckArguments(const std::vector<std::string>& Args, CheckRequest& Request, std::ostream& Out,
                        std::ostream& Err) {
  CLI::App app{"Finds what will break a mod before the game does: broken references, missing\n"
               "models, scripts and pictures, conflicts between mods, and syntax slips.",
               "kestrava-check"};
  UsePlainHelp(app);
  app.footer(HelpFooter());
  app.add_option("SOURCE", Request.Sources, "archives (.hpi, .ufo, .gp*, .ccx) or game directories")
      ->required();
  app.add_option("--format", Request.Format,
                 "text (the default), json, sarif or github (workflow annotations: notes as "
                 "notices; a file in an archive is annotated on the archive)")
      ->option_text("text|json|sarif|github")
      ->check(CLI::IsMember({"text", "json", "sarif", "github"}));
  app.add_option("--baseline", Request.Baseline,
                 "leave out the findings this baseline knows (matched by ID, file, definition "
                 "and key, not by line) and count them on standard error")
      ->option_text("FILE");
  app.add_option("--write-baseline", Request.WriteBaseline,
                 "write today's findings to this baseline file instead of reporting them")
      ->option_text("FILE");
  std::vector<std::string> ignore;
  app.add_option("--ignore", ignore, "drop the findings of these check IDs")
      ->option_text("ID,ID...")
      ->delimiter(',')
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_flag("--werror", Request.Werror, "warnings make the exit status 1 too");
  std::vector<std::string> reversed(Args.rbegin(), Args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) {
      app.exit(e, Out, Err);
      if (Out.flush()) return 0;
      Err << kPrefix << "cannot write to standard output\n";
      return 2;
    }
    Err << kPrefix << e.what() << " (try 'kestrava-check --help')\n";
    return 2;
  }
  for (const std::string& id : ignore) {
    std::string wrong;
    if (!AddCheckIds(id, Request.Config.Ignore, wrong)) {
      Err << kPrefix << wrong << " in --ignore (try 'kestrava-check --help')\n";
      return 2;
    }
  }
  return -1;
}

int RunCheck(const CheckRequest& Request, std::ostream& Out, std::ostream& Err) {
  CheckBaseline baseline;
  if (std::string why; !Request.Baseline.empty() && !baseline.Load(Request.Baseline, why)) {
    Err << kPrefix << why << "\n";
    return 2;
  }
  GameSources sources;
  for (const std::string& path : Request.Sources) {
    std::string why;
    if (!sources.Add(path, why)) {
      Err << kPrefix << "cannot read " << path << ": " << why << "\n";
      return 2;
    }
  }
  CheckOutcome outcome = RunChecks(sources, Request.Config);
  for (const std::string& note : sources.Notes()) Err << kPrefix << note << "\n";
  for (const std::string& line : outcome.Unreadable) Err << kPrefix << "cannot read " << line << "\n";
  const size_t unreadable = sources.Notes().size() + outcome.Unreadable.size();

  std::vector<CheckFinding>& kept = outcome.Findings;
  if (!Request.WriteBaseline.empty()) {
    size_t count = 0;
    for (const CheckFinding& f : kept) count += FindingCount(f);
    if (std::string why; !WriteCheckBaseline(Request.WriteBaseline, kept, why)) {
      Err << kPrefix << why << "\n";
      return 2;
    }
    Err << kPrefix << "baseline " << Request.WriteBaseline << " written with " << Count(count, "finding") << "\n";
    return unreadable > 0 ? 1 : 0;
  }
  const size_t known = Request.Baseline.empty() ? 0 : baseline.Filter(kept);

  size_t errors = 0, warnings = 0, notes = 0;
  for (const CheckFinding& f : kept) {
    const CheckSeverity severity = f.Rule->Severity;
    (severity == CheckSeverity::Error ? errors : severity == CheckSeverity::Warning ? warnings : notes) +=
        FindingCount(f);
  }
  std::string text;
  if (Request.Format == "json")
    WriteCheckJson(text, kept);
  else if (Request.Format == "sarif")
    WriteCheckSarif(text, kept, KESTRAVA_VERSION);
  else if (Request.Format == "github")
    WriteCheckGithub(text, kept);
  else
    WriteCheckText(text, kept);
  Out.write(text.data(), static_cast<std::streamsize>(text.size()));
  Out.flush();
  if (!Out) {
    Err << kPrefix << "cannot write the findings\n";
    return 1;
  }
  Err << kPrefix << Count(errors, "error") << ", " << Count(warnings, "warning")
      << (notes > 0 ? ", " + Count(notes, "note") : "") << "\n";
  if (!Request.Baseline.empty())
    Err << kPrefix << Count(known, "known finding") << " of baseline " << Request.Baseline << " left out\n";
  // Notes never make the exit status.
  return errors > 0 || unreadable > 0 || (Request.Werror && warnings > 0) ? 1 : 0;
}

int RunCheckTool(const std::vector<std::string>& Args, const std::string& ConfigPath, std::ostream& Out,
                 std::ostream& Err) {
  try {
    CheckRequest request;
    if (const int status = ParseCheckArguments(Args, request, Out, Err); status >= 0) return status;
    if (std::string why; !LoadCheckConfig(ConfigPath, request.Config, why)) {
      Err << kPrefix << why << "\n";
      return 2;
    }
    return RunCheck(request, Out, Err);
  } catch (const std::bad_alloc&) {
    Err << kPrefix << "out of memory\n";
  } catch (const std::exception& e) {
    Err << kPrefix << e.what() << "\n";
  }
  return 2;
}
