// kestrava-table: prints one of Kestrava's comparison tables as CSV, TSV or JSON.
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "tools/common/shown_path.h"
#include "tools/common/plain_help.h"
#include "tools/common/standard_output.h"
#include "tools/common/guarded_main.h"
#include "tools/table/table_command.h"

namespace {

int Run(int argc, char** argv) {
  TableRequest request;
  const std::string wrong = ParseTableArguments(std::vector<std::string>(argv + 1, argv + argc), request);
  if (request.Help) {
    std::cout << kTableUsage;
    return FinishStandardOutput(0, "kestrava-table");
  }
  if (request.Version) {
    std::cout << VersionLine("kestrava-table") << "\n";
    return FinishStandardOutput(0, "kestrava-table");
  }
  if (!wrong.empty()) {
    std::cerr << "kestrava-table: " << wrong << " (try 'kestrava-table --help')\n";
    return 2;
  }
  // What the run loaded stays until the process ends: the system takes it
  // back at once, where freeing it would visit every row and file.
  // (Held through a pointer that is never deleted: a static holder would be
  // destroyed at exit, freeing it all the same.)
  static auto* const loaded = new std::shared_ptr<void>;
  return RunTable(request, std::cout, std::cerr, loaded);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const hpitool::ShownStream shownErrors(std::cerr);  // no escape code from a file reaches the terminal
  return RunGuarded("kestrava-table", [&] { return Run(argc, argv); });
}
