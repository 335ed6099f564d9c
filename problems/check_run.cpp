#include "problems/check_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <sstream>

#include "archive/disk_search.h"
#include "archive/source_reader.h"

namespace {

// kestrava-check.conf as kestrava-check reads it: 'ignore = ID,ID...' and
// 'skip = PATTERN' lines, '#' starting a comment.
struct CheckConfig {
  std::vector<std::string> Ignore;
  std::vector<std::string> Skip;  // '/' between levels
};

std::string Trim(const std::string& S) {
  const size_t b = S.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return S.substr(b, S.find_last_not_of(" \t\r") - b + 1);
}

std::string Slashes(std::string S) {
  std::replace(S.begin(), S.end(), '\\', '/');
  return S;
}

// An empty text, or "LINE: what is wrong".
std::string ReadConfig(const std::string& Text, CheckConfig& Config) {
  std::stringstream in(Text);
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
      std::stringstream ids(value);
      for (std::string id; std::getline(ids, id, ',');) {
        id = Trim(id);
        if (id.empty()) continue;
        if (!FindCheckRule(id)) return where + "unknown check ID " + id;
        Config.Ignore.push_back(id);
      }
    } else if (key == "skip") {
      if (value.empty()) return where + "skip needs a path pattern";
      Config.Skip.push_back(Slashes(value));
    } else {
      return where + "unknown setting " + key + " (ignore or skip)";
    }
  }
  return "";
}

bool Silenced(const CheckConfig& Config, const CheckFinding& F) {
  if (std::find(Config.Ignore.begin(), Config.Ignore.end(), F.Rule->Id) != Config.Ignore.end()) return true;
  const std::string source = Slashes(F.Place.SourcePath());
  const std::string file = Slashes(F.Place.Archive().empty() ? F.Place.Path() : F.Place.Archive());
  for (const std::string& pattern : Config.Skip)
    if (WildcardMatchIgnoringCase(source, pattern) || WildcardMatchIgnoringCase(file, pattern)) return true;
  return false;
}

// The key a reference finding is about: its message starts "KEY=VALUE names no".
std::string ReferenceKey(const CheckFinding& F) {
  const std::string id = F.Rule->Id;
  if (id != "unknown-weapon" && id != "unknown-feature" && id != "unknown-unit") return "";
  const size_t eq = F.Message.find('=');
  return eq == std::string::npos ? "" : F.Message.substr(0, eq);
}

}  // namespace

ProblemCheck RunProblemCheck(const ProblemSources& Sources, const std::string& ConfigPath,
                             const std::atomic<bool>& Cancel) {
  ProblemCheck out;
  CheckConfig config;
  struct stat st {};
  if (!ConfigPath.empty() && ::stat(ConfigPath.c_str(), &st) == 0) {
    std::string text, why;
    if (!ReadDiskFile(ConfigPath, text, why)) why = "cannot read " + ConfigPath + ": " + why;
    else if (const std::string wrong = ReadConfig(text, config); !wrong.empty()) why = ConfigPath + ":" + wrong;
    if (!why.empty()) {
      out.Notes.push_back(why);
      out.Failed = true;
      return out;
    }
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
  if (Cancel.load()) {
    out.Cancelled = true;
    return out;
  }
  CheckOutcome outcome = CheckSources(sources);
  if (Cancel.load()) {
    out.Cancelled = true;
    return out;
  }
  for (const std::string& line : outcome.Unreadable) out.Notes.push_back("cannot read " + line);
  for (const CheckFinding& f : outcome.Findings) {
    if (Silenced(config, f)) continue;
    Problem p;
    p.Severity = f.Rule->Severity;
    p.Id = f.Rule->Id;
    p.Archive = f.Place.Archive();
    p.File = f.Place.Path();
    p.Place = PlaceName(f.Place);
    p.Line = f.Place.Line;
    p.Definition = f.Definition;
    p.Message = f.Message;
    p.Key = ReferenceKey(f);
    out.Problems.push_back(std::move(p));
  }
  return out;
}
