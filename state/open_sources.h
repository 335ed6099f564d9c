#pragma once
// What the window has open, as the whole-mod layer reads it: the archives
// opened and the game directory's loose files when they are included, and
// the definition files of the four tables as they are held now.
#include <string>
#include <vector>

#include "mod/diff_compare.h"
#include "mod/table_marks.h"
#include "state/app_state.h"

// The archives that the four file lists hold files of, in the order they
// were opened (as far as the lists tell it).
std::vector<std::string> OpenedArchives(const AppState& State);

// Whether the lists hold loose files of the game directory.
bool LooseFilesIncluded(const AppState& State);

// A loose file's disk path below TaDir as a path in a source ('\' between
// levels, as GameSources names it), and back.
std::string PathBelowGameDirectory(const AppState& State, const std::string& DiskPath);
std::string DiskPathInGameDirectory(const AppState& State, const std::string& Path);

// Every file of the four lists with its bytes as held now: an archive's file
// by the archive and its path inside, a loose file by its path below TaDir.
std::vector<DiffFile> OpenDefinitionFiles(const AppState& State);

// The kind of one of State's four tables; false for another table.
bool KindOfTable(const AppState& State, const RowTable& Table, TableKind& Kind);
// The table of a kind.
RowTable& TableOfKind(AppState& State, TableKind Kind);
