// The jobs of the transfer worker, in the order of its events' priority.
// kTask: a reading job of the front end's own (PlayerVolume::SignalTask).
#pragma once

#include <cstddef>

namespace jukepak {

enum class Job : int { kSync = 0, kMount = 1, kInit = 2, kTask = 3 };
inline constexpr size_t kJobKinds = 4;

}  // namespace jukepak
