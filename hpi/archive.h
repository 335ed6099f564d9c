#pragma once
// Reading an archive: the directory is parsed and checked once at open; file
// data is read and decoded on demand from the open file.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hpi/crypt.h"

namespace hpi {

struct Entry {
  std::string name;          // one path level, as stored
  uint32_t parent = kNone;   // index of the parent directory entry, kNone at the root
  bool isDirectory = false;
  uint32_t size = 0;         // file size in bytes; 0 for a directory
  uint32_t dataOffset = 0;   // file data offset
  uint8_t compression = 0;   // file record's method
  std::vector<uint32_t> children;  // a directory's entries in stored order
  std::vector<uint32_t> byName;    // the same, sorted by name ignoring case

  static constexpr uint32_t kNone = 0xFFFFFFFFu;
};

class Archive {
 public:
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Opens and checks an archive. Returns null (with a reason in *error when
  // given) for a missing, unreadable or malformed file.
  static std::unique_ptr<Archive> Open(const std::string& path, std::string* error = nullptr);
  // The same on a file opened already (the descriptor is duplicated, the
  // caller keeps its own).
  static std::unique_ptr<Archive> OpenDescriptor(int fd, std::string* error = nullptr);

  // Every entry, depth first, each directory before its contents.
  size_t size() const { return entries_.size(); }
  const Entry& at(size_t i) const { return entries_[i]; }
  const std::vector<uint32_t>& rootChildren() const { return root_; }
  // The children of directory `dir`, or of the root for Entry::kNone.
  const std::vector<uint32_t>& ChildrenOf(uint32_t dir) const;

  // Full path of entry i inside the archive, levels joined with '\'.
  std::string PathOf(size_t i) const;

  // Finds an entry by path; levels may be separated by '\' or '/', empty
  // levels are ignored, letter case is ignored. Where names of one directory
  // differ in case only, the level spelled exactly as given is taken, else
  // the first in stored order. "" finds the root (Entry::kNone). Returns
  // nullopt when there is no such entry.
  std::optional<uint32_t> Find(std::string_view path) const;

  // Reads and decodes a whole file. Returns false when the entry is a
  // directory or its data is damaged (reason in *error when given).
  bool ReadFile(uint32_t index, std::vector<uint8_t>& out, std::string* error = nullptr) const;
  // The same into memory of the caller's: `destination` is called once, with
  // the file's size, after the directory record and every chunk header were
  // checked and before any data is decoded; it returns where the bytes go, or
  // null to give up (then "out of memory"). On failure the destination's
  // contents are undefined. Safe to call from several threads at once.
  bool ReadFileTo(uint32_t index, const std::function<uint8_t*(size_t)>& destination,
                  std::string* error = nullptr) const;

  // Frees the block the calling thread keeps for reading files in walk order
  // (its next read reads a new one): a thread that has read a batch of files
  // gives the memory back.
  static void ReleaseThreadCache();

  // Reads n bytes at `offset` as they are stored (still encrypted). Reads of
  // up to a block go through the calling thread's block, as ReadFileTo's do:
  // files copied in walk order take one system call per block, not two per file.
  bool ReadRaw(uint64_t offset, uint8_t* dest, size_t n) const;

  uint64_t fileSize() const { return fileSize_; }
  const Cipher& cipher() const { return cipher_; }

 private:
  Archive() = default;
  static std::unique_ptr<Archive> OpenOwned(int fd, std::string* error);
  bool Load(std::string* error);
  bool ReadAt(uint64_t offset, uint8_t* dest, size_t n) const;
  struct BlockCache;
  static BlockCache& ThreadCache();  // the block ReadFileTo read last on this thread
  // Points `view` at the n stored bytes at `offset` (n at most one block),
  // reading a new block into `cache` when they are not in it.
  bool View(uint64_t offset, size_t n, BlockCache& cache, const uint8_t*& view) const;
  void BuildLookup();
  // Where the names equal to `level` ignoring case begin among the children
  // of `dir` sorted by name (a position in its byName); nullopt for none.
  std::optional<size_t> FindLevel(uint32_t dir, std::string_view level) const;

  int fd_ = -1;
  uint64_t id_ = 0;  // never reused: tells one archive's cached blocks from another's
  uint64_t fileSize_ = 0;
  Cipher cipher_;
  std::vector<Entry> entries_;
  std::vector<uint32_t> root_;
  std::vector<uint32_t> rootByName_;
  // Open addressing over (directory, name ignoring case): each slot holds the
  // directory and the byName position where its run of such names begins.
  struct LevelSlot {
    uint32_t dir = Entry::kNone;
    uint32_t position = kEmptySlot;
  };
  static constexpr uint32_t kEmptySlot = 0xFFFFFFFFu;
  std::vector<LevelSlot> levels_;
};

// ASCII case-insensitive comparison of names.
int CompareNoCase(std::string_view a, std::string_view b);

}  // namespace hpi
