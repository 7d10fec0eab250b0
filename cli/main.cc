// songlift-cli: Songlift's engines for terminals and scripts.

#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/help_text.h"

namespace songlift::cli {
namespace {

int Run(const std::vector<std::string>& arguments) {
  const CommandLine line = ReadCommandLine(arguments);
  switch (line.action) {
    case CommandLine::Action::kHelp: {
      const Command* command = line.invocation.command;
      std::fputs((command != nullptr ? CommandHelp(*command) : GlobalHelp()).c_str(), stdout);
      return kExitOk;
    }
    case CommandLine::Action::kVersion:
      std::fputs(VersionText().c_str(), stdout);
      return kExitOk;
    case CommandLine::Action::kUsageError: {
      CliOutput output(line.json);
      output.UsageError(line.error, UsageHint(line.invocation.command));
      return output.Finish(line.exitStatus);
    }
    case CommandLine::Action::kRun:
      break;
  }
  CliOutput output(line.json);
  int status = kExitFailed;
  {
    CliContext context(line.invocation, output);
    status = line.invocation.command->run(context);
  }  // the driver is closed before the document is written
  return output.Finish(status);
}

}  // namespace
}  // namespace songlift::cli

int main(int argc, char** argv) {
  // QtCore only: the settings store and the command-line parser need the
  // application object, and nothing here opens a window.
  QCoreApplication application(argc, argv);
  return songlift::cli::Run(std::vector<std::string>(argv, argv + argc));
}
