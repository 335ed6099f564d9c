// hpi: lists, extracts, creates and checks the game's archives, and reads or
// replaces single files in them.
#include <algorithm>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "hpi_tool_commands.h"
#include "hpi_tool_file_commands.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  hpi list ARCHIVE                 one line per entry: d|f, TAB, size, TAB, path\n"
    "  hpi extract ARCHIVE DIR          recreate every directory and file below DIR\n"
    "  hpi create ARCHIVE DIR [--compression none|lz77|zlib]\n"
    "                                   pack every file below DIR (default lz77)\n"
    "  hpi cat ARCHIVE PATH             the file's bytes on standard output (PATH\n"
    "                                   matched ignoring case, an exact match preferred)\n"
    "  hpi verify ARCHIVE               read and check every file; one line per damaged\n"
    "                                   file (exit status 1), else how many were checked\n"
    "  hpi add ARCHIVE PATH FILE [--compression none|lz77|zlib]\n"
    "                                   add FILE as PATH, or replace the file at PATH,\n"
    "                                   and write the archive anew (default lz77); every\n"
    "                                   other file keeps its bytes and its path\n"
    "  hpi --help                       show this text\n"
    "Paths inside an archive join levels with '\\'. Entries whose path would leave\n"
    "DIR or run through a symbolic link in it are skipped on extraction. Exit\n"
    "status 0 on success, non-zero on failure.\n";

int BadUsage(const std::string& why) {
  std::cerr << "hpi: " << why << " (try 'hpi --help')\n";
  return 2;
}

// Splits the arguments after the command into positional ones and the value
// of --compression. Returns an empty text, or what is wrong.
std::string ReadCompressionOption(const std::vector<std::string>& args, std::vector<std::string>& positional,
                                  std::optional<hpi::Method>& method) {
  std::string compression;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--compression") {
      if (++i == args.size()) return "--compression needs a value";
      compression = args[i];
    } else if (args[i].rfind("--compression=", 0) == 0) {
      compression = args[i].substr(std::strlen("--compression="));
    } else if (args[i].rfind("--", 0) == 0) {
      return "unknown option " + args[i];
    } else {
      positional.push_back(args[i]);
    }
  }
  if (compression.empty()) method = std::nullopt;
  else if (compression == "none") method = hpi::Method::Stored;
  else if (compression == "lz77") method = hpi::Method::Lz77;
  else if (compression == "zlib") method = hpi::Method::Zlib;
  else return "unknown compression " + compression + " (none, lz77 or zlib)";
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return BadUsage("missing command");
  const std::string& cmd = args[0];
  // "--help" anywhere, as in "hpi add --help", shows the usage.
  if (cmd == "help" || std::find(args.begin(), args.end(), "--help") != args.end() ||
      std::find(args.begin(), args.end(), "-h") != args.end()) {
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
    std::optional<hpi::Method> method;
    const std::string wrong = ReadCompressionOption(args, positional, method);
    if (!wrong.empty()) return BadUsage(wrong);
    if (positional.size() != 2) return BadUsage("create takes an archive and a directory");
    return hpitool::Create(positional[0], positional[1], method.value_or(hpi::Method::Lz77), std::cerr);
  }
  if (cmd == "cat") {
    if (args.size() != 3) return BadUsage("cat takes an archive and a path inside it");
    return hpitool::Cat(args[1], args[2], std::cout, std::cerr);
  }
  if (cmd == "verify") {
    if (args.size() != 2) return BadUsage("verify takes one archive");
    return hpitool::Verify(args[1], std::cout, std::cerr);
  }
  if (cmd == "add") {
    std::vector<std::string> positional;
    std::optional<hpi::Method> method;
    const std::string wrong = ReadCompressionOption(args, positional, method);
    if (!wrong.empty()) return BadUsage(wrong);
    if (positional.size() != 3) return BadUsage("add takes an archive, a path inside it and a file");
    return hpitool::Add(positional[0], positional[1], positional[2], method, std::cerr);
  }
  return BadUsage("unknown command " + cmd);
}
