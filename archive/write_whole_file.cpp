#include "archive/write_whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace {

[[noreturn]] void ThrowSystemError(int Error, const std::string& Path) {
  throw std::system_error(Error, std::system_category(), Path);
}

}  // namespace

void WriteWholeFile(const std::string& Path, const char* Data, size_t Size) {
  int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) ThrowSystemError(errno, Path);
  struct stat st;
  int refused = 0;
  if (::fstat(fd, &st) != 0)
    refused = errno;
  else if (!S_ISREG(st.st_mode))
    refused = EINVAL;
  else if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    refused = EACCES;
  else if (::ftruncate(fd, 0) != 0)
    refused = errno;
  if (refused) {
    ::close(fd);
    ThrowSystemError(refused, Path);
  }
  size_t done = 0;
  while (done < Size) {
    ssize_t n = ::write(fd, Data + done, Size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      ::close(fd);
      ThrowSystemError(error, Path);
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) ThrowSystemError(errno, Path);
}

