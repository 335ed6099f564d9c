#include "archive/write_whole_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "hpi/atomic_file.h"

namespace {

// The whole of the locked file, read from its start.
bool ReadLocked(int Fd, std::string& Bytes, std::string& Why) {
  Bytes.clear();
  char buffer[65536];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(Fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Why = std::strerror(errno);
      return false;
    }
    if (n == 0) return true;
    Bytes.append(buffer, static_cast<size_t>(n));
    at += n;
  }
}

}  // namespace

void WriteWholeFile(const std::string& Path, const char* Data, size_t Size,
                    const std::optional<std::string>* Expected) {
  using Reason = WriteFileError::Reason;
  hpi::AtomicFile file;
  std::string why;
  if (!file.Open(Path, &why)) throw WriteFileError(file.readOnly() ? Reason::ReadOnly : Reason::Failed, why);
  if (Expected) {
    std::optional<std::string> now;
    if (file.existing() >= 0) {
      now.emplace();
      if (!ReadLocked(file.existing(), *now, why)) throw WriteFileError(Reason::Failed, "cannot read " + Path + ": " + why);
    }
    if (now != *Expected) throw WriteFileError(Reason::Changed, Path + " changed since it was read");
  }
  if (!file.Write(Data, Size, &why) || !file.Commit(&why)) throw WriteFileError(Reason::Failed, why);
}
