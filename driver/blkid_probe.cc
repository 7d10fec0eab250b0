#include "driver/blkid_probe.h"

#include <blkid/blkid.h>

#include <memory>

namespace jukepak {
namespace {

struct ProbeFree {
  void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};
using ProbeHandle = std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeFree>;

std::string Value(blkid_probe probe, const char* name) {
  const char* value = nullptr;
  if (blkid_probe_lookup_value(probe, name, &value, nullptr) != 0 || value == nullptr) return {};
  return value;
}

DiskSignature Found(blkid_probe probe) {
  DiskSignature found;
  const std::string table = Value(probe, "PTTYPE");
  if (!table.empty()) {
    found.kind = DiskSignature::Kind::kPartitionTable;
    found.type = table;
    return found;
  }
  const std::string type = Value(probe, "TYPE");
  if (type.empty()) return found;
  found.type = type;
  found.kind = Value(probe, "USAGE") == "filesystem" ? DiskSignature::Kind::kFileSystem
                                                     : DiskSignature::Kind::kOther;
  return found;
}

// A probe over the disk for partition tables and superblocks, reporting the
// given details of what it finds.
Result NewProbe(int fd, uint64_t size, int superblock_flags, int partition_flags,
                ProbeHandle* probe) {
  probe->reset(blkid_new_probe());
  if (*probe == nullptr) return Result::Error(ResultCode::kIoError, "cannot start the disk probe");
  if (blkid_probe_set_device(probe->get(), fd, 0, blkid_loff_t(size)) != 0) {
    return Result::Error(ResultCode::kIoError, "the disk probe cannot read the disk");
  }
  blkid_probe_enable_superblocks(probe->get(), 1);
  blkid_probe_set_superblocks_flags(probe->get(), superblock_flags);
  blkid_probe_enable_partitions(probe->get(), 1);
  blkid_probe_set_partitions_flags(probe->get(), partition_flags);
  return Result::Ok();
}

}  // namespace

Result BlkidProbe::Probe(int fd, uint64_t size, DiskSignature* found) const {
  *found = DiskSignature();
  ProbeHandle probe;
  const Result made = NewProbe(fd, size, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_USAGE, 0, &probe);
  if (!made.ok()) return made;
  switch (blkid_do_safeprobe(probe.get())) {
    case 0:
      *found = Found(probe.get());
      return Result::Ok();
    case 1:  // nothing found
      return Result::Ok();
    case -2:
      found->kind = DiskSignature::Kind::kAmbiguous;
      return Result::Ok();
    default:
      return Result::Error(ResultCode::kIoError, "the disk probe failed to read the disk");
  }
}

Result BlkidProbe::Wipe(int fd, uint64_t size) const {
  ProbeHandle probe;
  const Result made = NewProbe(fd, size, BLKID_SUBLKS_MAGIC, BLKID_PARTS_MAGIC, &probe);
  if (!made.ok()) return made;
  // Each wipe resets the probe, so the next round finds the next signature.
  while (blkid_do_probe(probe.get()) == 0) {
    if (blkid_do_wipe(probe.get(), 0) != 0) {
      return Result::Error(ResultCode::kIoError, "cannot erase the old signatures on the disk");
    }
  }
  return Result::Ok();
}

}  // namespace jukepak
