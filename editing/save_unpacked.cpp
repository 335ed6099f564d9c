// Saving an edited file: loose files are replaced through a temporary file,
// archive files are put into their archive, which is written anew.
#include "editing/save_unpacked.h"

#include <filesystem>

#include "archive/current_bytes.h"
#include "archive/write_whole_file.h"
#include "hpi/atomic_file.h"

namespace {

SaveResult SaveLooseFile(AppState& State, UnPacked& Entry, const std::optional<std::string>* Expected) {
  std::error_code ec;
  // A file removed from disk since it was loaded is passed over without a word.
  if (!std::filesystem::exists(Entry.UnPackedFile, ec)) return SaveResult::Saved;
  if (!State.dialogs.AskYesNo("Save changes to " + Entry.UnPackedFile, true)) return SaveResult::Declined;
  try {
    WriteWholeFile(Entry.UnPackedFile, Entry.Contents.get(),
                   Entry.PFileSize > 0 ? static_cast<size_t>(Entry.PFileSize) : 0, Expected);
  } catch (const WriteFileError& e) {
    if (e.reason() == WriteFileError::Reason::Changed) return SaveResult::Changed;
    throw;
  }
  return SaveResult::Saved;
}

// The archive is written anew with the file's new text; every other file
// keeps its content, and the whole archive is packed with the compression
// setting. It streams through the library's rewrite rather than reading the
// archive whole into RepackFiles, which therefore stays empty.
SaveResult SaveIntoArchive(AppState& State, UnPacked& Entry, const std::optional<std::string>* Expected) {
  return SaveFileIntoArchive(State, Entry.ParentFile, Entry.UnPackedFile, Entry.Contents.get(), Entry.PFileSize,
                             Expected);
}

std::string Where(const UnPacked& Entry) {
  return Entry.Kind == kKindLoose ? Entry.UnPackedFile : Entry.UnPackedFile + " in " + Entry.ParentFile;
}

}  // namespace

SaveResult SaveUnpacked(AppState& State, UnPacked& Entry, const std::optional<std::string>* Expected) {
  State.RepackFiles.Clear();
  if (Entry.Changed == 0) return SaveResult::Saved;
  if (Entry.Kind == kKindLoose) return SaveLooseFile(State, Entry, Expected);
  return SaveIntoArchive(State, Entry, Expected);
}

std::string ReadOnlyRefusal(const UnPacked& Entry) {
  if (Entry.Kind == kKindLoose)
    return hpi::IsReadOnly(Entry.UnPackedFile) ? "The file " + Entry.UnPackedFile + " is read-only; it was not changed."
                                               : std::string();
  return hpi::IsReadOnly(Entry.ParentFile) ? ReadOnlyArchiveMessage(Entry.ParentFile) : std::string();
}

std::string LoadedBytes(const UnPacked& Entry) {
  if (Entry.FileBytes) return *Entry.FileBytes;
  if (!Entry.Contents || Entry.PFileSize <= 0) return {};
  return std::string(Entry.Contents.get(), static_cast<size_t>(Entry.PFileSize));
}

std::string ChangedMeanwhileQuestion(const UnPacked& Entry) {
  return Where(Entry) +
         " has changed since it was loaded.\nOverwrite it with the edited text? No keeps the other version and shows it.";
}

EditedSave SaveEditedFile(AppState& State, UnPacked& Entry, const std::string& Loaded) {
  for (;;) {
    CurrentBytes now = Entry.Kind == kKindLoose ? LooseFileNow(Entry.UnPackedFile)
                                                : ArchivedFileNow(Entry.ParentFile, Entry.UnPackedFile);
    if (now.Read && now.Bytes && *now.Bytes != Loaded && !State.dialogs.AskYesNo(ChangedMeanwhileQuestion(Entry), true)) {
      Entry.SetContents(now.Bytes->data(), static_cast<int32_t>(now.Bytes->size()));
      Entry.FileBytes.reset();
      Entry.Changed = 0;
      return EditedSave::KeptOther;
    }
    // Until the write is done the file holds what it held; a file that cannot
    // be read now is written without the check (the write reports what is
    // wrong with it).
    Entry.FileBytes = std::make_unique<std::string>(now.Read && now.Bytes ? *now.Bytes : Loaded);
    const SaveResult result = SaveUnpacked(State, Entry, now.Read ? &now.Bytes : nullptr);
    if (result == SaveResult::Changed) continue;
    if (result == SaveResult::Saved) Entry.FileBytes.reset();
    return EditedSave::Saved;
  }
}
