// hpi: lists, extracts, creates and checks the game's archives, and reads or
// replaces single files in them.
#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/hpi/hpi_tool_commands.h"
#include "tools/hpi/hpi_tool_file_commands.h"
#include "tools/common/plain_help.h"
#include "tools/common/shown_path.h"
#include "tools/common/guarded_main.h"
#include "tools/common/standard_output.h"
#include "tools/common/value_options.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  hpi list ARCHIVE                 one line per entry: d|f, TAB, size, TAB, path\n"
    "                                   (control bytes in a path shown as $'...')\n"
    "  hpi extract ARCHIVE DIR          recreate every directory and file below DIR\n"
    "  hpi create ARCHIVE DIR [--compression none|lz77|zlib]\n"
    "                                   pack every file below DIR (default lz77)\n"
    "  hpi cat ARCHIVE PATH             the file's bytes on standard output (PATH\n"
    "                                   matched ignoring case, an exact match preferred)\n"
    "  hpi verify ARCHIVE               read and check every file; one line per damaged\n"
    "                                   file (exit status 1), else how many were checked\n"
    "  hpi add ARCHIVE PATH FILE [--compression none|lz77|zlib]\n"
    "                                   add FILE as PATH, or replace the file at PATH,\n"
    "                                   and write the archive anew; every other file\n"
    "                                   keeps its bytes and its path (hpi add --help)\n"
    "  hpi --help                       show this text\n"
    "  hpi --version                    show the version\n"
    "Paths inside an archive join levels with '\\'. Entries whose path would leave\n"
    "DIR, run through a symbolic link in it or land on a file extracted before are\n"
    "skipped on extraction; the rest is extracted and the exit status is 1. Exit\n"
    "status 0 on success, 1 on failure, 2 for bad usage.\n";

const char kAddUsage[] =
    "Usage: hpi add ARCHIVE PATH FILE [--compression none|lz77|zlib]\n"
    "\n"
    "Adds FILE as PATH inside ARCHIVE, or replaces the file found at PATH (matched\n"
    "ignoring case, an exact spelling preferred), and writes the archive anew\n"
    "through a temporary file that takes its place only when all was written.\n"
    "Every other file keeps its bytes and its path.\n"
    "\n"
    "  --compression METHOD  none, lz77 or zlib: every file of the archive ends\n"
    "                        up packed with METHOD (files packed so already keep\n"
    "                        their packed bytes). Without it, every other\n"
    "                        file keeps its stored form, and FILE is packed as\n"
    "                        most of the archive's files are.\n"
    "  --help                show this text\n"
    "\n"
    "If any other file cannot be read, or two entries differ only in letter case,\n"
    "the archive is left unchanged. Exit status 0 on success, 1 on failure, 2 for\n"
    "bad usage.\n";

int BadUsage(const std::string& why) {
  std::cerr << "hpi: " << why << " (try 'hpi --help')\n";
  return 2;
}

// Empty text, or what is wrong with the value of --compression.
std::string ReadMethod(const std::optional<std::string>& Compression, std::optional<hpi::Method>& Method) {
  Method.reset();
  if (!Compression) return "";
  if (*Compression == "none") Method = hpi::Method::Stored;
  else if (*Compression == "lz77") Method = hpi::Method::Lz77;
  else if (*Compression == "zlib") Method = hpi::Method::Zlib;
  else if (Compression->empty()) return "--compression needs a value";
  else return "unknown compression " + *Compression + " (none, lz77 or zlib)";
  return "";
}

int Run(int argc, char** argv) {
  if (argc < 2) return BadUsage("missing command");
  const std::string name = argv[1];
  if (name == "help" || name == "--help" || name == "-h") {
    std::cout << kUsage;
    return 0;
  }
  if (name == "--version") {
    std::cout << VersionLine("hpi") << "\n";
    return 0;
  }
  const std::vector<std::string> commands = {"list", "extract", "create", "cat", "verify", "add"};
  if (std::find(commands.begin(), commands.end(), name) == commands.end())
    return BadUsage("unknown command " + name);

  // The command word is taken first, so that the words after it are only
  // ever its arguments, even one spelled like another command.
  CLI::App command("", "hpi " + name);
  command.formatter_fn([&name](const CLI::App*, std::string, CLI::AppFormatMode) {
    return std::string(name == "add" ? kAddUsage : kUsage);
  });
  std::vector<std::string> words;
  std::optional<std::string> compression;
  command.add_option("words", words);
  ValueOptions values;
  if (name == "create" || name == "add")
    values.Add(command, "--compression", compression, "--compression needs a value");
  try {
    command.parse(argc - 1, argv + 1);
  } catch (const CLI::CallForHelp&) {
    std::cout << command.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    return BadUsage(values.Message(e));
  }
  std::optional<hpi::Method> method;
  const std::string wrong = ReadMethod(compression, method);
  if (!wrong.empty()) return BadUsage(wrong);

  if (name == "list") {
    if (words.size() != 1) return BadUsage("list takes one archive");
    return hpitool::List(words[0], std::cout, std::cerr);
  }
  if (name == "extract") {
    if (words.size() != 2) return BadUsage("extract takes an archive and a directory");
    return hpitool::Extract(words[0], words[1], std::cerr);
  }
  if (name == "create") {
    if (words.size() != 2) return BadUsage("create takes an archive and a directory");
    return hpitool::Create(words[0], words[1], method.value_or(hpi::Method::Lz77), std::cerr);
  }
  if (name == "cat") {
    if (words.size() != 2) return BadUsage("cat takes an archive and a path inside it");
    return hpitool::Cat(words[0], words[1], std::cout, std::cerr);
  }
  if (name == "verify") {
    if (words.size() != 1) return BadUsage("verify takes one archive");
    return hpitool::Verify(words[0], std::cout, std::cerr);
  }
  if (words.size() != 3) return BadUsage("add takes an archive, a path inside it and a file");
  return hpitool::Add(words[0], words[1], words[2], method, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  const hpitool::ShownStream shownErrors(std::cerr);  // no escape code from an archive reaches the terminal
  return RunGuarded("hpi", [&] { return FinishStandardOutput(Run(argc, argv), "hpi"); });
}
