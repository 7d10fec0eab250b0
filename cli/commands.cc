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
      {"sync", "sync [--dry-run] PATH... add files and folders' MP3s and write them to the player",
       RunSync},
  };
  return commands;
}

}  // namespace songlift::cli
