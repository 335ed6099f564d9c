// kestrava-table: prints one of Kestrava's comparison tables as CSV, TSV or JSON.
#include <iostream>
#include <string>
#include <vector>

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
  if (!wrong.empty()) {
    std::cerr << "kestrava-table: " << wrong << " (try 'kestrava-table --help')\n";
    return 2;
  }
  return RunTable(request, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  return RunGuarded("kestrava-table", [&] { return Run(argc, argv); });
}
