#include "archive/engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
#include "hpi/paths.h"

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

// One listed entry of an archive load.
struct Listed {
  std::string Path;
  int32_t Size;
  bool IsDirectory;
};

// Files an archive load reads in one library call at least; a list of
// bounded capacity is read as far as it can still take entries.
constexpr size_t kReadWindow = 512;

// Reads the files among Listed[From, To) as ReadArchiveBytes reads one, in
// one library call that decodes them on every core: into buffers of their
// listed sizes, allocated only for a file that opened, holds exactly its
// listed size and passed the checks of its records. Read[i] tells whether
// file i was read. A negative listed size is not read.
void ReadListedFiles(HPIHANDLE Archive, const std::vector<Listed>& listed, size_t From, size_t To,
                     std::vector<std::unique_ptr<char[]>>& Buffers, std::vector<bool>& Read) {
  struct Reading {
    std::vector<const char*> Names;
    std::vector<int32_t> Sizes;
    std::vector<size_t> Of;  // listed position of each file read
    std::vector<std::unique_ptr<char[]>> Buffers;
  } reading;
  for (size_t i = From; i < To; ++i) {
    if (listed[i].IsDirectory || listed[i].Size < 0) continue;
    reading.Names.push_back(listed[i].Path.c_str());
    reading.Sizes.push_back(listed[i].Size);
    reading.Of.push_back(i);
  }
  if (reading.Names.empty()) return;
  reading.Buffers.resize(reading.Names.size());
  std::vector<int32_t> results(reading.Names.size(), -1);
  auto allocate = [](void* Context, int32_t Index, int32_t Size) -> void* {
    auto& buffer = static_cast<Reading*>(Context)->Buffers[static_cast<size_t>(Index)];
    buffer.reset(new (std::nothrow) char[static_cast<size_t>(Size)]);
    return buffer.get();
  };
  if (!HPIReadFiles(Archive, int32_t(reading.Names.size()), reading.Names.data(), reading.Sizes.data(), allocate,
                    &reading, results.data()))
    std::fill(results.begin(), results.end(), -1);
  for (size_t k = 0; k < reading.Of.size(); ++k) {
    const size_t i = reading.Of[k];
    Read[i] = results[k] == reading.Sizes[k] && (reading.Sizes[k] == 0 || reading.Buffers[k]);
    if (Read[i]) Buffers[i] = std::move(reading.Buffers[k]);
  }
}

// The paths of a whole-archive read, ignoring case and with '/' and '\'
// alike. The archive is written anew with paths compared so, and two listed
// entries of one such path (a file beside a file or a directory) would be merged into one: the
// read then counts as incomplete and the archive is not rewritten.
class RewritablePaths {
 public:
  // False when Path clashes with an entry seen before.
  bool Add(const std::string& Path, bool IsDirectory) {
    std::string folded = LowerAscii(Path);
    std::replace(folded.begin(), folded.end(), '/', '\\');  // both separate levels when written
    auto [it, added] = Seen_.emplace(std::move(folded), IsDirectory);
    return added || (IsDirectory && it->second);
  }

 private:
  std::unordered_map<std::string, bool> Seen_;  // folded path -> is a directory
};

