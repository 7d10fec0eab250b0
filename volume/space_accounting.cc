#include "volume/space_accounting.h"

#include <algorithm>

#include "format/format_constants.h"
#include "format/layout.h"
#include "volume/player_volume.h"

namespace jukepak {

uint64_t SongKilobytes(uint64_t audio_bytes) {
  return ClustersForAudio(audio_bytes) * (format::kClusterSize / 1024);
}

uint32_t CdAreaGrowthKilobytes(uint32_t cd_count, uint32_t new_cds) {
  const uint32_t groups = CdAreaClusters(cd_count + new_cds) - CdAreaClusters(cd_count);
  return groups * (format::kClusterSize / 1024);
}

uint32_t PlayerVolume::FreeKilobytes() {
  uint64_t free_clusters = 0;
  if (model_.fat.loaded()) {
    const uint32_t limit = std::min(AllocatableClusterLimit(model_.header), model_.fat.entryCount());
    for (uint32_t c = 0; c < limit; ++c) {
      if (model_.fat.entry(c) == format::kFatFree) ++free_clusters;
    }
  }
  const uint64_t kb = free_clusters * (format::kClusterSize / 1024);
  model_.freeKilobytes = uint32_t(std::min<uint64_t>(kb, 0xFFFFFFFFu));
  return model_.freeKilobytes;
}

uint32_t PlayerVolume::EstimateDownloadKilobytes() {
  // A sync changes the list and the CD count while the window asks, so the
  // estimate reads both under the pending lock.
  MutexLock lock(&model_.pendingMutex);
  return EstimateDownloadKilobytesLocked();
}

uint32_t PlayerVolume::EstimateDownloadKilobytesLocked() {
  uint64_t kb = 0;
  uint32_t pending_cds = 0;
  for (const auto& cd : model_.pendingCds) {
    ++pending_cds;
    for (const auto& track : cd->pendingTracks) kb += SongKilobytes(track->record.size());
  }
  kb += CdAreaGrowthKilobytes(model_.directoryFacts.cdCount, pending_cds);
  const uint32_t estimate = uint32_t(std::min<uint64_t>(kb, 0xFFFFFFFFu));
  model_.downloadKilobytes = estimate;
  return estimate;
}

}  // namespace jukepak
