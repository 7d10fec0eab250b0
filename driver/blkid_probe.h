// BlkidProbe: the DiskProbe that asks libblkid, the library behind blkid(8),
// lsblk and mount, so the player's programs recognise every partition table
// and file system the rest of the system does.
#pragma once

#include "driver/disk_probe.h"

namespace jukepak {

class BlkidProbe : public DiskProbe {
 public:
  // Probes for partition tables and for file system and other superblocks.
  // A partition table wins over a superblock that blkid also reports.
  Result Probe(int fd, uint64_t size, DiskSignature* found) const override;
  Result Wipe(int fd, uint64_t size) const override;
};

}  // namespace jukepak
