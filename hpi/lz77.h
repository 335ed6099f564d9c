#pragma once
// The archive format's LZ77 variant: a 4,096-byte ring, a tag byte before
// every eight items, literals and 2-byte references (12-bit ring position,
// 4-bit length 2..17), ended by a reference to ring position 0.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace hpi::lz77 {

// Decodes one chunk's stream into exactly `outSize` bytes. Returns false
// when the stream is malformed or does not yield exactly that many bytes.
bool Decode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize);

// Upper bound of an encoded stream for `n` input bytes.
inline size_t MaxEncodedSize(size_t n) { return n + n / 8 + 4; }

// Hash-chain encoder. One object per thread; it reuses its tables.
class Encoder {
 public:
  // Encodes `n` bytes (one chunk) into `out`, replacing its contents.
  void Encode(const uint8_t* in, size_t n, std::vector<uint8_t>& out);

 private:
  static constexpr int kHashBits = 13;
  static constexpr size_t kWindow = 4096;
  static constexpr uint64_t kBaseLimit = uint64_t(1) << 32;
  // Positions of this chunk are stored as base_ + position; entries below
  // base_ are from earlier chunks and count as empty.
  uint32_t base_ = kBaseLimit - 1;  // the first chunk clears the tables
  uint32_t head_[size_t(1) << kHashBits];
  uint32_t prev_[kWindow];
};

}  // namespace hpi::lz77
