#pragma once
// kestrava-check: reads the base game and its mods as the game sees them and
// reports what will break (mod/check_run.h), as compiler-style text,
// JSON, SARIF 2.1.0 or GitHub workflow annotations.
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "mod/check_config.h"

struct CheckRequest {
  std::vector<std::string> Sources;  // archives or game directories, base game first
  std::string Format = "text";       // text, json, sarif or github
  CheckConfig Config;                // --ignore and the configuration file
  bool Werror = false;               // warnings make the exit status 1 too
  std::string Baseline;              // known findings to leave out; empty for none
  std::string WriteBaseline;         // write today's findings here instead of reporting them
};

// Reads the command line (without the program name) into Request. Returns -1
// to go on, or the exit status to end with: 0 after --help (the help is
// written to Out), 2 for bad usage (the message is written to Err).
int ParseCheckArguments(const std::vector<std::string>& Args, CheckRequest& Request, std::ostream& Out,
                        std::ostream& Err);

// Reads the sources, checks them and writes the findings left after silencing
// and the baseline to Out, then a count per severity to Err; or writes them
// to the baseline file WriteBaseline. Returns the exit status: 0 when no
// error was found (warnings too with Werror; notes never count), 1 when one
// was or a file could not be read, 2 when a source or the baseline cannot be
// read at all or the baseline cannot be written.
int RunCheck(const CheckRequest& Request, std::ostream& Out, std::ostream& Err);

// The whole tool: arguments, then ConfigPath (kCheckConfigName in the current
// directory) when that file exists, then RunCheck. Running out of memory, or
// any other failure, is a message and exit status 2.
int RunCheckTool(const std::vector<std::string>& Args, const std::string& ConfigPath, std::ostream& Out,
                 std::ostream& Err);
