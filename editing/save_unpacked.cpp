// Saving an edited file: loose files are overwritten in place, archive files
// are put into their archive, which is written anew.
#include "editing/save_unpacked.h"

#include <filesystem>

#include "archive/archive_save.h"
#include "archive/write_whole_file.h"

namespace {

void SaveLooseFile(AppState& State, UnPacked& Entry) {
  std::error_code ec;
  // A file removed from disk since it was loaded is passed over without a word.
  if (!std::filesystem::exists(Entry.UnPackedFile, ec)) return;
  if (!State.dialogs.AskYesNo("Save changes to " + Entry.UnPackedFile, true)) return;
  WriteWholeFile(Entry.UnPackedFile, Entry.Contents.get(),
                 Entry.PFileSize > 0 ? static_cast<size_t>(Entry.PFileSize) : 0);
}

// The archive is written anew with the file's new text; every other file
// keeps its content, and the whole archive is packed with the compression
// setting. It streams through the library's rewrite rather than reading the
// archive whole into RepackFiles, which therefore stays empty.
void SaveIntoArchive(AppState& State, UnPacked& Entry) {
  SaveFileIntoArchive(State, Entry.ParentFile, Entry.UnPackedFile, Entry.Contents.get(), Entry.PFileSize);
}

}  // namespace

void SaveUnpacked(AppState& State, UnPacked& Entry) {
  State.RepackFiles.Clear();
  if (Entry.Changed == 0) return;
  if (Entry.Kind == kKindLoose)
    SaveLooseFile(State, Entry);
  else
    SaveIntoArchive(State, Entry);
}
