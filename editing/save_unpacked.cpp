// Saving an edited file: loose files are overwritten in place, archive files
// are put into their archive, which is written anew.
#include "editing/save_unpacked.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "archive/archive_save.h"

namespace {

[[noreturn]] void ThrowSystemError(int Error, const std::string& Path) {
  throw std::system_error(Error, std::system_category(), Path);
}

// Replaces the file's bytes with Size bytes of Data: create or truncate, write,
// close, each step checked. The open cannot block (a FIFO put in the file's
// place), and nothing is truncated before the file has been checked: only a
// regular file is written, and one whose write permission bits are all
// cleared is read-only, as loading takes it, even for a user whom the system
// would let write anyway (root).
void WriteWholeFile(const std::string& Path, const char* Data, size_t Size) {
  int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) ThrowSystemError(errno, Path);
  struct stat st;
  int refused = 0;
  if (::fstat(fd, &st) != 0)
    refused = errno;
  else if (!S_ISREG(st.st_mode))
    refused = EINVAL;
  else if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    refused = EACCES;
  else if (::ftruncate(fd, 0) != 0)
    refused = errno;
  if (refused) {
    ::close(fd);
    ThrowSystemError(refused, Path);
  }
  size_t done = 0;
  while (done < Size) {
    ssize_t n = ::write(fd, Data + done, Size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      ::close(fd);
      ThrowSystemError(error, Path);
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) ThrowSystemError(errno, Path);
}

void SaveLooseFile(AppState& State, UnPacked& Entry) {
  std::error_code ec;
  // A file removed from disk since it was loaded is passed over without a word.
  if (!std::filesystem::exists(Entry.UnPackedFile, ec)) return;
  if (!State.dialogs.AskYesNo("Save changes to " + Entry.UnPackedFile, true)) return;
  WriteWholeFile(Entry.UnPackedFile, Entry.Contents.get(),
                 Entry.PFileSize > 0 ? static_cast<size_t>(Entry.PFileSize) : 0);
}

// The archive is written anew with the file's new text; every other file
// keeps its content, and the whole archive is packed with the compression
// setting. It streams through the library's rewrite rather than reading the
// archive whole into RepackFiles, which therefore stays empty.
void SaveIntoArchive(AppState& State, UnPacked& Entry) {
  SaveFileIntoArchive(State, Entry.ParentFile, Entry.UnPackedFile, Entry.Contents.get(), Entry.PFileSize);
}

}  // namespace

void SaveUnpacked(AppState& State, UnPacked& Entry) {
  State.RepackFiles.Clear();
  if (Entry.Changed == 0) return;
  if (Entry.Kind == kKindLoose)
    SaveLooseFile(State, Entry);
  else
    SaveIntoArchive(State, Entry);
}
