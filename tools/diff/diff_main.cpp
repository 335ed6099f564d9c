// kestrava-diff: what changed between two versions of a mod.
#include <iostream>
#include <string>
#include <vector>

#include "tools/common/shown_path.h"
#include "tools/diff/diff_command.h"
#include "tools/common/guarded_main.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const hpitool::ShownStream shownErrors(std::cerr);  // no escape code from a file reaches the terminal
  return RunGuarded("kestrava-diff", [&] {
    return RunDiff(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  });
}
