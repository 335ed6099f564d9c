#pragma once
// The benchmarks' archive: 2049 unit files, 2049 weapon files of 2 to 5
// sections, 400 build-menu files and 600 corpse files of invented but
// game-like definitions, packed with LZ77 as the game's own archives are.
// The same seed gives the same archive every time.
#include <cstdint>
#include <string>

struct GeneratedArchive {
  std::string Path;
  int64_t DefinitionBytes = 0;
  int Files = 0;
};

// Writes the archive to Path.
GeneratedArchive GenerateCoreBenchArchive(const std::string& Path);
