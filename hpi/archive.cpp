#include "hpi/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <unordered_set>

#include "hpi/chunk.h"
#include "hpi/format.h"
#include "hpi/paths.h"

namespace hpi {

namespace {

constexpr size_t kMaxPath = 65535;

std::atomic<uint64_t> gNextArchiveId{1};  // a listed path plus its zero fits the 64 KiB buffer

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// A hash of a directory and a name ignoring case.
size_t LevelHash(uint32_t dir, std::string_view name) {
  uint64_t h = (uint64_t(dir) + 1) * 0x9E3779B97F4A7C15ULL;
  for (const char c : name) h = (h ^ Lower(static_cast<unsigned char>(c))) * 0x100000001B3ULL;
  return size_t(h ^ (h >> 32));
}

}  // namespace

int CompareNoCase(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;  // the common case along a shared prefix
    const unsigned char x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

Archive::~Archive() {
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<Archive> Archive::Open(const std::string& path, std::string* error) {
  // Only a regular file is an archive. Anything else (a FIFO, a device, a
  // directory) is refused before it is opened, and the open itself cannot
  // block should the path change meanwhile; the check is made again on what
  // was opened.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    Fail(error, std::string("cannot open: ") + std::strerror(errno));
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    Fail(error, "not a regular file");
    return nullptr;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    Fail(error, std::string("cannot open: ") + std::strerror(errno));
    return nullptr;
  }
  return OpenOwned(fd, error);
}

std::unique_ptr<Archive> Archive::OpenDescriptor(int fd, std::string* error) {
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) {
    Fail(error, std::string("cannot open: ") + std::strerror(errno));
    return nullptr;
  }
  return OpenOwned(own, error);
}

std::unique_ptr<Archive> Archive::OpenOwned(int fd, std::string* error) {
  std::unique_ptr<Archive> a(new Archive);
  a->id_ = gNextArchiveId.fetch_add(1);
  a->fd_ = fd;
  struct stat st {};
  if (::fstat(a->fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    Fail(error, "not a regular file");
    return nullptr;
  }
  a->fileSize_ = uint64_t(st.st_size);
  try {
    if (!a->Load(error)) return nullptr;
  } catch (const std::bad_alloc&) {
    Fail(error, "out of memory");
    return nullptr;
  }
  return a;
}

bool Archive::ReadAt(uint64_t offset, uint8_t* dest, size_t n) const {
  while (n > 0) {
    const ssize_t got = ::pread(fd_, dest, n, off_t(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    dest += got;
    n -= size_t(got);
    offset += uint64_t(got);
  }
  return true;
}

bool Archive::Load(std::string* error) {
  uint8_t header[kHeaderSize];
  if (fileSize_ < kHeaderSize || !ReadAt(0, header, kHeaderSize))
    return Fail(error, "too short for an archive header");
  if (LoadU32(header) != kArchiveMarker) return Fail(error, "not an archive (no HAPI marker)");
  if (LoadU32(header + 4) != kArchiveVersion) return Fail(error, "unsupported archive version");
  const uint64_t dirEnd = LoadU32(header + 8);
  const int32_t headerKey = int32_t(LoadU32(header + 12));
  const uint64_t start = LoadU32(header + 16);
  if (start < kHeaderSize || start > dirEnd || dirEnd > fileSize_ || dirEnd - start < kNodeSize)
    return Fail(error, "directory outside the file");
  cipher_ = Cipher(headerKey);

  std::vector<uint8_t> block(size_t(dirEnd - start));
  if (!ReadAt(start, block.data(), block.size())) return Fail(error, "cannot read the directory");
  cipher_.Apply(block.data(), block.size(), start);

  // Every directory structure must lie inside the directory block.
  auto inside = [&](uint64_t off, uint64_t len) {
    return off >= start && off <= dirEnd && len <= dirEnd - off;
  };
  auto at = [&](uint64_t off) { return block.data() + (off - start); };

  // Every entry record takes 9 bytes of the block, so no sound directory has
  // more; this bounds the work even when records are shared or overlap.
  const uint64_t maxEntries = block.size() / kEntrySize;

  struct Frame {
    uint32_t dir;
    uint64_t entries;
    uint32_t count;
    uint32_t next;
    size_t pathLen;
  };
  std::vector<Frame> stack;
  std::unordered_set<uint64_t> visited{start};

  auto pushNode = [&](uint64_t node, uint32_t dir, size_t pathLen) {
    if (!inside(node, kNodeSize)) return false;
    const uint32_t count = LoadU32(at(node));
    const uint64_t entries = LoadU32(at(node) + 4);
    if (count > maxEntries || !inside(entries, uint64_t(count) * kEntrySize)) return false;
    stack.push_back({dir, entries, count, 0, pathLen});
    return true;
  };

  if (!pushNode(start, Entry::kNone, 0)) return Fail(error, "damaged root directory");
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next == f.count) {
      stack.pop_back();
      continue;
    }
    const uint8_t* rec = at(f.entries + uint64_t(f.next) * kEntrySize);
    ++f.next;
    const uint32_t parent = f.dir;
    const size_t parentLen = f.pathLen;
    if (entries_.size() >= maxEntries) return Fail(error, "too many directory entries");

    const uint64_t nameOff = LoadU32(rec);
    const uint64_t dataOff = LoadU32(rec + 4);
    const bool isDir = rec[8] != 0;
    if (!inside(nameOff, 1)) return Fail(error, "entry name outside the directory");
    const uint8_t* name = at(nameOff);
    const void* zero = std::memchr(name, 0, size_t(dirEnd - nameOff));
    if (!zero) return Fail(error, "entry name without end");
    const size_t nameLen = size_t(static_cast<const uint8_t*>(zero) - name);
    if (nameLen == 0) return Fail(error, "empty entry name");
    const size_t pathLen = parentLen + (parent == Entry::kNone ? 0 : 1) + nameLen;
    if (pathLen > kMaxPath) return Fail(error, "path too long");

    Entry e;
    e.name.assign(reinterpret_cast<const char*>(name), nameLen);
    e.parent = parent;
    e.isDirectory = isDir;
    const uint32_t index = uint32_t(entries_.size());
    if (!isDir) {
      if (!inside(dataOff, kFileRecordSize)) return Fail(error, "file record outside the directory");
      const uint8_t* fr = at(dataOff);
      e.dataOffset = LoadU32(fr);
      e.size = LoadU32(fr + 4);
      e.compression = fr[8];
      // Sizes are reported as signed 32-bit values.
      if (e.size > 0x7FFFFFFFu) return Fail(error, "file size too large");
    }
    entries_.push_back(std::move(e));
    (parent == Entry::kNone ? root_ : entries_[parent].children).push_back(index);
    if (isDir) {
      if (!visited.insert(dataOff).second) return Fail(error, "loop in the directory");
      if (!pushNode(dataOff, index, pathLen)) return Fail(error, "damaged directory node");
    }
  }
  BuildLookup();
  return true;
}

void Archive::BuildLookup() {
  auto sorted = [&](const std::vector<uint32_t>& children) {
    auto less = [&](uint32_t a, uint32_t b) { return CompareNoCase(entries_[a].name, entries_[b].name) < 0; };
    std::vector<uint32_t> v = children;
    // Writers store every directory sorted already; only others need the sort.
    if (!std::is_sorted(v.begin(), v.end(), less)) std::stable_sort(v.begin(), v.end(), less);
    return v;
  };
  rootByName_ = sorted(root_);
  for (Entry& e : entries_)
    if (e.isDirectory) e.byName = sorted(e.children);
  // One slot per run of names equal ignoring case, in every directory.
  size_t slots = 16;
  while (slots < entries_.size() * 2) slots *= 2;
  levels_.assign(slots, LevelSlot{});
  auto add = [&](uint32_t dir, const std::vector<uint32_t>& byName) {
    for (size_t p = 0; p < byName.size(); ++p) {
      const std::string& name = entries_[byName[p]].name;
      if (p > 0 && CompareNoCase(entries_[byName[p - 1]].name, name) == 0) continue;
      size_t h = LevelHash(dir, name) & (slots - 1);
      while (levels_[h].position != kEmptySlot) h = (h + 1) & (slots - 1);
      levels_[h] = {dir, uint32_t(p)};
    }
  };
  add(Entry::kNone, rootByName_);
  for (uint32_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].isDirectory) add(i, entries_[i].byName);
}

std::optional<size_t> Archive::FindLevel(uint32_t dir, std::string_view level) const {
  const std::vector<uint32_t>& byName = dir == Entry::kNone ? rootByName_ : entries_[dir].byName;
  const size_t mask = levels_.size() - 1;
  for (size_t h = LevelHash(dir, level) & mask; levels_[h].position != kEmptySlot; h = (h + 1) & mask) {
    const LevelSlot& s = levels_[h];
    if (s.dir == dir && CompareNoCase(entries_[byName[s.position]].name, level) == 0) return s.position;
  }
  return std::nullopt;
}

const std::vector<uint32_t>& Archive::ChildrenOf(uint32_t dir) const {
  return dir == Entry::kNone ? root_ : entries_[dir].children;
}

std::string Archive::PathOf(size_t i) const {
  // Measured first, then filled from its last level up.
  size_t length = 0;
  for (uint32_t k = uint32_t(i); k != Entry::kNone; k = entries_[k].parent)
    length += entries_[k].name.size() + (entries_[k].parent == Entry::kNone ? 0 : 1);
  std::string path(length, '\\');
  size_t end = length;
  for (uint32_t k = uint32_t(i); k != Entry::kNone; k = entries_[k].parent) {
    const std::string& name = entries_[k].name;
    end -= name.size();
    name.copy(path.data() + end, name.size());
    if (end > 0) --end;  // the separator before it stays
  }
  return path;
}

std::optional<uint32_t> Archive::Find(std::string_view path) const {
  struct {
    const std::vector<Entry>& entries;
    std::string_view operator()(uint32_t k) const { return entries[k].name; }
    std::string_view operator()(std::string_view name) const { return name; }
  } NameOf{entries_};
  uint32_t cur = Entry::kNone;
  for (std::string_view level : LevelRange(path)) {
    if (cur != Entry::kNone && !entries_[cur].isDirectory) return std::nullopt;
    const std::vector<uint32_t>& v = cur == Entry::kNone ? rootByName_ : entries_[cur].byName;
    const std::optional<size_t> at = FindLevel(cur, level);
    if (!at) return std::nullopt;
    // The run of names equal ignoring case, mostly one long.
    const auto first = v.begin() + std::ptrdiff_t(*at);
    auto last = first + 1;
    while (last != v.end() && CompareNoCase(NameOf(*last), level) == 0) ++last;
    // Names may differ in letter case only: the one spelled exactly wins,
    // otherwise the first in stored order.
    auto exact = std::find_if(first, last, [&](uint32_t k) { return entries_[k].name == level; });
    cur = exact != last ? *exact : *first;
  }
  return cur;
}

bool Archive::ReadFile(uint32_t index, std::vector<uint8_t>& out, std::string* error) const {
  // `out` is resized, not cleared first: bytes it holds already are
  // overwritten rather than zeroed and written again.
  const bool ok = ReadFileTo(
      index,
      [&](size_t size) {
        out.resize(size);
        return out.data();
      },
      error);
  if (!ok) out.clear();
  return ok;
}

namespace {

// Read buffer for a file's chunks, kept per thread between reads; a buffer
// grown for an unusually large file is given back after it.
class ChunkBuffer {
 public:
  uint8_t* Get(size_t n) {
    if (buffer_.size() < n) {
      buffer_.clear();
      buffer_.shrink_to_fit();
      buffer_.resize(n);
    }
    return buffer_.data();
  }
  void Trim() {
    if (buffer_.size() > kKeep) std::vector<uint8_t>().swap(buffer_);
  }

