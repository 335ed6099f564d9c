#include "hpi/writer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <new>
#include <thread>
#include <vector>

#include "hpi/atomic_file.h"
#include "hpi/chunk.h"
#include "hpi/crypt.h"
#include "hpi/parallel.h"
#include "hpi/paths.h"

namespace hpi {

struct Writer::Node {
  std::string name;
  bool isDirectory = true;
  const uint8_t* data = nullptr;
  size_t size = 0;
  // Keyed by the lower-case name: sorted ignoring case, no two equal names.
  std::map<std::string, std::unique_ptr<Node>> children;
};

namespace {

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return r;
}

// Deeper or longer paths could not be listed into a 64 KiB name buffer (or
// would only make the directory recursion deep).
constexpr size_t kMaxLevels = 1024;
constexpr size_t kMaxPath = 65535;

// Splits a path into its levels; empty when a level is "." or "..", or the
// path is too deep or too long.
std::vector<std::string_view> Levels(std::string_view path) {
  std::vector<std::string_view> levels = SplitLevels(path);
  if (levels.size() > kMaxLevels) return {};
  size_t joined = 0;
  for (std::string_view level : levels) {
    if (level == "." || level == "..") return {};
    joined += level.size() + 1;
  }
  if (joined > kMaxPath + 1) return {};
  return levels;
}

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

// Buffers the bytes after the header, encrypting them by file position.
class EncryptingOutput {
 public:
  EncryptingOutput(AtomicFile& file, const Cipher& cipher, uint64_t pos)
      : file_(file), cipher_(cipher), pos_(pos) {
    buffer_.reserve(kBuffer);
  }
  bool Write(const uint8_t* p, size_t n, std::string* error) {
    while (n > 0) {
      const size_t take = std::min(n, kBuffer - buffer_.size());
      buffer_.insert(buffer_.end(), p, p + take);
      p += take;
      n -= take;
      if (buffer_.size() == kBuffer && !Flush(error)) return false;
    }
    return true;
  }
  bool Flush(std::string* error) {
    cipher_.Apply(buffer_.data(), buffer_.size(), pos_);
    pos_ += buffer_.size();
    const bool ok = file_.Write(buffer_.data(), buffer_.size(), error);
    buffer_.clear();
    return ok;
  }

 private:
  static constexpr size_t kBuffer = size_t(1) << 20;
  AtomicFile& file_;
  const Cipher& cipher_;
  uint64_t pos_;
  std::vector<uint8_t> buffer_;
};

struct FileSlot {
  const uint8_t* data;
  size_t size;
  size_t record;      // offset of its file record inside the directory block
  size_t firstChunk;  // index of its first compressed chunk
};

}  // namespace

Writer::Writer() : root_(std::make_unique<Node>()) {}
Writer::~Writer() = default;

bool Writer::AddDirectory(std::string_view path) {
  const std::vector<std::string_view> levels = Levels(path);
  if (levels.empty()) return false;
  Node* cur = root_.get();
  for (std::string_view level : levels) {
    auto& slot = cur->children[LowerCase(level)];
    if (!slot) {
      slot = std::make_unique<Node>();
      slot->name = std::string(level);
    }
    if (!slot->isDirectory) return false;
    cur = slot.get();
  }
  return true;
}

bool Writer::AddFile(std::string_view path, const uint8_t* data, size_t size) {
  const std::vector<std::string_view> levels = Levels(path);
  if (levels.empty() || uint64_t(size) > 0xFFFFFFFFu || (size > 0 && !data)) return false;
  Node* cur = root_.get();
  for (size_t i = 0; i + 1 < levels.size(); ++i) {
    const std::string key = LowerCase(levels[i]);
    auto it = cur->children.find(key);
    if (it != cur->children.end() && !it->second->isDirectory) return false;
    if (it == cur->children.end()) {
      auto node = std::make_unique<Node>();
      node->name = std::string(levels[i]);
      it = cur->children.emplace(key, std::move(node)).first;
    }
    cur = it->second.get();
  }
  auto& slot = cur->children[LowerCase(levels.back())];
  if (slot && slot->isDirectory) return false;
  if (!slot) {
    slot = std::make_unique<Node>();
    ++files_;
  }
  slot->name = std::string(levels.back());
  slot->isDirectory = false;
  slot->data = data;
  slot->size = size;
  return true;
}

bool Writer::Pack(const std::string& target, const Options& options, std::string* error) const {
  AtomicFile file;
  if (!IsValidMethod(uint8_t(options.method))) return Fail(error, "unknown compression method");
  if (!file.Open(target, error)) return false;
  return Pack(file, options, error);
}

