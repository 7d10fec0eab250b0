// Invocation: what the command line asked for, once it has been read and
// checked against the command's ArgumentSpec: the command, its positional
// words and every option given, global or the command's own.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace songlift::cli {

struct Command;

struct Invocation {
  const Command* command = nullptr;
  std::vector<std::string> words;  // after the command's name, options taken out
  // By lookup name (see OptionSpec): one value per time the option was given,
  // empty for a flag.
  std::map<std::string, std::vector<std::string>> options;

  bool isSet(const std::string& name) const { return options.count(name) != 0; }
  // The option's value; empty when it was not given.
  std::string value(const std::string& name) const {
    const auto found = options.find(name);
    return found == options.end() || found->second.empty() ? std::string() : found->second.front();
  }
};

}  // namespace songlift::cli
