// Which pending songs are on the player already, as the sync and the room
// it needs count them.
#pragma once

#include <cstdint>

#include "volume/sync_options.h"
#include "volume/volume_model.h"

namespace jukepak {

class PlayerVolume;

// The player CD of `record`'s (artist, album), or nullptr.
const CdNode* PlayerCdOf(const VolumeModel& model, const CdRecord& record);

// True when the pending `song` is on `target` (its player CD, may be null)
// already: same title and track artist, and for an MP3 the same audio size.
// Always false when the options write duplicates.
bool AlreadyOnPlayer(const CdNode* target, const TrackNode& song, const SyncOptions& options);

// Kilobytes the next sync needs: the download estimate less the songs it
// will pass over as already on the player, and less the CD records of
// pending CDs that have nothing else to write. Under the pending lock.
uint32_t KilobytesToWrite(PlayerVolume& volume);

}  // namespace jukepak
