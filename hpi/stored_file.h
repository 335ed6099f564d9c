#pragma once
// Reading one file of an archive a piece at a time: its stored chunks as they
// are (for copying into another archive), or its decoded bytes in pieces of
// the caller's size. Memory stays one chunk whatever the file's size, and
// every chunk is checked (marker, sizes, checksum) as it is read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hpi/chunk.h"

namespace hpi {

class Archive;

class StoredFile {
 public:
  // File `index` of `archive`, which must stay open while this is used.
  StoredFile(const Archive& archive, uint32_t index);

  // Checks the file's records and reads its chunk-length array. False, with
  // the reason, for a damaged file.
  bool Start(std::string* error);
  uint64_t chunkCount() const { return lengths_.size(); }

  // The next stored chunk, header and data as stored but with the archive's
  // encryption removed, checked. False for a damaged chunk, and after the
  // last chunk when their sizes do not add up to the file's size.
  bool NextChunk(std::vector<uint8_t>& chunk, std::string* error);
  // The next n bytes of the file's content, decoded.
  bool Read(uint8_t* dest, size_t n, std::string* error);

 private:
  bool Fail(std::string* error, const char* why);

  const Archive& archive_;
  uint32_t index_;
  uint8_t compression_ = 0;
  uint64_t size_ = 0;
  std::vector<uint32_t> lengths_;
  uint64_t nextChunk_ = 0;
  uint64_t chunkPos_ = 0;  // file position of the next chunk, or of the next stored byte
  uint64_t decodedTotal_ = 0;
  std::vector<uint8_t> chunk_, decoded_;
  size_t decodedAt_ = 0;  // bytes of decoded_ handed out already
};

}  // namespace hpi
