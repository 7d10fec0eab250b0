// The commands of songlift-cli. Each runs with a context whose args() are its
// positional words and whose flag()/value() are its options, already checked
// against the command's ArgumentSpec, and returns the exit status.
//
// Adding a command or an option is a matter of its entry in the table
// (commands.cc): the parser, the usage errors and --help follow from it.
#pragma once

#include <vector>

#include "cli/cli_context.h"
#include "cli/argument_spec.h"

namespace songlift::cli {

struct Command {
  const char* name;
  const char* summary;  // one line for the global --help
  const char* details;  // the command's own --help, after its usage line
  ArgumentSpec arguments;
  int (*run)(CliContext& context);
  int usageStatus = kExitUsage;  // the exit status of a usage error
};

// Every command, in the order --help lists them.
const std::vector<Command>& Commands();
// The command named `name`; null when there is none.
const Command* FindCommand(const std::string& name);
// The options every command takes, before or after its name.
const std::vector<OptionSpec>& GlobalOptionSpecs();

int RunMkimage(CliContext& context);
int RunInit(CliContext& context);
int RunInfo(CliContext& context);
int RunLs(CliContext& context);
int RunRemote(CliContext& context);
int RunDrivers(CliContext& context);
int RunRm(CliContext& context);
int RunMv(CliContext& context);
int RunRename(CliContext& context);
int RunCheck(CliContext& context);
int RunExport(CliContext& context);
int RunSync(CliContext& context);
int RunFsck(CliContext& context);
int RunUndo(CliContext& context);
int RunBackup(CliContext& context);
int RunRestore(CliContext& context);

}  // namespace songlift::cli
