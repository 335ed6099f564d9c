#pragma once
// Writes a file beside its target and renames it over the target only once
// everything was written and flushed, so a failure leaves the old file as it was.
#include <cstddef>
#include <string>

namespace hpi {

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();  // removes the temporary file unless committed
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file in the target's directory.
  bool Open(const std::string& target, std::string* error = nullptr);
  bool Write(const void* data, size_t n, std::string* error = nullptr);
  // Flushes to disk, closes and renames over the target.
  bool Commit(std::string* error = nullptr);

 private:
  void Discard();

  int fd_ = -1;
  std::string target_, temp_;
};

}  // namespace hpi
