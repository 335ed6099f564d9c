#include "archive/current_bytes.h"

#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "archive/source_reader.h"
#include "hpi/archive.h"

CurrentBytes LooseFileNow(const std::string& Path) {
  CurrentBytes now;
  struct stat st {};
  if (::stat(Path.c_str(), &st) != 0) {
    now.Read = errno == ENOENT;
    return now;
  }
  std::string bytes, why;
  if (!ReadDiskFile(Path, bytes, why)) return now;
  now.Read = true;
  now.Bytes = std::move(bytes);
  return now;
}

CurrentBytes ArchivedFileNow(const std::string& Archive, const std::string& Path) {
  CurrentBytes now;
  const std::unique_ptr<hpi::Archive> archive = hpi::Archive::Open(Archive);
  if (!archive) return now;
  const std::optional<uint32_t> index = archive->Find(Path);
  if (!index || archive->at(*index).isDirectory) {
    now.Read = true;
    return now;
  }
  std::vector<uint8_t> bytes;
  if (!archive->ReadFile(*index, bytes)) return now;
  now.Read = true;
  now.Bytes.emplace(bytes.begin(), bytes.end());
  return now;
}
