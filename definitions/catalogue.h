#pragma once
// The column catalogue: the definition keys shown as table columns, in order,
// and the column set-up run once at start-up.
#include <array>

#include "definitions/table_state.h"

extern const std::array<const char*, 101> UnitKeys;
extern const std::array<const char*, 70> WeaponKeys;
extern const std::array<const char*, 5> DownloadKeys;
extern const std::array<const char*, 16> CorpseKeys;
extern const std::array<const char*, 3> FileColumns;

// Fills Ext, SubDir and KeyList of the four kind lists, sets the sort columns to
// 0 and creates every column of the four tables (104, 73, 8 and 19).
void SetUpColumns(TableState& State);
