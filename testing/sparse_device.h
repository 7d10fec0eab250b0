// SparseDevice: a disk held in memory that stores only the sectors written
// to it (the others read as zeros), so tests and benchmarks can lay a volume
// over a drive of 2^28 sectors. Counts its transfers.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>

#include "format/sector_device.h"

namespace jukepak::testing {

class SparseDevice : public SectorDevice {
 public:
  using Sector = std::array<uint8_t, 512>;

  explicit SparseDevice(uint32_t sectors) : sectors_(sectors) {}

  Result Open() override;
  void Close() override {
    open_ = false;
    ++close_count_;
  }
  Result QuerySectorCount(uint32_t* count) override;
  Result Read(uint32_t sector, uint32_t count, uint8_t* out) override;
  Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override;
  uint32_t ReadRemoteCode() override { return 0; }

  // The stored bytes of one sector (zeros when never written).
  Sector Get(uint32_t sector) const;
  // A copy of the whole store, for comparing before and after.
  const std::unordered_map<uint32_t, Sector>& contents() const { return stored_; }

  uint32_t sectorCount() const { return sectors_; }
  bool isOpen() const { return open_; }
  int openCount() const { return open_count_; }
  int closeCount() const { return close_count_; }
  uint64_t readCalls() const { return read_calls_; }
  uint64_t writeCalls() const { return write_calls_; }

 private:
  uint32_t sectors_;
  std::unordered_map<uint32_t, Sector> stored_;
  bool open_ = false;
  int open_count_ = 0;
  int close_count_ = 0;
  uint64_t read_calls_ = 0;
  uint64_t write_calls_ = 0;
};

}  // namespace jukepak::testing
