#pragma once
// Splits a definition file into lines: clean (indentation, comments and
// statement terminators removed, empty lines dropped) for row building, or raw
// (the lines as stored) for the editor.
#include <string>
#include <vector>

#include "archive/file_lists.h"

std::vector<std::string> GetUnpackedLines(const UnPacked& Entry, bool Clean);
