// The commands of songlift-cli. Each runs with a context whose args() are the
// words after the command's name and returns the exit status.
#pragma once

#include <vector>

#include "cli/cli_context.h"

namespace songlift::cli {

struct Command {
  const char* name;
  const char* synopsis;  // shown by --help
  int (*run)(CliContext& context);
};

// Every command, in the order --help lists them.
const std::vector<Command>& Commands();

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

}  // namespace songlift::cli
