// "Ex&tract...": unpacking whole archives below a chosen directory.
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/main_form.h"
#include "archive/engine.h"

namespace {

// Asks for the target directory until the user picks an existing one, has a
// missing one created, or cancels. Returns false when cancelled or when the
// directory could not be created.
bool ChooseTargetDirectory(AppState& State, std::string& Directory) {
  for (;;) {
    if (!State.dialogs.ChooseDirectory(State.ExtractDir, true, Directory)) return false;
    std::error_code ec;
    // The target is written exactly as chosen, so it is tested exactly as chosen.
    if (std::filesystem::is_directory(Directory, ec)) return true;
    if (!State.dialogs.AskYesNo("The specified directory does not exist. Create it?")) continue;
    std::filesystem::create_directories(Directory, ec);
    if (ec || !std::filesystem::is_directory(Directory, ec)) {
      State.dialogs.ShowMessage(Directory + ": " +
                                (ec ? ec.message() : std::string("not a directory")));
      return false;
    }
    return true;
  }
}

}  // namespace

void TMainForm::ExtractufosClick() {
  std::vector<std::string> archives;
  if (!State.dialogs.OpenArchives("Select packed files to extract..", archives)) return;
  State.ExtractDir = "/";
  std::string directory;
  if (!ChooseTargetDirectory(State, directory)) return;
  if (directory.empty() || directory.back() != '/') directory += '/';
  State.ExtractDir = directory;
  for (const std::string& archive : archives)
    ReadwriteHPIDir(State, nullptr, archive, rwExtractArchive);
}
