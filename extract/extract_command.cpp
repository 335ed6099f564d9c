// "Ex&tract...": unpacking whole archives below a chosen directory.
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/main_form.h"
#include "archive/engine.h"

namespace {

// Asks for the target directory and creates it, with every missing level,
// when the user agreed to that in the chooser. False when cancelled or when the
// directory could not be created.
bool ChooseTargetDirectory(AppState& State, std::string& Directory) {
  if (!State.dialogs.ChooseDirectory(State.ExtractDir, true, Directory)) return false;
  std::error_code ec;
  // The target is written exactly as chosen, so it is tested exactly as chosen.
  if (std::filesystem::is_directory(Directory, ec)) return true;
  std::filesystem::create_directories(Directory, ec);
  if (ec || !std::filesystem::is_directory(Directory, ec)) {
    State.dialogs.ShowMessage(Directory + ": " + (ec ? ec.message() : std::string("not a directory")));
    return false;
  }
  return true;
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
