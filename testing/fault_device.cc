#include "testing/fault_device.h"

#include <string>

namespace jukepak::testing {
namespace {

Result Injected(const char* what) {
  return Result::Error(ResultCode::kIoError, std::string("injected ") + what + " failure");
}

Result InjectedAt(const char* what, uint32_t sector) {
  return Result::Error(ResultCode::kIoError, std::string("injected ") + what +
                                                 " failure at sector " + std::to_string(sector));
}

}  // namespace

Result FaultDevice::Open() {
  if (plan_.OpenFails()) return Injected("open");
  return ForwardingDevice::Open();
}

Result FaultDevice::QuerySectorCount(uint32_t* count) {
  if (plan_.SizeQueryFails()) return Injected("size query");
  return ForwardingDevice::QuerySectorCount(count);
}

Result FaultDevice::Read(uint32_t sector, uint32_t count, uint8_t* out) {
  if (plan_.ReadFails(sector, count)) return InjectedAt("read", sector);
  return ForwardingDevice::Read(sector, count, out);
}

Result FaultDevice::Write(uint32_t sector, uint32_t count, const uint8_t* in) {
  const WriteRecord write = plan_.DecideWrite(sector, count);
  if (write.failed) return InjectedAt("write", sector);
  if (write.landed == 0) return Result::Ok();
  const Result r = ForwardingDevice::Write(sector, write.landed, in);
  if (!r.ok()) plan_.NoteWriteRefused();
  return r;
}

}  // namespace jukepak::testing
