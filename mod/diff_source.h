#pragma once
// The definition files of one version of a mod for kestrava-diff: an
// archive, or a directory read as the game sees a game directory (every
// archive in it, then its loose files below).
#include <string>
#include <vector>

#include "mod/diff_compare.h"

// Appends the files of the definition kinds to Files. False, with the reason
// in Why, when the source cannot be read at all.
bool ReadSourceFiles(const std::string& Source, std::vector<DiffFile>& Files, std::string& Why);
