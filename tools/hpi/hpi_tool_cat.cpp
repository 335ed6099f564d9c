// hpi cat: one file's bytes on standard output.
#include <memory>
#include <vector>

#include "hpi/paths.h"
#include "tools/hpi/hpi_tool_file_commands.h"
#include "tools/common/shown_path.h"

namespace hpitool {

std::optional<uint32_t> FindPreferringExact(const hpi::Archive& Archive, std::string_view Path) {
  // The archive's own lookup already prefers the exact spelling at each level.
  const std::optional<uint32_t> found = Archive.Find(Path);
  if (!found || *found == hpi::Entry::kNone) return std::nullopt;
  return found;
}

int Cat(const std::string& archive, const std::string& path, std::ostream& out, std::ostream& err) {
  std::string why;
  const std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(archive, &why);
  if (!a) {
    err << "hpi: cannot read archive " << archive << ": " << why << "\n";
    return 1;
  }
  const std::optional<uint32_t> index = FindPreferringExact(*a, path);
  if (!index) {
    err << "hpi: no file " << ShownPath(path) << " in " << archive << "\n";
    return 1;
  }
  if (a->at(*index).isDirectory) {
    err << "hpi: " << ShownPath(a->PathOf(*index)) << " is a directory in " << archive << "\n";
    return 1;
  }
  std::vector<uint8_t> data;
  if (!a->ReadFile(*index, data, &why)) {
    err << "hpi: cannot read " << ShownPath(a->PathOf(*index)) << " in " << archive << ": " << why << "\n";
    return 1;
  }
  out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  return 0;
}

}  // namespace hpitool
