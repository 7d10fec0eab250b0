// Volumes filled through Songlift's own engine, for tests that need what the
// engine itself writes: its initialization, its sync of song files, and the
// mount that reads a volume back. Volumes laid out from the format alone
// come from testing/volume_builder.h.
//
// The helpers that take a device bind a volume of their own to it through a
// ForwardingDevice, so the device stays with the caller.
#pragma once

#include <string>
#include <vector>

#include "base/result.h"
#include "format/sector_device.h"
#include "testing/memory_device.h"
#include "volume/player_volume.h"

namespace jukepak::testing {

// An empty volume over the whole device, written by the engine's
// initialization.
Result InitializeWithEngine(SectorDevice* device);

// Adds `files` to the mounted `volume`'s pending list (each as the drop of
// one file does) and syncs them onto it on this thread. Stops at the first
// file that cannot be added.
Result SyncFiles(PlayerVolume& volume, const std::vector<std::string>& files);

// Binds `volume` to `device`, reads the header and runs the mount on this
// thread.
Result MountVolume(PlayerVolume& volume, SectorDevice* device);

// The model as text, for comparing an edited model with a fresh mount:
// header fields, nextFreeCluster, the kilobyte counters, every CD with its
// sector and record, every track with its first cluster and record, and
// every FAT entry that is not free. Records appear as a hash of their bytes
// beside their texts.
std::string DescribeModel(const VolumeModel& model);

// Writes the device's sectors to a new image file at `path`.
Result SaveImage(const MemoryDevice& device, const std::string& path);

}  // namespace jukepak::testing
