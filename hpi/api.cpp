// The library operations the program calls, over hpi::Archive and hpi::Writer.
// Handles are ids from a registry, never raw pointers, so a stale or foreign
// handle is detected instead of dereferenced.
#include <atomic>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "hpi/archive.h"
#include "hpi/atomic_file.h"
#include "hpi/hpi.h"
#include "hpi/parallel.h"
#include "hpi/writer.h"

namespace {

struct OpenedFile {
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;
};

struct NewArchive {
  hpi::AtomicFile file;  // opened on the target by HPICreate, renamed over it by HPIPackArchive
  hpi::Writer writer;
};

template <class T>
class Registry {
 public:
  HPIHANDLE Add(std::shared_ptr<T> object);
  std::shared_ptr<T> Get(HPIHANDLE h) const;
  std::shared_ptr<T> Take(HPIHANDLE h);

 private:
  mutable std::mutex mutex_;
  std::unordered_map<uintptr_t, std::shared_ptr<T>> live_;
};

// One id sequence for every kind of handle: an id is never reused, and a
// handle of one kind is never taken for another.
uintptr_t NextId() {
  static std::atomic<uintptr_t> last{0x4000};
  return last.fetch_add(0x10) + 0x10;
}

template <class T>
HPIHANDLE Registry<T>::Add(std::shared_ptr<T> object) {
  const uintptr_t id = NextId();
  std::lock_guard lock(mutex_);
  live_.emplace(id, std::move(object));
  return reinterpret_cast<HPIHANDLE>(id);
}

template <class T>
std::shared_ptr<T> Registry<T>::Get(HPIHANDLE h) const {
  std::lock_guard lock(mutex_);
  auto it = live_.find(reinterpret_cast<uintptr_t>(h));
  return it == live_.end() ? nullptr : it->second;
}

template <class T>
std::shared_ptr<T> Registry<T>::Take(HPIHANDLE h) {
  std::lock_guard lock(mutex_);
  auto it = live_.find(reinterpret_cast<uintptr_t>(h));
  if (it == live_.end()) return nullptr;
  std::shared_ptr<T> object = std::move(it->second);
  live_.erase(it);
  return object;
}

Registry<hpi::Archive>& Archives() {
  static Registry<hpi::Archive> r;
  return r;
}
Registry<OpenedFile>& Files() {
  static Registry<OpenedFile> r;
  return r;
}
Registry<NewArchive>& Packs() {
  static Registry<NewArchive> r;
  return r;
}

// Copies a name into a 65,536-byte listing buffer.
void PutName(char* buffer, const std::string& name) {
  const size_t n = std::min(name.size(), size_t(HPI_NAME_BUFFER - 1));
  std::memcpy(buffer, name.data(), n);
  buffer[n] = '\0';
}

// Fills the out-values of one listed entry and returns the next position.
int32_t ListEntry(const hpi::Archive& a, uint32_t index, std::string name, int32_t position, char* Name,
                  int32_t* Type, int32_t* Size) {
  const hpi::Entry& e = a.at(index);
  if (Name) PutName(Name, name);
  if (Type) *Type = e.isDirectory ? 1 : 0;
  if (Size) *Size = e.isDirectory ? 0 : int32_t(e.size);
  return position + 1;
}

// The file entry that HPIOpenFile opens for FileName, if any.
std::optional<uint32_t> FileIndex(const hpi::Archive& a, const char* FileName) {
  if (!FileName) return std::nullopt;
  const std::optional<uint32_t> index = a.Find(FileName);
  if (!index || *index == hpi::Entry::kNone || a.at(*index).isDirectory) return std::nullopt;
  return index;
}

// One file of HPIReadFiles: its size, or -1 when HPIOpenFile would fail. A
// file of exactly Count bytes is decoded into destination() directly.
int32_t ReadOne(const hpi::Archive& a, const char* FileName, int32_t Count,
                const std::function<void*()>& destination) {
  try {
    const std::optional<uint32_t> index = FileIndex(a, FileName);
    if (!index) return -1;
    const size_t size = a.at(*index).size;
    std::vector<uint8_t> data;
    if (Count > 0 && size_t(Count) == size) {
      bool noBuffer = false;
      const bool ok = a.ReadFileTo(*index, [&](size_t) {
        auto* p = static_cast<uint8_t*>(destination());
        noBuffer = !p;
        return p;
      });
      if (ok) return int32_t(size);
      // Without a buffer nothing is copied, but the file may still open.
      return noBuffer && a.ReadFile(*index, data) ? int32_t(size) : -1;
    }
    // Nothing to copy; the file is still checked as HPIOpenFile checks it.
    return a.ReadFile(*index, data) ? int32_t(size) : -1;
  } catch (...) {
    return -1;
  }
}

}  // namespace

HPIHANDLE HPIOpen(const char* FileName) {
  if (!FileName) return nullptr;
  try {
    std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(FileName);
    if (!a) return nullptr;
    return Archives().Add(std::shared_ptr<hpi::Archive>(std::move(a)));
  } catch (...) {
    return nullptr;
  }
}

int32_t HPIClose(HPIHANDLE hpi) { return Archives().Take(hpi) ? 1 : 0; }

