// FaultDevice: a SectorDevice that breaks the device behind it on purpose,
// for tests of what the engines do when the disk fails or the power goes.
// What fails is decided by its FaultPlan (power cut after the k-th sector
// with torn writes, failures at sectors or from the n-th call); the device
// also keeps a record of every write call as it was issued.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/faultdisk/fault_plan.h"
#include "format/sector_device.h"

namespace jukepak::testing {

class FaultDevice : public ForwardingDevice {
 public:
  struct WriteCall {
    uint32_t sector;
    uint32_t count;
  };

  // Does not own `target`.
  explicit FaultDevice(SectorDevice* target) : ForwardingDevice(target) {}

  // See FaultPlan.
  void CutPowerAfterSectors(uint64_t sectors) { plan_.CutPowerAfterSectors(sectors); }
  bool powerCut() const { return plan_.powerCut(); }
  void FailReadsAt(uint32_t sector, bool once = false) { plan_.FailReadsAt(sector, once); }
  void FailWritesAt(uint32_t sector, bool once = false) { plan_.FailWritesAt(sector, once); }
  void FailReadCallsFrom(uint64_t n, bool once = false) { plan_.FailReadCallsFrom(n, once); }
  void FailWriteCallsFrom(uint64_t n, bool once = false) { plan_.FailWriteCallsFrom(n, once); }

  Result Read(uint32_t sector, uint32_t count, uint8_t* out) override;
  Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override;

  const std::vector<WriteCall>& writes() const { return writes_; }
  uint64_t sectorsWritten() const { return plan_.sectorsWritten(); }
  uint64_t injectedFailures() const { return plan_.injectedFailures(); }

 private:
  FaultPlan plan_;
  std::vector<WriteCall> writes_;
};

}  // namespace jukepak::testing
