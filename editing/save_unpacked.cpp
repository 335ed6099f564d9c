// Saving an edited file: loose files are overwritten in place, archive files
// are swapped into a whole-archive copy that is then packed anew.
#include "editing/save_unpacked.h"

#include <filesystem>

#include "archive/ascii_case.h"
#include "archive/engine.h"
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

void SaveIntoArchive(AppState& State, UnPacked& Entry) {
  AllUnpacked& repack = State.RepackFiles;
  int skipped = ReadwriteHPIDir(State, &repack, Entry.ParentFile, rwLoadWholeArchive);
  if (skipped > 0) {
    // Writing what was read would drop the unread files from the archive.
    State.dialogs.ShowMessage("The archive " + Entry.ParentFile +
                              " could not be read completely; it was not changed.");
    repack.Clear();
    return;
  }
  for (int i = 0; i < repack.Count; ++i) {
    UnPacked& r = repack[i];
    if (r.Kind == kKindDirectory || !EqualIgnoringCase(r.UnPackedFile, Entry.UnPackedFile))
      continue;
    r.SetContents(Entry.Contents.get(), Entry.PFileSize);
    r.Kind = Entry.Kind;
    r.Changed = 0;
  }
  // An archive that could not be opened left the list empty; the engine then
  // refuses to write and the archive stays as it is.
  ReadwriteHPIDir(State, &repack, Entry.ParentFile, rwWriteArchive);
  repack.Clear();
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
