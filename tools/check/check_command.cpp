#include "tools/check/check_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstring>
#include <sstream>

#include "archive/source_reader.h"
#include "mod/check_run.h"
#include "tools/check/check_report.h"

#ifndef KESTRAVA_VERSION
#define KESTRAVA_VERSION "0"
#endif

namespace {

const char kPrefix[] = "kestrava-check: ";

std::string Count(int N, const char* What) { return std::to_string(N) + " " + What + (N == 1 ? "" : "s"); }

std::string HelpFooter() {
  std::string s =
      "\nSources are read as the game reads them, base game first: a directory stands for\n"
      "every archive in it (.ufo, .hpi, .gp*, .ccx) and every loose file below it.\n"
      "A kestrava-check.conf in the current directory may hold lines 'ignore = ID,ID...'\n"
      "and 'skip = PATTERN' ('*' and '?' wildcards, letter case ignored); '#' starts a comment.\n"
      "Exit status: 0 no error (warnings allowed), 1 an error (or a warning with --werror, or a\n"
      "file that could not be read), 2 bad usage or a source that cannot be read at all.\n"
      "\nChecks:\n";
  for (const CheckRule& r : CheckRules())
    s += std::string("  ") + r.Id + std::string(22 - std::strlen(r.Id), ' ') +
         (r.Severity == CheckSeverity::Error ? "error    " : "warning  ") + r.Summary + "\n";
  return s;
}

}  // namespace

int ParseCheckArguments(const std::vector<std::string>& Args, CheckRequest& Request, std::ostream& Out,
                        std::ostream& Err) {
  CLI::App app{"Finds what will break a mod before the game does: broken references, missing\n"
               "models, scripts and pictures, conflicts between mods, and syntax slips.",
               "kestrava-check"};
  app.footer(HelpFooter());
  app.add_option("SOURCE", Request.Sources, "archives (.hpi, .ufo, .gp*, .ccx) or game directories")
      ->required();
  app.add_option("--format", Request.Format, "text (the default), json or sarif")
      ->check(CLI::IsMember({"text", "json", "sarif"}));
  std::vector<std::string> ignore;
  app.add_option("--ignore", ignore, "drop the findings of these check IDs (ID,ID...)")
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

  const std::vector<CheckFinding>& kept = outcome.Findings;
  int errors = 0, warnings = 0;
  for (const CheckFinding& f : kept) ++(f.Rule->Severity == CheckSeverity::Error ? errors : warnings);
  std::string text;
  if (Request.Format == "json")
    WriteCheckJson(text, kept);
  else if (Request.Format == "sarif")
    WriteCheckSarif(text, kept, KESTRAVA_VERSION);
  else
    WriteCheckText(text, kept);
  Out.write(text.data(), static_cast<std::streamsize>(text.size()));
  Out.flush();
  if (!Out) {
    Err << kPrefix << "cannot write the findings\n";
    return 1;
  }
  Err << kPrefix << Count(errors, "error") << ", " << Count(warnings, "warning") << "\n";
  return errors > 0 || unreadable > 0 || (Request.Werror && warnings > 0) ? 1 : 0;
}

int RunCheckTool(const std::vector<std::string>& Args, const std::string& ConfigPath, std::ostream& Out,
                 std::ostream& Err) {
  CheckRequest request;
  if (const int status = ParseCheckArguments(Args, request, Out, Err); status >= 0) return status;
  if (std::string why; !LoadCheckConfig(ConfigPath, request.Config, why)) {
    Err << kPrefix << why << "\n";
    return 2;
  }
  return RunCheck(request, Out, Err);
}
