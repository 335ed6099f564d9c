#include "archive/engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "archive/ascii_case.h"
#include "archive/disk_search.h"
#include "hpi/disk_writer.h"
#include "hpi/hpi.h"

namespace {

std::string BackslashesToSlashes(std::string S) {
  for (char& c : S)
    if (c == '\\') c = '/';
  return S;
}

// Closes a library handle when the call ends, however it ends.
template <int32_t (*Close)(HPIHANDLE)>
class HandleGuard {
 public:
  explicit HandleGuard(HPIHANDLE H) : H_(H) {}
  ~HandleGuard() {
    if (H_) Close(H_);
  }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;
  HPIHANDLE get() const { return H_; }

 private:
  HPIHANDLE H_;
};
using ArchiveGuard = HandleGuard<HPIClose>;
using ArchiveFileGuard = HandleGuard<HPICloseFile>;

class FdGuard {
 public:
  explicit FdGuard(int Fd) : Fd_(Fd) {}
  ~FdGuard() {
    if (Fd_ >= 0) ::close(Fd_);
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  int get() const { return Fd_; }

 private:
  int Fd_;
};

// The listing calls' name buffer; a listed name is taken up to its first zero byte.
class NameBuffer {
 public:
  NameBuffer() : Buf_(std::make_unique<char[]>(HPI_NAME_BUFFER)) {}
  char* get() {
    Buf_[0] = '\0';
    return Buf_.get();
  }
  std::string Name() {
    Buf_[HPI_NAME_BUFFER - 1] = '\0';
    return std::string(Buf_.get());
  }

 private:
  std::unique_ptr<char[]> Buf_;
};

// Reads the file Path of an open archive, Size bytes as listed, into Buffer
// (none for 0 bytes). False when the file cannot be opened, its buffer cannot
// be allocated, or it does not hold exactly Size bytes: a listed entry is
// only ever given its own bytes.
bool ReadArchiveBytes(HPIHANDLE Archive, const std::string& Path, int32_t Size, std::unique_ptr<char[]>& Buffer) {
  Buffer.reset();
  ArchiveFileGuard file(HPIOpenFile(Archive, Path.c_str()));
  if (!file.get() || Size < 0) return false;
  // The opened file must end exactly at the listed size, checked before a
  // buffer of that size is allocated.
  char probe;
  if (HPIGet(&probe, file.get(), Size, 1) != 0) return false;
  if (Size == 0) return true;
  if (HPIGet(&probe, file.get(), Size - 1, 1) != 1) return false;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(Size)]);
  if (!buffer) return false;
  if (HPIGet(buffer.get(), file.get(), 0, Size) != Size) return false;
  Buffer = std::move(buffer);
  return true;
}

// Reads one file of an open archive into Slot; false (Slot without a buffer)
// as above.
bool ReadArchiveFile(HPIHANDLE Archive, UnPacked& Slot) {
  return ReadArchiveBytes(Archive, Slot.UnPackedFile, Slot.PFileSize, Slot.Contents);
}

// The paths of a whole-archive read, ignoring case. The archive is written
// anew with paths compared ignoring case, so two listed entries of one such
// path (a file beside a file or a directory) would be merged into one: the
// read then counts as incomplete and the archive is not rewritten.
class RewritablePaths {
 public:
  // False when Path clashes with an entry seen before.
  bool Add(const std::string& Path, bool IsDirectory) {
    auto [it, added] = Seen_.emplace(LowerAscii(Path), IsDirectory);
    return added || (IsDirectory && it->second);
  }

 private:
  std::unordered_map<std::string, bool> Seen_;  // folded path -> is a directory
};

