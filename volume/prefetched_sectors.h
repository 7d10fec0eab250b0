// PrefetchedSectors: a device in front of another that answers reads lying
// wholly inside one range of sectors from a copy read ahead, and forwards
// every other call. The mount reads the CD run once through it, so the
// header check and the mount's own reading of the CD records cost one
// transfer between them (over the parallel port each sector costs thousands
// of port operations).
//
// The copy is not kept in step with writes: use it only while nothing is
// written, and drop it afterwards.
#pragma once

#include <cstdint>
#include <vector>

#include "format/sector_device.h"

namespace jukepak {

class PrefetchedSectors : public ForwardingDevice {
 public:
  // Does not own `target`.
  explicit PrefetchedSectors(SectorDevice* target) : ForwardingDevice(target) {}

  // Reads [first, first + count) from the device behind and keeps it,
  // replacing what was kept. On a failed read nothing is kept (reads then
  // all go to the device) and the failure is returned.
  Result Prefetch(uint32_t first, uint32_t count);

  Result Read(uint32_t sector, uint32_t count, uint8_t* out) override;

 private:
  uint32_t first_ = 0;
  uint32_t count_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace jukepak
