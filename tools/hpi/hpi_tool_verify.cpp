// hpi verify: reads and checks every file of an archive.
#include <memory>
#include <vector>

#include "tools/hpi/hpi_tool_file_commands.h"
#include "tools/common/shown_path.h"

namespace hpitool {

int Verify(const std::string& archive, std::ostream& out, std::ostream& err) {
  std::string why;
  const std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(archive, &why);
  if (!a) {
    err << "hpi: cannot read archive " << archive << ": " << why << "\n";
    return 1;
  }
  // Reading a file checks its chunk headers, checksums and sizes, and decodes
  // it whole.
  size_t files = 0, damaged = 0;
  std::vector<uint8_t> data;
  for (size_t i = 0; i < a->size(); ++i) {
    if (a->at(i).isDirectory) continue;
    ++files;
    if (!a->ReadFile(uint32_t(i), data, &why)) {
      ++damaged;
      out << ShownPath(a->PathOf(i)) << ": " << why << "\n";
    }
  }
  if (damaged == 0) out << files << (files == 1 ? " file" : " files") << " checked, none damaged\n";
  if (damaged > 0) {
    err << "hpi: " << damaged << " of " << files << " files damaged in " << archive << "\n";
    return 1;
  }
  return 0;
}

}  // namespace hpitool
