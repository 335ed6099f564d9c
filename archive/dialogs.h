#pragma once
// Everything the program shows or asks outside its own windows goes through this
// interface: message boxes, questions, the file-open and save dialogs, the directory
// chooser and the clipboard. The program uses the Qt implementation
// (app/qt_dialogs.h); tests use ScriptedDialogs, which records what was shown
// and answers as the test says, so no test ever blocks on a real box.
#include <string>
#include <vector>

inline const std::string kApplicationTitle = "Total Annihilation Kestrava";
// Asked by the directory chooser when the user confirms a directory that does
// not exist yet.
inline const std::string kCreateDirectoryQuestion = "The specified directory does not exist. Create it?";

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A plain box with the text and one OK button, titled kApplicationTitle.
  virtual void ShowMessage(const std::string& Text) = 0;
  // A box with Yes and No buttons; true for Yes. Warning = show a warning icon.
  virtual bool AskYesNo(const std::string& Text, bool Warning = false) = 0;
  // The multi-select open dialog with the archives filter
  // "Total Annihilation Files (*.hpi,*.ufo,*.gp*,*.ccx)"; only existing
  // files can be chosen (read-only ones too). Files receives the chosen paths in the
  // dialog's order. False when cancelled.
  virtual bool OpenArchives(const std::string& Title, std::vector<std::string>& Files) = 0;
  // The directory chooser, starting at Start. With AllowCreate the user may type
  // a directory that does not exist yet and confirm it; the chooser, still
  // open, then asks kCreateDirectoryQuestion: No keeps it open, Yes closes it
  // and returns the directory, which the caller creates. Without AllowCreate
  // only existing directories can be chosen. False when cancelled.
  virtual bool ChooseDirectory(const std::string& Start, bool AllowCreate, std::string& Directory) = 0;
  // An earlier version of a mod to compare with: an archive (read-only ones
  // too) or a directory. Path receives it. False when cancelled.
  virtual bool ChooseVersion(const std::string& Title, std::string& Path) = 0;
  // The save dialog for a new file, offering Filters (each as the dialog
  // shows it, e.g. "PNG image (*.png)"); an existing file is asked about
  // before it is chosen. File receives the chosen path. False when
  // cancelled, and where nothing can be asked.
  virtual bool SaveFileName(const std::string& Title, const std::vector<std::string>& Filters,
                            std::string& File) {
    (void)Title;
    (void)Filters;
    (void)File;
    return false;
  }
  // The clipboard's text.
  virtual void SetClipboardText(const std::string& Text) = 0;
  virtual std::string ClipboardText() = 0;
  // What the user answers when unsaved edits would be lost.
  enum class Unsaved { Save, Discard, Stay };
  // A box with the buttons Save, Discard and Cancel (Stay); Cancel is the
  // answer when the box is closed otherwise.
  virtual Unsaved AskUnsaved(const std::string& Text) = 0;

  // A file at Path in the archive Archive could not be read while the archive
  // was loaded, so it is left out of the lists. By default it is noted for
  // the caller, which reports the files once the loading ends
  // (TakeFilesNotRead); a command-line tool reports it at once.
  struct FileNotReadNote {
    std::string Archive, Path;
  };
  virtual void FileNotRead(const std::string& Archive, const std::string& Path) {
    NotRead_.push_back({Archive, Path});
  }
  // The files noted since the last call, in the order they were met.
  std::vector<FileNotReadNote> TakeFilesNotRead() {
    std::vector<FileNotReadNote> taken;
    taken.swap(NotRead_);
    return taken;
  }

 private:
  std::vector<FileNotReadNote> NotRead_;
};
