// ForeignDiskGuard: keeps the programs from writing over a disk that holds
// something other than a player volume, such as a USB disk of the user's
// plugged in where the player's disk was meant. Before the first write it
// looks at the disk once: a disk whose first sector begins with the player
// volume's signature ("MPFS"), or in which the probe recognises nothing, may be
// written; one holding a partition table, a file system or another known
// signature may not, unless the user has said so for that disk. Then, before
// the first write, the old signatures are erased, so that the system no
// longer mounts the player's disk as the file system it held.
//
// The user's word travels in the environment variable JUKEPAK_FORCE_DISK,
// which names the disk (any path to it: /dev/sdb, /dev/disk/by-id/...), so a
// front end can give it to the driver module it loaded, whose contract has no
// call for it. A variable left over in a shell cannot unlock another disk.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/result.h"
#include "driver/disk_probe.h"

namespace jukepak {

inline constexpr char kForceDiskVariable[] = "JUKEPAK_FORCE_DISK";

// Records that `path` may be written although it holds something else: sets
// JUKEPAK_FORCE_DISK for the modules of this process. Call it on the thread
// that starts the jobs, before starting the one that writes.
void AllowForeignDisk(const std::string& path);

class ForeignDiskGuard {
 public:
  // `path` names the disk in the refusal.
  ForeignDiskGuard(std::string path, std::unique_ptr<DiskProbe> probe);

  // Whether a write to the disk open as `fd` (`size` bytes, readable) may go
  // ahead. Ok for a player volume or an unrecognised disk, and when
  // JUKEPAK_FORCE_DISK names this disk; otherwise kRefused with the text
  // "<path> holds an ext4 file system; not touched" (a probe that fails
  // refuses too, since nothing is then known). The disk's content is looked at
  // on the first call only; the variable on every call, so that a front end
  // may set it after asking. Writes nothing.
  Result Check(int fd, uint64_t size);

  // Check, for a write about to be made through `fd` (open for writing):
  // the first time it passes only by the user's word, the disk's old
  // signatures are erased first (DiskProbe::Wipe).
  Result PermitWrite(int fd, uint64_t size);

 private:
  Result LookAtContent(int fd, uint64_t size) const;

  std::string path_;
  std::unique_ptr<DiskProbe> probe_;
  std::optional<Result> content_verdict_;
  bool wiped_ = false;
};

}  // namespace jukepak
