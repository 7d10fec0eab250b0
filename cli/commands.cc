#include "cli/commands.h"

#include "cli/fsck_exit_status.h"

namespace songlift::cli {

const std::vector<OptionSpec>& GlobalOptionSpecs() {
  static const std::vector<OptionSpec> options = {
      {"image",
       "use the disk image FILE (through diskimage.dld unless --driver names another module)",
       "FILE"},
      {"driver",
       "use the driver module MODULE (a path, or a file name looked for in the working "
       "directory, beside the program and in the installed driver folder); without --image "
       "or --driver, the driver chosen in Songlift",
       "MODULE"},
      {"json", "print the result as one JSON document on standard output, also on failure"},
      {"y,yes", "answer yes to every confirmation"},
      {"force",
       "write to the --image disk even though it holds a partition table or a file system "
       "(destroys them)"},
      {"h,help", "show this help, or after a command the command's own"},
      {"version", "show the version"},
  };
  return options;
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"mkimage",
       "create a zero-filled sparse image (no driver needed)",
       "Creates FILE, a zero-filled sparse image of SECTORS 512-byte sectors, for the disk-image "
       "and simulated-port drivers. An existing file is never overwritten.",
       {"FILE SECTORS", 2, 2, "mkimage needs FILE and SECTORS"},
       RunMkimage},
      {"init",
       "initialize the player's volume (erases everything)",
       "Lays a new, empty volume over the whole drive. Asks first; without a terminal only "
       "--yes confirms. --undo keeps an undo file of every sector it overwrites, which "
       "'songlift-cli undo FILE' puts back.",
       {"[--undo FILE]",
        0,
        0,
        "init takes no arguments besides its options",
        {{"undo", "keep an undo file of every sector overwritten", "FILE"}}},
       RunInit},
      {"info",
       "show the volume's geometry, free space and CD count",
       "Shows the volume header's geometry, the drive's size in sectors, the free space and "
       "the number of CDs.",
       {},
       RunInfo},
      {"ls",
       "list every CD with its tracks",
       "Lists every CD with its tracks in the order of the player's directory, numbered from 1 "
       "as the other commands take them.",
       {},
       RunLs},
      {"sync",
       "add files, folders and playlists and write them to the player",
       "Adds the files, the audio files in the folders and the songs of playlists to the "
       "pending list as a drop on Songlift's window does, checks that they fit, and writes "
       "them to the player. MP3 files go as they are; songs in other formats are converted "
       "to MP3. A file that is not audio is named on standard error and left out. A song "
       "already on the player is not written again. On a "
       "terminal a progress line shows CDs, tracks, clusters and the rate; Ctrl-C stops after "
       "the cluster in hand. Exit status 0 only when every song was added and written (or "
       "was on the player already).",
       {"[--dry-run] [-r] [--bitrate KBPS] [--allow-duplicates] PATH...",
        1,
        kAnyNumber,
        "sync needs at least one file or folder",
        {{"n,dry-run", "show what would be written and write nothing"},
         {"r,recursive", "take the audio files of the folders' sub-folders too"},
         {"bitrate",
          "kbit/s of the MP3s made from songs in other formats: 128, 160, 192 (the default), "
          "224, 256 or 320",
          "KBPS"},
         {"allow-duplicates", "write songs that are already on the player once more"}}},
       RunSync},
      {"remote",
       "show the remote-control codes, or teach one",
       "Without arguments, shows the sixteen functions with their codes (a group number marks "
       "functions that share a code). With FUNCTION (1 to 16, or a name as listed) and CODE "
       "(1 to 65535, decimal or 0x hexadecimal), teaches that function the code.",
       {"[FUNCTION CODE]", 0, 2, "remote takes FUNCTION and CODE, or nothing"},
       RunRemote},
      {"drivers",
       "list the driver modules Songlift can use",
       "Lists the driver modules Songlift's Driver dialog offers; the one in use is marked "
       "with '*'.",
       {},
       RunDrivers},
      {"rm",
       "delete a track, or a CD with all its tracks",
       "Deletes track TRACK of CD CD, or the whole CD track by track as the window does (a CD "
       "goes with its last track). Asks first unless --yes.",
       {"CD [TRACK]", 1, 2, "rm needs CD and, for a track, TRACK"},
       RunRm},
      {"mv",
       "move a track within its CD or to another",
       "Moves track TRACK of CD CD to the CD given by --to, where it stands at POSITION "
       "afterwards (from 1; last by default). Within one CD this is dragging the track onto "
       "the track now at POSITION.",
       {"CD TRACK --to CD [--at POSITION]",
        2,
        2,
        "mv needs CD TRACK --to CD [--at POSITION]",
        {{"to", "the CD the track goes to", "CD", true},
         {"at", "where the track stands in it afterwards (default: last)", "POSITION"}}},
       RunMv},
      {"rename",
       "rename a track, or a CD (--title is its album)",
       "Gives track TRACK of CD CD, or the CD itself, a new artist, title (a CD's album) or "
       "both. What is not given stays.",
       {"CD [TRACK] [--artist A] [--title T]",
        1,
        2,
        "rename needs CD [TRACK] and --artist A, --title T or both",
        {{"artist", "the new artist", "A"}, {"title", "the new title (a CD's album)", "T"}}},
       RunRename},
      {"check",
       "count the FAT's linkage errors (exit 1 when any)",
       "Counts the linkage errors of the mounted volume's FAT. Exit status 0 when there are "
       "none, 1 when there are (or the volume could not be read).",
       {},
       RunCheck},
      {"export",
       "copy a track off the player into a new MP3 file",
       "Copies track TRACK of CD CD into the new file FILE: its audio bytes and an ID3v1 tag "
       "made from the track and CD records. An existing file is never overwritten.",
       {"CD TRACK FILE", 3, 3, "export needs CD TRACK FILE"},
       RunExport},
      {"backup",
       "copy every track off the player into a folder, with a manifest for restore",
       "Copies every track into DIR as \"<CD artist>/<album>/<NN> <title>.mp3\" (tagged as "
       "export tags it) and writes DIR/songlift-backup.json, the player's directory exactly. "
       "A second backup into DIR copies only what is new or changed; a file changed in DIR is "
       "reported and left as it is. Files are written under a temporary name and renamed into "
       "place. On a terminal a progress line shows the track; Ctrl-C stops within the track in "
       "hand and the manifest describes what is there.",
       {"DIR", 1, 1, "backup needs DIR"},
       RunBackup},
      {"restore",
       "write the CDs of a backup folder onto the player",
       "Writes the CDs of the backup in DIR onto the player through the sync: the same CDs in "
       "the same order, the same texts, the same tracks with the same audio bytes. Tracks the "
       "player holds already are passed over; each file is checked against the manifest "
       "first. Exit status 0 only when every track of the backup is on the player.",
       {"DIR", 1, 1, "restore needs DIR"},
       RunRestore},
      {"fsck",
       "check the volume in depth and repair it",
       "Checks the volume in depth as Volmend does and prints its report. -n checks only; -y "
       "(or --yes) repairs without asking; with neither it asks on a terminal. --reinit allows "
       "a fresh, empty volume over a header beyond repair, after its own confirmation. --undo "
       "keeps an undo file of every sector the repair overwrites ('songlift-cli undo FILE' puts "
       "them back). With --json every problem comes with its code and name (see "
       "checker/README.md). Exit status as e2fsck's: 0 nothing found, 1 repaired, 4 left, 8 "
       "operational error, 16 usage error, 32 cancelled by Ctrl-C.",
       {"[-n | -y] [--reinit] [--undo FILE]",
        0,
        0,
        "fsck takes no arguments besides its options",
        {{"n", "check only; write nothing"},
         {"reinit", "allow writing a fresh, empty volume over a header beyond repair"},
         {"undo", "keep an undo file of every sector the repair overwrites", "FILE"}}},
       RunFsck,
       kFsckUsage},
      {"undo",
       "put back what an undo file saved",
       "Puts back the old content of every sector that the operation which kept FILE (fsck "
       "--undo, init --undo, or a window's \"Keep an undo file\") overwrote. Refuses when the "
       "volume no longer holds what that operation left, or is another drive, unless --force "
       "(which also writes to a disk that holds something else). "
       "A power cut during the undo leaves the file as it was: run it again.",
       {"FILE [--force]", 1, 1, "undo needs the undo FILE"},
       RunUndo},
  };
  return commands;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : Commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

}  // namespace songlift::cli
