#include "driver/bind_module.h"

namespace jukepak {

Result BindModule(const std::string& path, RequiredEntries required,
                  std::unique_ptr<DriverDevice>* device, std::string* missing_entry) {
  device->reset();
  if (missing_entry != nullptr) missing_entry->clear();
  std::unique_ptr<DriverModule> module;
  const Result loaded = DriverModule::Load(path, &module);
  if (!loaded.ok()) return loaded;
  const std::string missing = required == RequiredEntries::kAll
                                  ? module->FirstMissingEntry()
                                  : module->FirstMissingDeviceEntry();
  if (!missing.empty()) {
    if (missing_entry != nullptr) *missing_entry = missing;
    return Result::Error(ResultCode::kUnsupported,
                         "the driver module " + path + " lacks the entry point " + missing);
  }
  *device = std::make_unique<DriverDevice>(std::move(module));
  return Result::Ok();
}

}  // namespace jukepak
