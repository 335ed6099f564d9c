#pragma once
// Paths inside an archive: their levels, and the levels of one that is
// extracted below a directory.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hpi {

// The non-empty levels of a path inside an archive; '\' and '/' both separate.
std::vector<std::string_view> SplitLevels(std::string_view archivePath);

// The levels of `archivePath` as a path below a directory it is extracted to:
// "." and empty levels dropped. Returns nullopt for a path that could leave
// that directory (a ".." level, a leading separator, a drive such as "C:") and
// for a path with no level at all.
std::optional<std::vector<std::string_view>> LevelsBelowTarget(std::string_view archivePath);

}  // namespace hpi
