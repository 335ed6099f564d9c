#include "state/sources.h"

#include <utility>

#include "archive/ascii_case.h"
#include "archive/disk_search.h"
#include "archive/engine.h"
#include "definitions/build_rows.h"
#include "hpi/archive.h"

namespace {

// The balance figures worked out once, when all four tables are built,
// rather than after each; however the scope is left.
class FiguresOnceAtTheEnd {
 public:
  explicit FiguresOnceAtTheEnd(AppState& State) : State_(State) { State_.Figures.Hold(true); }
  ~FiguresOnceAtTheEnd() { State_.Figures.Hold(false); }
  FiguresOnceAtTheEnd(const FiguresOnceAtTheEnd&) = delete;
  FiguresOnceAtTheEnd& operator=(const FiguresOnceAtTheEnd&) = delete;

 private:
  AppState& State_;
};

}  // namespace

void OpenArchiveFiles(AppState& State, const std::vector<std::string>& Files) {
  FiguresOnceAtTheEnd figures(State);
  AllUnpacked* const lists[] = {&State.UnitFiles, &State.WeaponFiles, &State.DownloadFiles, &State.CorpseFiles};
  const int unitsBefore = State.UnitFiles.Count, weaponsBefore = State.WeaponFiles.Count,
                 corpsesBefore = State.CorpseFiles.Count, downloadsBefore = State.DownloadFiles.Count;
  {
    // The engine reports its own failures; every call goes on whatever
    // happened. Each archive is opened once for its four lists.
    KeepArchiveOpen keep(State);
    for (const std::string& f : Files)
      for (AllUnpacked* list : lists) ReadwriteHPIDir(State, list, f, rwLoadArchive);
  }

  const std::pair<RowTable*, int> tables[] = {
      {&State.UnitView, unitsBefore},
      {&State.WeaponView, weaponsBefore},
      {&State.CorpseView, corpsesBefore},
      {&State.DownloadView, downloadsBefore},
  };
  std::vector<NewRowsOfTable> grown;
  for (const auto& [view, before] : tables) {
    AllUnpacked& list = State.FilesOf(*view);
    if (list.Count > before) grown.push_back({view, &list, State.MultiSectionOf(*view)});
  }
  BuildNewRowsOfTables(State, grown);
}

LoadReport OpenArchiveFilesReporting(AppState& State, const std::vector<std::string>& Files) {
  State.dialogs.TakeFilesNotRead();  // notes of earlier reads are not this load's
  OpenArchiveFiles(State, Files);
  LoadReport report;
  for (const std::string& path : Files) {
    bool gaveEntries = false;
    for (const AllUnpacked* list : {&State.UnitFiles, &State.WeaponFiles, &State.DownloadFiles, &State.CorpseFiles})
      for (int i = 0; i < list->Count && !gaveEntries; ++i) gaveEntries = EqualIgnoringCase((*list)[i].ParentFile, path);
    // An archive without definitions gives no entry either; only one that
    // cannot be opened is a problem.
    std::string why;
    if (!gaveEntries && !hpi::Archive::Open(path, &why)) {
      report.Problems.push_back("cannot read archive " + path + ": " + why);
      report.Unreadable.push_back(path);
    }
  }
  for (const Dialogs::FileNotReadNote& n : State.dialogs.TakeFilesNotRead())
    report.Problems.push_back("cannot read " + n.Path + " in " + n.Archive + "; what it defines is left out");
  return report;
}

bool IncludeLooseFiles(AppState& State) {
  if (State.TaDir.empty() || !DirectoryExistsIgnoringCase(State.TaDir)) return false;
  FiguresOnceAtTheEnd figures(State);
  RowTable* const views[] = {&State.UnitView, &State.WeaponView, &State.DownloadView, &State.CorpseView};
  for (RowTable* view : views) ReadwriteHPIDir(State, &State.FilesOf(*view), "", rwLoadLooseFiles);
  std::vector<NewRowsOfTable> tables;
  for (RowTable* view : views) tables.push_back({view, &State.FilesOf(*view), State.MultiSectionOf(*view)});
  BuildNewRowsOfTables(State, tables);
  return true;
}
