#include "testing/sparse_device.h"

#include <cstring>
#include <string>

namespace jukepak::testing {

Result SparseDevice::Open() {
  open_ = true;
  ++open_count_;
  return Result::Ok();
}

Result SparseDevice::QuerySectorCount(uint32_t* count) {
  *count = sectors_;
  return Result::Ok();
}

Result SparseDevice::Read(uint32_t sector, uint32_t count, uint8_t* out) {
  ++read_calls_;
  if (uint64_t(sector) + count > sectors_) {
    return Result::Error(ResultCode::kIoError, "read past the end at " + std::to_string(sector));
  }
  for (uint32_t i = 0; i < count; ++i) {
    const auto found = stored_.find(sector + i);
    if (found == stored_.end()) {
      std::memset(out + size_t(i) * 512, 0, 512);
    } else {
      std::memcpy(out + size_t(i) * 512, found->second.data(), 512);
    }
  }
  return Result::Ok();
}

Result SparseDevice::Write(uint32_t sector, uint32_t count, const uint8_t* in) {
  ++write_calls_;
  if (uint64_t(sector) + count > sectors_) {
    return Result::Error(ResultCode::kIoError, "write past the end at " + std::to_string(sector));
  }
  for (uint32_t i = 0; i < count; ++i) {
    std::memcpy(stored_[sector + i].data(), in + size_t(i) * 512, 512);
  }
  return Result::Ok();
}

SparseDevice::Sector SparseDevice::Get(uint32_t sector) const {
  const auto found = stored_.find(sector);
  if (found == stored_.end()) return Sector{};
  return found->second;
}

}  // namespace jukepak::testing
