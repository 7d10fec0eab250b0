// MemoryDevice: a disk held in memory, for tests, fuzzers and benchmarks.
// Counts its transfers so tests can see what an operation wrote.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "format/sector_device.h"

namespace jukepak {

class MemoryDevice : public SectorDevice {
 public:
  explicit MemoryDevice(uint32_t sectors) : bytes_(size_t(sectors) * 512, 0), sectors_(sectors) {}

  Result Open() override;
  void Close() override { open_ = false; }
  Result QuerySectorCount(uint32_t* count) override;
  Result Read(uint32_t sector, uint32_t count, uint8_t* out) override;
  Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override;
  uint32_t ReadRemoteCode() override;

  // Codes handed out by ReadRemoteCode, oldest first; 0 when none waits.
  void PressRemoteButton(uint32_t code) { remote_codes_.push_back(code & 0xFFFF); }

  std::vector<uint8_t>& bytes() { return bytes_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  uint8_t* sector(uint32_t s) { return bytes_.data() + size_t(s) * 512; }
  uint32_t sectorCount() const { return sectors_; }

  bool isOpen() const { return open_; }
  int openCount() const { return open_count_; }
  uint64_t readCalls() const { return read_calls_; }
  uint64_t sectorsRead() const { return sectors_read_; }
  uint64_t writeCalls() const { return write_calls_; }
  uint64_t sectorsWritten() const { return sectors_written_; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t sectors_;
  std::deque<uint32_t> remote_codes_;
  bool open_ = false;
  int open_count_ = 0;
  uint64_t read_calls_ = 0;
  uint64_t sectors_read_ = 0;
  uint64_t write_calls_ = 0;
  uint64_t sectors_written_ = 0;
};

}  // namespace jukepak
