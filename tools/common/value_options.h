#pragma once
// Options of the command-line tools that take one value ("--name VALUE" or
// "--name=VALUE"; given twice, the last one counts), each with its own
// message for when the value is missing.
#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class ValueOptions {
 public:
  void Add(CLI::App& App, const std::string& Name, std::optional<std::string>& Value, std::string Missing) {
    App.add_option(Name, Value)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    Missing_.emplace_back(Name + ":", std::move(Missing));
  }

  // What to tell the user about a failed parse: the option's own message
  // when a value is missing, else the parser's.
  std::string Message(const CLI::ParseError& Error) const {
    const std::string what = Error.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&Error))
      for (const auto& [prefix, missing] : Missing_)
        if (what.rfind(prefix, 0) == 0) return missing;
    return what;
  }

 private:
  std::vector<std::pair<std::string, std::string>> Missing_;  // "--name:" -> message
};
