#pragma once
// One check of a mod as kestrava-check and the window's Problems list run it:
// every check over the sources, then the findings the configuration silences
// dropped. It reports its progress and can be stopped (CheckControl), so that
// a window can run it on a thread of its own.
#include "archive/source_reader.h"
#include "mod/check_config.h"
#include "mod/mod_checks.h"

// The findings of Sources that Config leaves, in file order, each file's by
// line; Unreadable names the definition files that could not be read.
CheckOutcome RunChecks(const GameSources& Sources, const CheckConfig& Config, const CheckControl& Control = {});
