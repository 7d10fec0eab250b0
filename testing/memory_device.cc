#include "testing/memory_device.h"

#include <cstring>
#include <string>

namespace jukepak {

Result MemoryDevice::Open() {
  open_ = true;
  ++open_count_;
  return Result::Ok();
}

Result MemoryDevice::QuerySectorCount(uint32_t* count) {
  *count = sectors_;
  return Result::Ok();
}

Result MemoryDevice::Read(uint32_t sector, uint32_t count, uint8_t* out) {
  ++read_calls_;
  if (uint64_t(sector) + count > sectors_) {
    return Result::Error(ResultCode::kIoError, "read past the end at sector " + std::to_string(sector));
  }
  std::memcpy(out, bytes_.data() + size_t(sector) * 512, size_t(count) * 512);
  sectors_read_ += count;
  return Result::Ok();
}

Result MemoryDevice::Write(uint32_t sector, uint32_t count, const uint8_t* in) {
  ++write_calls_;
  if (uint64_t(sector) + count > sectors_) {
    return Result::Error(ResultCode::kIoError, "write past the end at sector " + std::to_string(sector));
  }
  std::memcpy(bytes_.data() + size_t(sector) * 512, in, size_t(count) * 512);
  sectors_written_ += count;
  return Result::Ok();
}

uint32_t MemoryDevice::ReadRemoteCode() {
  if (remote_codes_.empty()) return 0;
  const uint32_t code = remote_codes_.front();
  remote_codes_.pop_front();
  return code;
}

}  // namespace jukepak
