// hpi: lists, extracts, creates and checks the game's archives, and reads or
// replaces single files in them.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "hpi_tool_commands.h"
#include "hpi_tool_file_commands.h"
#include "standard_output.h"
#include "value_options.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  hpi list ARCHIVE                 one line per entry: d|f, TAB, size, TAB, path\n"
    "                                   (a path holding control bytes is shown as $'...')\n"
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
    "Paths inside an archive join levels with '\\'. Entries whose path would leave\n"
    "DIR or run through a symbolic link in it are skipped on extraction. Exit\n"
    "status 0 on success, 1 on failure, 2 for bad usage.\n";

const char kAddUsage[] =
    "Usage: hpi add ARCHIVE PATH FILE [--compression none|lz77|zlib]\n"
    "\n"
    "Adds FILE as PATH inside ARCHIVE, or replaces the file found at PATH (matched\n"
    "ignoring case, an exact spelling preferred), and writes the archive anew\n"
    "through a temporary file that takes its place only when all was written.\n"
    "Every other file keeps its bytes and its path.\n"
    "\n"
    "  --compression METHOD  none, lz77 or zlib: every file of the archive is\n"
    "                        packed anew with METHOD. Without it, every other\n"
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

// The command's words, and --compression where the command takes it.
struct Command {
  CLI::App* app = nullptr;
  std::vector<std::string> words;
  std::optional<std::string> compression;
};

void AddCommand(CLI::App& Tool, Command& C, const std::string& Name, ValueOptions* Compression = nullptr) {
  C.app = Tool.add_subcommand(Name);
  C.app->add_option("words", C.words);
  if (Compression) Compression->Add(*C.app, "--compression", C.compression, "--compression needs a value");
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
  CLI::App tool("Lists, extracts, creates and checks archives", "hpi");
  // Every --help shows this program's own text; add has one of its own.
  tool.formatter_fn([](const CLI::App* App, std::string, CLI::AppFormatMode) {
    return std::string(App->get_name() == "add" ? kAddUsage : kUsage);
  });
  std::vector<std::string> unknown;
  tool.add_option("command", unknown);
  ValueOptions values;
  Command list, extract, create, cat, verify, add, help;
  AddCommand(tool, list, "list");
  AddCommand(tool, extract, "extract");
  AddCommand(tool, create, "create", &values);
  AddCommand(tool, cat, "cat");
  AddCommand(tool, verify, "verify");
  AddCommand(tool, add, "add", &values);
  AddCommand(tool, help, "help");
  try {
    tool.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << tool.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    return BadUsage(values.Message(e));
  }
  if (!unknown.empty()) return BadUsage("unknown command " + unknown.front());
  if (*help.app) {
    std::cout << kUsage;
    return 0;
  }
  if (*list.app) {
    if (list.words.size() != 1) return BadUsage("list takes one archive");
    return hpitool::List(list.words[0], std::cout, std::cerr);
  }
  if (*extract.app) {
    if (extract.words.size() != 2) return BadUsage("extract takes an archive and a directory");
    return hpitool::Extract(extract.words[0], extract.words[1], std::cerr);
  }
  std::optional<hpi::Method> method;
  if (*create.app) {
    const std::string wrong = ReadMethod(create.compression, method);
    if (!wrong.empty()) return BadUsage(wrong);
    if (create.words.size() != 2) return BadUsage("create takes an archive and a directory");
    return hpitool::Create(create.words[0], create.words[1], method.value_or(hpi::Method::Lz77), std::cerr);
  }
  if (*cat.app) {
    if (cat.words.size() != 2) return BadUsage("cat takes an archive and a path inside it");
    return hpitool::Cat(cat.words[0], cat.words[1], std::cout, std::cerr);
  }
  if (*verify.app) {
    if (verify.words.size() != 1) return BadUsage("verify takes one archive");
    return hpitool::Verify(verify.words[0], std::cout, std::cerr);
  }
  if (*add.app) {
    const std::string wrong = ReadMethod(add.compression, method);
    if (!wrong.empty()) return BadUsage(wrong);
    if (add.words.size() != 3) return BadUsage("add takes an archive, a path inside it and a file");
    return hpitool::Add(add.words[0], add.words[1], add.words[2], method, std::cerr);
  }
  return BadUsage("missing command");
}

}  // namespace

int main(int argc, char** argv) { return FinishStandardOutput(Run(argc, argv), "hpi"); }
