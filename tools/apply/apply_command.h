#pragma once
// kestrava-apply: writes the cells a spreadsheet changed in a table of
// kestrava-table back into the definitions they came from.
#include <ostream>
#include <string>
#include <vector>

// Runs the tool with Args (without the program name). The diff or the lines
// of changed definitions and the summary go to Out; messages to Err, one line
// each. Returns the exit status: 0 when everything was applied, 1 when
// anything was refused (what could be applied was, archive by archive), 2 for
// bad usage or a table that cannot be read.
int RunApply(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);
