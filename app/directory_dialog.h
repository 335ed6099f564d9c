#pragma once
// The directory chooser. With creation allowed, the user may type the name of
// a directory that does not exist yet and confirm it with the chooser's own
// button (or Enter); the chooser then asks whether to create it while it is
// still open. No keeps it open as it was, with what the user typed; Yes closes
// it, and the caller creates the directory.
#include <QFileDialog>
#include <functional>

class DirectoryDialog : public QFileDialog {
 public:
  DirectoryDialog(QWidget* Parent, const QString& Start, bool AllowCreate);

  // Asks the create question; true for Yes. A message box by default; tests
  // answer here without a box.
  std::function<bool(const QString& Question)> AskCreate;

  // The confirmed directory (it may not exist yet), once the dialog was accepted.
  QString Chosen() const { return Chosen_; }
  // The chooser's own confirm button.
  QPushButton* AcceptButton() const;

  void accept() override;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  bool TypedNewDirectory() const;

  bool AllowCreate_;
  QString Chosen_;
};
