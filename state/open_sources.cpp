#include "state/open_sources.h"

#include <algorithm>
#include <array>

namespace {

std::array<const AllUnpacked*, 4> Lists(const AppState& State) {
  return {&State.UnitFiles, &State.WeaponFiles, &State.CorpseFiles, &State.DownloadFiles};
}

}  // namespace

std::vector<std::string> OpenedArchives(const AppState& State) {
  // Each list keeps its archives in load order; an archive that no list
  // before held goes just before the next archive of its list already placed.
  std::vector<std::string> out;
  for (const AllUnpacked* list : Lists(State)) {
    std::vector<std::string> archives;
    for (int i = 0; i < list->Count; ++i) {
      const UnPacked& e = (*list)[i];
      if (e.Kind == kKindLoose || e.Kind == kKindDirectory) continue;
      if (std::find(archives.begin(), archives.end(), e.ParentFile) == archives.end()) archives.push_back(e.ParentFile);
    }
    for (size_t i = 0; i < archives.size(); ++i) {
      if (std::find(out.begin(), out.end(), archives[i]) != out.end()) continue;
      auto at = out.end();
      for (size_t j = i + 1; j < archives.size() && at == out.end(); ++j) at = std::find(out.begin(), out.end(), archives[j]);
      out.insert(at, archives[i]);
    }
  }
  return out;
}

bool LooseFilesIncluded(const AppState& State) {
  const auto lists = Lists(State);
  for (int l = 0; l < 4; ++l)
    for (int i = 0; i < lists[l]->Count; ++i)
      if ((*lists[l])[i].Kind == kKindLoose) return true;
  return false;
}

std::string PathBelowGameDirectory(const AppState& State, const std::string& DiskPath) {
  std::string dir = State.TaDir;
  while (!dir.empty() && dir.back() == '/') dir.pop_back();
  std::string below = DiskPath;
  if (below.compare(0, dir.size() + 1, dir + "/") == 0) below.erase(0, dir.size() + 1);
  while (!below.empty() && below.front() == '/') below.erase(0, 1);
  std::replace(below.begin(), below.end(), '/', '\\');
  return below;
}

std::string DiskPathInGameDirectory(const AppState& State, const std::string& Path) {
  std::string dir = State.TaDir;
  while (!dir.empty() && dir.back() == '/') dir.pop_back();
  std::string below = Path;
  std::replace(below.begin(), below.end(), '\\', '/');
  return dir + "/" + below;
}

std::vector<DiffFile> OpenDefinitionFiles(const AppState& State) {
  std::vector<DiffFile> files;
  const auto lists = Lists(State);
  for (int l = 0; l < 4; ++l)
    for (int i = 0; i < lists[l]->Count; ++i) {
      const UnPacked& e = (*lists[l])[i];
      if (e.Kind == kKindDirectory) continue;
      DiffFile f;
      if (e.Kind == kKindLoose) {
        f.Path = PathBelowGameDirectory(State, e.UnPackedFile);
      } else {
        f.Archive = e.ParentFile;
        f.Path = e.UnPackedFile;
      }
      if (e.Contents && e.PFileSize > 0) f.Bytes.assign(e.Contents.get(), static_cast<size_t>(e.PFileSize));
      files.push_back(std::move(f));
    }
  return files;
}

bool KindOfTable(const AppState& State, const RowTable& Table, TableKind& Kind) {
  if (&Table == &State.UnitView) Kind = TableKind::Units;
  else if (&Table == &State.WeaponView) Kind = TableKind::Weapons;
  else if (&Table == &State.CorpseView) Kind = TableKind::Corpses;
  else if (&Table == &State.DownloadView) Kind = TableKind::Download;
  else return false;
  return true;
}

RowTable& TableOfKind(AppState& State, TableKind Kind) {
  switch (Kind) {
    case TableKind::Units: return State.UnitView;
    case TableKind::Weapons: return State.WeaponView;
    case TableKind::Corpses: return State.CorpseView;
    case TableKind::Download: return State.DownloadView;
  }
  return State.UnitView;
}
