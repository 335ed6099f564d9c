#include "archive/archive_save.h"

#include <vector>

#include "hpi/rewrite.h"

void SaveFileIntoArchive(EngineState& State, const std::string& Name, const std::string& Path, const char* Contents,
                         int32_t Size) {
  const int setting = State.CompressionSetting();
  if (setting < 0 || setting > 2) {
    State.dialogs.ShowMessage("Error packing" + Name + " in memory.");
    return;
  }
  hpi::RewriteOptions options;
  options.method = hpi::Method(setting);
  const auto* bytes = reinterpret_cast<const uint8_t*>(Contents);
  const size_t size = Contents && Size > 0 ? static_cast<size_t>(Size) : 0;
  const hpi::RewriteStatus status = hpi::Rewrite(
      Name,
      [&](const hpi::Archive&, hpi::Changes& changes, std::string*) {
        changes.Put(Path, std::vector<uint8_t>(bytes, bytes + size));
        return true;
      },
      options);
  switch (status) {
    case hpi::RewriteStatus::Done:
      return;
    case hpi::RewriteStatus::CannotOpen:
      State.dialogs.ShowMessage("Error in ReadwriteHPIDir with file " + Name);
      return;
    case hpi::RewriteStatus::NotRewritable:
    case hpi::RewriteStatus::Damaged:
      State.dialogs.ShowMessage("The archive " + Name + " could not be read completely; it was not changed.");
      return;
    case hpi::RewriteStatus::CannotCreate:
      State.dialogs.ShowMessage("Error creating packed file" + Name);
      return;
    case hpi::RewriteStatus::Refused:
    case hpi::RewriteStatus::WriteFailed:
      State.dialogs.ShowMessage("Error packing" + Name + " in memory.");
      return;
  }
}
