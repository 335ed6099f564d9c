#include "hpi/lz77.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace hpi::lz77 {

namespace {
constexpr size_t kRingMask = 0xFFF;
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 17;
constexpr size_t kMaxDistance = 4095;
constexpr int kMaxChain = 24;
}  // namespace

bool Decode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
  uint8_t ring[4096] = {};
  size_t w = 1, ip = 0, op = 0;
  for (;;) {
    // A stream may end without its end mark once the output is complete.
    if (ip >= inSize) return op == outSize;
    const unsigned tag = in[ip++];
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (tag & (1u << bit)) {
        if (inSize - ip < 2) return op == outSize;
        const unsigned v = unsigned(in[ip]) | unsigned(in[ip + 1]) << 8;
        ip += 2;
        size_t src = v >> 4;
        if (src == 0) return op == outSize;
        const size_t len = (v & 0xF) + 2;
        if (outSize - op < len) return false;
        for (size_t k = 0; k < len; ++k) {
          const uint8_t b = ring[src];
          out[op++] = b;
          ring[w] = b;
          src = (src + 1) & kRingMask;
          w = (w + 1) & kRingMask;
        }
      } else {
        if (ip >= inSize) return op == outSize;
        if (op >= outSize) return false;
        const uint8_t b = in[ip++];
        out[op++] = b;
        ring[w] = b;
        w = (w + 1) & kRingMask;
      }
    }
  }
}

namespace {
inline uint32_t Hash3(const uint8_t* p, int bits) {
  const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  return (v * 2654435761u) >> (32 - bits);
}

static_assert(std::endian::native == std::endian::little, "MatchLength reads bytes as little-endian words");

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// How many of the first `limit` bytes (at most kMaxMatch) of a and b agree.
// With `wide`, 24 bytes may be read from both.
inline size_t MatchLength(const uint8_t* a, const uint8_t* b, size_t limit, bool wide) {
  size_t len = 0;
  if (wide) {
    for (; len < limit; len += 8) {
      const uint64_t diff = Load64(a + len) ^ Load64(b + len);
      if (diff) {
        len += size_t(__builtin_ctzll(diff)) / 8;  // the first byte that differs is the lowest one
        break;
      }
    }
    return std::min(len, limit);
  }
  while (len < limit && a[len] == b[len]) ++len;
  return len;
}
}  // namespace

void Encoder::Encode(const uint8_t* in, size_t n, std::vector<uint8_t>& out) {
  out.resize(MaxEncodedSize(n));
  uint8_t* o = out.data();
  size_t op = 0, tagPos = 0;
  unsigned bit = 8;
  auto item = [&](bool reference) {
    if (bit == 8) {
      tagPos = op;
      o[op++] = 0;
      bit = 0;
    }
    if (reference) o[tagPos] |= uint8_t(1u << bit);
    ++bit;
  };

  // Positions are stored as base_ + position: whatever an earlier chunk left
  // in the tables lies below base_ and ends a chain, so the tables need not
  // be cleared for each (small) chunk.
  if (uint64_t(base_) + n + 1 >= kBaseLimit) {
    std::fill(std::begin(head_), std::end(head_), 0u);
    base_ = 1;
  }
  const uint32_t base = base_;
  base_ += uint32_t(n) + 1;

  auto insert = [&](size_t pos) {
    const uint32_t h = Hash3(in + pos, kHashBits);
    prev_[pos & kRingMask] = head_[h];
    head_[h] = base + uint32_t(pos);
  };

  size_t j = 0;
  while (j < n) {
    size_t bestLen = 0, bestPos = 0;
    if (n - j >= kMinMatch) {
      const size_t limit = std::min(kMaxMatch, n - j);
      const bool wide = n - j >= 24;  // candidates lie before j
      uint32_t stored = head_[Hash3(in + j, kHashBits)];
      for (int chain = kMaxChain; stored >= base && chain > 0; --chain) {
        const size_t c = stored - base;
        if (j - c > kMaxDistance) break;
        // Ring position 0 is the end mark and cannot be referenced.
        if (((c + 1) & kRingMask) != 0 && in[c + bestLen] == in[j + bestLen]) {
          const size_t len = MatchLength(in + c, in + j, limit, wide);
          if (len > bestLen) {
            bestLen = len;
            bestPos = c;
            if (len == limit) break;
          }
        }
        stored = prev_[c & kRingMask];
      }
      insert(j);
    }
    if (bestLen >= kMinMatch) {
      item(true);
      const unsigned v = unsigned(((bestPos + 1) & kRingMask) << 4) | unsigned(bestLen - 2);
      o[op++] = uint8_t(v);
      o[op++] = uint8_t(v >> 8);
      for (size_t k = 1; k < bestLen; ++k)
        if (n - (j + k) >= kMinMatch) insert(j + k);
      j += bestLen;
    } else {
      item(false);
      o[op++] = in[j++];
    }
  }
  item(true);
  o[op++] = 0;
  o[op++] = 0;
  out.resize(op);
}

}  // namespace hpi::lz77
