#include "hpi/crypt.h"

namespace hpi {

uint8_t KeyByte(int32_t headerKey) {
  const uint32_t h = uint32_t(headerKey) & 0xFF;
  return uint8_t(~((h << 2) | (h >> 6)) & 0xFF);
}

Cipher::Cipher(int32_t headerKey) : active_(headerKey != 0), key_(KeyByte(headerKey)) {}

void Cipher::Apply(uint8_t* data, size_t n, uint64_t filePos) const {
  if (!active_) return;
  // plain = T xor (not stored), T = (position xor key): the same operation
  // in both directions.
  const uint8_t base = uint8_t(filePos);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t t = uint8_t(uint8_t(base + uint8_t(i)) ^ key_);
    data[i] = uint8_t(~(data[i] ^ t));
  }
}

void Scramble(uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i) data[i] = uint8_t((data[i] ^ uint8_t(i)) + uint8_t(i));
}

void Unscramble(uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i) data[i] = uint8_t(uint8_t(data[i] - uint8_t(i)) ^ uint8_t(i));
}

uint32_t Checksum(const uint8_t* data, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += data[i];
  return sum;
}

}  // namespace hpi
