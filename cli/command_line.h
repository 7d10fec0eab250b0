// Reading songlift-cli's command line with QCommandLineParser. Options may
// stand before or after the command's name; "--" ends them. The command's
// name is the first word that is neither an option nor a global option's
// value; the parser then knows the global options and that command's own.
#pragma once

#include <string>
#include <vector>

#include "cli/invocation.h"

namespace songlift::cli {

struct CommandLine {
  enum class Action {
    kRun,         // run invocation.command
    kHelp,        // show the help of invocation.command, or the global help when null
    kVersion,     // show the version
    kUsageError,  // say `error`, exit with `exitStatus`
  };
  Action action = Action::kUsageError;
  Invocation invocation;
  std::string error;
  int exitStatus = 0;
  // --json was given; known even when the rest could not be read, so that a
  // usage error is reported as JSON too.
  bool json = false;
};

// Reads `arguments`, argv as given (the program's name first). Words and
// values come back byte for byte: a file name need not be valid UTF-8.
CommandLine ReadCommandLine(const std::vector<std::string>& arguments);

}  // namespace songlift::cli
