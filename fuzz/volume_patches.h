// Fuzz input as damage to a valid volume: the input is a list of patches,
// each 4 bytes: a 24-bit byte offset into the first part of the disk
// (little-endian) and the byte to store there. Starting from a freshly
// initialized volume with a few CDs keeps the fuzzer inside the structures
// that matter (header, FAT, CD and track records) instead of in zeros.
#pragma once

#include <cstddef>
#include <cstdint>

#include "testing/memory_device.h"

namespace jukepak::fuzzing {

inline constexpr uint32_t kFuzzDiskSectors = 1024;

// A valid volume of kFuzzDiskSectors with three CDs of a few tracks.
const MemoryDevice& PristineVolume();

// Applies the patches in `data` to `disk`.
void ApplyPatches(const uint8_t* data, size_t size, MemoryDevice* disk);

}  // namespace jukepak::fuzzing