 private:
  static constexpr size_t kKeep = size_t(4) << 20;
  std::vector<uint8_t> buffer_;
};

}  // namespace

// The stored bytes of one block of an archive, kept per thread: files are
// laid out one after another in walk order, so reading them in that order
// takes one system call per block rather than two per file.
struct Archive::BlockCache {
  static constexpr size_t kBlock = size_t(128) << 10;
  uint64_t archive = 0;  // id of the archive the block belongs to, 0 for none
  uint64_t start = 0;
  size_t length = 0;
  std::vector<uint8_t> bytes;
};

Archive::BlockCache& Archive::ThreadCache() {
  thread_local BlockCache cache;
  return cache;
}

void Archive::ReleaseThreadCache() {
  BlockCache& cache = ThreadCache();
  cache.archive = 0;
  cache.length = 0;
  std::vector<uint8_t>().swap(cache.bytes);
}

bool Archive::View(uint64_t offset, size_t n, BlockCache& cache, const uint8_t*& view) const {
  if (cache.archive == id_ && offset >= cache.start && offset - cache.start <= cache.length &&
      n <= cache.length - (offset - cache.start)) {
    view = cache.bytes.data() + (offset - cache.start);
    return true;
  }
  if (offset > fileSize_ || n > fileSize_ - offset) return false;
  cache.archive = 0;
  cache.bytes.resize(BlockCache::kBlock);
  const size_t want = size_t(std::min<uint64_t>(BlockCache::kBlock, fileSize_ - offset));
  size_t got = 0;
  while (got < want) {
    const ssize_t r = ::pread(fd_, cache.bytes.data() + got, want - got, off_t(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += size_t(r);
  }
  if (got < n) return false;
  cache.archive = id_;
  cache.start = offset;
  cache.length = got;
  view = cache.bytes.data();
  return true;
}

bool Archive::ReadRaw(uint64_t offset, uint8_t* dest, size_t n) const {
  if (n == 0 || n > BlockCache::kBlock) return ReadAt(offset, dest, n);
  const uint8_t* view = nullptr;
  if (!View(offset, n, ThreadCache(), view)) return false;
  std::memcpy(dest, view, n);
  return true;
}

bool Archive::ReadFileTo(uint32_t index, const std::function<uint8_t*(size_t)>& destination,
                         std::string* error) const {
  if (index >= entries_.size()) return Fail(error, "no such entry");
  const Entry& e = entries_[index];
  if (e.isDirectory) return Fail(error, "is a directory");
  constexpr size_t kBlock = BlockCache::kBlock;
  BlockCache& cache = ThreadCache();
  thread_local ChunkBuffer buffer;
  struct TrimAfter {
    ChunkBuffer& b;
    ~TrimAfter() { b.Trim(); }
  } trim{buffer};
  try {
    const uint8_t* view = nullptr;
    if (e.compression == uint8_t(Method::Stored)) {
      if (uint64_t(e.dataOffset) + e.size > fileSize_) return Fail(error, "data outside the file");
      uint8_t* out = destination(e.size);
      if (!out && e.size) return Fail(error, "out of memory");
      if (e.size <= kBlock) {
        if (!View(e.dataOffset, e.size, cache, view)) return Fail(error, "read error");
        DecryptSumUnscramble(cipher_, view, out, e.size, e.dataOffset, false);
        return true;
      }
      if (!ReadAt(e.dataOffset, out, e.size)) return Fail(error, "read error");
      cipher_.Apply(out, e.size, e.dataOffset);
      return true;
    }
    if (!IsValidMethod(e.compression)) return Fail(error, "unknown compression");

    // The chunk-length array, then all chunks.
    const uint64_t chunks = ChunkCount(e.size);
    if (uint64_t(e.dataOffset) + chunks * 4 > fileSize_) return Fail(error, "data outside the file");
    const size_t lengthBytes = static_cast<size_t>(chunks * 4);
    uint8_t smallLengths[64];
    std::vector<uint8_t> largeLengths;
    uint8_t* lengths = smallLengths;
    if (lengthBytes > sizeof smallLengths) {
      largeLengths.resize(lengthBytes);
      lengths = largeLengths.data();
    }
    if (lengthBytes <= kBlock) {
      if (!View(e.dataOffset, lengthBytes, cache, view)) return Fail(error, "read error");
      if (lengthBytes) std::memcpy(lengths, view, lengthBytes);
    } else if (!ReadAt(e.dataOffset, lengths, lengthBytes)) {
      return Fail(error, "read error");
    }
    cipher_.Apply(lengths, lengthBytes, e.dataOffset);
    const uint64_t spanStart = e.dataOffset + chunks * 4;
    uint64_t span = 0;
    for (uint64_t k = 0; k < chunks; ++k) {
      const uint32_t len = LoadU32(&lengths[k * 4]);
      if (len < kChunkHeaderSize) return Fail(error, "chunk too short");
      span += len;
      if (span > fileSize_ - spanStart) return Fail(error, "chunk outside the file");
    }
    // A span that fits a block is read through the block cache and decoded
    // from there; a larger one is read whole into the thread's buffer and
    // decoded in place.
    const bool inPlace = span > kBlock;
    const uint8_t* stored = nullptr;
    uint8_t* raw = nullptr;
    if (inPlace) {
      raw = buffer.Get(static_cast<size_t>(span));
      if (!ReadAt(spanStart, raw, static_cast<size_t>(span))) return Fail(error, "read error");
      stored = raw;
    } else if (span > 0) {
      if (!View(spanStart, static_cast<size_t>(span), cache, stored)) return Fail(error, "read error");
    }

    // Check every header before decoding anything; only the headers are
    // decrypted here, the data is decrypted in its decoding pass.
    ChunkHeader smallHeaders[16];
    std::vector<ChunkHeader> largeHeaders;
    ChunkHeader* headers = smallHeaders;
    if (chunks > 16) {
      largeHeaders.resize(static_cast<size_t>(chunks));
      headers = largeHeaders.data();
    }
    uint64_t off = 0, total = 0;
    uint32_t largest = 0;
    for (uint64_t k = 0; k < chunks; ++k) {
      const uint32_t len = LoadU32(&lengths[k * 4]);
      uint8_t header[kChunkHeaderSize];
      std::memcpy(header, stored + off, kChunkHeaderSize);
      cipher_.Apply(header, kChunkHeaderSize, spanStart + off);
      headers[k] = ParseChunkHeader(header);
      if (!ChunkHeaderIsSane(headers[k], len)) return Fail(error, "damaged chunk header");
      total += headers[k].decompressedSize;
      largest = std::max(largest, headers[k].compressedSize);
      off += len;
    }
    if (total != e.size) return Fail(error, "chunk sizes do not add up to the file size");
    uint8_t* out = destination(e.size);
    if (!out && e.size) return Fail(error, "out of memory");
    uint8_t* work = inPlace ? nullptr : buffer.Get(largest);

    // One pass decrypts, sums and unscrambles a chunk's data, then it is
    // decoded straight into the output.
    off = 0;
    uint64_t outOff = 0;
    for (uint64_t k = 0; k < chunks; ++k) {
      const ChunkHeader& h = headers[k];
      const uint8_t* from = stored + off + kChunkHeaderSize;
      uint8_t* data = inPlace ? raw + off + kChunkHeaderSize : work;
      const uint32_t sum = DecryptSumUnscramble(cipher_, from, data, h.compressedSize,
                                                spanStart + off + kChunkHeaderSize, h.scrambled != 0);
      if (sum != h.checksum ||
          !DecodeChunkData(h.method, data, h.compressedSize, out + outOff, h.decompressedSize))
        return Fail(error, "damaged chunk (checksum or data)");
      off += LoadU32(&lengths[k * 4]);
      outOff += h.decompressedSize;
    }
    return true;
  } catch (const std::bad_alloc&) {
    return Fail(error, "out of memory");
  }
}

}  // namespace hpi
