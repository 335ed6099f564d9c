#pragma once
// Writing an archive: collect files (and empty directories) by path, then
// pack them into a new archive that atomically replaces the target. Packing
// streams: files are read, packed and written a few chunks at a time, so
// memory stays a few chunks per thread plus the directory.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "hpi/format.h"

namespace hpi {

class Archive;
class AtomicFile;

class Writer {
 public:
  struct Options {
    Method method = Method::Lz77;
    int32_t headerKey = 0;  // 0 writes a plain file; 1..255 encrypts
    int zlibLevel = 6;
    unsigned threads = 0;   // chunk-compression threads; 0 = one per core
    // Files added from an archive keep their own compression; `method` is
    // for the others. Otherwise every file is stored with `method`.
    bool keepStored = false;
  };

  // Why Pack failed.
  enum class Failure {
    None,
    Damaged,  // a file added from an archive could not be read intact
    Source,   // a disk file could not be read, or changed its size
    Write,    // the new archive could not be written, or would be too large
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
  // more data than the reader accepts (kMaxFileSize).
  bool AddFile(std::string_view path, const uint8_t* data, size_t size);
  // The same with the bytes of the regular disk file `diskPath`, read while
  // packing; `size` is its size now, which it must still have then.
  bool AddDiskFile(std::string_view path, std::string diskPath, uint64_t size);
  // The same with file `index` of an open archive, which must stay open until
  // Pack has returned. Its stored chunks are copied (and checked) when it is
  // to be stored with the compression it has; otherwise it is decoded and
  // packed anew.
  bool AddArchivedFile(std::string_view path, const Archive& archive, uint32_t index);
  // Adds a (possibly empty) directory and its parents.
  bool AddDirectory(std::string_view path);

  size_t fileCount() const { return files_; }

  // Writes the archive. Returns false, with the reason in *error when given,
  // when it could not be written; an existing target is then left untouched.
  bool Pack(const std::string& target, const Options& options, std::string* error = nullptr) const;
  // The same into a temporary file opened beforehand on its target, so that a
  // caller can learn early whether the archive can be created there.
  bool Pack(AtomicFile& file, const Options& options, std::string* error = nullptr,
            Failure* failure = nullptr) const;

  struct Node;  // one entry of the tree being built (writer.cpp)

 private:
  Node* AddFileNode(std::string_view path, uint64_t size);

  std::unique_ptr<Node> root_;
  size_t files_ = 0;
};

}  // namespace hpi
