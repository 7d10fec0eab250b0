#include "frontend/bind_player.h"

#include <memory>

#include "driver/bind_module.h"

namespace jukepak {

Result BindPlayerModule(PlayerVolume& volume, const std::string& path) {
  volume.UnbindDriver();
  std::unique_ptr<DriverDevice> device;
  const Result bound = BindModule(path, RequiredEntries::kDevice, &device);
  if (!bound.ok()) {
    volume.RefuseBinding(bound);
    return bound;
  }
  return volume.BindDevice(std::move(device));
}

}  // namespace jukepak
