#include "app/qt_dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>

#include "app/directory_dialog.h"
#include "app/latin1.h"

namespace {

// Paths travel as the file system's own bytes, so that any name found on disk
// opens again; messages and cell texts are Latin-1.
std::string PathBytes(const QString& Path) { return QFile::encodeName(Path).toStdString(); }
QString PathText(const std::string& Path) { return QFile::decodeName(QByteArray::fromStdString(Path)); }

QWidget* Owner() { return QApplication::activeWindow(); }

}  // namespace

QString ArchiveNameFilter() {
  return QString::fromLatin1(kArchiveFilterText) + QStringLiteral(" (*.hpi *.ufo *.gp* *.ccx)");
}

void SetUpArchiveDialog(QFileDialog& Dialog) {
  Dialog.setOption(QFileDialog::DontUseNativeDialog);
  Dialog.setOption(QFileDialog::HideNameFilterDetails);
  Dialog.setOption(QFileDialog::ReadOnly);  // no file operations inside the dialog
  Dialog.setFileMode(QFileDialog::ExistingFiles);
  Dialog.setAcceptMode(QFileDialog::AcceptOpen);
  Dialog.setNameFilter(ArchiveNameFilter());
  // Hidden files are offered; FIFOs, sockets and devices (Qt's "system"
  // entries) are not, since only a regular file can be an archive.
  Dialog.setFilter((Dialog.filter() | QDir::Hidden) & ~QDir::System & ~QDir::CaseSensitive);
}

void QtDialogs::ShowMessage(const std::string& Text) {
  QMessageBox box(QMessageBox::NoIcon, Latin1(kApplicationTitle), Latin1(Text), QMessageBox::Ok, Owner());
  box.exec();
}

bool QtDialogs::AskYesNo(const std::string& Text, bool Warning) {
  QMessageBox box(Warning ? QMessageBox::Warning : QMessageBox::Question, Latin1(kApplicationTitle),
                  Latin1(Text), QMessageBox::Yes | QMessageBox::No, Owner());
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

Dialogs::Unsaved QtDialogs::AskUnsaved(const std::string& Text) {
  QMessageBox box(QMessageBox::Warning, Latin1(kApplicationTitle), Latin1(Text),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, Owner());
  box.setDefaultButton(QMessageBox::Save);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Save:
      return Unsaved::Save;
    case QMessageBox::Discard:
      return Unsaved::Discard;
    default:
      return Unsaved::Stay;
  }
}

bool QtDialogs::OpenArchives(const std::string& Title, std::vector<std::string>& Files) {
  Files.clear();
  // Any readable archive opens for viewing, whatever its permissions; only
  // writing a read-only one is refused, when it is saved.
  QFileDialog dialog(Owner(), Latin1(Title), LastDirectory_);
  SetUpArchiveDialog(dialog);
  if (dialog.exec() != QDialog::Accepted) return false;
  LastDirectory_ = dialog.directory().absolutePath();
  for (const QString& f : dialog.selectedFiles()) Files.push_back(PathBytes(f));
  return !Files.empty();
}

bool QtDialogs::ChooseDirectory(const std::string& Start, bool AllowCreate, std::string& Directory) {
  DirectoryDialog dialog(Owner(), PathText(Start), AllowCreate);
  if (dialog.exec() != QDialog::Accepted || dialog.Chosen().isEmpty()) return false;
  Directory = PathBytes(dialog.Chosen());
  return true;
}

bool QtDialogs::ChooseVersion(const std::string& Title, std::string& Path) {
  QFileDialog dialog(Owner(), Latin1(Title), LastDirectory_);
  SetUpArchiveDialog(dialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  bool wholeDirectory = false;
  if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
    QPushButton* directory = buttons->addButton("Use This &Directory", QDialogButtonBox::ActionRole);
    QObject::connect(directory, &QPushButton::clicked, &dialog, [&] {
      wholeDirectory = true;
      static_cast<QDialog&>(dialog).done(QDialog::Accepted);
    });
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  LastDirectory_ = dialog.directory().absolutePath();
  if (wholeDirectory) {
    Path = PathBytes(dialog.directory().absolutePath());
    return true;
  }
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  Path = PathBytes(chosen.front());
  return true;
}

void QtDialogs::SetClipboardText(const std::string& Text) { QApplication::clipboard()->setText(Latin1(Text)); }

std::string QtDialogs::ClipboardText() { return Bytes(QApplication::clipboard()->text()); }

namespace {

// The extension of a filter such as "PNG image (*.png)": "png".
QString FilterSuffix(const QString& Filter) {
  const qsizetype star = Filter.lastIndexOf(QStringLiteral("*."));
  if (star < 0) return {};
  QString suffix = Filter.mid(star + 2);
  const qsizetype end = suffix.indexOf(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")));
  return end < 0 ? suffix : suffix.left(end);
}

}  // namespace

bool QtDialogs::SaveFileName(const std::string& Title, const std::vector<std::string>& Filters, std::string& File) {
  QFileDialog dialog(Owner(), Latin1(Title), LastSaveDirectory_);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  QStringList filters;
  for (const std::string& f : Filters) filters << QString::fromUtf8(f);
  dialog.setNameFilters(filters);
  // A name typed without an extension gets the chosen filter's.
  if (!filters.isEmpty()) dialog.setDefaultSuffix(FilterSuffix(filters.first()));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog](const QString& Filter) { dialog.setDefaultSuffix(FilterSuffix(Filter)); });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  LastSaveDirectory_ = dialog.directory().absolutePath();
  File = PathBytes(dialog.selectedFiles().first());
  return true;
}
