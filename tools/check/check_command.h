#pragma once
// kestrava-check: reads the base game and its mods as the game sees them and
// reports what will break (mod/check_run.h), as compiler-style text,
// JSON or SARIF 2.1.0.
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "mod/check_config.h"

struct CheckRequest {
  std::vector<std::string> Sources;  // archives or game directories, base game first
  std::string Format = "text";       // text, json or sarif
  CheckConfig Config;                // --ignore and the configuration file
  bool Werror = false;               // warnings make the exit status 1 too
};

// Reads the command line (without the program name) into Request. Returns -1
// to go on, or the exit status to end with: 0 after --help (the help is
// written to Out), 2 for bad usage (the message is written to Err).
int ParseCheckArguments(const std::vector<std::string>& Args, CheckRequest& Request, std::ostream& Out,
                        std::ostream& Err);

// Reads the sources, checks them and writes the findings left after silencing
// to Out, then a count per severity to Err. Returns the exit status: 0 when no
// error was found (warnings too with Werror), 1 when one was or a file could
// not be read, 2 when a source cannot be read at all.
int RunCheck(const CheckRequest& Request, std::ostream& Out, std::ostream& Err);

// The whole tool: arguments, then ConfigPath (kCheckConfigName in the current
// directory) when that file exists, then RunCheck.
int RunCheckTool(const std::vector<std::string>& Args, const std::string& ConfigPath, std::ostream& Out,
                 std::ostream& Err);