// Modes 0 and 8: one kind's files from SubDir, or every entry of the archive.
// Returns the number of files that could not be read.
int LoadArchive(AllUnpacked& List, const std::string& Name, uint8_t Mode) {
  if (Mode == rwLoadArchive)
    for (int i = 0; i < List.Count; ++i)
      if (EqualIgnoringCase(List[i].ParentFile, Name)) return 0;  // loaded already

  ArchiveGuard archive(HPIOpen(Name.c_str()));
  if (!archive.get()) return 0;

  const std::string wanted = "." + List.Ext;
  NameBuffer name;
  RewritablePaths whole;
  int skipped = 0;
  int32_t position = 0;
  for (;;) {
    int32_t isDirectory = 0, size = 0;
    position = Mode == rwLoadArchive
                   ? HPIDir(archive.get(), position, List.SubDir.c_str(), name.get(), &isDirectory, &size)
                   : HPIGetFiles(archive.get(), position, name.get(), &isDirectory, &size);
    if (position == 0) break;
    std::string listed = name.Name();
    std::string path;
    if (Mode == rwLoadArchive) {
      if (LowerAscii(listed).find(wanted) == std::string::npos) continue;
      path = List.SubDir + "\\" + listed;
    } else {
      path = listed;
      if (!whole.Add(path, isDirectory != 0)) {
        ++skipped;
        continue;
      }
    }
    UnPacked& slot = List.NextSlot();
    slot.UnPackedFile = std::move(path);
    slot.PFileSize = size;
    slot.ParentFile = Name;
    if (isDirectory) {
      slot.Kind = kKindDirectory;
      List.CommitSlot();
      continue;
    }
    slot.Changed = 0;
    slot.Kind = Mode;
    if (ReadArchiveFile(archive.get(), slot))
      List.CommitSlot();
    else
      ++skipped;
  }
  return skipped;
}

// Mode 1: writes the archive Name anew from every file entry of List.
void WriteArchive(EngineState& State, AllUnpacked* List, const std::string& Name) {
  if (!List || List->Count == 0) throw std::runtime_error("nothing to write");
  HPIHANDLE pack = HPICreate(Name.c_str(), nullptr);
  if (!pack) {
    State.dialogs.ShowMessage("Error creating packed file" + Name);
    return;
  }
  for (int i = 0; i < List->Count; ++i) {
    const UnPacked& e = (*List)[i];
    if (e.Kind == kKindDirectory) continue;
    if (!HPIAddFileFromMemory(pack, e.UnPackedFile.c_str(), e.Contents.get(), e.PFileSize))
      State.dialogs.ShowMessage("Error adding file " + e.UnPackedFile + " to " + Name + " in memory");
  }
  try {
    if (!HPIPackArchive(pack, State.CompressionSetting()))
      State.dialogs.ShowMessage("Error packing" + Name + " in memory.");
  } catch (const hpi::InvalidPointer&) {
    State.dialogs.ShowMessage("Error packing" + Name + " from memory to disk");
  }
}

// Mode 3: every entry of the archive below State.ExtractDir. Entries whose
// path would leave it (a ".." level, an absolute name) or run through a
// symbolic link in it are passed over, as are entries that cannot be read or
// written; nothing is ever written outside the directory.
void ExtractArchive(EngineState& State, const std::string& Name) {
  if (State.ExtractDir.empty()) return;
  ArchiveGuard archive(HPIOpen(Name.c_str()));
  if (!archive.get()) return;
  std::unique_ptr<hpi::DiskWriter> disk = hpi::DiskWriter::Open(State.ExtractDir);
  if (!disk) return;
  NameBuffer name;
  std::unique_ptr<char[]> contents;
  int32_t position = 0;
  for (;;) {
    int32_t isDirectory = 0, size = 0;
    position = HPIGetFiles(archive.get(), position, name.get(), &isDirectory, &size);
    if (position == 0) break;
    const std::string listed = name.Name();
    if (isDirectory) {
      disk->MakeDirectory(listed);
    } else if (ReadArchiveBytes(archive.get(), listed, size, contents)) {
      disk->WriteFile(listed, contents.get(), static_cast<size_t>(size));
      contents.reset();
    }
  }
}

