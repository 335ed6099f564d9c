#include "hpi/disk_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "hpi/paths.h"

namespace hpi {

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
// A new file: never an existing name, never through a link.
constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

DiskResult Result(DiskStatus status, int error = 0) { return DiskResult{status, error}; }

DiskResult FailureOf(int error) {
  return Result(error == ENAMETOOLONG ? DiskStatus::NameTooLong : DiskStatus::Failed, error);
}

bool IsLink(int dir, const std::string& name) {
  struct stat st {};
  return ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

bool WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    p += n;
    size -= size_t(n);
  }
  return true;
}

// Writes and closes fd; on failure removes the file `name` it was opened as.
DiskResult FillNewFile(int dir, int fd, const std::string& name, const void* data, size_t size) {
  if (!WriteAll(fd, data, size)) {
    const int error = errno;
    ::close(fd);
    ::unlinkat(dir, name.c_str(), 0);
    return FailureOf(error);
  }
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlinkat(dir, name.c_str(), 0);
    return FailureOf(error);
  }
  return Result(DiskStatus::Done);
}

}  // namespace

std::string DiskResult::Reason() const {
  switch (status) {
    case DiskStatus::Done:
      return "";
    case DiskStatus::LeavesTarget:
      return "its path leaves the target directory";
    case DiskStatus::SymbolicLink:
      return "its path runs through a symbolic link in the target directory";
    case DiskStatus::NameTooLong:
    case DiskStatus::Failed:
      return std::strerror(error);
  }
  return "";
}

std::unique_ptr<DiskWriter> DiskWriter::Open(const std::string& target, int* error) {
  const int fd = ::open(target.c_str(), kDirectoryFlags);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    if (error) *error = errno;
    if (fd >= 0) ::close(fd);
    return nullptr;
  }
  std::unique_ptr<DiskWriter> writer(new DiskWriter(fd));
  writer->rootDevice_ = st.st_dev;
  writer->rootInode_ = st.st_ino;
  return writer;
}

DiskWriter::DiskWriter(int root) : root_(root), current_(root) {}

DiskWriter::~DiskWriter() {
  SetCurrent(root_);
  ::close(root_);
}

void DiskWriter::SetCurrent(int fd) {
  if (current_ != root_) ::close(current_);
  current_ = fd;
}

void DiskWriter::BackToRoot() {
  SetCurrent(root_);
  chain_.clear();
}

bool DiskWriter::Ascend() {
  if (chain_.size() == 1) {
    BackToRoot();
    return true;
  }
  // ".." of a directory entered without following links is the level above,
  // unless something moved it meanwhile: the identity check catches that.
  const int parent = ::openat(current_, "..", kDirectoryFlags);
  if (parent < 0) return false;
  const Level& above = chain_[chain_.size() - 2];
  struct stat st {};
  if (::fstat(parent, &st) != 0 || st.st_dev != above.device || st.st_ino != above.inode) {
    ::close(parent);
    return false;
  }
  SetCurrent(parent);
  chain_.pop_back();
  return true;
}

DiskResult DiskWriter::Descend(std::string_view level) {
  std::string name(level);
  int makeError = 0;
  if (::mkdirat(current_, name.c_str(), 0777) != 0 && errno != EEXIST) makeError = errno;
  const int fd = ::openat(current_, name.c_str(), kDirectoryFlags | O_NOFOLLOW);
  if (fd < 0) {
    const int openError = errno;
    if (IsLink(current_, name)) return Result(DiskStatus::SymbolicLink);
    return FailureOf(makeError && openError == ENOENT ? makeError : openError);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return FailureOf(error);
  }
  SetCurrent(fd);
  chain_.push_back(Level{std::move(name), st.st_dev, st.st_ino});
  return Result(DiskStatus::Done);
}

DiskResult DiskWriter::Enter(const std::vector<std::string_view>& levels, size_t depth) {
  size_t common = 0;
  while (common < chain_.size() && common < depth && chain_[common].name == levels[common]) ++common;
  // Up to the common level, or down again from the target when that is shorter.
  if (chain_.size() - common > common) {
    BackToRoot();
  } else {
    while (chain_.size() > common)
      if (!Ascend()) {
        BackToRoot();
        break;
      }
  }
  for (size_t i = chain_.size(); i < depth; ++i) {
    const DiskResult r = Descend(levels[i]);
    if (!r.ok()) return r;
  }
  return Result(DiskStatus::Done);
}

DiskResult DiskWriter::MakeDirectory(std::string_view archivePath) {
  const std::optional<std::vector<std::string_view>> levels = LevelsBelowTarget(archivePath);
  if (!levels) return Result(DiskStatus::LeavesTarget);
  return Enter(*levels, levels->size());
}

DiskResult DiskWriter::WriteFile(std::string_view archivePath, const void* data, size_t size) {
  const std::optional<std::vector<std::string_view>> levels = LevelsBelowTarget(archivePath);
  if (!levels) return Result(DiskStatus::LeavesTarget);
  const DiskResult r = Enter(*levels, levels->size() - 1);
  if (!r.ok()) return r;
  const std::string name(levels->back());
  const int fd = ::openat(current_, name.c_str(), kNewFileFlags, 0666);
  if (fd >= 0) return FillNewFile(current_, fd, name, data, size);
  if (errno != EEXIST) return FailureOf(errno);
  struct stat st {};
  if (::fstatat(current_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return FailureOf(errno);
  if (S_ISLNK(st.st_mode)) return Result(DiskStatus::SymbolicLink);
  if (S_ISDIR(st.st_mode)) return FailureOf(EISDIR);
  return ReplaceFile(name, data, size);
}

// An existing file is never written in place (it may be a hard link to a file
// outside the target): a new file takes its name by a rename.
DiskResult DiskWriter::ReplaceFile(const std::string& name, const void* data, size_t size) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = ".hpi-" + std::to_string(::getpid()) + "-" + std::to_string(++temporaries_);
    const int fd = ::openat(current_, temporary.c_str(), kNewFileFlags, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return FailureOf(errno);
    }
    const DiskResult written = FillNewFile(current_, fd, temporary, data, size);
    if (!written.ok()) return written;
    if (::renameat(current_, temporary.c_str(), current_, name.c_str()) != 0) {
      const int error = errno;
      ::unlinkat(current_, temporary.c_str(), 0);
      return FailureOf(error);
    }
    return Result(DiskStatus::Done);
  }
  return FailureOf(EEXIST);
}

bool DiskWriter::ClaimFile(std::string_view archivePath) {
  const std::string place = DiskPathBelowTarget(archivePath);
  return place.empty() || claimed_.insert(place).second;
}

}  // namespace hpi
