// DiskProbe: tells what a disk holds besides a player volume: a partition
// table, a file system or another known signature. BlkidProbe is the real one;
// tests feed a fake.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"

namespace jukepak {

struct DiskSignature {
  enum class Kind {
    kNothing,         // nothing recognised: a blank or unknown disk
    kPartitionTable,  // type names the table: "dos", "gpt"
    kFileSystem,      // type names it: "ext4", "vfat"
    kOther,           // another signature (RAID member, LUKS, swap, ...) named by type
    kAmbiguous,       // several signatures that contradict each other
  };
  Kind kind = Kind::kNothing;
  std::string type;

  // "an ext4 file system", "a gpt partition table", "a crypto_LUKS signature",
  // "several conflicting signatures"; empty for kNothing.
  std::string Describe() const;
};

class DiskProbe {
 public:
  virtual ~DiskProbe() = default;
  // Looks at the first `size` bytes of the disk open as `fd` (the descriptor
  // stays the caller's). On success *found says what the disk holds; fails
  // when it cannot be looked at, and *found is then left as kNothing.
  virtual Result Probe(int fd, uint64_t size, DiskSignature* found) const = 0;
  // Erases the magic bytes of every signature Probe would find, as wipefs(8)
  // does, so the system no longer takes the disk for what it held. `fd` must
  // be open for writing.
  virtual Result Wipe(int fd, uint64_t size) const = 0;
};

}  // namespace jukepak
