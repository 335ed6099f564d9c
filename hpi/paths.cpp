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

std::optional<std::vector<std::string_view>> LevelsBelowTarget(std::string_view archivePath) {
  if (StartsOutside(archivePath)) return std::nullopt;
  std::vector<std::string_view> levels;
  for (std::string_view level : LevelRange(archivePath)) {
    if (level == ".") continue;
    if (level == "..") return std::nullopt;
    levels.push_back(level);
  }
  if (levels.empty()) return std::nullopt;
  return levels;
}

std::string DiskPathBelowTarget(std::string_view archivePath) {
  if (StartsOutside(archivePath)) return "";
  std::string joined;
  joined.reserve(archivePath.size());
  for (std::string_view level : LevelRange(archivePath)) {
    if (level == ".") continue;
    if (level == "..") return "";
    if (!joined.empty()) joined += '/';
    joined += level;
  }
  return joined;
}

}  // namespace hpi
