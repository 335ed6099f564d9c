#include "hpi_tool_commands.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <vector>

#include "hpi/archive.h"
#include "hpi/disk_writer.h"
#include "hpi/writer.h"
#include "hpi_tool_disk_file.h"
#include "hpi_tool_shown_path.h"

namespace fs = std::filesystem;

namespace hpitool {

namespace {

std::unique_ptr<hpi::Archive> OpenArchive(const std::string& archive, std::ostream& err) {
  std::string why;
  std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(archive, &why);
  if (!a) err << "hpi: cannot read archive " << archive << ": " << why << "\n";
  return a;
}

}  // namespace

int List(const std::string& archive, std::ostream& out, std::ostream& err) {
  std::unique_ptr<hpi::Archive> a = OpenArchive(archive, err);
  if (!a) return 1;
  for (size_t i = 0; i < a->size(); ++i) {
    const hpi::Entry& e = a->at(i);
    out << (e.isDirectory ? 'd' : 'f') << '\t' << (e.isDirectory ? 0 : e.size) << '\t'
        << ShownPath(a->PathOf(i)) << '\n';
  }
  return 0;
}

int Extract(const std::string& archive, const std::string& dir, std::ostream& err) {
  std::unique_ptr<hpi::Archive> a = OpenArchive(archive, err);
  if (!a) return 1;
  std::error_code ec;
  fs::create_directories(dir, ec);
  int error = 0;
  std::unique_ptr<hpi::DiskWriter> disk = hpi::DiskWriter::Open(dir, &error);
  if (!disk) {
    err << "hpi: cannot create directory " << dir << ": " << std::strerror(error) << "\n";
    return 1;
  }
  int status = 0;
  std::vector<uint8_t> data;
  for (size_t i = 0; i < a->size(); ++i) {
    const std::string inside = a->PathOf(i);
    const bool isDirectory = a->at(i).isDirectory;
    hpi::DiskResult written;
    if (isDirectory) {
      written = disk->MakeDirectory(inside);
    } else {
      std::string why;
      if (!a->ReadFile(uint32_t(i), data, &why)) {
        err << "hpi: cannot read " << inside << ": " << why << "\n";
        status = 1;
        continue;
      }
      written = disk->WriteFile(inside, data.data(), data.size());
    }
    switch (written.status) {
      case hpi::DiskStatus::Done:
        break;
      case hpi::DiskStatus::LeavesTarget:
      case hpi::DiskStatus::SymbolicLink:
        // Hostile names and links already in the target are passed over.
        err << "hpi: warning: skipping " << inside << ": " << written.Reason() << "\n";
        break;
      case hpi::DiskStatus::NameTooLong:
      case hpi::DiskStatus::Failed:
        err << "hpi: cannot " << (isDirectory ? "create directory " : "write ") << inside << " below " << dir
            << ": " << written.Reason() << "\n";
        status = 1;
        break;
    }
  }
  return status;
}

int Create(const std::string& archive, const std::string& dir, hpi::Method method, std::ostream& err) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    err << "hpi: no such directory: " << dir << "\n";
    return 1;
  }
  std::vector<fs::path> paths;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    paths.push_back(it->path());
  if (ec) {
    err << "hpi: cannot read directory " << dir << ": " << ec.message() << "\n";
    return 1;
  }
  std::sort(paths.begin(), paths.end());

  hpi::Writer writer;
  std::deque<std::vector<uint8_t>> contents;  // stays put while the writer holds pointers
  for (const fs::path& p : paths) {
    std::string rel = fs::relative(p, dir, ec).generic_string();
    std::replace(rel.begin(), rel.end(), '/', '\\');
    // An archive written into the directory it packs is not packed into itself.
    if (fs::exists(archive) && fs::equivalent(p, archive, ec)) continue;
    if (fs::is_directory(p, ec)) {
      if (!writer.AddDirectory(rel)) {
        err << "hpi: cannot add directory " << p.string() << "\n";
        return 1;
      }
      continue;
    }
    if (!fs::is_regular_file(p, ec)) continue;
    contents.emplace_back();
    std::string why;
    if (!ReadDiskFile(p.string(), contents.back(), why)) {
      err << "hpi: cannot read " << p.string() << "\n";
      return 1;
    }
    const std::vector<uint8_t>& data = contents.back();
    if (!writer.AddFile(rel, data.data(), data.size())) {
      err << "hpi: cannot add " << p.string() << "\n";
      return 1;
    }
  }
  hpi::Writer::Options options;
  options.method = method;
  std::string why;
  if (!writer.Pack(archive, options, &why)) {
    err << "hpi: cannot write archive " << archive << ": " << why << "\n";
    return 1;
  }
  return 0;
}

}  // namespace hpitool
