#include "tools/check/check_command.h"

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstring>
#include <sstream>

#include "archive/disk_search.h"
#include "archive/source_reader.h"
#include "tools/check/check_report.h"
#include "tools/common/plain_help.h"
#include "mod/mod_checks.h"

#ifndef KESTRAVA_VERSION
#define KESTRAVA_VERSION "0"
#endif

const char kCheckConfigName[] = "kestrava-check.conf";

namespace {

const char kPrefix[] = "kestrava-check: ";

std::string Trim(std::string_view S) {
  const size_t b = S.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return "";
  return std::string(S.substr(b, S.find_last_not_of(" \t\r") - b + 1));
}

// The IDs of a comma-separated list; an unknown ID is named in Wrong.
bool AddIds(std::string_view List, std::vector<std::string>& Ids, std::string& Wrong) {
  std::stringstream in{std::string(List)};
  for (std::string id; std::getline(in, id, ',');) {
    id = Trim(id);
    if (id.empty()) continue;
    if (!FindCheckRule(id)) {
      Wrong = "unknown check ID " + id;
      return false;
    }
    Ids.push_back(id);
  }
  return true;
}

std::string Slashes(std::string S) {
  std::replace(S.begin(), S.end(), '\\', '/');
  return S;
}

// Patterns are kept with '/' between levels (see the config reading).
bool Skipped(const CheckRequest& R, const CheckPlace& P) {
  if (R.Skip.empty()) return false;
  const std::string source = Slashes(P.SourcePath());
  const std::string file = Slashes(P.Archive().empty() ? P.Path() : P.Archive());
  for (const std::string& pattern : R.Skip)
    if (WildcardMatchIgnoringCase(source, pattern) || WildcardMatchIgnoringCase(file, pattern)) return true;
  return false;
}

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
  UsePlainHelp(app);
  app.footer(HelpFooter());
  app.add_option("SOURCE", Request.Sources, "archives (.hpi, .ufo, .gp*, .ccx) or game directories")
      ->required();
  app.add_option("--format", Request.Format, "text (the default), json or sarif")
      ->option_text("text|json|sarif")
      ->check(CLI::IsMember({"text", "json", "sarif"}));
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
    if (!AddIds(id, Request.Ignore, wrong)) {
      Err << kPrefix << wrong << " in --ignore (try 'kestrava-check --help')\n";
      return 2;
    }
  }
  return -1;
}

std::string ReadCheckConfig(std::string_view Text, CheckRequest& Request) {
  std::stringstream in{std::string(Text)};
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    const std::string where = std::to_string(number) + ": ";
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return where + "expected 'ignore = ID,ID...' or 'skip = PATTERN'";
    const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
    if (key == "ignore") {
      std::string wrong;
      if (!AddIds(value, Request.Ignore, wrong)) return where + wrong;
    } else if (key == "skip") {
      if (value.empty()) return where + "skip needs a path pattern";
      Request.Skip.push_back(Slashes(value));
    } else {
      return where + "unknown setting " + key + " (ignore or skip)";
    }
  }
  return "";
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
  CheckOutcome outcome = CheckSources(sources);
  for (const std::string& note : sources.Notes()) Err << kPrefix << note << "\n";
  for (const std::string& line : outcome.Unreadable) Err << kPrefix << "cannot read " << line << "\n";
  const size_t unreadable = sources.Notes().size() + outcome.Unreadable.size();

  // The findings left after silencing, in their order, where they are.
  std::vector<CheckFinding>& kept = outcome.Findings;
  kept.erase(std::remove_if(kept.begin(), kept.end(),
                            [&](const CheckFinding& f) {
                              return std::find(Request.Ignore.begin(), Request.Ignore.end(), f.Rule->Id) !=
                                         Request.Ignore.end() ||
                                     Skipped(Request, f.Place);
                            }),
             kept.end());
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
  struct stat st {};
  if (::stat(ConfigPath.c_str(), &st) == 0) {
    std::string text, why;
    if (!ReadDiskFile(ConfigPath, text, why)) {
      Err << kPrefix << "cannot read " << ConfigPath << ": " << why << "\n";
      return 2;
    }
    if (const std::string wrong = ReadCheckConfig(text, request); !wrong.empty()) {
      Err << kPrefix << ConfigPath << ":" << wrong << "\n";
      return 2;
    }
  }
  return RunCheck(request, Out, Err);
}
