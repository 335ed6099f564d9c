#pragma once
// One compressed chunk ("SQSH" header + data): parsing, decoding and encoding.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "hpi/format.h"
#include "hpi/lz77.h"

struct libdeflate_compressor;

namespace hpi {

struct ChunkHeader {
  uint32_t marker = 0;
  uint8_t version = 0;
  uint8_t method = 0;
  uint8_t scrambled = 0;
  uint32_t compressedSize = 0;
  uint32_t decompressedSize = 0;
  uint32_t checksum = 0;
};

// Reads the 19 header bytes at `p`.
ChunkHeader ParseChunkHeader(const uint8_t* p);

// Checks a header against the stored length of its chunk (header + data):
// marker, method, sizes that agree, at most 65,536 output bytes, and an
// output size the method could really produce from that much data.
bool ChunkHeaderIsSane(const ChunkHeader& h, uint64_t storedLength);

// Decodes the chunk's data (`h.compressedSize` bytes, unscrambled in place)
// into `out`, which holds `h.decompressedSize` bytes. Verifies the checksum.
bool DecodeChunk(const ChunkHeader& h, uint8_t* data, uint8_t* out);

// Decodes data that is checked and unscrambled already (the chunk's `method`,
// `n` bytes) into exactly `outSize` bytes at `out`.
bool DecodeChunkData(uint8_t method, const uint8_t* data, size_t n, uint8_t* out, size_t outSize);

// Compresses chunks for writing. Not thread-safe: one per thread.
class ChunkEncoder {
 public:
  explicit ChunkEncoder(int zlibLevel = 6);
  ~ChunkEncoder();
  ChunkEncoder(const ChunkEncoder&) = delete;
  ChunkEncoder& operator=(const ChunkEncoder&) = delete;

  // Encodes up to 65,536 bytes as one scrambled chunk, header included,
  // into `out` (replacing its contents). Data that does not shrink is stored.
  // Returns false only when the compressor cannot be created.
  bool Encode(Method method, const uint8_t* in, size_t n, std::vector<uint8_t>& out);

 private:
  int level_;
  libdeflate_compressor* zlib_ = nullptr;
  std::unique_ptr<lz77::Encoder> lz77_;
  std::vector<uint8_t> scratch_;   // the chunk being built
  std::vector<uint8_t> lz77Out_;  // the LZ77 encoder's output
};

}  // namespace hpi
