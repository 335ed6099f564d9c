// hpi add: adds or replaces one file and writes the archive anew.
#include <deque>
#include <memory>
#include <set>
#include <vector>

#include "archive/ascii_case.h"
#include "hpi/paths.h"
#include "hpi/writer.h"
#include "hpi_tool_disk_file.h"
#include "hpi_tool_file_commands.h"

namespace hpitool {

int Add(const std::string& archive, const std::string& path, const std::string& file,
        std::optional<hpi::Method> method, std::ostream& err) {
  const std::string unchanged = "; the archive was not changed\n";
  std::string inside;
  for (std::string_view level : hpi::SplitLevels(path)) {
    if (level == "." || level == "..") {
      inside.clear();
      break;
    }
    if (!inside.empty()) inside += '\\';
    inside += level;
  }
  if (inside.empty()) {
    err << "hpi: " << path << " is not a path inside an archive\n";
    return 1;
  }
  std::vector<uint8_t> added;
  std::string why;
  if (!ReadDiskFile(file, added, why)) {
    err << "hpi: cannot read " << file << ": " << why << "\n";
    return 1;
  }
  const std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(archive, &why);
  if (!a) {
    err << "hpi: cannot read archive " << archive << ": " << why << "\n";
    return 1;
  }
  const std::optional<uint32_t> replaced = FindPreferringExact(*a, inside);
  if (replaced && a->at(*replaced).isDirectory) {
    err << "hpi: " << a->PathOf(*replaced) << " is a directory in " << archive << unchanged;
    return 1;
  }

  // Every other entry is read back first: a file that cannot be read, or two
  // paths the new archive would merge (equal apart from letter case), would
  // lose data, so the archive is then left as it is.
  hpi::Writer writer;
  std::deque<std::vector<uint8_t>> contents;  // stays put while the writer holds pointers
  std::set<std::string> seen;
  for (size_t i = 0; i < a->size(); ++i) {
    const std::string p = a->PathOf(i);
    if (!seen.insert(LowerAscii(p)).second) {
      err << "hpi: " << archive << " holds two entries named " << p << " apart from letter case" << unchanged;
      return 1;
    }
    if (a->at(i).isDirectory) {
      if (!writer.AddDirectory(p)) {
        err << "hpi: cannot keep directory " << p << unchanged;
        return 1;
      }
      continue;
    }
    if (replaced && *replaced == i) continue;
    contents.emplace_back();
    if (!a->ReadFile(uint32_t(i), contents.back(), &why)) {
      err << "hpi: cannot read " << p << " in " << archive << ": " << why << unchanged;
      return 1;
    }
    if (!writer.AddFile(p, contents.back().data(), contents.back().size())) {
      err << "hpi: cannot keep file " << p << unchanged;
      return 1;
    }
  }
  const std::string target = replaced ? a->PathOf(*replaced) : inside;
  if (!writer.AddFile(target, added.data(), added.size())) {
    err << "hpi: cannot add " << target << ": a level of it is a file, or it is a directory" << unchanged;
    return 1;
  }
  hpi::Writer::Options options;
  options.method = method.value_or(hpi::Method::Lz77);
  if (!writer.Pack(archive, options, &why)) {
    err << "hpi: cannot write archive " << archive << ": " << why << unchanged;
    return 1;
  }
  return 0;
}

}  // namespace hpitool
