#include "mod/check_config.h"

#include <sys/stat.h>

#include <algorithm>
#include <sstream>

#include "archive/disk_search.h"
#include "archive/source_reader.h"

const char kCheckConfigName[] = "kestrava-check.conf";

namespace {

std::string Trim(std::string_view S) {
  const size_t b = S.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return "";
  return std::string(S.substr(b, S.find_last_not_of(" \t\r") - b + 1));
}

std::string Slashes(std::string S) {
  std::replace(S.begin(), S.end(), '\\', '/');
  return S;
}

}  // namespace

bool AddCheckIds(std::string_view List, std::vector<std::string>& Ids, std::string& Wrong) {
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

std::string ReadCheckConfig(std::string_view Text, CheckConfig& Config) {
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
      if (!AddCheckIds(value, Config.Ignore, wrong)) return where + wrong;
    } else if (key == "skip") {
      if (value.empty()) return where + "skip needs a path pattern";
      Config.Skip.push_back(Slashes(value));
    } else {
      return where + "unknown setting " + key + " (ignore or skip)";
    }
  }
  return "";
}

bool LoadCheckConfig(const std::string& Path, CheckConfig& Config, std::string& Error) {
  struct stat st {};
  if (::stat(Path.c_str(), &st) != 0) return true;
  std::string text, why;
  if (!ReadDiskFile(Path, text, why)) {
    Error = "cannot read " + Path + ": " + why;
    return false;
  }
  if (const std::string wrong = ReadCheckConfig(text, Config); !wrong.empty()) {
    Error = Path + ":" + wrong;
    return false;
  }
  return true;
}

bool SilencedByConfig(const CheckConfig& Config, const CheckFinding& Finding) {
  if (std::find(Config.Ignore.begin(), Config.Ignore.end(), Finding.Rule->Id) != Config.Ignore.end()) return true;
  if (Config.Skip.empty()) return false;
  // Patterns are kept with '/' between levels: the paths are compared so too.
  const CheckPlace& p = Finding.Place;
  const std::string source = Slashes(p.SourcePath());
  const std::string file = Slashes(p.Archive().empty() ? p.Path() : p.Archive());
  for (const std::string& pattern : Config.Skip)
    if (WildcardMatchIgnoringCase(source, pattern) || WildcardMatchIgnoringCase(file, pattern)) return true;
  return false;
}