bool Writer::Pack(AtomicFile& file, const Options& options, std::string* error) const {
  if (!IsValidMethod(uint8_t(options.method))) return Fail(error, "unknown compression method");
  if (options.headerKey < 0 || options.headerKey > 255) return Fail(error, "header key must be 0..255");
  try {
    // The directory block, from offset 20: for each directory its node, its
    // entry records, then its entries' names and file records, depth first.
    std::vector<uint8_t> dir;
    std::vector<FileSlot> files;
    auto alloc = [&](size_t n) {
      const size_t at = dir.size();
      dir.resize(at + n);
      return at;
    };
    auto abs = [](size_t blockOffset) { return uint32_t(kHeaderSize + blockOffset); };
    auto emit = [&](auto& self, const Node& node) -> size_t {
      const size_t nodeAt = alloc(kNodeSize);
      const size_t entriesAt = alloc(kEntrySize * node.children.size());
      StoreU32(&dir[nodeAt], uint32_t(node.children.size()));
      StoreU32(&dir[nodeAt + 4], abs(entriesAt));
      size_t k = 0;
      for (const auto& [key, child] : node.children) {
        const size_t rec = entriesAt + kEntrySize * k++;
        const size_t nameAt = alloc(child->name.size() + 1);
        std::memcpy(&dir[nameAt], child->name.data(), child->name.size());
        StoreU32(&dir[rec], abs(nameAt));
        if (child->isDirectory) {
          const size_t sub = self(self, *child);
          StoreU32(&dir[rec + 4], abs(sub));
          dir[rec + 8] = 1;
        } else {
          const size_t fr = alloc(kFileRecordSize);
          StoreU32(&dir[rec + 4], abs(fr));
          dir[rec + 8] = 0;
          files.push_back({child->data, child->size, fr, 0});
        }
      }
      return nodeAt;
    };
    emit(emit, *root_);

    // Compress every chunk; chunks are independent, so spread them over the cores.
    const bool compressed = options.method != Method::Stored;
    size_t chunkTotal = 0;
    if (compressed)
      for (FileSlot& f : files) {
        f.firstChunk = chunkTotal;
        chunkTotal += size_t(ChunkCount(f.size));
      }
    std::vector<std::vector<uint8_t>> chunks(chunkTotal);
    if (chunkTotal > 0) {
      std::vector<std::pair<const uint8_t*, size_t>> jobs;
      jobs.reserve(chunkTotal);
      for (const FileSlot& f : files)
        for (size_t off = 0; off < f.size; off += kChunkSize)
          jobs.emplace_back(f.data + off, std::min(kChunkSize, f.size - off));
      std::atomic<size_t> next{0};
      std::atomic<bool> failed{false};
      auto work = [&] {
        try {
          ChunkEncoder encoder(options.zlibLevel);
          for (size_t i; (i = next.fetch_add(1)) < jobs.size() && !failed;)
            if (!encoder.Encode(options.method, jobs[i].first, jobs[i].second, chunks[i])) failed = true;
        } catch (...) {
          failed = true;
        }
      };
      // One worker per thread, each with its own encoder, taking chunks in turn.
      const unsigned threads = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
      const size_t workers = std::min<size_t>(threads, jobs.size());
      ParallelFor(workers, unsigned(workers), [&](size_t) { work(); });
      if (failed) return Fail(error, "compression failed");
    }

    // Lay out the data after the directory and fill in the file records.
    uint64_t pos = kHeaderSize + dir.size();
    for (const FileSlot& f : files) {
      if (pos > 0xFFFFFFFFu) break;
      StoreU32(&dir[f.record], uint32_t(pos));
      StoreU32(&dir[f.record + 4], uint32_t(f.size));
      dir[f.record + 8] = uint8_t(options.method);
      if (!compressed) {
        pos += f.size;
        continue;
      }
      const size_t n = size_t(ChunkCount(f.size));
      pos += 4 * uint64_t(n);
      for (size_t k = 0; k < n; ++k) pos += chunks[f.firstChunk + k].size();
    }
    if (pos > 0xFFFFFFFFu) return Fail(error, "archive larger than 4 GiB");

    uint8_t header[kHeaderSize];
    StoreU32(header, kArchiveMarker);
    StoreU32(header + 4, kArchiveVersion);
    StoreU32(header + 8, uint32_t(kHeaderSize + dir.size()));
    StoreU32(header + 12, uint32_t(options.headerKey));
    StoreU32(header + 16, uint32_t(kHeaderSize));

    if (!file.Write(header, kHeaderSize, error)) return false;
    const Cipher cipher(options.headerKey);
    EncryptingOutput out(file, cipher, kHeaderSize);
    if (!out.Write(dir.data(), dir.size(), error)) return false;
    for (const FileSlot& f : files) {
      if (!compressed) {
        if (!out.Write(f.data, f.size, error)) return false;
        continue;
      }
      const size_t n = size_t(ChunkCount(f.size));
      std::vector<uint8_t> lengths(4 * n);
      for (size_t k = 0; k < n; ++k) StoreU32(&lengths[4 * k], uint32_t(chunks[f.firstChunk + k].size()));
      if (!out.Write(lengths.data(), lengths.size(), error)) return false;
      for (size_t k = 0; k < n; ++k) {
        const std::vector<uint8_t>& c = chunks[f.firstChunk + k];
        if (!out.Write(c.data(), c.size(), error)) return false;
      }
    }
    return out.Flush(error) && file.Commit(error);
  } catch (const std::bad_alloc&) {
    return Fail(error, "out of memory");
  }
}

}  // namespace hpi
