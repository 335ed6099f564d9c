#pragma once
// The loaded definition files: one UnPacked entry per file or directory taken
// from an archive or from disk, held in lists (AllUnpacked). The four lists
// behind the tables hold at most 2049 entries; the scratch list that a whole
// archive is read into before saving is bounded only by memory.
//
// Entries are owned through pointers, so an entry keeps its address while later
// entries move down on removal: table rows and the edit page keep pointing at
// their own entry. Each buffer belongs to exactly one entry and is released
// exactly once (unique ownership).
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Kind values: the engine mode that loaded the entry, or a directory.
constexpr uint8_t kKindArchive = 0;
constexpr uint8_t kKindLoose = 4;
constexpr uint8_t kKindWholeArchive = 8;
constexpr uint8_t kKindDirectory = 255;

// ParentFile of every loose file from the game directory.
inline const std::string kNotPacked = "Not packed !";

struct UnPacked {
  std::string UnPackedFile;          // path inside the archive, or full disk path
  int32_t PFileSize = 0;             // file size in bytes
  std::unique_ptr<char[]> Contents;  // the whole file; none for a directory or an empty file
  uint8_t Kind = 0;                  // kKind* above
  std::string ParentFile;            // archive path as passed to the engine, or kNotPacked
  uint8_t Changed = 0;               // 1 once the edit page stored new text
  // The file's bytes as last read or written, kept only while they differ from
  // Contents because new text was stored but not written (the user declined,
  // or the write failed); null otherwise. Lets a later save tell a change
  // made by another program from the edit that was never written.
  std::unique_ptr<std::string> FileBytes;

  // Replaces the buffer with a copy of Size bytes of Data (no buffer for 0 bytes).
  void SetContents(const char* Data, int32_t Size);
};

// Thrown when a list already holding its capacity is asked for one more entry.
struct ListFull : std::runtime_error {
  ListFull() : std::runtime_error("file list full") {}
};

struct AllUnpacked {
  static constexpr int kCapacity = 2049;  // the tables' lists
  static constexpr int kUnbounded = std::numeric_limits<int32_t>::max();

  explicit AllUnpacked(int Capacity = kCapacity);

  std::vector<std::unique_ptr<UnPacked>> Files;  // [0, Count) in use, in load order
  int32_t Count = 0;
  std::string Ext;     // kind's extension without the dot ("fbi", "tdf")
  std::string SubDir;  // kind's sub-directory, levels joined by '\'
  int32_t BuiltCount = 0;             // entries at the front already turned into rows
  std::vector<std::string> KeyList;   // table column keys in column order

  UnPacked& operator[](int i) { return *Files[i]; }
  const UnPacked& operator[](int i) const { return *Files[i]; }

  // The slot at position Count, freshly emptied, not yet in use. Throws ListFull
  // when the list holds Capacity entries.
  UnPacked& NextSlot();
  // Takes the slot at position Count into use.
  void CommitSlot() { ++Count; }
  // Removes the entry at Pos: releases its buffer, moves later entries down one
  // position (each keeps its address), lowers Count, and lowers BuiltCount when
  // Pos lay below it.
  void Remove(int Pos);
  // Releases every entry in use and sets Count and BuiltCount to 0.
  void Clear();

  int Capacity;  // entries the list takes at most
};
