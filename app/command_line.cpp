#include "app/command_line.h"

#include <sys/stat.h>

#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/main_form.h"
#include "app/qt_dialogs.h"
#include "app/startup.h"

namespace {

#define KESTRAVA_GET_A_DISPLAY \
  "Start it in a desktop session, or on a virtual display: xvfb-run -a kestrava (xvfb-run -a make run from the " \
  "source tree)"
const char* const kNoDisplay = "kestrava: there is no display to show the window on. " KESTRAVA_GET_A_DISPLAY;
const char* const kDisplayFailed = "kestrava: the display could not be opened (see above). " KESTRAVA_GET_A_DISPLAY;

bool Set(const char* Name) {
  const char* value = std::getenv(Name);
  return value && *value;
}

QtMessageHandler PreviousHandler = nullptr;

// Qt ends with a fatal message when no platform plugin can start; every other
// message goes where it went before.
void OnQtMessage(QtMsgType Type, const QMessageLogContext& Context, const QString& Text) {
  if (Type == QtFatalMsg) {
    std::fprintf(stderr, "%s\n", kDisplayFailed);
    std::_Exit(1);
  }
  PreviousHandler(Type, Context, Text);
}

}  // namespace

std::string MissingDisplayMessage(int Argc, char** Argv) {
  if (Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM")) return {};
  for (int i = 1; i < Argc; ++i)
    if (std::strcmp(Argv[i], "-platform") == 0 || std::strcmp(Argv[i], "--platform") == 0) return {};
  return kNoDisplay;
}

DisplayFailureGuard::DisplayFailureGuard() { PreviousHandler = qInstallMessageHandler(OnQtMessage); }
DisplayFailureGuard::~DisplayFailureGuard() { qInstallMessageHandler(PreviousHandler); }

void OpenCommandLineArchives(Program& P, const std::vector<std::string>& Names) {
  std::vector<std::string> files;
  QStringList missing, candidates;
  for (const std::string& name : Names) {
    const std::string path = std::filesystem::absolute(name).lexically_normal().string();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      missing << QFile::decodeName(QByteArray::fromStdString(path));
    else
      candidates << QFile::decodeName(QByteArray::fromStdString(path));
  }
  const QStringList refused = ReadOnlyFiles(candidates);
  for (const QString& path : candidates)
    if (!refused.contains(path)) files.push_back(QFile::encodeName(path).toStdString());

  Dialogs& dialogs = P.State->dialogs;
  if (!missing.isEmpty())
    dialogs.ShowMessage(QFile::encodeName(missing.join('\n')).toStdString() +
                        "\nThese files do not exist or are not regular files and cannot be opened.");
  if (!refused.isEmpty())
    dialogs.ShowMessage(QFile::encodeName(refused.join('\n')).toStdString() +
                        "\nThese files are read-only and cannot be chosen.");
  if (!files.empty()) P.MainForm->OpenArchives(files);
}
