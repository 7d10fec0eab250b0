// MemoryDevice: a disk held in memory, for tests, fuzzers and benchmarks,
// with the transfer counts of every test disk (counted_device.h).
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "testing/counted_device.h"

namespace jukepak {

class MemoryDevice : public testing::CountedDevice {
 public:
  explicit MemoryDevice(uint32_t sectors)
      : CountedDevice(sectors), bytes_(size_t(sectors) * 512, 0) {}

  uint32_t ReadRemoteCode() override;

  // Codes handed out by ReadRemoteCode, oldest first; 0 when none waits.
  void PressRemoteButton(uint32_t code) { remote_codes_.push_back(code & 0xFFFF); }

  std::vector<uint8_t>& bytes() { return bytes_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  uint8_t* sector(uint32_t s) { return bytes_.data() + size_t(s) * 512; }

 protected:
  void ReadStored(uint32_t sector, uint32_t count, uint8_t* out) override;
  void WriteStored(uint32_t sector, uint32_t count, const uint8_t* in) override;

 private:
  std::vector<uint8_t> bytes_;
  std::deque<uint32_t> remote_codes_;
};

}  // namespace jukepak
