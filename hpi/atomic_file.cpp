#include "hpi/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "hpi/testing.h"

namespace hpi {

namespace {

std::atomic<int64_t> gWriteBudget{-1};

bool Fail(std::string* error, const std::string& what, int err) {
  if (error) *error = what + ": " + std::strerror(err);
  return false;
}

// Takes n bytes from the injected write budget; false when it runs out.
bool TakeBudget(size_t n) {
  int64_t budget = gWriteBudget.load();
  while (budget >= 0) {
    if (int64_t(n) > budget) return false;
    if (gWriteBudget.compare_exchange_weak(budget, budget - int64_t(n))) return true;
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a chain of symbolic links ends at (the path itself when it is no
// link); a link to a missing file gives the missing file's path.
std::string ResolveLinks(std::string path) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string link(size_t(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n <= 0 || size_t(n) >= link.size()) return path;
    link.resize(size_t(n));
    path = link[0] == '/' ? link : DirectoryOf(path) + "/" + link;
  }
  return path;
}

// "NAME.tmp" and eight hex digits: the names the temporary files get.
bool IsTemporaryName(const std::string& name, const std::string& base) {
  if (name.size() != base.size() + 12 || name.compare(0, base.size(), base) != 0 ||
      name.compare(base.size(), 4, ".tmp") != 0)
    return false;
  for (size_t i = base.size() + 4; i < name.size(); ++i)
    if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

std::string TemporaryName(const std::string& target) {
  static thread_local std::mt19937_64 rng([] {
    std::random_device rd;
    return (uint64_t(rd()) << 32) ^ rd();
  }());
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, ".tmp%08llx", static_cast<unsigned long long>(rng() & 0xFFFFFFFFu));
  return target + suffix;
}

void LockExclusive(int fd) {
  while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
}

void Close(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// A mode without any write bit: read-only even for a user whom the system
// lets write anyway (root).
bool ReadOnlyMode(const struct stat& st) { return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

// The system would refuse this user a write of the file itself. (A rename
// over it needs only the directory's permission, so this is asked apart.)
bool UserMayNotWrite(const std::string& path) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && (errno == EACCES || errno == EPERM || errno == EROFS);
}

}  // namespace

bool IsReadOnly(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return ReadOnlyMode(st) || UserMayNotWrite(path);
}

namespace testing {
void FailWritesAfter(int64_t bytes) { gWriteBudget.store(bytes < 0 ? -1 : bytes); }
}  // namespace testing

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Discard() {
  Close(fd_);
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
  Close(existing_);
  Close(lockedDir_);
}

bool AtomicFile::Lock(std::string* error) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0) {
      // Only a regular file can be replaced by the finished file.
      if (!S_ISREG(st.st_mode)) return Fail(error, "cannot replace " + target_, S_ISDIR(st.st_mode) ? EISDIR : EEXIST);
      const int fd = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
      if (fd < 0) {
        if (errno == ENOENT || errno == ELOOP) continue;
        return Fail(error, "cannot open " + target_, errno);
      }
      struct stat opened {};
      if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        continue;
      }
      LockExclusive(fd);
      // Another writer may have put a new file in its place meanwhile.
      struct stat now {};
      if (::stat(target_.c_str(), &now) == 0 && now.st_dev == opened.st_dev && now.st_ino == opened.st_ino) {
        existing_ = fd;
        return true;
      }
      ::close(fd);
      continue;
    }
    if (errno != ENOENT) return Fail(error, "cannot open " + target_, errno);
    // No target yet: writers that would create it take turns on the directory.
    const int dir = ::open(DirectoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return Fail(error, "cannot create " + target_, errno);
    LockExclusive(dir);
    struct stat now {};
    if (::lstat(target_.c_str(), &now) != 0 && errno == ENOENT) {
      lockedDir_ = dir;
      return true;
    }
    ::close(dir);
  }
  return Fail(error, "cannot lock " + target_, EAGAIN);
}

// Under the lock no other writer is writing a temporary file of this target,
// so every one there is a killed writer's leftover.
void AtomicFile::RemoveLeftovers() const {
  DIR* dir = ::opendir(DirectoryOf(target_).c_str());
  if (!dir) return;
  const std::string base = NameOf(target_);
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    struct stat st {};
    if (IsTemporaryName(name, base) && ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode))
      ::unlinkat(::dirfd(dir), e->d_name, 0);
  }
  ::closedir(dir);
}

