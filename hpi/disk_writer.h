#pragma once
// Writing an archive's entries below a target directory on disk without ever
// leaving it. Levels are created and opened one at a time relative to the
// level above (mkdirat/openat), no symbolic link is followed, and a file that
// exists already is replaced through a temporary file and a rename, so that
// nothing outside the target changes, not even a file hard-linked from there.
//
// The writer keeps the directory of the last entry open and remembers its
// levels, so an archive walked depth first costs a constant number of system
// calls per entry however deep it is nested; paths longer than the system's
// path limit work too, since no whole path is ever handed to the system.
#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace hpi {

enum class DiskStatus {
  Done,
  LeavesTarget,  // a ".." level, an absolute or an empty path: never written
  SymbolicLink,  // a level or the file itself is a symbolic link on disk: not followed
  NameTooLong,   // the system refused a name as too long (ENAMETOOLONG)
  Failed,        // any other failure; `error` holds the errno value
};

struct DiskResult {
  DiskStatus status = DiskStatus::Done;
  int error = 0;  // errno value for NameTooLong and Failed

  bool ok() const { return status == DiskStatus::Done; }
  // Why the entry was not written, for messages ("" when it was).
  std::string Reason() const;
};

class DiskWriter {
 public:
  // Writes below the existing directory `target` (symbolic links in `target`
  // itself are followed: the caller chose it). Null with *error set to the
  // errno value when it cannot be opened as a directory.
  static std::unique_ptr<DiskWriter> Open(const std::string& target, int* error = nullptr);
  ~DiskWriter();
  DiskWriter(const DiskWriter&) = delete;
  DiskWriter& operator=(const DiskWriter&) = delete;

  // Creates the directory `archivePath` (levels joined with '\' or '/') and
  // every missing level above it. An existing directory is fine.
  DiskResult MakeDirectory(std::string_view archivePath);
  // Creates the file `archivePath` with `size` bytes of `data`, creating
  // missing directories above it; an existing file of that name is replaced.
  DiskResult WriteFile(std::string_view archivePath, const void* data, size_t size);

  // Whether no file claimed before lands where `archivePath` would be
  // written; claims that place. Two entries whose names differ only in a '/'
  // inside a name land on one file: only the first is written, the second is
  // never written over it.
  bool ClaimFile(std::string_view archivePath);

 private:
  struct Level {
    std::string name;
    dev_t device;
    ino_t inode;
  };

  explicit DiskWriter(int root);
  // Makes the directory of levels[0, depth) the current one, creating missing levels.
  DiskResult Enter(const std::vector<std::string_view>& levels, size_t depth);
  DiskResult Descend(std::string_view name);
  bool Ascend();
  void BackToRoot();
  void SetCurrent(int fd);
  DiskResult ReplaceFile(const std::string& name, const void* data, size_t size);

  int root_;
  dev_t rootDevice_ = 0;
  ino_t rootInode_ = 0;
  int current_;               // the directory at the end of chain_; root_ when chain_ is empty
  std::vector<Level> chain_;  // the levels from the target down to current_
  unsigned temporaries_ = 0;  // names handed out for replacement files
  std::unordered_set<std::string> claimed_;  // ClaimFile's places, levels joined by '/'
};

}  // namespace hpi
