#include "volume/testing/fault_device.h"

#include <string>

namespace jukepak::testing {

Result FaultDevice::Read(uint32_t sector, uint32_t count, uint8_t* out) {
  if (plan_.ReadFails(sector, count)) {
    return Result::Error(ResultCode::kIoError,
                         "injected read failure at sector " + std::to_string(sector));
  }
  return ForwardingDevice::Read(sector, count, out);
}

Result FaultDevice::Write(uint32_t sector, uint32_t count, const uint8_t* in) {
  writes_.push_back({sector, count});
  const FaultPlan::WriteVerdict verdict = plan_.DecideWrite(sector, count);
  if (verdict.fails) {
    return Result::Error(ResultCode::kIoError,
                         "injected write failure at sector " + std::to_string(sector));
  }
  if (verdict.landing == 0) return Result::Ok();
  return ForwardingDevice::Write(sector, verdict.landing, in);
}

}  // namespace jukepak::testing
