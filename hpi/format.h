#pragma once
// Byte layout of the game's archives: header, directory records and chunk
// headers, plus little-endian load/store helpers. All structures are packed.
#include <cstddef>
#include <cstdint>

namespace hpi {

inline constexpr uint32_t kArchiveMarker = 0x49504148;  // "HAPI"
inline constexpr uint32_t kArchiveVersion = 0x00010000;
inline constexpr uint32_t kChunkMarker = 0x48535153;  // "SQSH"
inline constexpr uint8_t kChunkVersion = 2;

inline constexpr size_t kHeaderSize = 20;       // marker, version, dir end, key, start
inline constexpr size_t kNodeSize = 8;          // entry count, entries offset
inline constexpr size_t kEntrySize = 9;         // name offset, data offset, is-directory
inline constexpr size_t kFileRecordSize = 9;    // data offset, size, compression
inline constexpr size_t kChunkHeaderSize = 19;  // marker .. checksum
inline constexpr size_t kChunkSize = 65536;     // uncompressed bytes per chunk

// The largest file the reader accepts (its sizes are signed 32-bit values).
inline constexpr uint64_t kMaxFileSize = 0x7FFFFFFF;
// The largest archive a writer makes: every offset inside it is 32-bit.
inline constexpr uint64_t kMaxArchiveSize = 0xFFFFFFFF;

// Compression of a file record or of one chunk.
enum class Method : uint8_t { Stored = 0, Lz77 = 1, Zlib = 2 };

inline bool IsValidMethod(uint8_t m) { return m <= 2; }

inline uint32_t LoadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void StoreU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// Number of chunks a compressed file of `size` bytes is cut into.
inline uint64_t ChunkCount(uint64_t size) { return (size + kChunkSize - 1) / kChunkSize; }

}  // namespace hpi
