// Binding Songlift's engine to a driver module by path, as Songlift, the
// command-line tool and the tests that go through real modules do it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/result.h"
#include "volume/player_volume.h"

namespace frontend {

// Unbinds `volume`, binds the module at `path` (refused before any call
// when it lacks one of the six device entry points, see BindModule) and
// hands its device to volume.BindDevice, which opens it. On failure the
// Result says why (kNotFound: the module does not load; kUnsupported: an
// entry point is missing; otherwise what Open failed with), deviceState is
// kNoDriver and volume.bindError() holds the same message. `wrap`, when
// given, puts a device of the caller's around the module's before the
// volume gets it (Songlift's undo files).
using DeviceWrapper =
    std::function<std::unique_ptr<jukepak::SectorDevice>(std::unique_ptr<jukepak::SectorDevice>)>;
jukepak::Result BindPlayerModule(jukepak::PlayerVolume& volume, const std::string& path,
                                 const DeviceWrapper& wrap = {});

}  // namespace frontend
