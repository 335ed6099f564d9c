// kestrava-apply: writes the cells changed in a table back into the definitions.
#include <malloc.h>

#include <iostream>
#include <string>
#include <vector>

#include "tools/common/shown_path.h"
#include "tools/apply/apply_command.h"
#include "tools/common/guarded_main.h"

int main(int argc, char** argv) {
  // One short run that reads, plans and writes in waves on every core:
  // memory freed by one wave is kept for the next instead of being given
  // back to the system and faulted in again page by page.
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_TOP_PAD, 8 << 20);
  std::ios::sync_with_stdio(false);
  const hpitool::ShownStream shownErrors(std::cerr);  // no escape code from a file reaches the terminal
  return RunGuarded("kestrava-apply", [&] {
    return RunApply(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  });
}
