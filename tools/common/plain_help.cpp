#include "tools/common/plain_help.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

#ifndef KESTRAVA_VERSION
#define KESTRAVA_VERSION "0"
#endif

namespace {

constexpr size_t kWidth = 79;
constexpr size_t kDescriptionColumn = 20;

// Text wrapped at kWidth, each line after the first indented by Indent.
// Line breaks in Text are kept.
void AppendWrapped(std::string& Out, const std::string& Text, size_t Column, size_t Indent) {
  std::istringstream lines(Text);
  bool firstLine = true;
  for (std::string line; std::getline(lines, line);) {
    if (!firstLine) {
      Out += '\n';
      Out.append(Indent, ' ');
      Column = Indent;
    }
    firstLine = false;
    std::istringstream words(line);
    bool firstWord = true;
    for (std::string word; words >> word;) {
      if (!firstWord && Column + 1 + word.size() > kWidth) {
        Out += '\n';
        Out.append(Indent, ' ');
        Column = Indent;
      } else if (!firstWord) {
        Out += ' ';
        ++Column;
      }
      Out += word;
      Column += word.size();
      firstWord = false;
    }
  }
}

bool IsMany(const CLI::Option& Opt) { return Opt.get_items_expected_max() > 1; }

// "SOURCE..." for a positional, "--format FORMAT" or "--werror" for an option.
std::string Shown(const CLI::Option& Opt) {
  if (!Opt.nonpositional()) return Opt.get_name() + (IsMany(Opt) ? "..." : "");
  const std::string name = Opt.get_lnames().empty() ? "-" + Opt.get_snames().front()
                                                    : "--" + Opt.get_lnames().front();
  if (Opt.get_expected_max() == 0) return name;  // a flag
  std::string value = Opt.get_option_text();
  if (value.empty()) {
    value = name.substr(name.find_first_not_of('-'));
    std::transform(value.begin(), value.end(), value.begin(),
                   [](unsigned char c) { return c == '-' ? '_' : static_cast<char>(std::toupper(c)); });
  }
  return name + " " + value;
}

bool IsHelpOrVersion(const CLI::App& App, const CLI::Option* Opt) {
  return Opt == App.get_help_ptr() || Opt == App.get_version_ptr();
}

}  // namespace

std::string VersionLine(const std::string& Program) { return Program + " " + KESTRAVA_VERSION; }

std::string PlainHelp(const CLI::App& App) {
  const auto all = App.get_options([](const CLI::Option*) { return true; });
  // The usage line, wrapped below the program's name.
  std::string synopsis;
  for (const CLI::Option* opt : all)
    if (!opt->nonpositional()) synopsis += Shown(*opt) + " ";
  for (const CLI::Option* opt : all)
    if (opt->nonpositional() && !IsHelpOrVersion(App, opt)) {
      std::string shown = Shown(*opt);
      std::replace(shown.begin(), shown.end(), ' ', '\x01');  // kept on one line
      synopsis += "[" + shown + "] ";
    }
  std::string out = "Usage: " + App.get_name() + " ";
  const size_t indent = out.size();
  AppendWrapped(out, synopsis, indent, indent);
  std::replace(out.begin(), out.end(), '\x01', ' ');
  out += "\n";
  if (!App.get_description().empty()) {
    out += "\n";
    AppendWrapped(out, App.get_description(), 0, 0);
    out += "\n";
  }
  out += "\n";
  auto entry = [&out](const std::string& Left, const std::string& Description) {
    out += "  " + Left;
    size_t column = 2 + Left.size();
    if (column + 2 > kDescriptionColumn) {
      out += "\n";
      column = 0;
    }
    out.append(kDescriptionColumn - column, ' ');
    AppendWrapped(out, Description, kDescriptionColumn, kDescriptionColumn);
    out += "\n";
  };
  for (const CLI::Option* opt : all)
    if (!opt->nonpositional()) entry(Shown(*opt), opt->get_description());
  for (const CLI::Option* opt : all)
    if (opt->nonpositional() && !IsHelpOrVersion(App, opt)) entry(Shown(*opt), opt->get_description());
  entry("--help", "show this text");
  entry("--version", "show the version");
  if (!App.get_footer().empty()) {
    out += "\n";
    out += App.get_footer();
    if (out.back() != '\n') out += "\n";
  }
  return out;
}

void UsePlainHelp(CLI::App& App) {
  App.formatter_fn([](const CLI::App* app, std::string, CLI::AppFormatMode) { return PlainHelp(*app); });
  App.set_version_flag("--version", VersionLine(App.get_name()));
}
