#include "testing/sparse_device.h"

#include <cstring>

namespace jukepak::testing {

void SparseDevice::ReadStored(uint32_t sector, uint32_t count, uint8_t* out) {
  for (uint32_t i = 0; i < count; ++i) {
    const auto found = stored_.find(sector + i);
    if (found == stored_.end()) {
      std::memset(out + size_t(i) * 512, 0, 512);
    } else {
      std::memcpy(out + size_t(i) * 512, found->second.data(), 512);
    }
  }
}

void SparseDevice::WriteStored(uint32_t sector, uint32_t count, const uint8_t* in) {
  for (uint32_t i = 0; i < count; ++i) {
    std::memcpy(stored_[sector + i].data(), in + size_t(i) * 512, 512);
  }
}

SparseDevice::Sector SparseDevice::Get(uint32_t sector) const {
  const auto found = stored_.find(sector);
  if (found == stored_.end()) return Sector{};
  return found->second;
}

}  // namespace jukepak::testing
