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
      {"remote", "remote [FUNCTION CODE] show the remote-control codes, or teach one",
       RunRemote},
      {"drivers", "drivers                list the driver modules Songlift can use", RunDrivers},
      {"rm", "rm CD [TRACK]          delete a track, or a CD with all its tracks", RunRm},
      {"mv", "mv CD TRACK --to CD [--at POSITION]\n"
             "                         move a track within its CD or to another (default: last)",
       RunMv},
      {"rename", "rename CD [TRACK] [--artist A] [--title T]\n"
                 "                         rename a track, or a CD (--title is its album)",
       RunRename},
      {"check", "check                  count the FAT's linkage errors (exit 1 when any)", RunCheck},
      {"export", "export CD TRACK FILE   copy a track off the player into a new MP3 file",
       RunExport},
      {"fsck", "fsck [-n|-y] [--reinit] check the volume in depth and repair it", RunFsck},
  };
  return commands;
}

}  // namespace songlift::cli
