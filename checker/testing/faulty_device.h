// FaultyDevice: forwards to another device and breaks what a test asks for:
// the n-th write or read fails once or for good, Open or the size query
// fails, or the power goes after the k-th write (later writes are lost
// silently, as on a drive that lost power). Counts what it saw and injected.
#pragma once

#include <cstdint>

#include "format/sector_device.h"

namespace jukepak::checker::testing {

class FaultyDevice : public ForwardingDevice {
 public:
  explicit FaultyDevice(SectorDevice* target) : ForwardingDevice(target) {}

  // Write number `n` (counted from 1) fails; with `for_good` every later one too.
  void FailWrite(uint64_t n, bool for_good) {
    fail_write_ = n;
    write_for_good_ = for_good;
  }
  void FailRead(uint64_t n, bool for_good) {
    fail_read_ = n;
    read_for_good_ = for_good;
  }
  // Writes after the first `k` report success and change nothing.
  void CutPowerAfter(uint64_t k) { cut_after_ = k; }
  void FailOpen() { fail_open_ = true; }
  void FailSizeQuery() { fail_size_ = true; }

  Result Open() override;
  Result QuerySectorCount(uint32_t* count) override;
  Result Read(uint32_t sector, uint32_t count, uint8_t* out) override;
  Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override;

  uint64_t writes() const { return writes_; }
  uint64_t reads() const { return reads_; }
  uint64_t injected() const { return injected_; }

 private:
  uint64_t fail_write_ = 0;
  bool write_for_good_ = false;
  uint64_t fail_read_ = 0;
  bool read_for_good_ = false;
  uint64_t cut_after_ = UINT64_MAX;
  bool fail_open_ = false;
  bool fail_size_ = false;
  uint64_t writes_ = 0;
  uint64_t reads_ = 0;
  uint64_t injected_ = 0;
};

}  // namespace jukepak::checker::testing
