#pragma once
// Writes an edited definition file back to where it came from: over the loose
// file on disk (after the user confirms), or into its archive, which is
// written anew with the file's new text (archive/archive_save.h).
#include <optional>
#include <string>

#include "archive/archive_save.h"
#include "state/app_state.h"

// Does nothing unless Entry.Changed is 1. With Expected, the file must still
// hold *Expected (nullopt: be missing) when it is locked for writing, else
// nothing is written and the result is Changed. A failed write of a loose
// file throws WriteFileError (archive/write_whole_file.h) naming the file and
// the system's reason, and leaves the file as it was; archive failures are
// reported by the engine itself (result Failed). State.RepackFiles is empty
// before and after every call.
SaveResult SaveUnpacked(AppState& State, UnPacked& Entry, const std::optional<std::string>* Expected = nullptr);

// The message that refuses a save of Entry because its file (a loose file) or
// its archive is read-only; empty when it may be written.
std::string ReadOnlyRefusal(const UnPacked& Entry);

// The question asked when Entry's file no longer holds what the edit page
// loaded: Yes overwrites it with the edited text, No keeps the other version.
std::string ChangedMeanwhileQuestion(const UnPacked& Entry);

enum class EditedSave {
  Saved,      // written, or the write was reported as the plain save reports it
  KeptOther,  // the file had changed and the user kept that version: Entry holds it now
};

// What the edit page takes as the file's bytes when it shows Entry: its
// FileBytes while an edit of it was not written, else its Contents.
std::string LoadedBytes(const UnPacked& Entry);

// The edit page's Save of Entry, which holds the edited text already; Loaded
// is LoadedBytes(Entry) from when the page opened it. When the file (on disk,
// or in its archive) holds something else now, the user is asked first
// (ChangedMeanwhileQuestion):
// Yes writes over it, No writes nothing and gives Entry the other version
// (Changed 0). A file removed meanwhile is not asked about: a loose one is
// passed over, an archived one is added back. Nothing is written before the
// answer, and a change made between the answer and the write is asked about
// again. A save that writes nothing keeps the file's bytes in
// Entry.FileBytes. Throws as SaveUnpacked does.
EditedSave SaveEditedFile(AppState& State, UnPacked& Entry, const std::string& Loaded);
