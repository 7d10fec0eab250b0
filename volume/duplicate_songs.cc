#include "volume/duplicate_songs.h"

#include <algorithm>
#include <mutex>

#include "format/format_constants.h"
#include "volume/player_volume.h"
#include "volume/space_accounting.h"

namespace jukepak {

const CdNode* PlayerCdOf(const VolumeModel& model, const CdRecord& record) {
  for (const auto& cd : model.playerCds) {
    if (cd->record.artist() == record.artist() && cd->record.album() == record.album()) {
      return cd.get();
    }
  }
  return nullptr;
}

bool AlreadyOnPlayer(const CdNode* target, const TrackNode& song, const SyncOptions& options) {
  if (target == nullptr || !options.skipDuplicates) return false;
  return std::any_of(target->tracks.begin(), target->tracks.end(),
                     [&](const std::unique_ptr<TrackNode>& track) {
                       const TrackRecord& r = track->record;
                       return r.title() == song.record.title() &&
                              r.artist() == song.record.artist() &&
                              (song.needsConversion ||
                               r.size() == uint64_t(song.record.size()) + format::kTrackRecordSize);
                     });
}

uint32_t KilobytesToWrite(PlayerVolume& volume) {
  const SyncOptions options = volume.syncOptions();
  const VolumeModel& model = volume.model();
  MutexLock lock(&model.pendingMutex);
  uint64_t kb = 0;
  uint32_t new_cds = 0;
  for (const auto& cd : model.pendingCds) {
    const CdNode* target = PlayerCdOf(model, cd->record);
    bool writes = false;
    for (const auto& song : cd->pendingTracks) {
      if (AlreadyOnPlayer(target, *song, options)) continue;
      kb += SongKilobytes(song->record.size());
      writes = true;
    }
    if (writes) ++new_cds;
  }
  kb += CdAreaGrowthKilobytes(model.header.cdCount(), new_cds);
  return uint32_t(std::min<uint64_t>(kb, 0xFFFFFFFFu));
}

}  // namespace jukepak
