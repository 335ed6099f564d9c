#pragma once
// The archive engine: loads a kind's files from an archive or from below the
// game directory into a file list, reads a whole archive and writes it anew,
// extracts an archive, and removes entries. It reports its own failures through
// the state's Dialogs.
#include <cstdint>
#include <string>

#include "archive/engine_state.h"

enum : uint8_t {
  rwLoadArchive = 0,
  rwWriteArchive = 1,
  rwExtractArchive = 3,
  rwLoadLooseFiles = 4,
  rwRemoveArchive = 5,
  rwRemoveAll = 7,
  rwLoadWholeArchive = 8,
};

// Runs one engine call. Returns the number of files that mode 8 had to skip
// (could not open or read); saving refuses to rewrite an archive that was not
// read completely. Other modes return 0.
// A whole-archive read that an error ended early (a full list, a library
// failure) returns at least 1: it is incomplete whatever it skipped so far.
int ReadwriteHPIDir(EngineState& State, AllUnpacked* List, const std::string& Name, uint8_t Mode);

// While one lives, rwLoadArchive calls keep the archive they opened for the
// next call on the same archive path instead of opening it once per list, so
// that loading one archive into the four kind lists opens it once. What the
// calls load and report is the same either way. The archive is closed when a
// call names another archive and when this object ends.
class KeepArchiveOpen {
 public:
  explicit KeepArchiveOpen(EngineState& State);
  ~KeepArchiveOpen();
  KeepArchiveOpen(const KeepArchiveOpen&) = delete;
  KeepArchiveOpen& operator=(const KeepArchiveOpen&) = delete;

 private:
  EngineState& State_;
};
