#include "hpi/paths.h"

namespace hpi {

std::vector<std::string_view> SplitLevels(std::string_view archivePath) {
  std::vector<std::string_view> levels;
  size_t pos = 0;
  while (pos <= archivePath.size()) {
    size_t end = archivePath.find_first_of("\\/", pos);
    if (end == std::string_view::npos) end = archivePath.size();
    const std::string_view level = archivePath.substr(pos, end - pos);
    pos = end + 1;
    if (!level.empty()) levels.push_back(level);
  }
  return levels;
}

std::optional<std::vector<std::string_view>> LevelsBelowTarget(std::string_view archivePath) {
  if (archivePath.empty() || archivePath[0] == '\\' || archivePath[0] == '/') return std::nullopt;
  if (archivePath.size() >= 2 && archivePath[1] == ':') return std::nullopt;
  std::vector<std::string_view> levels = SplitLevels(archivePath);
  std::erase(levels, std::string_view("."));
  for (std::string_view level : levels)
    if (level == "..") return std::nullopt;
  if (levels.empty()) return std::nullopt;
  return levels;
}

std::string DiskPathBelowTarget(std::string_view archivePath) {
  std::string joined;
  if (const auto levels = LevelsBelowTarget(archivePath))
    for (std::string_view level : *levels) {
      if (!joined.empty()) joined += '/';
      joined += level;
    }
  return joined;
}

}  // namespace hpi
