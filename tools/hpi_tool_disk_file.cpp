#include "hpi_tool_disk_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace hpitool {

bool ReadDiskFile(const std::string& path, std::vector<uint8_t>& data, std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!ok) why = "not a regular file";
  if (ok) {
    data.resize(size_t(st.st_size));
    size_t done = 0;
    while (ok && done < data.size()) {
      const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        why = n < 0 ? std::strerror(errno) : "the file became shorter while it was read";
        ok = false;
      } else {
        done += size_t(n);
      }
    }
  }
  ::close(fd);
  return ok;
}

}  // namespace hpitool
