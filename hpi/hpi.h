#pragma once
// The archive library's operations: the layer the program calls to list, read,
// extract, create and pack the game's archives (.hpi, .ufo, .gp*, .ccx).
//
// Handles are opaque pointers; a null handle (0) means failure. A listing
// position is an opaque 32-bit value: 0 starts a listing, each call returns the
// position to pass next, and 0 once no entry came back. Name buffers passed to
// the listing calls are 65,536 bytes. Paths inside an archive join levels with
// '\' and are matched without regard to ASCII letter case ('/' is accepted as
// a separator too, and empty levels are ignored).
//
// Handles are ids from a registry of live handles, never raw pointers: a
// closed, stale or foreign handle is detected and the call fails (returns 0)
// instead of touching memory. All operations may be called from several
// threads. The C++ layer beneath is hpi/archive.h (reading) and hpi/writer.h
// (writing).
#include <cstdint>
#include <exception>

using HPIHANDLE = void*;

constexpr int HPI_NAME_BUFFER = 65536;

// Opens an archive for reading; 0 when it cannot be opened or is malformed.
// The whole directory is checked here (offsets, loops, names, path lengths);
// file data is checked when a file is opened.
HPIHANDLE HPIOpen(const char* FileName);
// Releases an archive handle.
int32_t HPIClose(HPIHANDLE hpi);
// Lists the directory DirName ("" = root): fills Name with the next entry's
// name relative to that directory, *Type with non-zero for a directory and
// *Size with the file size in bytes (0 for a directory). Returns the next
// position, or 0 when no entry came back.
int32_t HPIDir(HPIHANDLE hpi, int32_t Next, const char* DirName, char* Name, int32_t* Type, int32_t* Size);
// Walks every entry of the archive depth first, a directory before its
// contents; Name receives the full path inside the archive. Entries come in
// the archive's stored order. The position is the index of the next entry.
int32_t HPIGetFiles(HPIHANDLE hpi, int32_t Next, char* Name, int32_t* Type, int32_t* Size);
// Opens one file inside the archive; 0 when it is missing, a directory or damaged.
// The file is read, checked (chunk sizes, checksums) and decoded here, so a
// file handle never yields damaged data.
HPIHANDLE HPIOpenFile(HPIHANDLE hpi, const char* FileName);
// Copies Count bytes of the file from Offset into Dest; returns the number of
// bytes copied (0 on failure).
int32_t HPIGet(void* Dest, HPIHANDLE FileHandle, int32_t Offset, int32_t Count);
// Releases a file handle.
int32_t HPICloseFile(HPIHANDLE FileHandle);
// Writes one file of the archive to the disk path ExtractName, creating missing
// directories. Returns non-zero on success, 0 on failure.
int32_t HPIExtractFile(HPIHANDLE hpi, const char* FileName, const char* ExtractName);
// Starts a new, empty archive that HPIPackArchive will write to FileName.
// Callback is unused and may be 0. Returns 0 on failure, and when the archive
// cannot be created there: the temporary file that packing writes is created
// beside FileName now (a missing or unwritable directory, or a FileName that
// is a directory, fails here). A handle never packed removes it again at exit.
HPIHANDLE HPICreate(const char* FileName, void* Callback);
// Adds a file to a new archive. The buffer must stay valid until
// HPIPackArchive has returned. Returns 0 when refused: no name, a "." or ".."
// level, a path below a file or naming a directory already added, a negative
// size. A second file of the same path (ignoring case) replaces the first.
int32_t HPIAddFileFromMemory(HPIHANDLE Pack, const char* HPIName, const char* FileBlock, int32_t fsize);
// Writes the archive (compression 0 none, 1 LZ77, 2 zlib), replacing the
// target atomically, and releases the handle. Returns 0 on failure; the old
// archive is then left as it was. Throws hpi::InvalidPointer when Pack is not
// a live handle from HPICreate (for instance one that was packed already).
// The archive is written unencrypted; chunks are compressed on every core. An
// unknown method returns 0 (and uses the handle up).
int32_t HPIPackArchive(HPIHANDLE Pack, int32_t CMethod);
// Fills the 65,536-byte buffer with the game directory from the environment
// variable TA_DIR, or leaves it empty. Returns non-zero when a directory was set.
int32_t GetTADirectory(char* TADir);

namespace hpi {
// Raised by HPIPackArchive for a handle that is not a live new-archive handle.
struct InvalidPointer : std::exception {
  const char* what() const noexcept override { return "invalid pointer operation"; }
};
}  // namespace hpi
