#include "hpi/writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <new>
#include <thread>
#include <vector>

#include "hpi/archive.h"
#include "hpi/atomic_file.h"
#include "hpi/chunk.h"
#include "hpi/crypt.h"
#include "hpi/parallel.h"
#include "hpi/paths.h"
#include "hpi/stored_file.h"

namespace hpi {

struct Writer::Node {
  std::string name;
  bool isDirectory = true;
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  std::string diskPath;
  const Archive* archive = nullptr;
  uint32_t entry = 0;
  // Keyed by the lower-case name: sorted ignoring case, no two equal names.
  std::map<std::string, std::unique_ptr<Node>> children;
};

namespace {

using Failure = Writer::Failure;

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

// Buffers the bytes after the header, encrypting them by file position as
// they go to the file. Bytes written already can be written again (Patch).
class EncryptingOutput {
 public:
  EncryptingOutput(AtomicFile& file, const Cipher& cipher, uint64_t pos)
      : file_(file), cipher_(cipher), flushed_(pos) {
    buffer_.reserve(kBuffer);
  }
  uint64_t pos() const { return flushed_ + buffer_.size(); }
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
  bool Zeros(size_t n, std::string* error) {
    static const uint8_t zeros[4096] = {};
    for (; n > 0;) {
      const size_t take = std::min(n, sizeof zeros);
      if (!Write(zeros, take, error)) return false;
      n -= take;
    }
    return true;
  }
  // Writes n bytes at `at`, a position below pos().
  bool Patch(uint64_t at, const uint8_t* p, size_t n, std::string* error) {
    if (n == 0) return true;
    if (at + n > flushed_) {  // the part still in the buffer
      const uint64_t from = std::max(at, flushed_);
      std::memcpy(buffer_.data() + (from - flushed_), p + (from - at), size_t(at + n - from));
      n = size_t(from - at);
    }
    if (n == 0) return true;
    std::vector<uint8_t> copy(p, p + n);
    cipher_.Apply(copy.data(), n, at);
    return file_.WriteAt(at, copy.data(), n, error);
  }
  bool Flush(std::string* error) {
    cipher_.Apply(buffer_.data(), buffer_.size(), flushed_);
    flushed_ += buffer_.size();
    const bool ok = file_.Write(buffer_.data(), buffer_.size(), error);
    buffer_.clear();
    return ok;
  }

 private:
  static constexpr size_t kBuffer = size_t(1) << 20;
  AtomicFile& file_;
  const Cipher& cipher_;
  uint64_t flushed_;
  std::vector<uint8_t> buffer_;
};

// One file's content in order, from whichever source it has.
class Content {
 public:
  Content() = default;
  Content(const Content&) = delete;
  Content& operator=(const Content&) = delete;
  ~Content() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Open(const uint8_t* data, const std::string& diskPath, const Archive* archive, uint32_t entry,
            uint64_t size, std::string* error, Failure* failure) {
    data_ = data;
    if (archive) {
      stored_ = std::make_unique<StoredFile>(*archive, entry);
      if (!stored_->Start(error)) {
        *failure = Failure::Damaged;
        return false;
      }
      return true;
    }
    if (diskPath.empty()) return true;
    diskPath_ = diskPath;
    fd_ = ::open(diskPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) != size) {
      *failure = Failure::Source;
      if (error)
        *error = "cannot read " + diskPath + ": " +
                 (fd_ < 0 ? std::strerror(errno) : "it is no longer the regular file of the size it had");
      return false;
    }
    return true;
  }
  bool Read(uint8_t* dest, size_t n, std::string* error, Failure* failure) {
    if (stored_) {
      if (stored_->Read(dest, n, error)) return true;
      *failure = Failure::Damaged;
      return false;
    }
    while (n > 0) {
      const ssize_t got = ::read(fd_, dest, n);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        *failure = Failure::Source;
        if (error)
          *error = "cannot read " + diskPath_ + ": " +
                   (got < 0 ? std::strerror(errno) : "the file became shorter while it was read");
        return false;
      }
      dest += got;
      n -= size_t(got);
    }
    return true;
  }
  // Points at the next n bytes without copying where the content is in memory;
  // otherwise reads them into buffer.
  const uint8_t* View(size_t n, std::vector<uint8_t>& buffer, std::string* error, Failure* failure) {
    if (!stored_ && fd_ < 0) {
      const uint8_t* p = data_ + at_;
      at_ += n;
      return p;
    }
    buffer.resize(n);
    return Read(buffer.data(), n, error, failure) ? buffer.data() : nullptr;
  }
  StoredFile* stored() { return stored_.get(); }

