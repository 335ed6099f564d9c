#pragma once
// Writes an edited definition file back to where it came from: over the loose
// file on disk (after the user confirms), or into its archive, which is
// written anew with the file's new text (archive/archive_save.h).
#include "state/app_state.h"

// Does nothing unless Entry.Changed is 1. A failed create, write or close of a
// loose file throws std::system_error carrying the system's error text; archive
// failures are reported by the engine itself. State.RepackFiles is empty
// before and after every call.
void SaveUnpacked(AppState& State, UnPacked& Entry);
