// Binding a driver module by path: loading it, refusing it before any call
// when it lacks an entry point the caller needs, and wrapping it as a
// SectorDevice. The device is handed back closed; whoever takes it opens it
// (PlayerVolume::BindDevice, the checker's run).
#pragma once

#include <memory>
#include <string>

#include "base/result.h"
#include "driver/driver_device.h"

namespace jukepak {

// The entry points a caller needs before it calls any of them.
enum class RequiredEntries {
  kDevice,  // the six that moving sectors needs (DriverModule::FirstMissingDeviceEntry)
  kAll,     // all nine (DriverModule::FirstMissingEntry), as Volmend asks
};

// Loads the module at `path` and, when it has every `required` entry point,
// sets *device to a DriverDevice over it. On failure *device is empty, no
// entry point has been called, and the Result says why:
//   kNotFound     the file cannot be loaded (the message is dlerror's text,
//                 which names the file);
//   kUnsupported  an entry point is missing ("the driver module PATH lacks
//                 the entry point NAME"); *missing_entry, when given, gets NAME.
Result BindModule(const std::string& path, RequiredEntries required,
                  std::unique_ptr<DriverDevice>* device, std::string* missing_entry = nullptr);

}  // namespace jukepak
