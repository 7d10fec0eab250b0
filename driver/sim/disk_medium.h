// DiskMedium: the sectors behind the simulated disk. An image file in the
// module, memory in tests and the benchmark.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace jukepak::sim {

class DiskMedium {
 public:
  virtual ~DiskMedium() = default;
  virtual uint32_t sectorCount() const = 0;
  // One 512-byte sector; false when it cannot be transferred.
  virtual bool ReadSector(uint32_t sector, uint8_t* out) = 0;
  virtual bool WriteSector(uint32_t sector, const uint8_t* in) = 0;
};

// Zero-filled sectors in memory.
class MemoryMedium final : public DiskMedium {
 public:
  explicit MemoryMedium(uint32_t sectors) : bytes_(size_t(sectors) * 512, 0), sectors_(sectors) {}

  uint32_t sectorCount() const override { return sectors_; }
  bool ReadSector(uint32_t sector, uint8_t* out) override {
    if (sector >= sectors_) return false;
    std::memcpy(out, bytes_.data() + size_t(sector) * 512, 512);
    return true;
  }
  bool WriteSector(uint32_t sector, const uint8_t* in) override {
    if (sector >= sectors_) return false;
    std::memcpy(bytes_.data() + size_t(sector) * 512, in, 512);
    return true;
  }

  uint8_t* sector(uint32_t s) { return bytes_.data() + size_t(s) * 512; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t sectors_;
};

}  // namespace jukepak::sim