// Modes 0 and 8: one kind's files from SubDir, or every entry of the archive.
// Returns the number of files that could not be read. The entries are listed
// first and their files read in windows (ReadListedFiles); the list takes
// them in the listed order, as if each had been opened and read in turn.
int LoadArchive(EngineState& State, AllUnpacked& List, const std::string& Name, uint8_t Mode) {
  if (Mode == rwLoadArchive)
    for (int i = 0; i < List.Count; ++i)
      if (EqualIgnoringCase(List[i].ParentFile, Name)) return 0;  // loaded already

  HPIHANDLE archive = nullptr;
  std::unique_ptr<ArchiveGuard> closer;  // unless a KeepArchiveOpen holds the handle
  if (Mode == rwLoadArchive && State.KeptArchive.Active) {
    if (!State.KeptArchive.Handle || State.KeptArchive.Name != Name) {
      if (State.KeptArchive.Handle) HPIClose(State.KeptArchive.Handle);
      State.KeptArchive.Handle = HPIOpen(Name.c_str());
      State.KeptArchive.Name = Name;
    }
    archive = State.KeptArchive.Handle;
  } else {
    archive = HPIOpen(Name.c_str());
    closer = std::make_unique<ArchiveGuard>(archive);
  }
  if (!archive) return 0;

  std::vector<Listed> listed;
  const std::string wanted = "." + List.Ext;
  NameBuffer name;
  RewritablePaths whole;
  int clashes = 0;
  int32_t position = 0;
  for (;;) {
    int32_t isDirectory = 0, size = 0;
    position = Mode == rwLoadArchive
                   ? HPIDir(archive, position, List.SubDir.c_str(), name.get(), &isDirectory, &size)
                   : HPIGetFiles(archive, position, name.get(), &isDirectory, &size);
    if (position == 0) break;
    std::string entry = name.Name();
    if (Mode == rwLoadArchive) {
      if (!ContainsIgnoringCase(entry, wanted)) continue;
      entry = List.SubDir + "\\" + entry;
    } else if (!whole.Add(entry, isDirectory != 0)) {
      ++clashes;
      continue;
    }
    listed.push_back({std::move(entry), size, isDirectory != 0});
  }

  // The files are read a window at a time, each window in one library call,
  // so that a list that fills up part way has not had the whole archive read.
  std::vector<std::unique_ptr<char[]>> buffers(listed.size());
  std::vector<bool> read(listed.size(), false);
  size_t readUpTo = 0;  // the files listed before this position have been read
  auto readWindow = [&](size_t From) {
    const size_t room = static_cast<size_t>(List.Capacity - List.Count);
    readUpTo = std::min(listed.size(), From + std::max(kReadWindow, room));
    ReadListedFiles(archive, listed, From, readUpTo, buffers, read);
  };

  int skipped = clashes;
  for (size_t i = 0; i < listed.size(); ++i) {
    Listed& e = listed[i];
    UnPacked& slot = List.NextSlot();
    if (!e.IsDirectory && i >= readUpTo) readWindow(i);  // before any path of the window moves
    slot.UnPackedFile = std::move(e.Path);
    slot.PFileSize = e.Size;
    slot.ParentFile = Name;
    if (e.IsDirectory) {
      slot.Kind = kKindDirectory;
      List.CommitSlot();
      continue;
    }
    slot.Changed = 0;
    slot.Kind = Mode;
    if (read[i]) {
      slot.Contents = std::move(buffers[i]);
      List.CommitSlot();
    } else {
      ++skipped;
      State.dialogs.FileNotRead(Name, slot.UnPackedFile);
    }
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
// written, and a second file landing on the path of one written before;
// nothing is ever written outside the directory.
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
      continue;
    }
    if (disk->ClaimFile(listed) && ReadArchiveBytes(archive.get(), listed, size, contents)) {
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

KeepArchiveOpen::KeepArchiveOpen(EngineState& State) : State_(State) {
  State_.KeptArchive = {};
  State_.KeptArchive.Active = true;
}

KeepArchiveOpen::~KeepArchiveOpen() {
  if (State_.KeptArchive.Handle) HPIClose(State_.KeptArchive.Handle);
  State_.KeptArchive = {};
}

int ReadwriteHPIDir(EngineState& State, AllUnpacked* List, const std::string& Name, uint8_t Mode) {
  std::string reported = Name;  // mode 4 reports the loose file being read
  try {
    switch (Mode) {
      case rwLoadArchive:
        if (List) LoadArchive(State, *List, Name, Mode);
        return 0;
      case rwLoadWholeArchive:
        return List ? LoadArchive(State, *List, Name, Mode) : 0;
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
