#include "app/directory_dialog.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "app/latin1.h"
#include "archive/dialogs.h"

DirectoryDialog::DirectoryDialog(QWidget* Parent, const QString& Start, bool AllowCreate)
    : QFileDialog(Parent, QString(), Start), AllowCreate_(AllowCreate) {
  setOption(QFileDialog::DontUseNativeDialog);
  setOption(QFileDialog::ShowDirsOnly);
  setFileMode(QFileDialog::Directory);
  // No file operations inside the chooser when nothing may be created.
  if (!AllowCreate_) setOption(QFileDialog::ReadOnly);
  AskCreate = [this](const QString& Question) {
    QMessageBox box(QMessageBox::Question, Latin1(kApplicationTitle), Question, QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
  };
  // Qt greys the confirm button while the typed name does not exist; a new
  // directory may be confirmed all the same.
  if (AllowCreate_)
    if (QPushButton* b = AcceptButton()) b->installEventFilter(this);
}

QPushButton* DirectoryDialog::AcceptButton() const {
  auto* box = findChild<QDialogButtonBox*>("buttonBox");
  return box ? box->button(QDialogButtonBox::Open) : nullptr;
}

// True when the text typed into the name field names nothing on disk yet.
bool DirectoryDialog::TypedNewDirectory() const {
  auto* edit = findChild<QLineEdit*>("fileNameEdit");
  if (!edit || edit->text().trimmed().isEmpty()) return false;
  const QStringList files = selectedFiles();
  return !files.isEmpty() && !QFileInfo::exists(files.first());
}

bool DirectoryDialog::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::EnabledChange && Watched == AcceptButton()) {
    auto* button = static_cast<QPushButton*>(Watched);
    if (!button->isEnabled() && TypedNewDirectory()) button->setEnabled(true);
  }
  return QFileDialog::eventFilter(Watched, Event);
}

void DirectoryDialog::accept() {
  const QStringList files = selectedFiles();
  if (AllowCreate_ && !files.isEmpty() && !QFileInfo::exists(files.first())) {
    // Asked while the chooser is open; No leaves it exactly as it is.
    if (!AskCreate(Latin1(kCreateDirectoryQuestion))) return;
    Chosen_ = files.first();
    QDialog::accept();
    return;
  }
  if (!files.isEmpty() && QFileInfo(files.first()).isDir()) Chosen_ = files.first();
  QFileDialog::accept();
}
