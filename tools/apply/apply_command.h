#pragma once
// kestrava-apply: writes the cells a spreadsheet changed in a table of
// kestrava-table back into the definitions they came from.
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Runs the tool with Args (without the program name). The diff or the lines
// of changed definitions and the summary go to Out; messages to Err, one line
// each. Returns the exit status: 0 when everything was applied, 1 when
// anything was refused (what could be applied was, archive by archive), 2 for
// bad usage or a table that cannot be read. BeforeWriting, when given, is
// called once the plan is made and before anything is written (where another
// writer may change the files).
int RunApply(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err,
             const std::function<void()>& BeforeWriting = {});
