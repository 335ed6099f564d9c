#pragma once
// The command lines of kestrava-apply and kestrava-diff, read with CLI11, with
// help and version texts in the plain style of all the tools.
#include <CLI/CLI.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "tools/common/plain_help.h"

// Reads Args (without the program name) into App's options. Returns -1 when
// the tool should go on, else its exit status: 0 once --help or --version was
// written to Out, 2 after one line on Err for bad usage (or a help text that could not
// be written, also reported on Err).
inline int ParseCommandLine(CLI::App& App, const std::vector<std::string>& Args, std::ostream& Out,
                            std::ostream& Err) {
  UsePlainHelp(App);
  try {
    std::vector<std::string> reversed(Args.rbegin(), Args.rend());
    App.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    Out << App.help();
    if (Out.flush()) return 0;
    Err << App.get_name() << ": cannot write to standard output\n";
    return 2;
  } catch (const CLI::CallForVersion&) {
    Out << VersionLine(App.get_name()) << "\n";
    if (Out.flush()) return 0;
    Err << App.get_name() << ": cannot write to standard output\n";
    return 2;
  } catch (const CLI::ParseError& e) {
    Err << App.get_name() << ": " << e.what() << " (try '" << App.get_name() << " --help')\n";
    return 2;
  }
  return -1;
}
