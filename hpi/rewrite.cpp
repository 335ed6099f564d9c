#include "hpi/rewrite.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

#include "hpi/archive.h"
#include "hpi/atomic_file.h"
#include "hpi/crypt.h"
#include "hpi/paths.h"
#include "hpi/writer.h"

namespace hpi {

void Changes::Put(std::string_view path, std::vector<uint8_t> data) {
  changes_.push_back({Change::Kind::Bytes, std::string(path), std::move(data), {}});
}

void Changes::PutBorrowed(std::string_view path, const uint8_t* data, size_t size) {
  Change c{Change::Kind::Bytes, std::string(path), {}, {}};
  c.borrowed = data;
  c.borrowedSize = size;
  changes_.push_back(std::move(c));
}

void Changes::PutDiskFile(std::string_view path, std::string diskPath) {
  changes_.push_back({Change::Kind::DiskFile, std::string(path), {}, std::move(diskPath)});
}

void Changes::PutDirectory(std::string_view path) {
  changes_.push_back({Change::Kind::Directory, std::string(path), {}, {}});
}

void Changes::Remove(std::string_view path) {
  changes_.push_back({Change::Kind::Remove, std::string(path), {}, {}});
}

std::string RefusedName(std::string_view path) {
  for (unsigned char c : path)
    if (c < 0x20 || c == 0x7F) return "it holds a control character";
  if (!LevelsBelowTarget(path)) return "it names no place inside the archive (an absolute path, a drive, a \"..\" level or no name)";
  for (std::string_view level : SplitLevels(path))
    if (level == ".") return "it holds a \".\" level";
  return "";
}

namespace {

// One spelling for every comparison of paths: '\' and '/' alike, letter case
// folded, empty levels dropped.
std::string FoldedPath(std::string_view path) {
  std::string folded;
  for (std::string_view level : LevelRange(path)) {
    if (!folded.empty()) folded += '\\';
    for (char c : level) folded += (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
  }
  return folded;
}

RewriteStatus Failed(std::string* error, RewriteStatus status, const std::string& why) {
  if (error) *error = why;
  return status;
}

// The compression most of the archive's files have; LZ77 when it has none.
Method Prevailing(const Archive& a) {
  std::array<size_t, 3> count{};
  for (size_t i = 0; i < a.size(); ++i)
    if (!a.at(i).isDirectory && IsValidMethod(a.at(i).compression)) ++count[a.at(i).compression];
  Method best = Method::Lz77;
  for (Method m : {Method::Zlib, Method::Stored})
    if (count[size_t(m)] > count[size_t(best)]) best = m;
  return best;
}

// A header key that gives the same key byte as the archive's cipher.
int32_t HeaderKeyOf(const Cipher& cipher) {
  if (!cipher.active()) return 0;
  for (int32_t h = 1; h < 256; ++h)
    if (KeyByte(h) == cipher.key()) return h;
  return 1;  // the byte only a key of 0 gives: any other key serves as well
}

std::string SizeText(uint64_t size) {
  return std::to_string(size) + " bytes; an archive holds files of at most " + std::to_string(kMaxFileSize);
}

// Writes the archive `current` (none for a new one) with `changes` into `file`.
RewriteStatus Apply(AtomicFile& file, const Archive* current, const std::unordered_map<std::string, uint32_t>& byPath,
                    const Changes& changes, const RewriteOptions& options, std::string* error) {
  std::vector<char> dropped(current ? current->size() : 0, 0);
  struct Added {
    std::string path;
    const Changes::Change* change;
    uint64_t size;
  };
  std::vector<Added> added;
  for (const Changes::Change& c : changes.list()) {
    using Kind = Changes::Change::Kind;
    std::optional<uint32_t> existing;
    if (current) {
      auto it = byPath.find(FoldedPath(c.path));
      if (it != byPath.end()) existing = it->second;
    }
    // A new name must be one that extraction would write.
    if (c.kind != Kind::Remove && !existing) {
      const std::string refused = RefusedName(c.path);
      if (!refused.empty()) return Failed(error, RewriteStatus::Refused, "cannot add " + c.path + ": " + refused);
    }
    if (c.kind == Kind::Remove) {
      if (existing && !current->at(*existing).isDirectory) dropped[*existing] = 1;
      continue;
    }
    if (c.kind == Kind::Directory) {
      added.push_back({c.path, &c, 0});
      continue;
    }
    if (existing && current->at(*existing).isDirectory)
      return Failed(error, RewriteStatus::Refused, current->PathOf(*existing) + " is a directory");
    uint64_t size = c.byteCount();
    if (c.kind == Kind::DiskFile) {
      // The size is known before anything is read or written.
      struct stat st {};
      if (::stat(c.diskPath.c_str(), &st) != 0)
        return Failed(error, RewriteStatus::Refused, "cannot read " + c.diskPath + ": " + std::strerror(errno));
      if (!S_ISREG(st.st_mode))
        return Failed(error, RewriteStatus::Refused, "cannot read " + c.diskPath + ": not a regular file");
      size = uint64_t(st.st_size);
      if (size > kMaxFileSize)
        return Failed(error, RewriteStatus::Refused, c.diskPath + " is too large (" + SizeText(size) + ")");
    } else if (size > kMaxFileSize) {
      return Failed(error, RewriteStatus::Refused, c.path + " is too large (" + SizeText(size) + ")");
    }
    if (existing) dropped[*existing] = 1;
    added.push_back({existing ? current->PathOf(*existing) : c.path, &c, size});
  }

  Writer writer;
  for (size_t i = 0; current && i < current->size(); ++i) {
    const bool kept = current->at(i).isDirectory ? writer.AddDirectory(current->PathOf(i))
                                                  : dropped[i] || writer.AddArchivedFile(current->PathOf(i), *current, uint32_t(i));
    if (!kept) return Failed(error, RewriteStatus::NotRewritable, "cannot keep " + current->PathOf(i));
  }
  for (const Added& a : added) {
    using Kind = Changes::Change::Kind;
    const Changes::Change& c = *a.change;
    const bool ok = c.kind == Kind::Directory ? writer.AddDirectory(a.path)
                    : c.kind == Kind::Bytes   ? writer.AddFile(a.path, c.bytes(), c.byteCount())
                                              : writer.AddDiskFile(a.path, c.diskPath, a.size);
    if (!ok)
      return Failed(error, RewriteStatus::Refused,
                    "cannot add " + a.path + ": a level of it is a file, or it is a directory");
  }

  Writer::Options packing;
  packing.threads = options.threads;
  packing.zlibLevel = options.zlibLevel;
  packing.keepStored = current && !options.method;
  packing.method = options.method ? *options.method : current ? Prevailing(*current) : Method::Lz77;
  packing.headerKey = current ? HeaderKeyOf(current->cipher()) : 0;
  Writer::Failure failure = Writer::Failure::None;
  std::string why;
  if (writer.Pack(file, packing, &why, &failure)) return RewriteStatus::Done;
  switch (failure) {
    case Writer::Failure::Damaged:
      return Failed(error, RewriteStatus::Damaged, why);
    case Writer::Failure::Source:
      return Failed(error, RewriteStatus::Refused, why);
    default:
      return Failed(error, RewriteStatus::WriteFailed, why);
  }
}

// Opens the new archive under the lock and hands it to `write`; nothing
// thrown gets past.
template <typename Write>
RewriteStatus Locked(const std::string& path, std::string* error, const Write& write) {
  try {
    AtomicFile file;
    std::string why;
    if (!file.Open(path, &why))
      return Failed(error, file.readOnly() ? RewriteStatus::ReadOnly : RewriteStatus::CannotCreate, why);
    return write(file);
  } catch (const std::bad_alloc&) {
    return Failed(error, RewriteStatus::WriteFailed, "out of memory");
  }
}

}  // namespace

RewriteStatus Rewrite(const std::string& path, const RewriteEdit& edit, const RewriteOptions& options,
                      std::string* error) {
  return Locked(path, error, [&](AtomicFile& file) {
    std::string why;
    if (file.existing() < 0) return Failed(error, RewriteStatus::CannotOpen, "cannot read archive " + path + ": no such file");
    const std::unique_ptr<Archive> current = Archive::OpenDescriptor(file.existing(), &why);
    if (!current) return Failed(error, RewriteStatus::CannotOpen, "cannot read archive " + path + ": " + why);
    // Two entries that would land on one path would become one: such an
    // archive is not rewritten. Directories of one path merge harmlessly.
    std::unordered_map<std::string, uint32_t> byPath;
    for (size_t i = 0; i < current->size(); ++i) {
      auto [it, added] = byPath.emplace(FoldedPath(current->PathOf(i)), uint32_t(i));
      if (!added && !(current->at(i).isDirectory && current->at(it->second).isDirectory))
        return Failed(error, RewriteStatus::NotRewritable,
                      path + " holds two entries of one path, " + current->PathOf(it->second) + " and " +
                          current->PathOf(i) + " (letter case and '/' or '\\' aside)");
    }
    Changes changes;
    if (!edit(*current, changes, &why)) return Failed(error, RewriteStatus::Refused, why);
    return Apply(file, current.get(), byPath, changes, options, error);
  });
}

RewriteStatus WriteNew(const std::string& path, const Changes& changes, const RewriteOptions& options,
                       std::string* error) {
  return Locked(path, error, [&](AtomicFile& file) { return Apply(file, nullptr, {}, changes, options, error); });
}

}  // namespace hpi
