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

// Loads the kind files below TaDir into the four lists and builds the new rows
// of all four tables. False, with nothing changed, when TaDir is not an
// existing directory.
bool IncludeLooseFiles(AppState& State);
