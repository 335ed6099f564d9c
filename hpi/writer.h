#pragma once
// Writing an archive: collect files (and empty directories) by path, then
// pack them into a new archive that atomically replaces the target.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "hpi/format.h"

namespace hpi {

class AtomicFile;

class Writer {
 public:
  struct Options {
    Method method = Method::Lz77;
    int32_t headerKey = 0;  // 0 writes a plain file; 1..255 encrypts
    int zlibLevel = 6;
    unsigned threads = 0;   // chunk-compression threads; 0 = one per core
  };

  Writer();
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Adds a file. Levels are separated by '\' (or '/'); empty levels are
  // ignored. The data must stay valid until Pack has returned. A second file
  // of the same path (ignoring case) replaces the first. Refused (false): no
  // name, a "." or ".." level, more than 1,024 levels or 65,535 characters,
  // a level that is a file already, a path that is a directory already, or
  // 4 GiB or more of data.
  bool AddFile(std::string_view path, const uint8_t* data, size_t size);
  // Adds a (possibly empty) directory and its parents.
  bool AddDirectory(std::string_view path);

  size_t fileCount() const { return files_; }

  // Writes the archive. Returns false, with the reason in *error when given,
  // when it could not be written; an existing target is then left untouched.
  bool Pack(const std::string& target, const Options& options, std::string* error = nullptr) const;
  // The same into a temporary file opened beforehand on its target, so that a
  // caller can learn early whether the archive can be created there.
  bool Pack(AtomicFile& file, const Options& options, std::string* error = nullptr) const;

 private:
  struct Node;

  std::unique_ptr<Node> root_;
  size_t files_ = 0;
};

}  // namespace hpi
