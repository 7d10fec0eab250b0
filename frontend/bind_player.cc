#include "frontend/bind_player.h"

#include <memory>

#include "driver/bind_module.h"

namespace frontend {

jukepak::Result BindPlayerModule(jukepak::PlayerVolume& volume, const std::string& path,
                                 const DeviceWrapper& wrap) {
  volume.UnbindDriver();
  std::unique_ptr<jukepak::DriverDevice> device;
  const jukepak::Result bound =
      jukepak::BindModule(path, jukepak::RequiredEntries::kDevice, &device);
  if (!bound.ok()) {
    volume.RefuseBinding(bound);
    return bound;
  }
  if (wrap) return volume.BindDevice(wrap(std::move(device)));
  return volume.BindDevice(std::move(device));
}

}  // namespace frontend
