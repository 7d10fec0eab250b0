// SparseDevice: a disk held in memory that stores only the sectors written
// to it (the others read as zeros), so tests and benchmarks can lay a volume
// over a drive of 2^28 sectors. Counts its transfers (counted_device.h).
#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>

#include "testing/counted_device.h"

namespace jukepak::testing {

class SparseDevice : public CountedDevice {
 public:
  using Sector = std::array<uint8_t, 512>;

  explicit SparseDevice(uint32_t sectors) : CountedDevice(sectors) {}

  uint32_t ReadRemoteCode() override { return 0; }

  // The stored bytes of one sector (zeros when never written).
  Sector Get(uint32_t sector) const;
  // A copy of the whole store, for comparing before and after.
  const std::unordered_map<uint32_t, Sector>& contents() const { return stored_; }

 protected:
  void ReadStored(uint32_t sector, uint32_t count, uint8_t* out) override;
  void WriteStored(uint32_t sector, uint32_t count, const uint8_t* in) override;

 private:
  std::unordered_map<uint32_t, Sector> stored_;
};

}  // namespace jukepak::testing
