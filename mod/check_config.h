#pragma once
// The settings that silence findings for good, as kestrava-check.conf holds
// them and the window's check uses them too: check IDs to ignore, and path
// patterns whose findings are dropped.
//
// The file holds lines "ignore = ID,ID..." and "skip = PATTERN" ('*' and '?'
// wildcards, letter case ignored); '#' starts a comment.
#include <string>
#include <string_view>
#include <vector>

#include "mod/mod_checks.h"

struct CheckConfig {
  std::vector<std::string> Ignore;  // check IDs whose findings are dropped
  std::vector<std::string> Skip;    // path patterns whose findings are dropped, '/' between levels
};

// The name of the configuration file, looked for in the current directory.
extern const char kCheckConfigName[];

// Adds the IDs of a comma-separated list (blanks around them dropped, empty
// ones passed over) to Ids. False, with "unknown check ID X" in Wrong, at an ID
// no check has.
bool AddCheckIds(std::string_view List, std::vector<std::string>& Ids, std::string& Wrong);

// Reads the text of a configuration file into Config. Returns an empty text,
// or "LINE: what is wrong".
std::string ReadCheckConfig(std::string_view Text, CheckConfig& Config);

// Reads the configuration file Path into Config when it exists (no file is no
// setting). False, with the message in Error ("cannot read PATH: why" or
// "PATH:LINE: what"),
// when it exists but cannot be read or holds a mistake.
bool LoadCheckConfig(const std::string& Path, CheckConfig& Config, std::string& Error);

// Whether Config drops this finding: its ID ignored, or its file skipped.
bool SilencedByConfig(const CheckConfig& Config, const CheckFinding& Finding);