int32_t HPIDir(HPIHANDLE hpi, int32_t Next, const char* DirName, char* Name, int32_t* Type, int32_t* Size) {
  try {
    std::shared_ptr<hpi::Archive> a = Archives().Get(hpi);
    if (!a || Next < 0) return 0;
    const std::optional<uint32_t> dir = a->Find(DirName ? DirName : "");
    if (!dir || (*dir != hpi::Entry::kNone && !a->at(*dir).isDirectory)) return 0;
    const std::vector<uint32_t>& children = a->ChildrenOf(*dir);
    if (size_t(Next) >= children.size()) return 0;
    const uint32_t index = children[size_t(Next)];
    return ListEntry(*a, index, a->at(index).name, Next, Name, Type, Size);
  } catch (...) {
    return 0;
  }
}

int32_t HPIGetFiles(HPIHANDLE hpi, int32_t Next, char* Name, int32_t* Type, int32_t* Size) {
  try {
    std::shared_ptr<hpi::Archive> a = Archives().Get(hpi);
    if (!a || Next < 0 || size_t(Next) >= a->size()) return 0;
    const uint32_t index = uint32_t(Next);
    return ListEntry(*a, index, a->PathOf(index), Next, Name, Type, Size);
  } catch (...) {
    return 0;
  }
}

HPIHANDLE HPIOpenFile(HPIHANDLE hpi, const char* FileName) {
  try {
    std::shared_ptr<hpi::Archive> a = Archives().Get(hpi);
    if (!a) return nullptr;
    const std::optional<uint32_t> index = FileIndex(*a, FileName);
    if (!index) return nullptr;
    auto file = std::make_shared<OpenedFile>();
    const bool ok = a->ReadFileTo(*index, [&](size_t size) {
      file->data = std::make_unique_for_overwrite<uint8_t[]>(size);
      file->size = size;
      return file->data.get();
    });
    if (!ok) return nullptr;
    return Files().Add(std::move(file));
  } catch (...) {
    return nullptr;
  }
}

int32_t HPIGet(void* Dest, HPIHANDLE FileHandle, int32_t Offset, int32_t Count) {
  std::shared_ptr<OpenedFile> f = Files().Get(FileHandle);
  if (!f || !Dest || Offset < 0 || Count < 0 || size_t(Offset) > f->size) return 0;
  const size_t n = std::min(size_t(Count), f->size - size_t(Offset));
  if (n) std::memcpy(Dest, f->data.get() + Offset, n);
  return int32_t(n);
}

int32_t HPICloseFile(HPIHANDLE FileHandle) { return Files().Take(FileHandle) ? 1 : 0; }

int32_t HPIReadFiles(HPIHANDLE hpi, int32_t Count, const char* const* FileNames, const int32_t* Sizes,
                     HPIDESTINATION Destination, void* Context, int32_t* Results) {
  try {
    std::shared_ptr<hpi::Archive> a = Archives().Get(hpi);
    if (!a || Count < 0 || (Count > 0 && (!FileNames || !Sizes || !Destination || !Results))) return 0;
    hpi::ParallelFor(size_t(Count), 0, [&](size_t i) {
      Results[i] = ReadOne(*a, FileNames[i], Sizes[i],
                           [&] { return Destination(Context, int32_t(i), Sizes[i]); });
    });
    hpi::Archive::ReleaseThreadCache();  // the other threads' went with them
    return 1;
  } catch (...) {
    return 0;
  }
}

int32_t HPIExtractFile(HPIHANDLE hpi, const char* FileName, const char* ExtractName) {
  try {
    std::shared_ptr<hpi::Archive> a = Archives().Get(hpi);
    if (!a || !FileName || !ExtractName || !*ExtractName) return 0;
    const std::optional<uint32_t> index = a->Find(FileName);
    if (!index || *index == hpi::Entry::kNone) return 0;
    std::vector<uint8_t> data;
    if (!a->ReadFile(*index, data)) return 0;
    const std::filesystem::path target(ExtractName);
    std::error_code ec;
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    out.close();
    return out ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

HPIHANDLE HPICreate(const char* FileName, void* /*Callback*/) {
  if (!FileName || !*FileName) return nullptr;
  try {
    auto pack = std::make_shared<NewArchive>();
    // The temporary file beside the target is created now: a target that
    // cannot be created (no such directory, no write permission, a directory
    // of that name) is refused here, before any file is added.
    if (!pack->file.Open(FileName)) return nullptr;
    return Packs().Add(std::move(pack));
  } catch (...) {
    return nullptr;
  }
}

int32_t HPIAddFileFromMemory(HPIHANDLE Pack, const char* HPIName, const char* FileBlock, int32_t fsize) {
  try {
    std::shared_ptr<NewArchive> p = Packs().Get(Pack);
    if (!p || !HPIName || fsize < 0 || (fsize > 0 && !FileBlock)) return 0;
    return p->writer.AddFile(HPIName, reinterpret_cast<const uint8_t*>(FileBlock), size_t(fsize)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int32_t HPIPackArchive(HPIHANDLE Pack, int32_t CMethod) {
  // The handle is used up whatever happens next.
  std::shared_ptr<NewArchive> p = Packs().Take(Pack);
  if (!p) throw hpi::InvalidPointer();
  if (CMethod < 0 || CMethod > 2) return 0;
  try {
    hpi::Writer::Options options;
    options.method = hpi::Method(CMethod);
    return p->writer.Pack(p->file, options) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int32_t GetTADirectory(char* TADir) {
  if (!TADir) return 0;
  const char* dir = std::getenv("TA_DIR");
  if (!dir || !*dir) {
    TADir[0] = '\0';
    return 0;
  }
  PutName(TADir, dir);
  return 1;
}
