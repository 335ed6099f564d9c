#pragma once
// Saving one file into its archive: the archive is written anew through the
// library's locked rewrite, which keeps the stored bytes of every other file
// and streams, so a save costs what changed whatever the archive's size.
#include <cstdint>
#include <optional>
#include <string>

#include "archive/engine_state.h"

enum class SaveResult {
  Saved,
  Declined, // the user declined the write: nothing written
  Changed,  // the file no longer holds what the caller expected: nothing written, nothing shown
  Failed,   // reported in a message; the file is as it was
};

// Writes Size bytes of Contents as the file Path of the archive Name (the
// archive's file of that path, letter case aside, or a new one), every file
// packed with the compression setting of the moment. With Expected, the file
// must still hold *Expected when the archive is locked for writing (nullopt:
// the archive must not hold it), else the result is Changed. Failures are
// reported as the whole-archive read and write report them, and leave the
// archive as it was:
// - the archive cannot be opened: "Error in ReadwriteHPIDir with file " + Name;
// - it is read-only: "The archive " + Name + " is read-only; it was not changed.";
// - a file cannot be read back intact, or two entries would land on one path:
//   "The archive " + Name + " could not be read completely; it was not changed.";
// - the new archive cannot be created beside it: "Error creating packed file" + Name;
// - it cannot be written: "Error packing" + Name + " in memory.".
SaveResult SaveFileIntoArchive(EngineState& State, const std::string& Name, const std::string& Path,
                               const char* Contents, int32_t Size,
                               const std::optional<std::string>* Expected = nullptr);

// The message of a save refused because the archive Name is read-only.
std::string ReadOnlyArchiveMessage(const std::string& Name);