 private:
  const uint8_t* data_ = nullptr;
  uint64_t at_ = 0;
  int fd_ = -1;
  std::string diskPath_;
  std::unique_ptr<StoredFile> stored_;
};

struct FileSlot {
  const Writer::Node* node;
  std::string path;
  size_t record;  // offset of its file record inside the directory block
};

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

// Packs the chunks of files a batch at a time, the batch spread over the
// cores, and writes them in order: each file's chunk-length array goes before
// its first chunk and is filled in after its last. A batch holds at most
// eight full chunks' worth of input per thread, so that memory stays bounded
// whatever the sizes, but many small files (each a short chunk) share one
// batch rather than starting the threads again every few files.
class ChunkPipeline {
 public:
  ChunkPipeline(const Writer::Options& options, EncryptingOutput& out, std::vector<uint8_t>& dir)
      : options_(options), out_(out), dir_(dir) {
    threads_ = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    batchBytes_ = size_t(threads_) * 8 * kChunkSize;
    jobs_.resize(size_t(threads_) * kJobsPerThread);
  }

  // The next job's input buffer for chunk `chunk` of the file at `record`.
  struct Job {
    size_t record;
    uint64_t chunk, chunks;
    const uint8_t* in;
    size_t n;
    std::vector<uint8_t> input, output;
  };
  Job& Next() { return jobs_[used_]; }
  bool Push(std::string* error) {
    pending_ += jobs_[used_].n;
    if (++used_ < jobs_.size() && pending_ < batchBytes_) return true;
    return Flush(error);
  }

  bool Flush(std::string* error) {
    if (used_ == 0) return true;
    const size_t workers = std::min<size_t>(threads_, used_);
    while (encoders_.size() < workers) encoders_.push_back(std::make_unique<ChunkEncoder>(options_.zlibLevel));
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    ParallelFor(workers, unsigned(workers), [&](size_t w) {
      try {
        for (size_t i; (i = next.fetch_add(1)) < used_ && !failed;)
          if (!encoders_[w]->Encode(options_.method, jobs_[i].in, jobs_[i].n, jobs_[i].output)) failed = true;
      } catch (...) {
        failed = true;
      }
    });
    if (failed) return Fail(error, "compression failed");
    for (size_t i = 0; i < used_; ++i) {
      Job& j = jobs_[i];
      if (j.chunk == 0) {
        arrayAt_ = out_.pos();
        if (arrayAt_ > kMaxArchiveSize) return Fail(error, "archive larger than 4 GiB");
        StoreU32(&dir_[j.record], uint32_t(arrayAt_));
        lengths_.assign(size_t(4 * j.chunks), 0);
        if (!out_.Zeros(lengths_.size(), error)) return false;
      }
      StoreU32(&lengths_[size_t(4 * j.chunk)], uint32_t(j.output.size()));
      if (!out_.Write(j.output.data(), j.output.size(), error)) return false;
      if (j.chunk + 1 == j.chunks && !out_.Patch(arrayAt_, lengths_.data(), lengths_.size(), error)) return false;
      // Slots past the first eight per thread serve small chunks; one that
      // served a large chunk gives its memory back.
      if (i >= size_t(threads_) * 8 && j.input.capacity() + j.output.capacity() > kSmallSlot) {
        std::vector<uint8_t>().swap(j.input);
        std::vector<uint8_t>().swap(j.output);
      }
    }
    used_ = 0;
    pending_ = 0;
    return true;
  }

