#include "app/command_line.h"

#include <sys/stat.h>

#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/latin1.h"
#include "app/main_form.h"
#include "app/qt_dialogs.h"
#include "app/startup.h"

namespace {

// One line: what went wrong, and how to get a display.
std::string NoDisplayLine(const char* What) {
  return std::string("kestrava: ") + What +
         ". Start it in a desktop session, or on a virtual display: xvfb-run -a kestrava"
         " (xvfb-run -a make run from the source tree)";
}

const char kUsage[] =
    "Usage: kestrava [FILE...]\n"
    "\n"
    "Shows the unit, weapon, build-menu and corpse definitions of Total\n"
    "Annihilation archives side by side in wide comparison tables, to sort, check,\n"
    "edit and write back.\n"
    "\n"
    "  FILE...           archives (.hpi, .ufo, .gp*, .ccx) opened at start-up, in\n"
    "                    order, as File > Open... opens them\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "\n"
    "The game directory is the one chosen in Options, else the environment\n"
    "variable TA_DIR. Qt's own options (-platform NAME, -style NAME...) are taken\n"
    "too. The window needs a display; without one, run it as xvfb-run -a kestrava.\n";

bool Set(const char* Name) {
  const char* value = std::getenv(Name);
  return value && *value;
}

QtMessageHandler PreviousHandler = nullptr;

// Qt ends with a fatal message when no platform plugin can start; every other
// message goes where it went before.
void OnQtMessage(QtMsgType Type, const QMessageLogContext& Context, const QString& Text) {
  if (Type == QtFatalMsg) {
    std::fprintf(stderr, "%s\n", NoDisplayLine("the display could not be opened (see above)").c_str());
    std::_Exit(1);
  }
  PreviousHandler(Type, Context, Text);
}

}  // namespace

std::string InformationText(int Argc, char** Argv) {
  for (int i = 1; i < Argc; ++i) {
    const std::string_view arg = Argv[i];
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") return kUsage;
    if (arg == "--version") return std::string("kestrava ") + KESTRAVA_VERSION + "\n";
  }
  return "";
}

std::string MissingDisplayMessage(int Argc, char** Argv) {
  if (Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM")) return {};
  for (int i = 1; i < Argc; ++i)
    if (std::strcmp(Argv[i], "-platform") == 0 || std::strcmp(Argv[i], "--platform") == 0) return {};
  return NoDisplayLine("there is no display to show the window on");
}

DisplayFailureGuard::DisplayFailureGuard() { PreviousHandler = qInstallMessageHandler(OnQtMessage); }
DisplayFailureGuard::~DisplayFailureGuard() { qInstallMessageHandler(PreviousHandler); }

void OpenCommandLineArchives(Program& P, const std::vector<std::string>& Names) {
  std::vector<std::string> files;
  QStringList missing, candidates;
  for (const std::string& name : Names) {
    std::error_code error;  // no working directory: the name as given
    std::string path = std::filesystem::absolute(name, error).lexically_normal().string();
    if (error) path = name;
    struct stat st;
    const bool regular = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    (regular ? candidates : missing) << QFile::decodeName(QByteArray::fromStdString(path));
  }
  for (const QString& path : candidates) files.push_back(QFile::encodeName(path).toStdString());

  // Names shown as the open dialog shows them.
  Dialogs& dialogs = P.State->dialogs;
  if (!missing.isEmpty())
    dialogs.ShowMessage(Bytes(missing.join('\n')) +
                        "\nThese files do not exist or are not regular files and cannot be opened.");
  if (!files.empty()) P.MainForm->OpenArchives(files);
}
