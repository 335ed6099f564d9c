#pragma once
// The help and version texts of the tools that read their command line with
// CLI11, in the plain style of `hpi --help`: a usage line, the description,
// one line per argument and option with its own words, then the footer.
// CLI11's own layout (TEXT ... REQUIRED, TEXT:{a,b}) is not used.
#include <CLI/CLI.hpp>
#include <string>

// "NAME VERSION", what every program prints for --version.
std::string VersionLine(const std::string& Program);

// The help text of App in the plain style. An option's value is shown by its
// option_text() when it has one ("text|json|sarif"), else by its long name in
// capitals (--ignore -> IGNORE).
std::string PlainHelp(const CLI::App& App);

// Makes App print PlainHelp for --help and VersionLine for --version.
void UsePlainHelp(CLI::App& App);
