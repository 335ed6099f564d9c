#pragma once
// Start-up: the application title, the program-wide state, the main window
// (whose creation reads the game directory and sets up the columns), then the
// Options dialog, the About box and the Information dialog, in that order.
// The program and the tests build the very same set; tests pass their own
// Dialogs. Start-up reads no command-line arguments; the archives named there
// open afterwards (app/command_line.h).
#include <QSettings>
#include <memory>

#include "state/app_state.h"

class Dialogs;

class TMainForm;
class TOptionsForm;
class TAboutBox;
class TInformationForm;

struct Program {
  Program();
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  std::unique_ptr<Dialogs> OwnDialogs;  // the Qt dialogs when none were given
  std::unique_ptr<QSettings> Settings;  // kept between runs; none in most tests
  std::unique_ptr<AppState> State;
  std::unique_ptr<TMainForm> MainForm;
  std::unique_ptr<TOptionsForm> OptionsForm;
  std::unique_ptr<TAboutBox> AboutBox;
  std::unique_ptr<TInformationForm> InformationForm;
};

// Needs a QApplication. With Given null the program's Qt dialogs are used.
// Settings kept between runs are read from Settings and written there; with
// none given, the program (Given null) uses the user's own settings and a
// test (Given set) none at all, so each test starts as a fresh program.
std::unique_ptr<Program> StartUp(Dialogs* Given = nullptr, std::unique_ptr<QSettings> Settings = nullptr);
