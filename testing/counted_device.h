// CountedDevice: what every disk held in memory for tests shares: its size,
// whether it is open, reads and writes refused past its end, and counts of
// its transfers so tests can see what an operation did. Subclasses only say
// how sectors are stored.
#pragma once

#include <cstdint>

#include "format/sector_device.h"

namespace jukepak::testing {

class CountedDevice : public SectorDevice {
 public:
  explicit CountedDevice(uint32_t sectors) : sectors_(sectors) {}

  Result Open() override;
  void Close() override;
  Result QuerySectorCount(uint32_t* count) override;
  Result Read(uint32_t sector, uint32_t count, uint8_t* out) final;
  Result Write(uint32_t sector, uint32_t count, const uint8_t* in) final;

  uint32_t sectorCount() const { return sectors_; }
  bool isOpen() const { return open_; }
  int openCount() const { return open_count_; }
  int closeCount() const { return close_count_; }
  uint64_t readCalls() const { return read_calls_; }
  uint64_t sectorsRead() const { return sectors_read_; }
  uint64_t writeCalls() const { return write_calls_; }
  uint64_t sectorsWritten() const { return sectors_written_; }

 protected:
  // Called with sectors inside the disk only.
  virtual void ReadStored(uint32_t sector, uint32_t count, uint8_t* out) = 0;
  virtual void WriteStored(uint32_t sector, uint32_t count, const uint8_t* in) = 0;

 private:
  uint32_t sectors_;
  bool open_ = false;
  int open_count_ = 0;
  int close_count_ = 0;
  uint64_t read_calls_ = 0;
  uint64_t sectors_read_ = 0;
  uint64_t write_calls_ = 0;
  uint64_t sectors_written_ = 0;
};

}  // namespace jukepak::testing