bool AtomicFile::CreateTemporary(std::string* error) {
  const std::string dir = DirectoryOf(target_);
  // An unnamed file is linked at commit through /proc, so only then is it used.
  if (::access("/proc/self/fd", X_OK) == 0) {
    fd_ = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      unnamed_ = true;
      return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
      return Fail(error, "cannot create a temporary file beside " + target_, errno);
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TemporaryName(target_);
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temp_ = name;
      return true;
    }
    if (errno != EEXIST) return Fail(error, "cannot create " + name, errno);
  }
  return Fail(error, "cannot create a temporary file beside " + target_, EEXIST);
}

bool AtomicFile::Open(const std::string& target, std::string* error) {
  Discard();
  unnamed_ = false;
  readOnly_ = false;
  target_ = ResolveLinks(target);
  if (!Lock(error)) return false;
  // Checked on the locked file itself, before anything is created beside it.
  struct stat locked {};
  if (existing_ >= 0 && ::fstat(existing_, &locked) == 0 && (ReadOnlyMode(locked) || UserMayNotWrite(target_))) {
    Discard();
    readOnly_ = true;
    if (error) *error = target + " is read-only";
    return false;
  }
  RemoveLeftovers();
  if (!CreateTemporary(error)) {
    Discard();
    return false;
  }
  // Keep the owner, where the system lets this user give it, and the
  // permissions of the file being replaced (the owner first: a change of
  // owner may clear mode bits).
  struct stat st {};
  if (existing_ >= 0 && ::fstat(existing_, &st) == 0) {
    // Refused to most users: the new file is then theirs.
    if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) && ::fchown(fd_, st.st_uid, st.st_gid) != 0) errno = 0;
    ::fchmod(fd_, st.st_mode & 07777);
  }
  return true;
}

bool AtomicFile::Write(const void* data, size_t n, std::string* error) { return Put(data, n, nullptr, error); }

bool AtomicFile::WriteAt(uint64_t offset, const void* data, size_t n, std::string* error) {
  return Put(data, n, &offset, error);
}

bool AtomicFile::Put(const void* data, size_t n, const uint64_t* at, std::string* error) {
  if (fd_ < 0) return Fail(error, "write to a closed file", EBADF);
  if (!TakeBudget(n)) {
    Discard();
    return Fail(error, "cannot write " + target_, EIO);
  }
  const char* p = static_cast<const char*>(data);
  uint64_t offset = at ? *at : 0;
  while (n > 0) {
    const ssize_t put = at ? ::pwrite(fd_, p, n, off_t(offset)) : ::write(fd_, p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      const int err = put < 0 ? errno : EIO;
      Discard();
      return Fail(error, "cannot write " + target_, err);
    }
    p += put;
    n -= size_t(put);
    offset += uint64_t(put);
  }
  return true;
}

bool AtomicFile::Commit(std::string* error) {
  if (fd_ < 0) return Fail(error, "commit of a closed file", EBADF);
  if (::fsync(fd_) != 0) {
    const int err = errno;
    Discard();
    return Fail(error, "cannot flush " + target_, err);
  }
  if (unnamed_) {
    // The file gets a name beside the target only now, for the rename.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100 && temp_.empty(); ++attempt) {
      const std::string name = TemporaryName(target_);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temp_ = name;
      } else if (errno != EEXIST) {
        const int err = errno;
        Discard();
        return Fail(error, "cannot name the new " + target_, err);
      }
    }
    if (temp_.empty()) {
      Discard();
      return Fail(error, "cannot name the new " + target_, EEXIST);
    }
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const int err = errno;
    Discard();
    return Fail(error, "cannot close " + target_, err);
  }
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    const int err = errno;
    Discard();
    return Fail(error, "cannot replace " + target_, err);
  }
  temp_.clear();
  // Make the rename itself durable.
  const int dir = ::open(DirectoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  Discard();  // the lock ends with the write
  return true;
}

}  // namespace hpi
