// kestrava-diff: what changed between two versions of a mod.
#include <iostream>
#include <string>
#include <vector>

#include "tools/diff/diff_command.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  return RunDiff(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
