#pragma once
// Loading the sources of the four tables: archives as "&Open..." loads them
// and the loose files below the game directory as the include switch does.
// The window's menu handlers and the command-line table tool share these, so
// both fill the lists and build the rows in the same order.
#include <string>
#include <vector>

#include "state/app_state.h"

// Loads each archive, in the order given, into UnitFiles, WeaponFiles,
// DownloadFiles and CorpseFiles (the engine skips an archive a list holds
// already), then builds the new rows of every table whose list grew, in the
// order UnitView, WeaponView, CorpseView, DownloadView.
void OpenArchiveFiles(AppState& State, const std::vector<std::string>& Files);

// The same, and one line for each thing that could not be read, in the words
// of kestrava-table: an archive ("cannot read archive PATH: WHY"), named and
// giving no entry because it cannot be opened as one, and a damaged file
// inside one ("cannot read FILE in ARCHIVE; what it defines is left out").
// Whatever could be read is loaded all the same.
struct LoadReport {
  std::vector<std::string> Problems;    // the lines, archives first
  std::vector<std::string> Unreadable;  // the archives that could not be opened
};
LoadReport OpenArchiveFilesReporting(AppState& State, const std::vector<std::string>& Files);

// Loads the kind files below TaDir into the four lists and builds the new rows
// of all four tables. False, with nothing changed, when TaDir is not an
// existing directory.
bool IncludeLooseFiles(AppState& State);
