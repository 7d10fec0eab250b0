// SectorDevice: the one interface through which the engines reach a player's
// disk. The driver-module adapter, the in-memory device of the tests and the
// fault-injecting devices are siblings behind it.
//
// Not thread-safe: a device serves one caller at a time, as driver modules do.
#pragma once

#include <cstdint>

#include "base/result.h"

namespace jukepak {

class SectorDevice {
 public:
  virtual ~SectorDevice() = default;

  // Brings the device up. Must succeed before any other call but Close.
  virtual Result Open() = 0;
  // Returns the device to its idle state. Called once, last.
  virtual void Close() = 0;
  // The number of addressable sectors.
  virtual Result QuerySectorCount(uint32_t* count) = 0;
  // count * 512 bytes at `sector`. Count 0 transfers nothing and succeeds.
  virtual Result Read(uint32_t sector, uint32_t count, uint8_t* out) = 0;
  virtual Result Write(uint32_t sector, uint32_t count, const uint8_t* in) = 0;
  // The current remote-control code, 0 when none (16 bits).
  virtual uint32_t ReadRemoteCode() = 0;
};

// Forwards every call to another device: lends a device without handing it
// over, and is the base of devices that wrap another and override only what
// they change (the undo device, the test kit's fault and scripted devices).
// Does not own the target.
class ForwardingDevice : public SectorDevice {
 public:
  explicit ForwardingDevice(SectorDevice* target) : target_(target) {}
  Result Open() override { return target_->Open(); }
  void Close() override { target_->Close(); }
  Result QuerySectorCount(uint32_t* count) override { return target_->QuerySectorCount(count); }
  Result Read(uint32_t sector, uint32_t count, uint8_t* out) override {
    return target_->Read(sector, count, out);
  }
  Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override {
    return target_->Write(sector, count, in);
  }
  uint32_t ReadRemoteCode() override { return target_->ReadRemoteCode(); }

 protected:
  SectorDevice* target() { return target_; }

 private:
  SectorDevice* target_;
};

}  // namespace jukepak
