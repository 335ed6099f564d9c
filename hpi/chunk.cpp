#include "hpi/chunk.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>

#include "hpi/crypt.h"

namespace hpi {

namespace {

// The most output a method can produce per input byte: an LZ77 tag byte and
// eight 2-byte references (17 bytes) yield 8 x 17 bytes; deflate's limit is
// 1032:1. Plus a small constant for very short streams.
bool OutputIsPlausible(uint8_t method, uint64_t in, uint64_t out) {
  switch (Method(method)) {
    case Method::Stored: return in == out;
    case Method::Lz77: return out <= in * 8 + 17;
    case Method::Zlib: return out <= in * 1032 + 1032;
  }
  return false;
}

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

libdeflate_decompressor* ThreadDecompressor() {
  thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> d(
      libdeflate_alloc_decompressor());
  return d.get();
}

}  // namespace

ChunkHeader ParseChunkHeader(const uint8_t* p) {
  ChunkHeader h;
  h.marker = LoadU32(p);
  h.version = p[4];
  h.method = p[5];
  h.scrambled = p[6];
  h.compressedSize = LoadU32(p + 7);
  h.decompressedSize = LoadU32(p + 11);
  h.checksum = LoadU32(p + 15);
  return h;
}

bool ChunkHeaderIsSane(const ChunkHeader& h, uint64_t storedLength) {
  return h.marker == kChunkMarker && IsValidMethod(h.method) &&
         storedLength >= kChunkHeaderSize &&
         uint64_t(h.compressedSize) == storedLength - kChunkHeaderSize &&
         h.decompressedSize <= kChunkSize &&
         OutputIsPlausible(h.method, h.compressedSize, h.decompressedSize);
}

bool DecodeChunk(const ChunkHeader& h, uint8_t* data, uint8_t* out) {
  const uint32_t sum = DecryptSumUnscramble(Cipher(), data, data, h.compressedSize, 0, h.scrambled != 0);
  if (sum != h.checksum) return false;
  return DecodeChunkData(h.method, data, h.compressedSize, out, h.decompressedSize);
}

bool DecodeChunkData(uint8_t method, const uint8_t* data, size_t n, uint8_t* out, size_t outSize) {
  switch (Method(method)) {
    case Method::Stored:
      if (n != outSize) return false;
      if (n) std::memcpy(out, data, n);
      return true;
    case Method::Lz77:
      return lz77::Decode(data, n, out, outSize);
    case Method::Zlib: {
      libdeflate_decompressor* d = ThreadDecompressor();
      if (!d) return false;
      return libdeflate_zlib_decompress(d, data, n, out, outSize, nullptr) == LIBDEFLATE_SUCCESS;
    }
  }
  return false;
}

ChunkEncoder::ChunkEncoder(int zlibLevel) : level_(zlibLevel) {}

ChunkEncoder::~ChunkEncoder() {
  if (zlib_) libdeflate_free_compressor(zlib_);
}

bool ChunkEncoder::Encode(Method method, const uint8_t* in, size_t n, std::vector<uint8_t>& out) {
  // The chunk is built in the encoder's own buffer, the data behind the
  // header's place, and copied out at its final size.
  scratch_.resize(kChunkHeaderSize + std::max(n, lz77::MaxEncodedSize(n)));
  uint8_t* data = scratch_.data() + kChunkHeaderSize;
  size_t packed = n;  // n or more: stored
  if (method == Method::Lz77) {
    if (!lz77_) lz77_ = std::make_unique<lz77::Encoder>();
    lz77_->Encode(in, n, lz77Out_);
    packed = lz77Out_.size();
    if (packed < n) std::memcpy(data, lz77Out_.data(), packed);
  } else if (method == Method::Zlib) {
    if (!zlib_) zlib_ = libdeflate_alloc_compressor(level_);
    if (!zlib_) return false;
    // Output of n bytes or more is stored anyway, so the compressor may give
    // up there (it then returns 0).
    const size_t got = n > 1 ? libdeflate_zlib_compress(zlib_, in, n, data, n - 1) : 0;
    if (got) packed = got;
  }
  Method used = method;
  if (method == Method::Stored || packed >= n) {
    used = Method::Stored;
    packed = n;
    if (n) std::memcpy(data, in, n);
  }
  const uint32_t checksum = ScrambleSum(data, data, packed);
  uint8_t* p = scratch_.data();
  StoreU32(p, kChunkMarker);
  p[4] = kChunkVersion;
  p[5] = uint8_t(used);
  p[6] = 1;
  StoreU32(p + 7, uint32_t(packed));
  StoreU32(p + 11, uint32_t(n));
  StoreU32(p + 15, checksum);
  out.assign(scratch_.begin(), scratch_.begin() + std::ptrdiff_t(kChunkHeaderSize + packed));
  return true;
}

}  // namespace hpi
