// FaultDevice: a SectorDevice that breaks the device behind it as its
// FaultPlan says, for tests of what the engines do when the disk fails or
// the power goes: failed opens, size queries, reads and writes, power cuts
// with torn writes. The plan keeps the log of every write call.
#pragma once

#include <cstdint>
#include <utility>

#include "format/sector_device.h"
#include "testing/fault_plan.h"

namespace jukepak::testing {

class FaultDevice : public ForwardingDevice {
 public:
  // Does not own `target`.
  explicit FaultDevice(SectorDevice* target, FaultPlan plan = FaultPlan())
      : ForwardingDevice(target), plan_(std::move(plan)) {}

  // Set the faults here, also between calls.
  FaultPlan& plan() { return plan_; }
  const FaultPlan& plan() const { return plan_; }

  Result Open() override;
  Result QuerySectorCount(uint32_t* count) override;
  Result Read(uint32_t sector, uint32_t count, uint8_t* out) override;
  // A write the plan fails writes nothing; one past a power cut reports
  // success and writes only the sectors that landed.
  Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override;

 private:
  FaultPlan plan_;
};

}  // namespace jukepak::testing
