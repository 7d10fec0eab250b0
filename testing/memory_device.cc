#include "testing/memory_device.h"

#include <cstring>

namespace jukepak {

void MemoryDevice::ReadStored(uint32_t sector, uint32_t count, uint8_t* out) {
  std::memcpy(out, bytes_.data() + size_t(sector) * 512, size_t(count) * 512);
}

void MemoryDevice::WriteStored(uint32_t sector, uint32_t count, const uint8_t* in) {
  std::memcpy(bytes_.data() + size_t(sector) * 512, in, size_t(count) * 512);
}

uint32_t MemoryDevice::ReadRemoteCode() {
  if (remote_codes_.empty()) return 0;
  const uint32_t code = remote_codes_.front();
  remote_codes_.pop_front();
  return code;
}

}  // namespace jukepak
