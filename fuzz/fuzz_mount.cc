// Mounting a damaged volume never crashes, hangs or reads outside the disk,
// and a mounted model stays within the tables the header sized.

#include <cstdlib>

#include "fuzz/volume_patches.h"
#include "volume/player_volume.h"
#include "volume/tests/test_volumes.h"

using namespace jukepak;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryDevice disk = fuzzing::PristineVolume();
  fuzzing::ApplyPatches(data, size, &disk);
  QuietReporter reporter;
  PlayerVolume volume(&reporter);
  if (!volume.BindDevice(testing::Share(disk)).ok()) return 0;
  if (!volume.CheckVolume()) return 0;
  const Result mounted = volume.RunJobNow(Job::kMount);
  if (mounted.ok() != (volume.deviceState() == DeviceState::kReady)) std::abort();
  if (!mounted.ok()) return 0;
  const VolumeModel& model = volume.model();
  if (model.fat.entryCount() < model.header.audioClusters()) std::abort();
  for (const auto& cd : model.playerCds) {
    if (cd->tracks.size() > format::kMaxTracksPerCd) std::abort();
    for (const auto& track : cd->tracks) (void)volume.IsTrackStart(track->firstCluster);
  }
  (void)volume.FreeKilobytes();
  (void)volume.EstimateDownloadKilobytes();
  return 0;
}
