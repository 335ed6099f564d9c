#pragma once
// What the archive engine needs of the program-wide state: the five file
// lists, the game and extraction directories, the compression setting, and
// where it reports its failures.
#include <functional>
#include <string>

#include "archive/dialogs.h"
#include "archive/file_lists.h"

struct EngineState {
  explicit EngineState(Dialogs& D) : dialogs(D) {}
  EngineState(const EngineState&) = delete;
  EngineState& operator=(const EngineState&) = delete;

  Dialogs& dialogs;

  AllUnpacked UnitFiles, WeaponFiles, DownloadFiles, CorpseFiles;
  // A whole archive is read into it before saving; archives hold far more
  // than a table's 2049 entries, so only memory bounds it.
  AllUnpacked RepackFiles{AllUnpacked::kUnbounded};

  std::string TaDir;       // the game's installation directory
  std::string ExtractDir;  // where extraction writes; ends with '/' once chosen

  // The Options dialog's Compressiontype index (0 none, 1 LZ77, 2 zlib), read
  // by the engine at the moment it packs an archive.
  std::function<int()> CompressionSetting = [] { return 1; };
};
