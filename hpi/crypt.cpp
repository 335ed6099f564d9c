#include "hpi/crypt.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace hpi {

namespace {

#if defined(__SSE2__)
// The byte values base, base + 1, ..., base + 15 (each modulo 256).
inline __m128i Ramp(uint8_t base) {
  return _mm_add_epi8(_mm_set1_epi8(char(base)),
                      _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
}
#endif

}  // namespace

uint8_t KeyByte(int32_t headerKey) {
  const uint32_t h = uint32_t(headerKey) & 0xFF;
  return uint8_t(~((h << 2) | (h >> 6)) & 0xFF);
}

Cipher::Cipher(int32_t headerKey) : active_(headerKey != 0), key_(KeyByte(headerKey)) {}

void Cipher::Apply(uint8_t* data, size_t n, uint64_t filePos) const {
  if (!active_) return;
  // plain = T xor (not stored), T = (position xor key): the same operation
  // in both directions, i.e. stored xor not T.
  const uint8_t base = uint8_t(filePos);
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i notKey = _mm_set1_epi8(char(uint8_t(~key_)));
  const __m128i step = _mm_set1_epi8(16);
  __m128i pos = Ramp(base);
  for (; i + 16 <= n; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    v = _mm_xor_si128(v, _mm_xor_si128(pos, notKey));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data + i), v);
    pos = _mm_add_epi8(pos, step);
  }
#endif
  for (; i < n; ++i) {
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

uint32_t DecryptSumUnscramble(const Cipher& cipher, const uint8_t* src, uint8_t* dest, size_t n,
                              uint64_t filePos, bool unscramble) {
  const uint8_t base = uint8_t(filePos);
  // Decryption is stored xor mask, mask = not (position xor key); nothing for a plain file.
  const bool active = cipher.active();
  const uint8_t key = cipher.key();
  uint32_t sum = 0;
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i step = _mm_set1_epi8(16);
  const __m128i notKey = _mm_set1_epi8(char(uint8_t(~key)));
  __m128i pos = Ramp(base);          // file positions, low byte
  __m128i index = Ramp(0);           // indexes within the data, low byte
  const __m128i useMask = active ? _mm_set1_epi8(char(0xFF)) : zero;
  const __m128i useIndex = unscramble ? _mm_set1_epi8(char(0xFF)) : zero;
  __m128i sums = zero;
  for (; i + 16 <= n; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    v = _mm_xor_si128(v, _mm_and_si128(_mm_xor_si128(pos, notKey), useMask));
    sums = _mm_add_epi64(sums, _mm_sad_epu8(v, zero));
    const __m128i k = _mm_and_si128(index, useIndex);
    v = _mm_xor_si128(_mm_sub_epi8(v, k), k);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i), v);
    pos = _mm_add_epi8(pos, step);
    index = _mm_add_epi8(index, step);
  }
  sum = uint32_t(_mm_cvtsi128_si32(sums)) + uint32_t(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
#endif
  for (; i < n; ++i) {
    uint8_t x = src[i];
    if (active) x = uint8_t(~(x ^ uint8_t(uint8_t(base + uint8_t(i)) ^ key)));
    sum += x;
    if (unscramble) x = uint8_t(uint8_t(x - uint8_t(i)) ^ uint8_t(i));
    dest[i] = x;
  }
  return sum;
}

uint32_t ScrambleSum(const uint8_t* src, uint8_t* dest, size_t n) {
  uint32_t sum = 0;
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i step = _mm_set1_epi8(16);
  __m128i index = Ramp(0);
  __m128i sums = zero;
  for (; i + 16 <= n; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    v = _mm_add_epi8(_mm_xor_si128(v, index), index);
    sums = _mm_add_epi64(sums, _mm_sad_epu8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i), v);
    index = _mm_add_epi8(index, step);
  }
  sum = uint32_t(_mm_cvtsi128_si32(sums)) + uint32_t(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
#endif
  for (; i < n; ++i) {
    const uint8_t x = uint8_t((src[i] ^ uint8_t(i)) + uint8_t(i));
    sum += x;
    dest[i] = x;
  }
  return sum;
}

}  // namespace hpi
