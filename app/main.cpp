// Kestrava: compares the unit, weapon, build-menu and corpse definitions of
// Total Annihilation archives side by side.
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "app/command_line.h"
#include "app/main_form.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  if (const std::string text = InformationText(argc, argv); !text.empty()) {
    const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
    if (!written) std::fprintf(stderr, "kestrava: cannot write to standard output\n");
    return written ? 0 : 1;
  }
  const std::string noDisplay = MissingDisplayMessage(argc, argv);
  if (!noDisplay.empty()) {
    std::fprintf(stderr, "%s\n", noDisplay.c_str());
    return 1;
  }
  std::unique_ptr<QApplication> app;
  {
    DisplayFailureGuard guard;
    app = std::make_unique<QApplication>(argc, argv);  // takes Qt's own options out of argv
  }
  std::unique_ptr<Program> program = StartUp();
  program->MainForm->show();
  // Archives named on the command line open once the window is up, so that
  // their messages have it as owner.
  const std::vector<std::string> names(argv + 1, argv + argc);
  if (!names.empty())
    QTimer::singleShot(0, program->MainForm.get(), [&program, &names] { OpenCommandLineArchives(*program, names); });
  const int status = app->exec();
  program.reset();
  return status;
}
