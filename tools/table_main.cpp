// kestrava-table: prints one of Kestrava's comparison tables as CSV, TSV or JSON.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "standard_output.h"
#include "table_command.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  TableRequest request;
  const std::string wrong = ParseTableArguments(std::vector<std::string>(argv + 1, argv + argc), request);
  if (request.Help) {
    std::cout << kTableUsage;
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
