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

// Writes the `len` bytes of a reference `back` bytes behind out[op] (4,096
// for the ring place being written), byte by byte where they overlap.
void CopyReference(uint8_t* out, size_t op, size_t back, size_t len) {
  uint8_t* d = out + op;
  if (back > op) {
    // Starts in the part of the ring this chunk has not written: zeros.
    const size_t zeros = std::min(len, back - op);
    std::memset(d, 0, zeros);
    for (size_t k = zeros; k < len; ++k) d[k] = out[op + k - back];
  } else if (back >= len) {
    std::memcpy(d, d - back, len);
  } else {
    // A run: the copy reads bytes it has just written.
    const uint8_t* s = d - back;
    for (size_t k = 0; k < len; ++k) d[k] = s[k];
  }
}

}  // namespace

// Decodes straight into `out` rather than through the ring: output byte p sits
// at ring position (p + 1) & 0xFFF, so a reference to ring position `src` made
// while writing byte `op` reads byte op - back, where back is the distance from
// src to the write position (4,096 when they coincide). Ring places not written
// yet in this chunk read as the zeros a fresh ring holds.
bool Decode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
  constexpr size_t kRing = kRingMask + 1;
  size_t ip = 0, op = 0;
  for (;;) {
    // A stream may end without its end mark once the output is complete.
    if (ip >= inSize) return op == outSize;
    const unsigned tag = in[ip++];
    // Eight items that can run past neither end (at most 16 input bytes, 8
    // times 17 output bytes plus a word of slack) need no bounds checks.
    if (inSize - ip >= 16 && outSize - op >= 8 * kMaxMatch + 8) {
      if (tag == 0) {
        std::memcpy(out + op, in + ip, 8);
        ip += 8;
        op += 8;
        continue;
      }
      for (unsigned bit = 0; bit < 8; ++bit) {
        if (!(tag & (1u << bit))) {
          out[op++] = in[ip++];
          continue;
        }
        const unsigned v = unsigned(in[ip]) | unsigned(in[ip + 1]) << 8;
        ip += 2;
        const size_t src = v >> 4;
        if (src == 0) return op == outSize;
        const size_t len = (v & 0xF) + 2;
        const size_t back = ((op + 1 - src) & kRingMask) == 0 ? kRing : ((op + 1 - src) & kRingMask);
        uint8_t* d = out + op;
        if (back >= 8 && back <= op) {
          // Three words cover the longest reference; each reads only bytes
          // written before it. What they write past the reference lies ahead
          // of the output and is written over by the items that follow.
          const uint8_t* s = d - back;
          uint64_t word;
          std::memcpy(&word, s, 8);
          std::memcpy(d, &word, 8);
          std::memcpy(&word, s + 8, 8);
          std::memcpy(d + 8, &word, 8);
          std::memcpy(&word, s + 16, 8);
          std::memcpy(d + 16, &word, 8);
        } else {
          CopyReference(out, op, back, len);
        }
        op += len;
      }
      continue;
    }
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (tag & (1u << bit)) {
        if (inSize - ip < 2) return op == outSize;
        const unsigned v = unsigned(in[ip]) | unsigned(in[ip + 1]) << 8;
        ip += 2;
        const size_t src = v >> 4;
        if (src == 0) return op == outSize;
        const size_t len = (v & 0xF) + 2;
        if (outSize - op < len) return false;
        const size_t back = ((op + 1 - src) & kRingMask) == 0 ? kRing : ((op + 1 - src) & kRingMask);
        CopyReference(out, op, back, len);
        op += len;
      } else {
        if (ip >= inSize) return op == outSize;
        if (op >= outSize) return false;
        out[op++] = in[ip++];
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