 private:
  static constexpr size_t kJobsPerThread = 128;
  static constexpr size_t kSmallSlot = 8192;
  const Writer::Options& options_;
  EncryptingOutput& out_;
  std::vector<uint8_t>& dir_;
  unsigned threads_;
  std::vector<Job> jobs_;
  size_t used_ = 0;
  size_t pending_ = 0, batchBytes_ = 0;  // input bytes in the batch, and the most it takes
  std::vector<std::unique_ptr<ChunkEncoder>> encoders_;
  uint64_t arrayAt_ = 0;
  std::vector<uint8_t> lengths_;
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

Writer::Node* Writer::AddFileNode(std::string_view path, uint64_t size) {
  const std::vector<std::string_view> levels = Levels(path);
  if (levels.empty() || size > kMaxFileSize) return nullptr;
  Node* cur = root_.get();
  for (size_t i = 0; i + 1 < levels.size(); ++i) {
    const std::string key = LowerCase(levels[i]);
    auto it = cur->children.find(key);
    if (it != cur->children.end() && !it->second->isDirectory) return nullptr;
    if (it == cur->children.end()) {
      auto node = std::make_unique<Node>();
      node->name = std::string(levels[i]);
      it = cur->children.emplace(key, std::move(node)).first;
    }
    cur = it->second.get();
  }
  auto& slot = cur->children[LowerCase(levels.back())];
  if (slot && slot->isDirectory) return nullptr;
  if (!slot) {
    slot = std::make_unique<Node>();
    ++files_;
  }
  Node* node = slot.get();
  *node = Node();
  node->name = std::string(levels.back());
  node->isDirectory = false;
  node->size = size;
  return node;
}

bool Writer::AddFile(std::string_view path, const uint8_t* data, size_t size) {
  if (size > 0 && !data) return false;
  Node* node = AddFileNode(path, size);
  if (!node) return false;
  node->data = data;
  return true;
}

bool Writer::AddDiskFile(std::string_view path, std::string diskPath, uint64_t size) {
  if (diskPath.empty()) return false;
  Node* node = AddFileNode(path, size);
  if (!node) return false;
  node->diskPath = std::move(diskPath);
  return true;
}

bool Writer::AddArchivedFile(std::string_view path, const Archive& archive, uint32_t index) {
  if (index >= archive.size() || archive.at(index).isDirectory) return false;
  Node* node = AddFileNode(path, archive.at(index).size);
  if (!node) return false;
  node->archive = &archive;
  node->entry = index;
  return true;
}

bool Writer::Pack(const std::string& target, const Options& options, std::string* error) const {
  AtomicFile file;
  if (!IsValidMethod(uint8_t(options.method))) return Fail(error, "unknown compression method");
  if (!file.Open(target, error)) return false;
  return Pack(file, options, error);
}

bool Writer::Pack(AtomicFile& file, const Options& options, std::string* error, Failure* failure) const {
  Failure ignored = Failure::None;
  if (!failure) failure = &ignored;
  *failure = Failure::Write;
  if (!IsValidMethod(uint8_t(options.method))) return Fail(error, "unknown compression method");
  if (options.headerKey < 0 || options.headerKey > 255) return Fail(error, "header key must be 0..255");
  try {
    // The directory block, from offset 20: for each directory its node, its
    // entry records, then its entries' names and file records, depth first.
    // The file records are filled in as the data is written behind it.
    std::vector<uint8_t> dir;
    std::vector<FileSlot> files;
    auto alloc = [&](size_t n) {
      const size_t at = dir.size();
      dir.resize(at + n);
      return at;
    };
    auto abs = [](size_t blockOffset) { return uint32_t(kHeaderSize + blockOffset); };
    auto emit = [&](auto& self, const Node& node, const std::string& prefix) -> size_t {
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
        const std::string path = prefix.empty() ? child->name : prefix + "\\" + child->name;
        if (child->isDirectory) {
          const size_t sub = self(self, *child, path);
          StoreU32(&dir[rec + 4], abs(sub));
          dir[rec + 8] = 1;
        } else {
          const size_t fr = alloc(kFileRecordSize);
          StoreU32(&dir[rec + 4], abs(fr));
          dir[rec + 8] = 0;
          files.push_back({child.get(), path, fr});
        }
      }
      return nodeAt;
    };
    emit(emit, *root_, "");
    if (kHeaderSize + dir.size() > kMaxArchiveSize) return Fail(error, "archive larger than 4 GiB");

    uint8_t header[kHeaderSize];
    StoreU32(header, kArchiveMarker);
    StoreU32(header + 4, kArchiveVersion);
    StoreU32(header + 8, uint32_t(kHeaderSize + dir.size()));
    StoreU32(header + 12, uint32_t(options.headerKey));
    StoreU32(header + 16, uint32_t(kHeaderSize));
    if (!file.Write(header, kHeaderSize, error)) return false;
    const Cipher cipher(options.headerKey);
    EncryptingOutput out(file, cipher, kHeaderSize);
    if (!out.Zeros(dir.size(), error)) return false;  // the directory's place

    ChunkPipeline pipeline(options, out, dir);
    std::vector<uint8_t> piece, copied;
    for (const FileSlot& f : files) {
      const Node& n = *f.node;
      const bool archived = n.archive != nullptr;
      const uint8_t stored = archived ? n.archive->at(n.entry).compression : 0;
      const Method method = archived && options.keepStored && IsValidMethod(stored) ? Method(stored) : options.method;
      dir[f.record + 8] = uint8_t(method);
      StoreU32(&dir[f.record + 4], uint32_t(n.size));
      Content content;
      auto damaged = [&] {
        if (error && *failure == Failure::Damaged) *error = "cannot read " + f.path + ": " + *error;
        return false;
      };
      if (!content.Open(n.data, n.diskPath, n.archive, n.entry, n.size, error, failure)) return damaged();
      const uint64_t chunks = ChunkCount(n.size);
      const bool direct = method == Method::Stored || (archived && stored == uint8_t(method)) || chunks == 0;
      if (direct) {
        // Written straight behind what the batch holds.
        if (!pipeline.Flush(error)) return false;
        if (out.pos() > kMaxArchiveSize) return Fail(error, "archive larger than 4 GiB");
        StoreU32(&dir[f.record], uint32_t(out.pos()));
      }
      if (archived && stored == uint8_t(method) && method != Method::Stored) {
        // The stored chunks, checked and copied as they are.
        StoredFile& source = *content.stored();
        std::vector<uint8_t> lengths(size_t(4 * source.chunkCount()));
        const uint64_t arrayAt = out.pos();
        if (!out.Zeros(lengths.size(), error)) return false;
        for (uint64_t k = 0; k < source.chunkCount(); ++k) {
          if (!source.NextChunk(copied, error)) {
            *failure = Failure::Damaged;
            return damaged();
          }
          StoreU32(&lengths[size_t(4 * k)], uint32_t(copied.size()));
          if (!out.Write(copied.data(), copied.size(), error)) return false;
        }
        if (!out.Patch(arrayAt, lengths.data(), lengths.size(), error)) return false;
      } else if (method == Method::Stored) {
        for (uint64_t done = 0; done < n.size;) {
          const size_t take = size_t(std::min<uint64_t>(kChunkSize, n.size - done));
          const uint8_t* p = content.View(take, piece, error, failure);
          if (!p) return damaged();
          if (!out.Write(p, take, error)) return false;
          done += take;
        }
      } else {
        for (uint64_t k = 0; k < chunks; ++k) {
          ChunkPipeline::Job& job = pipeline.Next();
          job.record = f.record;
          job.chunk = k;
          job.chunks = chunks;
          job.n = size_t(std::min<uint64_t>(kChunkSize, n.size - k * kChunkSize));
          job.in = content.View(job.n, job.input, error, failure);
          if (!job.in) return damaged();
          if (!pipeline.Push(error)) return false;
        }
      }
      if (out.pos() > kMaxArchiveSize) return Fail(error, "archive larger than 4 GiB");
    }
    if (!pipeline.Flush(error)) return false;
    if (out.pos() > kMaxArchiveSize) return Fail(error, "archive larger than 4 GiB");
    if (!out.Patch(kHeaderSize, dir.data(), dir.size(), error)) return false;
    if (!out.Flush(error) || !file.Commit(error)) return false;
    *failure = Failure::None;
    return true;
  } catch (const std::bad_alloc&) {
    return Fail(error, "out of memory");
  }
}

}  // namespace hpi
