#include "volume/sync_options.h"

#include "volume/pending_list.h"
#include "volume/player_volume.h"

namespace jukepak {

void PlayerVolume::SetSyncOptions(const SyncOptions& options) {
  uint32_t old_kbps = 0;
  {
    MutexLock lock(&options_mutex_);
    old_kbps = sync_options_.bitrateKbps;
    sync_options_ = options;
  }
  if (options.bitrateKbps != old_kbps) EstimateConversions(*this);
}

SyncOptions PlayerVolume::syncOptions() const {
  MutexLock lock(&options_mutex_);
  return sync_options_;
}

SyncSummary PlayerVolume::lastSyncSummary() const {
  MutexLock lock(&options_mutex_);
  return last_sync_;
}

void PlayerVolume::SetLastSyncSummary(SyncSummary summary) {
  MutexLock lock(&options_mutex_);
  last_sync_ = std::move(summary);
}

}  // namespace jukepak
