#include "hpi/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
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

}  // namespace

namespace testing {
void FailWritesAfter(int64_t bytes) { gWriteBudget.store(bytes < 0 ? -1 : bytes); }
}  // namespace testing

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

bool AtomicFile::Open(const std::string& target, std::string* error) {
  Discard();
  target_ = target;
  // Only a regular file (or nothing) can be replaced by the finished file.
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
    return Fail(error, "cannot replace " + target, S_ISDIR(existing.st_mode) ? EISDIR : EEXIST);
  std::random_device rd;
  std::mt19937_64 rng((uint64_t(rd()) << 32) ^ rd());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".tmp%08llx", static_cast<unsigned long long>(rng() & 0xFFFFFFFFu));
    const std::string name = target + suffix;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temp_ = name;
      // Keep the permissions of the archive being replaced.
      struct stat st {};
      if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd_, st.st_mode & 07777);
      return true;
    }
    if (errno != EEXIST) return Fail(error, "cannot create " + name, errno);
  }
  return Fail(error, "cannot create a temporary file beside " + target, EEXIST);
}

bool AtomicFile::Write(const void* data, size_t n, std::string* error) {
  if (fd_ < 0) return Fail(error, "write to a closed file", EBADF);
  if (!TakeBudget(n)) {
    Discard();
    return Fail(error, "cannot write " + target_, EIO);
  }
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t put = ::write(fd_, p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      const int err = put < 0 ? errno : EIO;
      Discard();
      return Fail(error, "cannot write " + target_, err);
    }
    p += put;
    n -= size_t(put);
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
  return true;
}

}  // namespace hpi
