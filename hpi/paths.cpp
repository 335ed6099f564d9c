#include "hpi/paths.h"

namespace hpi {

std::optional<std::string> DiskRelativePath(std::string_view archivePath) {
  if (archivePath.empty() || archivePath[0] == '\\' || archivePath[0] == '/') return std::nullopt;
  if (archivePath.size() >= 2 && archivePath[1] == ':') return std::nullopt;
  std::string out;
  size_t pos = 0;
  while (pos <= archivePath.size()) {
    size_t end = archivePath.find_first_of("\\/", pos);
    if (end == std::string_view::npos) end = archivePath.size();
    const std::string_view level = archivePath.substr(pos, end - pos);
    pos = end + 1;
    if (level.empty() || level == ".") continue;
    if (level == "..") return std::nullopt;
    if (!out.empty()) out += '/';
    out += level;
  }
  if (out.empty()) return std::nullopt;
  return out;
}

}  // namespace hpi
