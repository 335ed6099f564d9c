#pragma once
// Writing a loose definition file over itself, as the window's Save does.
#include <cstddef>
#include <string>

// Replaces the file's bytes with Size bytes of Data: create or truncate,
// write, close, each step checked. The open cannot block (a FIFO put in the
// file's place), and nothing is truncated before the file has been checked:
// only a regular file is written, and one whose write permission bits are all
// cleared is read-only, as loading takes it, even for a user whom the system
// would let write anyway (root). Throws std::system_error carrying the
// system's error text and the path.
void WriteWholeFile(const std::string& Path, const char* Data, size_t Size);
