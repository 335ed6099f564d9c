#pragma once
// The two byte transforms of the format: the whole-file cipher keyed by the
// header (each byte by its file position) and the per-chunk scrambling of
// chunk data (each byte by its index within the chunk).
#include <cstddef>
#include <cstdint>

namespace hpi {

class Cipher {
 public:
  Cipher() = default;
  // HeaderKey 0 means a plain file; otherwise only its lowest byte counts.
  explicit Cipher(int32_t headerKey);

  bool active() const { return active_; }
  uint8_t key() const { return key_; }

  // Encrypts or decrypts (the transform is its own inverse) `n` bytes that
  // sit at file position `filePos`.
  void Apply(uint8_t* data, size_t n, uint64_t filePos) const;

 private:
  bool active_ = false;
  uint8_t key_ = 0;
};

// The one key byte derived from the header key's lowest byte.
uint8_t KeyByte(int32_t headerKey);

void Scramble(uint8_t* data, size_t n);
void Unscramble(uint8_t* data, size_t n);

// Sum of the bytes modulo 2^32, as stored in a chunk header.
uint32_t Checksum(const uint8_t* data, size_t n);

// The three passes a reader makes over a chunk's data, in one: decrypts the
// `n` bytes at `src` (file position `filePos`) with `cipher`, sums them as
// Checksum does, and writes them to `dest` unscrambled when `unscramble` is
// set, as they are otherwise. `dest` may equal `src`. Returns the sum.
uint32_t DecryptSumUnscramble(const Cipher& cipher, const uint8_t* src, uint8_t* dest, size_t n,
                              uint64_t filePos, bool unscramble);

// The two passes a writer makes over compressed data: scrambles the `n` bytes
// at `src` into `dest` and returns the checksum of the scrambled bytes.
uint32_t ScrambleSum(const uint8_t* src, uint8_t* dest, size_t n);

}  // namespace hpi
