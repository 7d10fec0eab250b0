// The --help texts, made from the command table: the global help lists the
// global options and every command; a command's help shows its usage line,
// what it does, its own options and the global ones. Lines are wrapped to
// 80 columns.
#pragma once

#include <string>

namespace songlift::cli {

struct Command;

std::string GlobalHelp();
std::string CommandHelp(const Command& command);
// "Usage: songlift-cli [OPTION...] mv CD TRACK --to CD [--at POSITION]",
// or with no command the program's usage line. No newline.
std::string UsageLine(const Command* command);
// After a usage error: the usage line and where to read more, two lines.
std::string UsageHint(const Command* command);
// The one line of --version.
std::string VersionText();

}  // namespace songlift::cli
