#include "cli/commands.h"

namespace songlift::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"mkimage", "mkimage FILE SECTORS   create a zero-filled sparse image (no driver needed)",
       RunMkimage},
      {"init", "init                   initialize the player's volume (erases everything)", RunInit},
      {"info", "info                   show the volume's geometry, free space and CD count",
       RunInfo},
      {"ls", "ls                     list every CD with its tracks", RunLs},
      {"fsck", "fsck [-n|-y] [--reinit] check the volume in depth and repair it", RunFsck},
  };
  return commands;
}

}  // namespace songlift::cli
