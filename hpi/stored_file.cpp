#include "hpi/stored_file.h"

#include <algorithm>
#include <cstring>

#include "hpi/archive.h"
#include "hpi/crypt.h"

namespace hpi {

StoredFile::StoredFile(const Archive& archive, uint32_t index) : archive_(archive), index_(index) {}

bool StoredFile::Fail(std::string* error, const char* why) {
  if (error) *error = why;
  return false;
}

bool StoredFile::Start(std::string* error) {
  if (index_ >= archive_.size() || archive_.at(index_).isDirectory) return Fail(error, "is a directory");
  const Entry& e = archive_.at(index_);
  compression_ = e.compression;
  size_ = e.size;
  chunkPos_ = e.dataOffset;
  const uint64_t fileSize = archive_.fileSize();
  if (compression_ == uint8_t(Method::Stored)) {
    if (chunkPos_ > fileSize || size_ > fileSize - chunkPos_) return Fail(error, "data outside the file");
    return true;
  }
  if (!IsValidMethod(compression_)) return Fail(error, "unknown compression");
  const uint64_t chunks = ChunkCount(size_);
  if (chunkPos_ > fileSize || chunks * 4 > fileSize - chunkPos_) return Fail(error, "data outside the file");
  std::vector<uint8_t> raw(size_t(chunks * 4));
  if (!archive_.ReadRaw(chunkPos_, raw.data(), raw.size())) return Fail(error, "read error");
  archive_.cipher().Apply(raw.data(), raw.size(), chunkPos_);
  chunkPos_ += raw.size();
  lengths_.resize(size_t(chunks));
  uint64_t span = 0;
  for (size_t k = 0; k < lengths_.size(); ++k) {
    lengths_[k] = LoadU32(&raw[4 * k]);
    if (lengths_[k] < kChunkHeaderSize) return Fail(error, "chunk too short");
    span += lengths_[k];
    if (span > fileSize - chunkPos_) return Fail(error, "chunk outside the file");
  }
  return true;
}

bool StoredFile::NextChunk(std::vector<uint8_t>& chunk, std::string* error) {
  if (nextChunk_ >= lengths_.size()) return Fail(error, "no more chunks");
  const uint32_t length = lengths_[size_t(nextChunk_)];
  chunk.resize(length);
  if (!archive_.ReadRaw(chunkPos_, chunk.data(), length)) return Fail(error, "read error");
  archive_.cipher().Apply(chunk.data(), kChunkHeaderSize, chunkPos_);
  const ChunkHeader h = ParseChunkHeader(chunk.data());
  if (!ChunkHeaderIsSane(h, length)) return Fail(error, "damaged chunk header");
  // The data is decrypted and summed in one pass.
  uint8_t* data = chunk.data() + kChunkHeaderSize;
  if (DecryptSumUnscramble(archive_.cipher(), data, data, h.compressedSize, chunkPos_ + kChunkHeaderSize, false) !=
      h.checksum)
    return Fail(error, "damaged chunk (checksum or data)");
  decodedTotal_ += h.decompressedSize;
  chunkPos_ += length;
  ++nextChunk_;
  if (decodedTotal_ > size_ || (nextChunk_ == lengths_.size() && decodedTotal_ != size_))
    return Fail(error, "chunk sizes do not add up to the file size");
  return true;
}

bool StoredFile::Read(uint8_t* dest, size_t n, std::string* error) {
  if (compression_ == uint8_t(Method::Stored)) {
    if (!archive_.ReadRaw(chunkPos_, dest, n)) return Fail(error, "read error");
    archive_.cipher().Apply(dest, n, chunkPos_);
    chunkPos_ += n;
    return true;
  }
  while (n > 0) {
    if (decodedAt_ == decoded_.size()) {
      if (!NextChunk(chunk_, error)) return false;
      const ChunkHeader h = ParseChunkHeader(chunk_.data());
      uint8_t* data = chunk_.data() + kChunkHeaderSize;
      if (h.scrambled) Unscramble(data, h.compressedSize);
      decoded_.resize(h.decompressedSize);
      decodedAt_ = 0;
      if (!DecodeChunkData(h.method, data, h.compressedSize, decoded_.data(), decoded_.size()))
        return Fail(error, "damaged chunk (checksum or data)");
    }
    const size_t take = std::min(n, decoded_.size() - decodedAt_);
    std::memcpy(dest, decoded_.data() + decodedAt_, take);
    decodedAt_ += take;
    dest += take;
    n -= take;
  }
  return true;
}

}  // namespace hpi
