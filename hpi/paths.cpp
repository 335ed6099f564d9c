#include "hpi/paths.h"

namespace hpi {

namespace {

// Whether `archivePath` starts as a path that leaves any directory: empty, a
// leading separator, or a drive such as "C:".
bool StartsOutside(std::string_view archivePath) {
  return archivePath.empty() || archivePath[0] == '\\' || archivePath[0] == '/' ||
         (archivePath.size() >= 2 && archivePath[1] == ':');
}

}  // namespace

std::vector<std::string_view> SplitLevels(std::string_view archivePath) {
  std::vector<std::string_view> levels;
  for (std::string_view level : LevelRange(archivePath)) levels.push_back(level);
  return levels;
}

namespace {

// Calls Visit with each level of `archivePath` below the target, "." levels
// left out; false, part way perhaps, when the path leaves the target or
// names no level.
template <typename F>
bool VisitLevelsBelowTarget(std::string_view archivePath, F Visit) {
  if (StartsOutside(archivePath)) return false;
  bool any = false;
  for (std::string_view level : LevelRange(archivePath)) {
    if (level == ".") continue;
    if (level == "..") return false;
    Visit(level);
    any = true;
  }
  return any;
}

}  // namespace

std::optional<std::vector<std::string_view>> LevelsBelowTarget(std::string_view archivePath) {
  std::vector<std::string_view> levels;
  if (!VisitLevelsBelowTarget(archivePath, [&](std::string_view L) { levels.push_back(L); })) return std::nullopt;
  return levels;
}

std::string DiskPathBelowTarget(std::string_view archivePath) {
  std::string joined;
  joined.reserve(archivePath.size());
  const bool below = VisitLevelsBelowTarget(archivePath, [&](std::string_view L) {
    if (!joined.empty()) joined += '/';
    joined += L;
  });
  return below ? joined : std::string();
}

}  // namespace hpi
