// kestrava-diff: what changed between two versions of a mod.
#include <iostream>
#include <string>
#include <vector>

#include "tools/diff/diff_command.h"
#include "tools/common/guarded_main.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  return RunGuarded("kestrava-diff", [&] {
    return RunDiff(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  });
}
