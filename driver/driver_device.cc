#include "driver/driver_device.h"

#include <string>

namespace jukepak {
namespace {

std::string Range(uint32_t sector, uint32_t count) {
  if (count == 1) return "sector " + std::to_string(sector);
  return "sectors " + std::to_string(sector) + "-" + std::to_string(uint64_t(sector) + count - 1);
}

}  // namespace

DriverDevice::DriverDevice(std::unique_ptr<DriverModule> module) : module_(std::move(module)) {}

DriverDevice::~DriverDevice() = default;

Result DriverDevice::Open() {
  const int32_t rc = module_->entries().Open();
  last_open_result_ = rc;
  if (rc != 0) {
    return Result::Error(ResultCode::kIoError,
                         "the driver could not open the player (result " + std::to_string(rc) + ")");
  }
  return Result::Ok();
}

void DriverDevice::Close() { module_->entries().Close(); }

Result DriverDevice::QuerySectorCount(uint32_t* count) {
  *count = 0;
  const int32_t rc = module_->entries().QueryNumSectors(count);
  if (rc != 0) {
    return Result::Error(ResultCode::kIoError, "the driver could not report the disk size");
  }
  return Result::Ok();
}

Result DriverDevice::Read(uint32_t sector, uint32_t count, uint8_t* out) {
  if (count == 0) return Result::Ok();
  if (module_->entries().ReadSectors(sector, count, out) != 0) {
    return Result::Error(ResultCode::kIoError, "reading " + Range(sector, count) + " failed");
  }
  return Result::Ok();
}

Result DriverDevice::Write(uint32_t sector, uint32_t count, const uint8_t* in) {
  if (count == 0) return Result::Ok();
  if (module_->entries().WriteSectors(sector, count, in) != 0) {
    return Result::Error(ResultCode::kIoError, "writing " + Range(sector, count) + " failed");
  }
  return Result::Ok();
}

uint32_t DriverDevice::ReadRemoteCode() {
  int32_t code = 0;
  module_->entries().ReadIR(&code);  // its own result says nothing; the code is what counts
  return uint32_t(code) & 0xFFFF;
}

}  // namespace jukepak
