#pragma once
// Writing a loose definition file over itself, as the window's Save and
// kestrava-apply do.
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>

// Why a loose file was not written. Nothing was: the file is as it was.
class WriteFileError : public std::runtime_error {
 public:
  enum class Reason {
    Failed,    // the system refused a step (a full disk, no permission for the new file...)
    ReadOnly,  // the file is read-only (hpi::IsReadOnly)
    Changed,   // the file no longer holds the bytes the caller expected
  };
  WriteFileError(Reason Why, const std::string& What) : std::runtime_error(What), Why_(Why) {}
  Reason reason() const { return Why_; }

 private:
  Reason Why_;
};

// Replaces the file's bytes with Size bytes of Data, or creates it. The new
// bytes go to a temporary file beside it, are flushed to disk and renamed over
// the file only then, so that on any failure (a full disk, the process killed)
// the old file stays byte for byte. The file keeps its mode (and its owner
// where the system allows); a symbolic link is written through: the file it
// names is replaced and the link stays. Writers of one file take turns (an
// advisory lock held from the check below to the rename).
//
// Refused before anything is written: a path that is no regular file (a FIFO
// is never opened), and a read-only file. With Expected, the file must hold
// exactly *Expected when the lock is taken (nullopt: there must be no file),
// so that a change made by another writer is never overwritten unseen.
//
// Throws WriteFileError; its text names the file and the system's reason.
void WriteWholeFile(const std::string& Path, const char* Data, size_t Size,
                    const std::optional<std::string>* Expected = nullptr);
