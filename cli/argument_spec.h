// What a command line may hold: options, each a flag or one that takes a
// value, and how many positional words a command takes. The command table
// declares one ArgumentSpec beside each command; the global options are
// declared once (GlobalOptionSpecs). The parser, the usage checks and the
// help text are all made from these declarations.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

namespace songlift::cli {

struct OptionSpec {
  // Comma-separated names: one letter for "-n", longer ones for "--dry-run".
  // The longest name is the one commands look the option up by.
  const char* names;
  const char* description;  // for --help
  // The value's placeholder ("CD" for "--to CD"); null for a flag. An option
  // with a value may be given once.
  const char* valueName = nullptr;
  // The command cannot do without it (mv's --to); its absence is a usage
  // error with the command's countError.
  bool required = false;
};

inline constexpr size_t kAnyNumber = std::numeric_limits<size_t>::max();

struct ArgumentSpec {
  const char* synopsis = "";  // what follows the command's name: "CD [TRACK]"
  size_t minWords = 0;        // positional words
  size_t maxWords = 0;        // kAnyNumber for no limit
  // The usage message for a wrong number of words; empty makes one from the
  // synopsis ("info takes no arguments", "rm needs CD [TRACK]").
  const char* countError = "";
  std::vector<OptionSpec> options{};
};

// The name commands look an option up by: the longest of its names.
std::string LookupName(const OptionSpec& option);
// The names one by one: "n,dry-run" -> {"n", "dry-run"}.
std::vector<std::string> SplitNames(const OptionSpec& option);

}  // namespace songlift::cli
