#include "archive/archive_save.h"

#include <vector>

#include "hpi/archive.h"
#include "hpi/rewrite.h"

std::string ReadOnlyArchiveMessage(const std::string& Name) {
  return "The archive " + Name + " is read-only; it was not changed.";
}

SaveResult SaveFileIntoArchive(EngineState& State, const std::string& Name, const std::string& Path,
                               const char* Contents, int32_t Size, const std::optional<std::string>* Expected) {
  const int setting = State.CompressionSetting();
  if (setting < 0 || setting > 2) {
    State.dialogs.ShowMessage("Error packing" + Name + " in memory.");
    return SaveResult::Failed;
  }
  hpi::RewriteOptions options;
  options.method = hpi::Method(setting);
  const auto* bytes = reinterpret_cast<const uint8_t*>(Contents);
  const size_t size = Contents && Size > 0 ? static_cast<size_t>(Size) : 0;
  bool changed = false, unreadable = false;
  const hpi::RewriteStatus status = hpi::Rewrite(
      Name,
      [&](const hpi::Archive& current, hpi::Changes& changes, std::string* error) {
        if (Expected) {
          // Under the lock: the file must be what the caller last saw.
          std::optional<std::string> now;
          if (const std::optional<uint32_t> index = current.Find(Path); index && !current.at(*index).isDirectory) {
            std::vector<uint8_t> read;
            if (!current.ReadFile(*index, read, error)) {
              unreadable = true;
              return false;
            }
            now.emplace(read.begin(), read.end());
          }
          if (now != *Expected) {
            changed = true;
            *error = Path + " changed in " + Name;
            return false;
          }
        }
        changes.Put(Path, std::vector<uint8_t>(bytes, bytes + size));
        return true;
      },
      options);
  switch (status) {
    case hpi::RewriteStatus::Done:
      return SaveResult::Saved;
    case hpi::RewriteStatus::CannotOpen:
      State.dialogs.ShowMessage("Error in ReadwriteHPIDir with file " + Name);
      return SaveResult::Failed;
    case hpi::RewriteStatus::ReadOnly:
      State.dialogs.ShowMessage(ReadOnlyArchiveMessage(Name));
      return SaveResult::Failed;
    case hpi::RewriteStatus::Refused:
      if (changed) return SaveResult::Changed;
      if (!unreadable) {
        State.dialogs.ShowMessage("Error packing" + Name + " in memory.");
        return SaveResult::Failed;
      }
      [[fallthrough]];
    case hpi::RewriteStatus::NotRewritable:
    case hpi::RewriteStatus::Damaged:
      State.dialogs.ShowMessage("The archive " + Name + " could not be read completely; it was not changed.");
      return SaveResult::Failed;
    case hpi::RewriteStatus::CannotCreate:
      State.dialogs.ShowMessage("Error creating packed file" + Name);
      return SaveResult::Failed;
    case hpi::RewriteStatus::WriteFailed:
      State.dialogs.ShowMessage("Error packing" + Name + " in memory.");
      return SaveResult::Failed;
  }
  return SaveResult::Failed;
}
