#pragma once
// kestrava-diff: what changed between two versions of a mod.
#include <ostream>
#include <string>
#include <vector>

// Runs the tool with Args (without the program name). The report goes to
// Out, messages to Err. Returns 0 when the two are the same, 1 when they
// differ, 2 for bad usage or a source that cannot be read.
int RunDiff(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);
