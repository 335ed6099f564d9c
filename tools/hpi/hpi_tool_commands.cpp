#include "tools/hpi/hpi_tool_commands.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "archive/ascii_case.h"
#include "hpi/archive.h"
#include "hpi/disk_writer.h"
#include "hpi/paths.h"
#include "hpi/rewrite.h"
#include "tools/common/shown_path.h"

namespace fs = std::filesystem;

namespace hpitool {

namespace {

std::unique_ptr<hpi::Archive> OpenArchive(const std::string& archive, std::ostream& err) {
  std::string why;
  std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(archive, &why);
  if (!a) err << "hpi: cannot read archive " << archive << ": " << ShownText(why) << "\n";
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
    if (!isDirectory && !disk->ClaimFile(inside)) {
      err << "hpi: warning: skipping " << ShownPath(inside) << ": another entry of the archive was written to its path\n";
      status = 1;
      continue;
    }
    hpi::DiskResult written;
    if (isDirectory) {
      written = disk->MakeDirectory(inside);
    } else {
      std::string why;
      if (!a->ReadFile(uint32_t(i), data, &why)) {
        err << "hpi: cannot read " << ShownPath(inside) << ": " << ShownText(why) << "\n";
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
        // Hostile names and links already in the target are passed over; the
        // rest is extracted, and the exit status tells that the tree is
        // incomplete.
        err << "hpi: warning: skipping " << ShownPath(inside) << ": " << written.Reason() << "\n";
        status = 1;
        break;
      case hpi::DiskStatus::NameTooLong:
      case hpi::DiskStatus::Failed:
        err << "hpi: cannot " << (isDirectory ? "create directory " : "write ") << ShownPath(inside) << " below " << dir
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
  std::vector<fs::directory_entry> entries;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(*it);
  if (ec) {
    err << "hpi: cannot read directory " << dir << ": " << ec.message() << "\n";
    return 1;
  }
  std::sort(entries.begin(), entries.end());

  // Links are never followed, and two disk entries that would be one path in
  // the archive (letter case aside, or a '\\' inside a name) are refused
  // together before anything is written.
  hpi::Changes changes;
  std::map<std::string, std::pair<std::string, bool>> byPath;  // folded path -> disk path, is a directory
  int status = 0;
  bool refused = false;
  for (const fs::directory_entry& e : entries) {
    const fs::path& p = e.path();
    const std::string rel = fs::relative(p, dir, ec).generic_string();
    const fs::file_status st = e.symlink_status(ec);
    if (fs::is_symlink(st)) {
      err << "hpi: skipping " << ShownPath(p.string()) << ": it is a symbolic link, and links are not followed\n";
      status = 1;
      continue;
    }
    const bool isDirectory = fs::is_directory(st);
    if (!isDirectory && !fs::is_regular_file(st)) {
      err << "hpi: skipping " << ShownPath(p.string()) << ": not a regular file or directory\n";
      status = 1;
      continue;
    }
    // An archive written into the directory it packs is not packed into itself.
    if (!isDirectory && fs::exists(archive, ec) && fs::equivalent(p, archive, ec)) continue;
    if (rel.find('\\') != std::string::npos) {
      err << "hpi: cannot pack " << ShownPath(p.string()) << ": its name holds '\\', which separates levels in an archive\n";
      refused = true;
      continue;
    }
    auto [it, added] = byPath.emplace(LowerAscii(rel), std::make_pair(p.string(), isDirectory));
    if (!added && !(isDirectory && it->second.second)) {
      err << "hpi: cannot pack both " << ShownPath(it->second.first) << " and " << p.string()
          << ": they would be one path in the archive (letter case aside)\n";
      refused = true;
      continue;
    }
    std::string inside = rel;
    std::replace(inside.begin(), inside.end(), '/', '\\');
    if (isDirectory)
      changes.PutDirectory(inside);
    else
      changes.PutDiskFile(inside, p.string());
  }
  if (refused) {
    err << "hpi: " << archive << " was not written\n";
    return 1;
  }
  hpi::RewriteOptions options;
  options.method = method;
  std::string why;
  switch (hpi::WriteNew(archive, changes, options, &why)) {
    case hpi::RewriteStatus::Done:
      return status;
    case hpi::RewriteStatus::Refused:
      err << "hpi: " << ShownText(why) << "; " << archive << " was not written\n";
      return 1;
    default:
      err << "hpi: cannot write archive " << archive << ": " << ShownText(why) << "\n";
      return 1;
  }
}

}  // namespace hpitool
