#pragma once
// The program's message boxes, questions, file-open and save dialogs, directory chooser
// and clipboard, made with Qt widgets.
#include <QString>
#include <QStringList>

#include "archive/dialogs.h"

class QFileDialog;

class QtDialogs : public Dialogs {
 public:
  void ShowMessage(const std::string& Text) override;
  bool AskYesNo(const std::string& Text, bool Warning = false) override;
  Unsaved AskUnsaved(const std::string& Text) override;
  // Read-only files are refused with a message, and the dialog opens again.
  bool OpenArchives(const std::string& Title, std::vector<std::string>& Files) override;
  bool ChooseDirectory(const std::string& Start, bool AllowCreate, std::string& Directory) override;
  // The open dialog for one archive, with a button that takes the directory
  // shown instead.
  bool ChooseVersion(const std::string& Title, std::string& Path) override;
  // Qt's own save dialog; the name gets the chosen filter's extension when
  // it has none of the filters' extensions.
  bool SaveFileName(const std::string& Title, const std::vector<std::string>& Filters, std::string& File) override;
  void SetClipboardText(const std::string& Text) override;
  std::string ClipboardText() override;

 private:
  QString LastDirectory_;      // where the open dialog starts next time
  QString LastSaveDirectory_;  // where the save dialog starts next time
};

// The filter line of the open dialog, as the user sees it, and the patterns it
// stands for (matched without regard to letter case).
inline const char* const kArchiveFilterText = "Total Annihilation Files (*.hpi,*.ufo,*.gp*,*.ccx)";
// Qt reads the patterns from the last parentheses; the shown text keeps ours.
QString ArchiveNameFilter();
// Sets up the open dialog: Qt's own (not the desktop's), several existing
// files, the archives filter matching names regardless of letter case, hidden
// files included; FIFOs, sockets and devices are not offered.
void SetUpArchiveDialog(QFileDialog& Dialog);
