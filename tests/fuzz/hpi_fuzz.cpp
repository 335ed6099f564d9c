// Fuzzes the archive reader through the library operations: open, list
// (walk and per directory) and read every file. The input is handed over as
// an in-memory file, so the real open path is exercised.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "hpi/hpi.h"

namespace {

int MemoryFile() {
  static int fd = memfd_create("hpi-fuzz", MFD_CLOEXEC);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = MemoryFile();
  if (fd < 0 || ftruncate(fd, 0) != 0) return 0;
  if (size && pwrite(fd, data, size, 0) != ssize_t(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  HPIHANDLE h = HPIOpen(path.c_str());
  if (!h) return 0;
  static std::vector<char> name(HPI_NAME_BUFFER), sub(HPI_NAME_BUFFER);
  static std::vector<uint8_t> piece(65536);
  int32_t type = 0, bytes = 0;
  for (int32_t pos = HPIGetFiles(h, 0, name.data(), &type, &bytes); pos;
       pos = HPIGetFiles(h, pos, name.data(), &type, &bytes)) {
    if (type) {
      for (int32_t p = HPIDir(h, 0, name.data(), sub.data(), &type, &bytes); p;
           p = HPIDir(h, p, name.data(), sub.data(), &type, &bytes)) {
      }
      continue;
    }
    HPIHANDLE f = HPIOpenFile(h, name.data());
    if (!f) continue;
    // The listed size is the archive's claim, not what the opened file holds:
    // the file is read piece by piece until it ends.
    for (int32_t offset = 0;;) {
      const int32_t got = HPIGet(piece.data(), f, offset, int32_t(piece.size()));
      if (got < int32_t(piece.size())) break;
      offset += got;
    }
    HPICloseFile(f);
  }
  HPIClose(h);
  return 0;
}
