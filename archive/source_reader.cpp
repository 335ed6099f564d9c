#include "archive/source_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archive/ascii_case.h"
#include "archive/disk_search.h"
#include "hpi/archive.h"
#include "hpi/parallel.h"

namespace {

// The archive groups of a game directory, in the order they are read.
constexpr const char* kArchivePatterns[] = {"*.ufo", "*.hpi", "*.gp*", "*.ccx"};

// Directory levels below a source that are walked at most: deeper trees are a
// link loop or no game directory.
constexpr int kMaxDepth = 64;

// The largest reading buffer a thread keeps for its next file.
constexpr size_t kKeptBuffer = size_t(1) << 20;

bool LessIgnoringCase(const std::string& A, const std::string& B) {
  const int c = hpi::CompareNoCase(A, B);
  return c != 0 ? c < 0 : A < B;
}

std::string JoinDisk(const std::string& Dir, const std::string& Name) {
  return Dir.empty() || Dir.back() == '/' ? Dir + Name : Dir + "/" + Name;
}

}  // namespace

bool ReadDiskFile(const std::string& Path, std::string& Data, std::string& Why) {
  const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    Why = std::strerror(errno);
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!ok) Why = "not a regular file";
  if (ok) {
    Data.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (ok && done < Data.size()) {
      const ssize_t n = ::read(fd, Data.data() + done, Data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        Why = n < 0 ? std::strerror(errno) : "the file became shorter while it was read";
        ok = false;
      } else {
        done += static_cast<size_t>(n);
      }
    }
  }
  ::close(fd);
  return ok;
}

GameSources::GameSources() = default;
GameSources::~GameSources() = default;

bool GameSources::Add(const std::string& Path, std::string& Error) {
  struct stat st {};
  if (::stat(Path.c_str(), &st) != 0) {
    Error = std::strerror(errno);
    return false;
  }
  const int source = Sources_;
  if (S_ISDIR(st.st_mode)) {
    DIR* dir = ::opendir(Path.c_str());  // a directory that cannot be listed cannot be read at all
    if (!dir) {
      Error = std::strerror(errno);
      return false;
    }
    ::closedir(dir);
    std::vector<std::string> archives;
    for (const char* pattern : kArchivePatterns) {
      std::vector<std::string> names = ListMatchingIgnoringCase(Path, pattern);
      std::sort(names.begin(), names.end(), LessIgnoringCase);
      for (const std::string& name : names) {
        const std::string path = JoinDisk(Path, name);
        struct stat a {};
        if (::stat(path.c_str(), &a) != 0 || !S_ISREG(a.st_mode)) continue;
        if (std::find(archives.begin(), archives.end(), name) != archives.end()) continue;
        archives.push_back(name);
        std::string why;
        if (auto archive = hpi::Archive::Open(path, &why))
          AddArchive(path, std::move(archive), source);
        else
          Notes_.push_back("cannot read archive " + path + ": " + why);
      }
    }
    AddLooseFiles(Path, "", source, archives, 0);
  } else if (S_ISREG(st.st_mode)) {
    auto archive = hpi::Archive::Open(Path, &Error);
    if (!archive) return false;
    AddArchive(Path, std::move(archive), source);
  } else {
    Error = "neither an archive nor a directory";
    return false;
  }
  ++Sources_;
  return true;
}

bool GameSources::AddLooseFiles(const std::string& Directory, std::string& Error) {
  struct stat st {};
  if (::stat(Directory.c_str(), &st) != 0) {
    Error = std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    Error = "not a directory";
    return false;
  }
  DIR* dir = ::opendir(Directory.c_str());
  if (!dir) {
    Error = std::strerror(errno);
    return false;
  }
  ::closedir(dir);
  // The archives of the directory are not its loose files.
  std::vector<std::string> archives;
  for (const char* pattern : kArchivePatterns)
    for (const std::string& name : ListMatchingIgnoringCase(Directory, pattern)) archives.push_back(name);
  AddLooseFiles(Directory, "", Sources_, archives, 0);
  ++Sources_;
  return true;
}

void GameSources::AddArchive(const std::string& Path, std::unique_ptr<hpi::Archive> Archive, int Source) {
  const int index = static_cast<int>(Archives_.size());
  for (size_t i = 0; i < Archive->size(); ++i) {
    const hpi::Entry& e = Archive->at(i);
    if (e.isDirectory) continue;
    Files_.push_back({Source, Path, Archive->PathOf(i), "", e.size});
    ArchiveOf_.push_back(index);
    EntryOf_.push_back(static_cast<uint32_t>(i));
  }
  Archives_.push_back(std::move(Archive));
}

// Every regular file below Directory, in name order, a directory's files
// before its sub-directories. Links to directories are not followed; the
// archives the directory stands for are not loose files.
void GameSources::AddLooseFiles(const std::string& Directory, const std::string& Below, int Source,
                                const std::vector<std::string>& SkipArchives, int Depth) {
  if (Depth > kMaxDepth) return;
  std::vector<std::string> names = ListMatchingIgnoringCase(Directory, "*");
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  std::vector<std::string> directories;
  for (const std::string& name : names) {
    const std::string path = JoinDisk(Directory, name);
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0) continue;
    if (S_ISDIR(link.st_mode)) {
      directories.push_back(name);
      continue;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (Depth == 0 && std::find(SkipArchives.begin(), SkipArchives.end(), name) != SkipArchives.end()) continue;
    Files_.push_back({Source, "", Below + name, path, static_cast<uint64_t>(st.st_size)});
    ArchiveOf_.push_back(-1);
    EntryOf_.push_back(0);
  }
  for (const std::string& name : directories)
    AddLooseFiles(JoinDisk(Directory, name), Below + name + "\\", Source, SkipArchives, Depth + 1);
}

void GameSources::Read(const std::vector<size_t>& Wanted, const Visitor& Visit) const {
  hpi::ParallelFor(Wanted.size(), 0, [&](size_t k) {
    const size_t i = Wanted[k];
    // One buffer per thread, reused from file to file.
    thread_local std::string bytes;
    std::string why;
    bool ok;
    if (ArchiveOf_[i] < 0) {
      ok = ReadDiskFile(Files_[i].DiskPath, bytes, why);
    } else {
      ok = Archives_[static_cast<size_t>(ArchiveOf_[i])]->ReadFileTo(
          EntryOf_[i],
          [&](size_t n) {
            bytes.resize(n);
            return reinterpret_cast<uint8_t*>(bytes.data());
          },
          &why);
    }
    if (!ok) bytes.clear();
    Visit(i, bytes, ok ? std::string() : (why.empty() ? "cannot be read" : why));
    if (bytes.capacity() > kKeptBuffer) std::string().swap(bytes);
  });
  hpi::Archive::ReleaseThreadCache();
}
