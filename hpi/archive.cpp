#include "hpi/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <unordered_set>

#include "hpi/chunk.h"
#include "hpi/format.h"
#include "hpi/paths.h"

namespace hpi {

namespace {

constexpr size_t kMaxPath = 65535;  // a listed path plus its zero fits the 64 KiB buffer

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

}  // namespace

int CompareNoCase(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
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
  std::unique_ptr<Archive> a(new Archive);
  a->fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (a->fd_ < 0) {
    Fail(error, std::string("cannot open: ") + std::strerror(errno));
    return nullptr;
  }
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
    std::vector<uint32_t> v = children;
    std::stable_sort(v.begin(), v.end(), [&](uint32_t a, uint32_t b) {
      return CompareNoCase(entries_[a].name, entries_[b].name) < 0;
    });
    return v;
  };
  rootByName_ = sorted(root_);
  for (Entry& e : entries_)
    if (e.isDirectory) e.byName = sorted(e.children);
}

const std::vector<uint32_t>& Archive::ChildrenOf(uint32_t dir) const {
  return dir == Entry::kNone ? root_ : entries_[dir].children;
}

std::string Archive::PathOf(size_t i) const {
  std::vector<uint32_t> chain;
  for (uint32_t k = uint32_t(i); k != Entry::kNone; k = entries_[k].parent) chain.push_back(k);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.empty()) path += '\\';
    path += entries_[*it].name;
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
  for (std::string_view level : SplitLevels(path)) {
    if (cur != Entry::kNone && !entries_[cur].isDirectory) return std::nullopt;
    const std::vector<uint32_t>& v = cur == Entry::kNone ? rootByName_ : entries_[cur].byName;
    auto [first, last] = std::equal_range(v.begin(), v.end(), level, [&](auto x, auto y) {
      return CompareNoCase(NameOf(x), NameOf(y)) < 0;
    });
    if (first == last) return std::nullopt;
    // Names may differ in letter case only: the one spelled exactly wins,
    // otherwise the first in stored order.
    auto exact = std::find_if(first, last, [&](uint32_t k) { return entries_[k].name == level; });
    cur = exact != last ? *exact : *first;
  }
  return cur;
}

bool Archive::ReadFile(uint32_t index, std::vector<uint8_t>& out, std::string* error) const {
  out.clear();
  if (index >= entries_.size()) return Fail(error, "no such entry");
  const Entry& e = entries_[index];
  if (e.isDirectory) return Fail(error, "is a directory");
  try {
    if (e.compression == uint8_t(Method::Stored)) {
      if (uint64_t(e.dataOffset) + e.size > fileSize_) return Fail(error, "data outside the file");
      out.resize(e.size);
      if (!ReadAt(e.dataOffset, out.data(), out.size())) return Fail(error, "read error");
      cipher_.Apply(out.data(), out.size(), e.dataOffset);
      return true;
    }
    if (!IsValidMethod(e.compression)) return Fail(error, "unknown compression");

    // The chunk-length array, then all chunks in one read.
    const uint64_t chunks = ChunkCount(e.size);
    if (uint64_t(e.dataOffset) + chunks * 4 > fileSize_) return Fail(error, "data outside the file");
    std::vector<uint8_t> lengths(static_cast<size_t>(chunks * 4));
    if (!ReadAt(e.dataOffset, lengths.data(), lengths.size())) return Fail(error, "read error");
    cipher_.Apply(lengths.data(), lengths.size(), e.dataOffset);
    const uint64_t spanStart = e.dataOffset + chunks * 4;
    uint64_t span = 0;
    for (uint64_t k = 0; k < chunks; ++k) {
      const uint32_t len = LoadU32(&lengths[k * 4]);
      if (len < kChunkHeaderSize) return Fail(error, "chunk too short");
      span += len;
      if (span > fileSize_ - spanStart) return Fail(error, "chunk outside the file");
    }
    std::vector<uint8_t> data(static_cast<size_t>(span));
    if (!ReadAt(spanStart, data.data(), data.size())) return Fail(error, "read error");
    cipher_.Apply(data.data(), data.size(), spanStart);

    // Check every header before allocating the output.
    std::vector<ChunkHeader> headers(static_cast<size_t>(chunks));
    uint64_t off = 0, total = 0;
    for (uint64_t k = 0; k < chunks; ++k) {
      const uint32_t len = LoadU32(&lengths[k * 4]);
      headers[k] = ParseChunkHeader(&data[off]);
      if (!ChunkHeaderIsSane(headers[k], len)) return Fail(error, "damaged chunk header");
      total += headers[k].decompressedSize;
      off += len;
    }
    if (total != e.size) return Fail(error, "chunk sizes do not add up to the file size");

    out.resize(e.size);
    off = 0;
    uint64_t outOff = 0;
    for (uint64_t k = 0; k < chunks; ++k) {
      if (!DecodeChunk(headers[k], &data[off + kChunkHeaderSize], out.data() + outOff)) {
        out.clear();
        return Fail(error, "damaged chunk (checksum or data)");
      }
      off += LoadU32(&lengths[k * 4]);
      outOff += headers[k].decompressedSize;
    }
    return true;
  } catch (const std::bad_alloc&) {
    out.clear();
    return Fail(error, "out of memory");
  }
}

}  // namespace hpi
