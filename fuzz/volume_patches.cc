#include "fuzz/volume_patches.h"

#include <cstdlib>

#include "volume/player_volume.h"
#include "volume/tests/test_volumes.h"

namespace jukepak::fuzzing {

const MemoryDevice& PristineVolume() {
  static MemoryDevice* disk = [] {
    auto* made = new MemoryDevice(kFuzzDiskSectors);
    QuietReporter reporter;
    PlayerVolume volume(&reporter);
    if (!volume.BindDevice(testing::Share(*made)).ok()) std::abort();
    (void)volume.RunJobNow(Job::kInit);
    volume.UnbindDriver();
    testing::AddCd(*made, "Band", "First", {{"One", "Band", 1}, {"Two", "Guest", 3}});
    testing::AddCd(*made, "Other", "Second", {{"Solo", "Other", 2}});
    testing::AddCd(*made, "Third", "Third", {{"A", "Third", 1}, {"B", "Third", 1}});
    return made;
  }();
  return *disk;
}

void ApplyPatches(const uint8_t* data, size_t size, MemoryDevice* disk) {
  std::vector<uint8_t>& bytes = disk->bytes();
  for (size_t i = 0; i + 4 <= size; i += 4) {
    const uint32_t offset = uint32_t(data[i]) | (uint32_t(data[i + 1]) << 8) |
                            (uint32_t(data[i + 2]) << 16);
    bytes[offset % bytes.size()] = data[i + 3];
  }
}

}  // namespace jukepak::fuzzing
