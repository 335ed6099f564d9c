// hpi: lists, extracts and creates the game's archives.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "hpi_tool_commands.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  hpi list ARCHIVE                 one line per entry: d|f, TAB, size, TAB, path\n"
    "  hpi extract ARCHIVE DIR          recreate every directory and file below DIR\n"
    "  hpi create ARCHIVE DIR [--compression none|lz77|zlib]\n"
    "                                   pack every file below DIR (default lz77)\n"
    "  hpi --help                       show this text\n"
    "Paths inside an archive join levels with '\\'. Entries whose path would leave\n"
    "DIR or run through a symbolic link in it are skipped on extraction. Exit\n"
    "status 0 on success, non-zero on failure.\n";

int BadUsage(const std::string& why) {
  std::cerr << "hpi: " << why << " (try 'hpi --help')\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return BadUsage("missing command");
  const std::string& cmd = args[0];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::cout << kUsage;
    return 0;
  }
  if (cmd == "list") {
    if (args.size() != 2) return BadUsage("list takes one archive");
    return hpitool::List(args[1], std::cout, std::cerr);
  }
  if (cmd == "extract") {
    if (args.size() != 3) return BadUsage("extract takes an archive and a directory");
    return hpitool::Extract(args[1], args[2], std::cerr);
  }
  if (cmd == "create") {
    std::vector<std::string> positional;
    std::string compression = "lz77";
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--compression") {
        if (++i == args.size()) return BadUsage("--compression needs a value");
        compression = args[i];
      } else if (args[i].rfind("--compression=", 0) == 0) {
        compression = args[i].substr(std::strlen("--compression="));
      } else if (args[i].rfind("--", 0) == 0) {
        return BadUsage("unknown option " + args[i]);
      } else {
        positional.push_back(args[i]);
      }
    }
    if (positional.size() != 2) return BadUsage("create takes an archive and a directory");
    hpi::Method method;
    if (compression == "none") method = hpi::Method::Stored;
    else if (compression == "lz77") method = hpi::Method::Lz77;
    else if (compression == "zlib") method = hpi::Method::Zlib;
    else return BadUsage("unknown compression " + compression + " (none, lz77 or zlib)");
    return hpitool::Create(positional[0], positional[1], method, std::cerr);
  }
  return BadUsage("unknown command " + cmd);
}
