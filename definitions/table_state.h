#pragma once
// What row building needs of the program-wide state on top of the engine's
// part: the four report tables, their sort columns, and the autosize setting.
#include <functional>

#include "archive/engine_state.h"
#include "definitions/row_table.h"

struct TableState : EngineState {
  using EngineState::EngineState;

  RowTable UnitView, WeaponView, DownloadView, CorpseView;
  int UnitSortColumn = 0, WeaponSortColumn = 0, CorpseSortColumn = 0, DownloadSortColumn = 0;

  // Whether a table's rows stand in descending order of its sort column (a
  // second click on the sorted column's header); ascending otherwise.
  bool UnitSortDescending = false, WeaponSortDescending = false, CorpseSortDescending = false,
       DownloadSortDescending = false;
  // Called by row building once it changed the rows of View (Mode as given
  // to BuildRows), before the table is fitted and sorted; empty by default.
  // Keeps what is worked out from the rows' definitions in step with them.
  std::function<void(RowTable& View, int Mode)> RowsBuilt;

  // The check mark of "&Autosize all Columns", read by row building.
  std::function<bool()> AutosizeSetting = [] { return true; };

  // The sort column of one of the four tables.
  int& SortColumnOf(const RowTable& View) {
    if (&View == &WeaponView) return WeaponSortColumn;
    if (&View == &CorpseView) return CorpseSortColumn;
    if (&View == &DownloadView) return DownloadSortColumn;
    return UnitSortColumn;
  }
  bool& SortDescendingOf(const RowTable& View) {
    if (&View == &WeaponView) return WeaponSortDescending;
    if (&View == &CorpseView) return CorpseSortDescending;
    if (&View == &DownloadView) return DownloadSortDescending;
    return UnitSortDescending;
  }
  // The file list paired with one of the four tables, and its multi-section flag.
  AllUnpacked& FilesOf(const RowTable& View) {
    if (&View == &WeaponView) return WeaponFiles;
    if (&View == &CorpseView) return CorpseFiles;
    if (&View == &DownloadView) return DownloadFiles;
    return UnitFiles;
  }
  bool MultiSectionOf(const RowTable& View) const { return &View != &UnitView; }
};
