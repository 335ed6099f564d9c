#pragma once
// What the command line and the environment decide at start-up: whether there
// is a display to show the window on, and the archives named as arguments
// (`kestrava FILE...`, as file managers start the program).
#include <string>
#include <vector>

struct Program;

// The text `kestrava --help` or `kestrava --version` prints, when an argument
// before any "--" asks for one; else empty. Answered before any display is
// needed.
std::string InformationText(int Argc, char** Argv);

// One line telling that no display is reachable and how to get one, or empty
// when the window can be shown: a display is named in the environment, or a Qt
// platform is chosen (QT_QPA_PLATFORM or -platform, as the offscreen tests do).
std::string MissingDisplayMessage(int Argc, char** Argv);

// From the construction of the QApplication until the guard ends, a display
// that is named but cannot be reached ends the program with that line and exit
// status 1 instead of Qt's abort.
class DisplayFailureGuard {
 public:
  DisplayFailureGuard();
  ~DisplayFailureGuard();
  DisplayFailureGuard(const DisplayFailureGuard&) = delete;
  DisplayFailureGuard& operator=(const DisplayFailureGuard&) = delete;
};

// Opens the named archives in order, as File > Open... opens chosen files (the
// same loading, messages and menus). Names are the system's bytes, relative
// ones taken from the working directory. Names that are no existing regular
// file are reported in one message and left out; a read-only archive opens for
// viewing like any other. No names: nothing happens.
void OpenCommandLineArchives(Program& P, const std::vector<std::string>& Names);
