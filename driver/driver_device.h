// DriverDevice: a SectorDevice over a loaded driver module. Every result of
// the module is examined and turned into a Result that names the transfer.
#pragma once

#include <memory>

#include "driver/driver_module.h"
#include "format/sector_device.h"

namespace jukepak {

class DriverDevice : public SectorDevice {
 public:
  // Takes the module; it must have the six device entry points
  // (DriverModule::FirstMissingDeviceEntry() is empty).
  explicit DriverDevice(std::unique_ptr<DriverModule> module);
  ~DriverDevice() override;

  Result Open() override;
  void Close() override;
  Result QuerySectorCount(uint32_t* count) override;
  Result Read(uint32_t sector, uint32_t count, uint8_t* out) override;
  Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override;
  uint32_t ReadRemoteCode() override;

  const DriverModule& module() const { return *module_; }
  // What the module's Open returned last.
  int32_t lastOpenResult() const { return last_open_result_; }

 private:
  int32_t last_open_result_ = 0;
  std::unique_ptr<DriverModule> module_;
};

}  // namespace jukepak
