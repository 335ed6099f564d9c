#pragma once
// The one way an existing archive is written anew. Every writer (the window's
// Save, `hpi add`, `hpi create` over an existing archive, kestrava-apply)
// goes through it, so that writers sharing an archive never lose an update:
//
// - An advisory lock on the archive file is held for the whole
//   read-modify-write. After locking, the path is checked to still name the
//   file that was locked (another writer may have renamed a new archive over
//   it meanwhile); if not, the lock is taken again on the new file. The lock
//   belongs to an open file, so it ends with its process, even after kill -9.
// - A path that is a symbolic link is written through: the file it names is
//   replaced and the link stays. (A hard link to the old file keeps the old
//   bytes, as with every replace by rename.)
// - The new archive is written to a temporary file without a name, which gets
//   one only just before it is renamed over the target; a temporary file that
//   a killed writer left is removed by the next writer under the lock.
// - Files that stay as they were keep their stored bytes (copied and checked,
//   encrypted again for their new position); only changed files, and files to
//   be stored with another compression, are packed. Packing streams: memory
//   stays a few chunks per thread plus the directory, whatever the sizes.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hpi/format.h"

namespace hpi {

class Archive;

// What one rewrite changes. Paths join levels with '\' (or '/'); an entry of
// the archive whose path equals one given here, ignoring ASCII letter case
// and with '\' and '/' alike, is the one replaced or removed, and keeps its
// stored spelling; otherwise a new file of the given spelling is added.
class Changes {
 public:
  // Adds or replaces the file at `path` with these bytes.
  void Put(std::string_view path, std::vector<uint8_t> data);
  // The same with bytes the caller keeps, unchanged, until the rewrite has
  // returned: nothing is copied.
  void PutBorrowed(std::string_view path, const uint8_t* data, size_t size);
  // Adds or replaces the file at `path` with the bytes of the regular disk
  // file `diskPath`, read a chunk at a time while packing. Its size is
  // checked before anything is written.
  void PutDiskFile(std::string_view path, std::string diskPath);
  // Adds an empty directory (and its parents) unless it exists.
  void PutDirectory(std::string_view path);
  // Removes the file at `path`; nothing happens when there is none.
  void Remove(std::string_view path);

  struct Change {
    enum class Kind { Bytes, DiskFile, Directory, Remove } kind;
    std::string path;
    std::vector<uint8_t> data;  // Bytes
    std::string diskPath;       // DiskFile
    const uint8_t* borrowed = nullptr;  // Bytes given by PutBorrowed, instead of data
    size_t borrowedSize = 0;
    const uint8_t* bytes() const { return borrowed ? borrowed : data.data(); }
    size_t byteCount() const { return borrowed ? borrowedSize : data.size(); }
  };
  const std::vector<Change>& list() const { return changes_; }
  bool empty() const { return changes_.empty(); }

 private:
  std::vector<Change> changes_;
};

struct RewriteOptions {
  // nullopt: every kept file stays as stored, and new or replaced files are
  // packed with the compression most of the archive's files use (LZ77 for an
  // archive without files). A method: every file ends up stored with it;
  // files stored with it already keep their chunks.
  std::optional<Method> method;
  unsigned threads = 0;  // packing threads; 0 = one per core
  int zlibLevel = 6;
};

enum class RewriteStatus {
  Done,
  CannotOpen,     // the archive is missing, unreadable or not an archive
  NotRewritable,  // two of its entries would land on one path (case, or '/' within a name)
  Damaged,        // a file to be kept could not be read back intact
  Refused,        // the edit gave up, or a change is not allowed (its name, its size, a file below a file)
  ReadOnly,       // the archive is read-only (IsReadOnly in hpi/atomic_file.h)
  CannotCreate,   // the lock or the temporary file beside the archive could not be had
  WriteFailed,    // writing or renaming the new archive failed, or it would be too large
};

// Decides the changes while the lock is held, from the archive as it is now.
// Returning false gives up: nothing is written, status Refused with *error.
using RewriteEdit = std::function<bool(const Archive& current, Changes& changes, std::string* error)>;

// Rewrites the archive at `path`: locks it, opens it as it is now, asks
// `edit` for the changes, writes the new archive and renames it over the old
// one. On any status but Done the archive is left exactly as it was, and
// *error (when given) says why, naming the file concerned.
RewriteStatus Rewrite(const std::string& path, const RewriteEdit& edit, const RewriteOptions& options,
                      std::string* error = nullptr);

// Writes a new archive at `path` from `changes` alone (Put, PutDiskFile and
// PutDirectory), replacing whatever file is there, under the same lock.
// Without a method, LZ77.
RewriteStatus WriteNew(const std::string& path, const Changes& changes, const RewriteOptions& options,
                       std::string* error = nullptr);

// Why a path may not be given to a new file in an archive: a path that
// extraction would not write (a "." or ".." level, an absolute path, a drive
// such as "C:", no level at all) or one holding control bytes. "" when it may.
std::string RefusedName(std::string_view path);

}  // namespace hpi
