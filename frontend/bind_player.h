// Binding Songlift's engine to a driver module by path, as Songlift, the
// command-line tool and the tests that go through real modules do it.
#pragma once

#include <string>

#include "base/result.h"
#include "volume/player_volume.h"

namespace frontend {

// Unbinds `volume`, binds the module at `path` (refused before any call
// when it lacks one of the six device entry points, see BindModule) and
// hands its device to volume.BindDevice, which opens it. On failure the
// Result says why (kNotFound: the module does not load; kUnsupported: an
// entry point is missing; otherwise what Open failed with), deviceState is
// kNoDriver and volume.bindError() holds the same message.
jukepak::Result BindPlayerModule(jukepak::PlayerVolume& volume, const std::string& path);

}  // namespace frontend
