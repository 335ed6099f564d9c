#pragma once
// Writes a file that replaces its target only once everything was written and
// flushed, so a failure leaves the old file as it was.
//
// Writers of one target take turns: Open takes an advisory lock on the target
// file (on its directory while there is no target yet) and keeps it until the
// object ends, checking after locking that the path still names the locked
// file. The lock belongs to the open file, so no process that dies leaves it
// behind. A target that is a symbolic link is written through: the file it
// names is replaced, the link stays.
//
// The new file has no name until Commit links it beside the target and
// renames it over the target; where the system cannot make unnamed files, it
// is named "TARGET.tmpXXXXXXXX" from the start. Such names that a killed
// writer left are removed by the next Open under the lock.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace hpi {

// Whether the file at `path` (its symbolic links followed) may not be
// written: its mode has no write bit at all, which counts even for a user
// whom the system lets write anyway (root), or the user may not write it, or
// it lies on a read-only file system. A missing file is not read-only. Every
// writer refuses such a file, through AtomicFile::Open, before it writes.
bool IsReadOnly(const std::string& path);

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();  // drops the new file unless committed, and the lock
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Locks the target and creates the new file in the target's directory. A
  // read-only target (IsReadOnly) is refused: false, readOnly() true, and
  // *error "TARGET is read-only".
  bool Open(const std::string& target, std::string* error = nullptr);
  // Whether the last Open was refused because the target is read-only.
  bool readOnly() const { return readOnly_; }
  // Appends to the new file.
  bool Write(const void* data, size_t n, std::string* error = nullptr);
  // Writes at a position of the new file that was written already.
  bool WriteAt(uint64_t offset, const void* data, size_t n, std::string* error = nullptr);
  // Flushes to disk, closes and renames over the target.
  bool Commit(std::string* error = nullptr);

  // The locked target as it was when locked, opened for reading; -1 when
  // there was no file at the target.
  int existing() const { return existing_; }
  // The file that will be replaced: the target with its symbolic links resolved.
  const std::string& target() const { return target_; }

 private:
  void Discard();
  // Appends, or writes at *at when given.
  bool Put(const void* data, size_t n, const uint64_t* at, std::string* error);
  bool Lock(std::string* error);
  void RemoveLeftovers() const;
  bool CreateTemporary(std::string* error);

  int fd_ = -1;        // the new file
  int existing_ = -1;  // the locked target
  int lockedDir_ = -1;  // the locked directory while there is no target
  bool unnamed_ = false;
  bool readOnly_ = false;
  std::string target_, temp_;
};

}  // namespace hpi
