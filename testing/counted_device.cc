#include "testing/counted_device.h"

#include <string>

namespace jukepak::testing {

Result CountedDevice::Open() {
  open_ = true;
  ++open_count_;
  return Result::Ok();
}

void CountedDevice::Close() {
  open_ = false;
  ++close_count_;
}

Result CountedDevice::QuerySectorCount(uint32_t* count) {
  *count = sectors_;
  return Result::Ok();
}

Result CountedDevice::Read(uint32_t sector, uint32_t count, uint8_t* out) {
  ++read_calls_;
  if (uint64_t(sector) + count > sectors_) {
    return Result::Error(ResultCode::kIoError, "read past the end at sector " + std::to_string(sector));
  }
  ReadStored(sector, count, out);
  sectors_read_ += count;
  return Result::Ok();
}

Result CountedDevice::Write(uint32_t sector, uint32_t count, const uint8_t* in) {
  ++write_calls_;
  if (uint64_t(sector) + count > sectors_) {
    return Result::Error(ResultCode::kIoError,
                         "write past the end at sector " + std::to_string(sector));
  }
  WriteStored(sector, count, in);
  sectors_written_ += count;
  return Result::Ok();
}

}  // namespace jukepak::testing
