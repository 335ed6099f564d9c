#pragma once
// The program-wide state: the five file lists, the four report tables, their
// sort columns, the game directory, the extraction directory, and how the core
// reads the settings that live in the windows (the compression radio group and
// the autosize check mark). Start-up creates one; every test builds its own.
#include <functional>
#include <string>

#include "archive/dialogs.h"
#include "archive/file_lists.h"
#include "definitions/row_table.h"

struct AppState {
  explicit AppState(Dialogs& D) : dialogs(D) {}
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;

  Dialogs& dialogs;

  AllUnpacked UnitFiles, WeaponFiles, DownloadFiles, CorpseFiles, RepackFiles;
  RowTable UnitView, WeaponView, DownloadView, CorpseView;
  int UnitSortColumn = 0, WeaponSortColumn = 0, CorpseSortColumn = 0, DownloadSortColumn = 0;

  std::string TaDir;       // the game's installation directory
  std::string ExtractDir;  // where extraction writes; ends with '/' once chosen

  // The Options dialog's Compressiontype index (0 none, 1 LZ77, 2 zlib), read
  // by the engine at the moment it packs an archive.
  std::function<int()> CompressionSetting = [] { return 1; };
  // The check mark of "&Autosize all Columns", read by row building.
  std::function<bool()> AutosizeSetting = [] { return true; };

  // The sort column of one of the four tables.
  int& SortColumnOf(const RowTable& View) {
    if (&View == &WeaponView) return WeaponSortColumn;
    if (&View == &CorpseView) return CorpseSortColumn;
    if (&View == &DownloadView) return DownloadSortColumn;
    return UnitSortColumn;
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
