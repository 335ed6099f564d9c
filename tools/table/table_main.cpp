// kestrava-table: prints one of Kestrava's comparison tables as CSV, TSV or JSON.
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "tools/common/standard_output.h"
#include "tools/table/table_command.h"

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
  try {
    return RunTable(request, std::cout, std::cerr);
  } catch (const std::bad_alloc&) {
    std::cerr << "kestrava-table: out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << "kestrava-table: " << e.what() << "\n";
  }
  return 2;
}
