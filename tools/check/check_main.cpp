// kestrava-check: finds what will break a mod before the game does.
#include <iostream>
#include <string>
#include <vector>

#include "tools/common/shown_path.h"
#include "tools/check/check_command.h"
#include "tools/common/guarded_main.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const hpitool::ShownStream shownErrors(std::cerr);  // no escape code from a file reaches the terminal
  return RunGuarded("kestrava-check", [&] {
    return RunCheckTool(std::vector<std::string>(argv + 1, argv + argc), kCheckConfigName, std::cout, std::cerr);
  });
}