// Reads a whole disk file that must open for reading and writing.
std::unique_ptr<char[]> ReadLooseFile(const std::string& Path, int32_t& Size) {
  FdGuard fd(::open(Path.c_str(), O_RDWR | O_CLOEXEC));
  if (fd.get() < 0) throw std::runtime_error("cannot open");
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) throw std::runtime_error("not a file");
  // A file nobody may write is read-only, even for a user whom the system lets
  // write anyway (root): saving it later would otherwise overwrite a file the
  // owner marked read-only. The open dialog applies the same rule.
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) throw std::runtime_error("read-only");
  if (st.st_size > std::numeric_limits<int32_t>::max()) throw std::runtime_error("too large");
  Size = static_cast<int32_t>(st.st_size);
  std::unique_ptr<char[]> buffer;
  if (Size > 0) buffer = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(Size));
  size_t done = 0;
  while (done < static_cast<size_t>(Size)) {
    ssize_t n = ::read(fd.get(), buffer.get() + done, static_cast<size_t>(Size) - done);
    if (n <= 0) throw std::runtime_error("cannot read");
    done += static_cast<size_t>(n);
  }
  return buffer;
}

// Mode 4: the kind's files below the game directory. CurrentPath names the
// file being read, for the message of an error that ends the search.
void LoadLooseFiles(EngineState& State, AllUnpacked& List, std::string& CurrentPath) {
  const std::string directory = State.TaDir + "/" + BackslashesToSlashes(List.SubDir);
  const std::vector<std::string> matches = ListMatchingIgnoringCase(directory, "*." + List.Ext);
  if (matches.empty()) return;
  const std::string realDirectory = ResolvePathIgnoringCase(directory);
  for (const std::string& match : matches) {
    const std::string path =
        realDirectory.back() == '/' ? realDirectory + match : realDirectory + "/" + match;
    bool loaded = false;
    for (int i = 0; i < List.Count && !loaded; ++i) loaded = EqualIgnoringCase(List[i].UnPackedFile, path);
    if (loaded) continue;
    CurrentPath = path;
    int32_t size = 0;
    std::unique_ptr<char[]> contents = ReadLooseFile(path, size);
    UnPacked& slot = List.NextSlot();
    slot.UnPackedFile = path;
    slot.Kind = kKindLoose;
    slot.PFileSize = size;
    slot.Contents = std::move(contents);
    slot.ParentFile = kNotPacked;
    slot.Changed = 0;
    List.CommitSlot();
  }
}

// Modes 5 and 7: removal by archive (ignoring case) or of every entry; the
// others keep their order.
void RemoveEntries(AllUnpacked& List, const std::string& Name, uint8_t Mode) {
  int position = 0;
  while (position < List.Count) {
    if (Mode == rwRemoveAll || EqualIgnoringCase(List[position].ParentFile, Name))
      List.Remove(position);
    else
      ++position;
  }
}

}  // namespace

int ReadwriteHPIDir(EngineState& State, AllUnpacked* List, const std::string& Name, uint8_t Mode) {
  std::string reported = Name;  // mode 4 reports the loose file being read
  try {
    switch (Mode) {
      case rwLoadArchive:
        if (List) LoadArchive(*List, Name, Mode);
        return 0;
      case rwLoadWholeArchive:
        return List ? LoadArchive(*List, Name, Mode) : 0;
      case rwWriteArchive:
        WriteArchive(State, List, Name);
        return 0;
      case rwExtractArchive:
        ExtractArchive(State, Name);
        return 0;
      case rwLoadLooseFiles:
        if (List) LoadLooseFiles(State, *List, reported);
        return 0;
      case rwRemoveArchive:
      case rwRemoveAll:
        if (List) RemoveEntries(*List, Name, Mode);
        return 0;
      default:
        return 0;
    }
  } catch (...) {
    State.dialogs.ShowMessage("Error in ReadwriteHPIDir with file " + reported);
    // A whole-archive read that ended early is incomplete whatever it skipped.
    return Mode == rwLoadWholeArchive ? 1 : 0;
  }
}
