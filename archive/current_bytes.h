#pragma once
// What a definition file holds now, on disk or in its archive, so that a
// writer can tell whether it changed since it was loaded.
#include <optional>
#include <string>

struct CurrentBytes {
  bool Read = false;                // false: it could not be read, so nothing is known
  std::optional<std::string> Bytes; // nullopt: there is no such file (any more)
};

// The loose file at Path (opened so that nothing can block).
CurrentBytes LooseFileNow(const std::string& Path);
// The file Path (letter case and '/' or '\' aside) of the archive Archive.
CurrentBytes ArchivedFileNow(const std::string& Archive, const std::string& Path);
