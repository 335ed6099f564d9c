#pragma once
// kestrava-diff's report of the differences, as text for a review, CSV
// (one line per changed key, or per added or removed definition) or JSON.
#include <string>
#include <vector>

#include "mod/diff_compare.h"

enum class DiffFormat { Text, Csv, Json };

// Appends the report to Out. Definition text is 8-bit and is written as
// UTF-8, each byte taken as its Latin-1 character. CSV cells that a
// spreadsheet would run as a formula get a leading "'" unless Guard is off.
void WriteDiffReport(std::string& Out, DiffFormat Format, const std::vector<DefinitionDifference>& Differences,
                     bool Guard = true);
